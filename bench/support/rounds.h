#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace morrowdeck::bench {

// One contender of a measurement: ours or a standard tool doing the same work.
struct Side {
    std::string name;
    std::function<double()> run;  // seconds of one timed run; negative when it failed
};

// One untimed warm-up run of every side (so all read from the page cache and a warm heap),
// then `rounds` rounds that run the sides in a rotating order, so that none always follows
// another. Prints every round as a row of milliseconds, side by side; returns the medians in
// side order, nothing when a run failed (said on stderr, after `program`).
std::optional<std::vector<double>> runRounds(const char* program, const std::vector<Side>& sides,
                                             int rounds);

}  // namespace morrowdeck::bench
