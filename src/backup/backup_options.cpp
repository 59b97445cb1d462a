#include "backup/backup_options.h"

namespace morrowdeck {

std::string_view rawValue(DuplicateMode mode) {
    return mode == DuplicateMode::copyEverywhere ? "copyEverywhere" : "dedupHardLink";
}

std::string_view rawValue(SmartCrateMode mode) {
    return mode == SmartCrateMode::rulesOnly ? "rulesOnly" : "asFolder";
}

std::optional<DuplicateMode> duplicateModeFromRaw(std::string_view raw) {
    for (auto mode : allDuplicateModes)
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

std::optional<SmartCrateMode> smartCrateModeFromRaw(std::string_view raw) {
    for (auto mode : allSmartCrateModes)
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

std::string_view title(DuplicateMode mode) {
    return mode == DuplicateMode::copyEverywhere ? "Copy into every crate folder"
                                                 : "De-duplicate (store once + hard-link)";
}

std::string_view explanation(DuplicateMode mode) {
    return mode == DuplicateMode::copyEverywhere
               ? "Each crate folder holds real copies of its tracks. Fully portable, uses more "
                 "space."
               : "Each unique file is stored once and hard-linked into crate folders. Saves space "
                 "on the same drive.";
}

std::string_view title(SmartCrateMode mode) {
    return mode == SmartCrateMode::rulesOnly ? "Back up rules only (restore as Smart Crates)"
                                             : "Copy as a regular folder";
}

std::string_view explanation(SmartCrateMode mode) {
    return mode == SmartCrateMode::rulesOnly
               ? "Saves the Smart Crate definitions so they're restored exactly as they were. "
                 "No track files are duplicated."
               : "Copies each Smart Crate's current tracks into a folder. Simple and portable, but "
                 "may duplicate files "
                 "already in other crates.";
}

}  // namespace morrowdeck
