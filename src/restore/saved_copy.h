#pragma once

#include <filesystem>

namespace morrowdeck {

// Copies `file` to `saved` unless a saved copy already exists, so the first copy keeps the
// state from before Morrowdeck ever replaced the file. Failures are ignored: a missing
// saved copy never stops the replacement.
void saveOnce(const std::filesystem::path& file, const std::filesystem::path& saved);

}  // namespace morrowdeck
