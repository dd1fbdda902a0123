// FFTW plans held by RAII objects: a real forward transform, and a cross-correlator
// of real sequences through the frequency domain.
#pragma once

#include <cstddef>
#include <vector>

#include <fftw3.h>

namespace tessaly::sync {

// A real-to-complex transform of a fixed size with its own buffers.
class TRealFft {
public:
    explicit TRealFft(int size);
    ~TRealFft();
    TRealFft(const TRealFft &) = delete;
    TRealFft &operator=(const TRealFft &) = delete;

    int Size() const { return FSize; }
    float *Input() { return FIn; }
    const fftwf_complex *Output() const { return FOut; }
    void Forward() { fftwf_execute(FPlan); }

private:
    int FSize;
    float *FIn = nullptr;
    fftwf_complex *FOut = nullptr;
    fftwf_plan FPlan = nullptr;
};

// Circular cross-correlation of two real sequences of one padded size:
// c[k] = sum_i a[i] * b[i + k] for lags k = -(size/2) .. size/2 - 1 (index k mod size).
class TCorrelator {
public:
    explicit TCorrelator(int size);
    ~TCorrelator();
    TCorrelator(const TCorrelator &) = delete;
    TCorrelator &operator=(const TCorrelator &) = delete;

    int Size() const { return FSize; }
    // Transforms `a` (count values, zero padded) and keeps its spectrum.
    void SetFirst(const float *a, size_t count);
    // Correlates the kept first sequence with `b`; the result is indexed by lag mod size.
    const std::vector<float> &Correlate(const float *b, size_t count);

    // The spectrum of a sequence (zero padded; re, im pairs), for correlating several firsts with one
    // second: SetSecond once, then CorrelateSpectrum for each first spectrum.
    std::vector<float> Spectrum(const float *a, size_t count);
    void SetSecond(const float *b, size_t count);
    const std::vector<float> &CorrelateSpectrum(const std::vector<float> &first);
    // The same with every bin of the cross spectrum brought to unit magnitude (phase
    // transform: a sharp peak however the sound is coloured by a room or smeared by a
    // tempo change) and the bins outside [lowBin, highBin] left out.
    const std::vector<float> &CorrelatePhat(const std::vector<float> &first, size_t lowBin, size_t highBin);

private:
    int FSize;
    float *FTime = nullptr;
    fftwf_complex *FSpec = nullptr;
    std::vector<float> FFirst, FSecond;
    std::vector<float> FResult;
    fftwf_plan FForward = nullptr, FBackward = nullptr;
};

// Smallest power of two at or above n.
int NextPow2(size_t n);

} // namespace tessaly::sync
