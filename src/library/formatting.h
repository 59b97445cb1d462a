#pragma once

#include <cstdint>
#include <string>

// Display texts for byte counts and durations, fixed in English so that log lines read the
// same on every machine.
namespace morrowdeck::text {

// Decimal file-style byte count: "0 bytes", "1 byte", "999 bytes", "2 KB", "1.2 MB",
// "1.23 GB". KB shows no decimals, MB at most one, GB and larger at most two; trailing zeros
// are dropped, rounding is half-to-even, and the unit is the smallest whose rounded value
// stays below 1000.
std::string formatByteCount(std::uint64_t bytes);

// Abbreviated duration with at most two non-zero units of hours, minutes and seconds:
// "45s", "2m 3s", "1h 5m", "1h 10s"; "0s" for zero. The seconds are rounded to whole
// seconds first. Negative or non-finite input gives "".
std::string formatDuration(double seconds);

}  // namespace morrowdeck::text
