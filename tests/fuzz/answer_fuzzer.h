// Feeds the link's procedures arbitrary adapter answers. The input bytes choose the procedure
// and its arguments, then script the adapter: for every request, how many pieces its answer comes
// in, when each piece arrives, what bytes it holds, and whether the port's queue query fails or
// its reads come up short. Each case runs on the virtual clock and checks that the procedure
// ends within its deadlines and that DeviceModel only ever takes bytes from a complete, correctly
// counted answer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// nullopt when every check held; otherwise what went wrong.
std::optional<std::string> RunAnswerFuzzCase(std::span<const uint8_t> input);
