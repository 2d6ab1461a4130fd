#include "sim/sim_commands.h"

#include <sstream>
#include <vector>

#include "sim/encoder_images.h"

namespace sim {
namespace {
std::vector<std::string> Words(std::string_view line)
{
    std::istringstream stream{std::string(line)};
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}
}  // namespace

std::string ApplySimCommand(std::string_view line, AdapterEmulator& adapter)
{
    const std::vector<std::string> words = Words(line);
    if (words.empty()) return {};
    if (words[0] == "remove" && words.size() == 1) {
        adapter.RemoveEncoder();
        return {};
    }
    if (words[0] == "encoder" && words.size() == 3) {
        if (words[1].size() != 4 || words[2].size() != 6)
            return "encoder NAME SERIAL: NAME has 4 characters, SERIAL 6: '" + std::string(line) + "'";
        ProductRecordSpec record;
        record.name = words[1];
        record.serial = words[2];
        adapter.PutEncoder(Format2Image(record));
        return {};
    }
    return "unknown command: '" + std::string(line) + "'; " + SimCommandsUsage();
}

std::string SimCommandsUsage()
{
    return "commands: 'encoder NAME SERIAL' (a fresh format-2 encoder), 'remove' (no encoder)";
}

}  // namespace sim
