// Long 16-bit PCM WAV files for tests and benchmarks without writing their length: the
// header, a few loud samples at given places, and the rest a hole in the file (reads as
// silence, takes no disk space).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

// A WAV of `frames` sample frames of `channels` 16-bit channels at `rate`, silent but for
// sample frames `loud` (every channel -3000 there and 9000 in the sample frame after).
// False when the file cannot be written or its data would not fit a WAV's 32-bit sizes.
bool WriteSparseWav(const std::string &path, uint32_t rate, int channels, int64_t frames,
                    const std::vector<int64_t> &loud);

} // namespace tessaly::test
