#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/file_operations.h"

namespace morrowdeck {

// What planning learnt of one distinct source path: a track listed in many crates is queried
// once. `file` is the path on disk when it differs from the stored spelling (a decomposed
// name stored for a precomposed file, or the reverse).
struct PlannedSource {
    std::optional<platform::FileInfo> info;
    std::string file;

    static PlannedSource query(const std::string& track);
};

// Source facts kept between plans of the same library, by track path, so that planning a new
// selection queries only the tracks not seen before. Whoever keeps one drops it when the
// library is read again; one plan at a time reads and extends it.
struct SourceFacts {
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view path) const noexcept {
            return std::hash<std::string_view>{}(path);
        }
    };
    std::unordered_map<std::string, PlannedSource, Hash, std::equal_to<>> byPath;
};

}  // namespace morrowdeck
