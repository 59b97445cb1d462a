#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace morrowdeck::cli {

inline constexpr std::string_view noLibraryMessage = "No _Serato_ folder found at that location.";

// The "_Serato_" folder that a --library option names: the folder itself or the folder that
// holds it, relative to the working directory; the default library when the option is empty.
// Nothing when there is no library there.
std::optional<std::filesystem::path> resolveLibraryOption(const std::string& option);

}  // namespace morrowdeck::cli
