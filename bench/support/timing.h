#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace morrowdeck::bench {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);

// The middle value (the mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> values);

// The 1, 5 and 15 minute load averages as printed by uptime, "?" when unknown.
std::string loadAverage();

// This process's peak resident set so far, in KiB.
long peakRssKb();

// Writes back and drops the clean page cache (root only; false where the kernel refuses).
// Besides evening out the cache, it matters on ext4 without a journal: there, every file
// creation skips over each inode freed in the last minute whose inode-table block is still
// cached, so a side that follows the removal of an earlier side's tree pays for that removal.
// Dropping the cache after the removal makes every side start alike.
bool dropPageCache();

}  // namespace morrowdeck::bench
