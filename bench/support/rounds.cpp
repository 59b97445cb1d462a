#include "support/rounds.h"

#include <cstdio>

#include "support/timing.h"

namespace morrowdeck::bench {

std::optional<std::vector<double>> runRounds(const char* program, const std::vector<Side>& sides,
                                             int rounds) {
    for (const auto& side : sides) {
        if (side.run() < 0) {
            std::fprintf(stderr, "%s: %s failed in the warm-up\n", program, side.name.c_str());
            return std::nullopt;
        }
    }
    std::printf("%-6s", "round");
    for (const auto& side : sides)
        std::printf(" %16s", (side.name + " ms").c_str());
    std::printf("\n");

    std::vector<std::vector<double>> samples(sides.size());
    for (int round = 1; round <= rounds; ++round) {
        for (std::size_t step = 0; step < sides.size(); ++step) {
            const std::size_t index = (static_cast<std::size_t>(round) + step) % sides.size();
            const double seconds = sides[index].run();
            if (seconds < 0) {
                std::fprintf(stderr, "%s: %s failed in round %d\n", program,
                             sides[index].name.c_str(), round);
                return std::nullopt;
            }
            samples[index].push_back(seconds);
        }
        std::printf("%-6d", round);
        for (const auto& side : samples)
            std::printf(" %16.3f", side.back() * 1e3);
        std::printf("\n");
    }
    std::vector<double> medians;
    for (const auto& side : samples)
        medians.push_back(median(side));
    return medians;
}

}  // namespace morrowdeck::bench
