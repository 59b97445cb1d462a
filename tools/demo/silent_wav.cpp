#include "silent_wav.h"

#include <string_view>

namespace morrowdeck::demo {

std::vector<std::uint8_t> silentWavHeader(std::uint16_t channels, std::uint32_t sampleRate,
                                          std::uint32_t dataBytes) {
    std::vector<std::uint8_t> out;
    const auto tag = [&](std::string_view text) {
        out.insert(out.end(), text.begin(), text.end());
    };
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    const std::uint32_t blockAlign = channels * 2u;
    tag("RIFF");
    put(36 + dataBytes, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);  // format chunk size
    put(1, 2);   // PCM
    put(channels, 2);
    put(sampleRate, 4);               // samples per second
    put(sampleRate * blockAlign, 4);  // bytes per second
    put(blockAlign, 2);
    put(16, 2);  // bits per sample
    tag("data");
    put(dataBytes, 4);
    return out;
}

}  // namespace morrowdeck::demo
