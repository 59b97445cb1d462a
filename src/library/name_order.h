#pragma once

#include <string_view>

// The Finder-like order of crate names: case-insensitive first, runs of digits compared by
// their numeric value, punctuation significant ("Alpha" < "set 2" < "Set 10"). Only
// identical strings compare equal, so a sort by this order is deterministic.
namespace morrowdeck::text {

// Negative, zero or positive as a sorts before, with or after b. Thread-safe: each thread
// keeps its own collator for the process locale (the C/POSIX locale maps to the root order).
int compareNames(std::string_view a, std::string_view b);

inline bool nameLess(std::string_view a, std::string_view b) {
    return compareNames(a, b) < 0;
}

}  // namespace morrowdeck::text
