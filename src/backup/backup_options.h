#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/backup_layout.h"

namespace morrowdeck {

// How tracks listed in several crates are stored.
enum class DuplicateMode { copyEverywhere, dedupHardLink };

// How smart crates are backed up.
enum class SmartCrateMode { rulesOnly, asFolder };

inline constexpr std::array<DuplicateMode, 2> allDuplicateModes{DuplicateMode::copyEverywhere,
                                                                DuplicateMode::dedupHardLink};
inline constexpr std::array<SmartCrateMode, 2> allSmartCrateModes{SmartCrateMode::rulesOnly,
                                                                  SmartCrateMode::asFolder};

// Raw values are the case names; conversion back accepts exactly those strings.
std::string_view rawValue(DuplicateMode mode);
std::string_view rawValue(SmartCrateMode mode);
std::optional<DuplicateMode> duplicateModeFromRaw(std::string_view raw);
std::optional<SmartCrateMode> smartCrateModeFromRaw(std::string_view raw);

// Option-panel texts.
std::string_view title(DuplicateMode mode);
std::string_view explanation(DuplicateMode mode);
std::string_view title(SmartCrateMode mode);
std::string_view explanation(SmartCrateMode mode);

// The options of one backup run; copied into the engine when the run starts.
struct BackupOptions {
    DuplicateMode duplicateMode = DuplicateMode::copyEverywhere;
    SmartCrateMode smartCrateMode = SmartCrateMode::rulesOnly;
    bool verifyExisting = true;     // re-copy only changed files
    std::int64_t threadCount = 16;  // below 1 counts as 1
    std::string storeFolderName = std::string(BackupLayout::defaultStoreFolder);
    // Start even when the bytes to copy exceed the destination's free space (the files that
    // do not fit then fail); otherwise such a run stops at its start checks.
    bool allowPartial = false;

    // How many runs' replaced files are kept in the metadata folder (ReplacedRuns); 0 keeps
    // none and replaces files in place.
    std::int64_t keepReplaced = 3;

    bool operator==(const BackupOptions&) const = default;
};

}  // namespace morrowdeck
