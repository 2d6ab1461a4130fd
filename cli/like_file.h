// `program --like FILE`: the three settings of another encoder, by what they mean (the
// resolution's designation, the edge separation in nanoseconds, the direction), from its 128-byte
// image or from its `info --json` output. The bytes themselves are never taken: the encoder being
// programmed keeps its own carried bits and identity.
#pragma once

#include <string>

#include "cli/settings_request.h"

namespace cli {

// The file's settings under those that `given` names already (the command line's win); an error
// names the file and what it lacks.
Checked<SettingsRequest> SettingsLike(const std::string& path, const SettingsRequest& given);

}  // namespace cli
