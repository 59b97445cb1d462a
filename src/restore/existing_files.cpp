#include "restore/existing_files.h"

namespace morrowdeck {

std::string_view rawValue(ExistingFiles existing) {
    switch (existing) {
        case ExistingFiles::keep:
            return "keep";
        case ExistingFiles::replace:
            return "replace";
        case ExistingFiles::ifNewer:
            return "if-newer";
        case ExistingFiles::keepBoth:
            return "keep-both";
    }
    return {};
}

std::optional<ExistingFiles> existingFilesFromRaw(std::string_view raw) {
    for (const auto existing : allExistingFiles)
        if (rawValue(existing) == raw) return existing;
    return std::nullopt;
}

std::string restoredCopyName(std::string_view name, int number, std::size_t maxBytes) {
    // A leading dot starts a hidden name, not an extension.
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string_view::npos && dot > 0;
    const std::string_view extension = hasExtension ? name.substr(dot) : std::string_view();
    std::string_view stem = hasExtension ? name.substr(0, dot) : name;
    const std::string suffix =
        number <= 1 ? " (restored)" : " (restored " + std::to_string(number) + ")";
    const std::size_t fixed = suffix.size() + extension.size();
    if (stem.size() + fixed > maxBytes) {
        std::size_t keep = maxBytes > fixed ? maxBytes - fixed : 0;
        // Never cut a UTF-8 sequence: step back over continuation bytes.
        while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80)
            --keep;
        stem = stem.substr(0, keep);
    }
    return std::string(stem).append(suffix).append(extension);
}

}  // namespace morrowdeck
