#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ovrin::helper {

// The helper's command line: -default <channels.json> -engine <netcore> [-restore-channel NAME].
struct CommandLine {
    static constexpr int UsageExit = 64; // EX_USAGE
    static constexpr const char* Usage =
        "usage: helper -default <channels.json> -engine <netcore> [-restore-channel NAME]";

    std::filesystem::path channels;
    std::filesystem::path engine;
    std::optional<std::string> restoreChannel;

    // `args` excludes the program name. On failure `error` names the first problem.
    static std::optional<CommandLine> parse(const std::vector<std::string>& args,
                                            std::string& error);
};

} // namespace ovrin::helper
