#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace morrowdeck {

// What a restore does with an audio file already at a restored file's place.
enum class ExistingFiles {
    keep,     // left untouched; the crate points at it
    replace,  // replaced, the old file saved in the run's undo folder
    ifNewer,  // replaced only when the backup's file is newer, otherwise kept
    keepBoth  // left untouched; the restored file is written beside it as "X (restored).mp3"
};

inline constexpr std::array<ExistingFiles, 4> allExistingFiles{
    ExistingFiles::keep, ExistingFiles::replace, ExistingFiles::ifNewer, ExistingFiles::keepBoth};

// Raw values are the command line's words ("keep", "replace", "if-newer", "keep-both");
// conversion back accepts exactly those strings.
std::string_view rawValue(ExistingFiles existing);
std::optional<ExistingFiles> existingFilesFromRaw(std::string_view raw);

// The name of the `number`th restored copy written beside an existing file `name`:
// "X (restored).mp3", then "X (restored 2).mp3" and on; the extension stays last. The stem
// is shortened, on a character boundary, so that the name keeps within `maxBytes`.
std::string restoredCopyName(std::string_view name, int number, std::size_t maxBytes = 255);

}  // namespace morrowdeck
