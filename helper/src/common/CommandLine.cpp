#include "common/CommandLine.h"

namespace ovrin::helper {

std::optional<CommandLine> CommandLine::parse(const std::vector<std::string>& args,
                                              std::string& error)
{
    CommandLine line;
    std::optional<std::string> channels;
    std::optional<std::string> engine;
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string& option = args[i];
        std::optional<std::string>* slot = nullptr;
        if (option == "-default")
            slot = &channels;
        else if (option == "-engine")
            slot = &engine;
        else if (option == "-restore-channel")
            slot = &line.restoreChannel;
        if (slot == nullptr) {
            error = "unknown argument '" + option + "'";
            return std::nullopt;
        }
        if (slot->has_value()) {
            error = "option " + option + " given twice";
            return std::nullopt;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            error = "option " + option + " needs a value";
            return std::nullopt;
        }
        *slot = args[i + 1];
    }
    if (!channels || !engine) {
        error = !channels ? "missing -default <channels.json>" : "missing -engine <netcore>";
        return std::nullopt;
    }
    line.channels = *channels;
    line.engine = *engine;
    return line;
}

} // namespace ovrin::helper
