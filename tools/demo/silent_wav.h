#pragma once

#include <cstdint>
#include <vector>

namespace morrowdeck::demo {

// The 44-byte RIFF header of a 16-bit PCM WAV file with `dataBytes` of samples. Shared by the
// demo-library generator and the benchmarks, which follow it with zeroed samples (silence).
std::vector<std::uint8_t> silentWavHeader(std::uint16_t channels, std::uint32_t sampleRate,
                                          std::uint32_t dataBytes);

}  // namespace morrowdeck::demo
