#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

// Writes a synthetic Serato library for the benchmarks: nested crate names, smart crates,
// the column and rule chunks real files carry, and volume-relative track paths of realistic
// length with non-ASCII and emoji text. The same shape and seed always give the same bytes.
namespace morrowdeck::SyntheticLibrary {

struct Shape {
    std::size_t crates = 2000;         // crate files in all, smart crates included
    std::size_t references = 200'000;  // track references summed over every crate file
    std::uint64_t seed = 1;
};

// What a generated library holds; also written beside "_Serato_" so a later measurement
// can check that the loader saw every crate and every reference.
struct Summary {
    std::size_t crates = 0;
    std::size_t smartCrates = 0;
    std::size_t references = 0;
    std::size_t distinctPaths = 0;
    std::size_t pathBytes = 0;      // UTF-8 bytes of all referenced paths
    std::size_t nonAsciiPaths = 0;  // references whose path is not plain ASCII
    std::size_t fileBytes = 0;      // bytes of all crate files
};

// Creates root/_Serato_/Subcrates and root/_Serato_/SmartCrates and fills them. Throws
// std::runtime_error when "_Serato_" already exists or a file cannot be written.
Summary generate(const std::filesystem::path& root, const Shape& shape);

// The summary that generate() left in root, or nothing when there is none.
std::optional<Summary> readSummary(const std::filesystem::path& root);

}  // namespace morrowdeck::SyntheticLibrary
