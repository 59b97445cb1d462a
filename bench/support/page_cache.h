#pragma once

#include <cstdint>
#include <filesystem>

namespace morrowdeck::bench {

// Writes back and drops the clean page cache (root only; false where the kernel refuses).
// Besides evening out the cache, it matters on ext4 without a journal: there, every file
// creation skips over each inode freed in the last minute whose inode-table block is still
// cached, so a side that follows the removal of an earlier side's tree pays for that removal.
// Dropping the cache after the removal makes every side start alike.
bool dropPageCache();

// Reads a file to its end so that it sits in the page cache; the bytes read (0 when it
// cannot be opened).
std::int64_t readThrough(const std::filesystem::path& file);

// readThrough() of every regular file below `folder`, and so every folder's listing too.
std::int64_t readTree(const std::filesystem::path& folder);

}  // namespace morrowdeck::bench
