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

}  // namespace morrowdeck::bench
