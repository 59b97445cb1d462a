#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morrowdeck::cli {

inline constexpr std::string_view noLibraryMessage = "No _Serato_ folder found at that location.";

// The "_Serato_" folder that a --library option names: the folder itself or the folder that
// holds it, relative to the working directory; the default library when the option is empty.
// Nothing when there is no library there.
std::optional<std::filesystem::path> resolveLibraryOption(const std::string& option);

// The "_Serato_" folders that repeated --library options and --all name: with --all the home
// library and every drive's that `libraries` finds, then each --library; with neither, the
// default library. Nothing, with `error` set to the message to print, when a --library names
// no library or --all alone finds none.
std::optional<std::vector<std::filesystem::path>> resolveLibraries(
    const std::vector<std::string>& options, bool all, std::string& error);

}  // namespace morrowdeck::cli
