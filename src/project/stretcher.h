// TPitchKeeper: reads the primary track along the curve with its pitch kept: the track is
// time-stretched by the curve's rate (librubberband, real-time mode), its start delay
// compensated so that the output sample of each frame start is the curve's position.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace tessaly {

class TPitchKeeper {
public:
    // Reads `frames` interleaved values (the track's own scale) from source position `first`;
    // positions outside the track read as 0.
    using TReader = std::function<void(int64_t first, int32_t frames, double *out)>;

    // fullScale: the track's largest magnitude (32768 for 16 bits, 1 for floats).
    TPitchKeeper(uint32_t sampleRate, int channels, double fullScale);
    ~TPitchKeeper();

    // count values for output samples whose source positions run from x0 at `rate`
    // source samples per output sample. A call that starts where the previous one ended
    // continues the stretch; any other start begins a new run there.
    void Read(const TReader &read, long double x0, long double rate, int32_t count, double *out);

private:
    void Restart(const TReader &read, long double x0, long double rate);
    void Feed(const TReader &read, int32_t frames);

    uint32_t FRate;
    int FChannels;
    double FScale;
    std::unique_ptr<RubberBand::RubberBandStretcher> FStretch;
    bool FActive = false;
    long double FNext = 0;   // source position of the next output sample
    int64_t FFed = 0;        // next source sample handed to the stretcher
    long double FLead0 = 0;  // input fed beyond the curve's position after the first frame
    bool FLeadSet = false;
    double FLeadError = 0;   // smoothed change of that lead since
    std::vector<double> FValues;
    std::vector<std::vector<float>> FPlanar;
    std::vector<float *> FPointers;
};

} // namespace tessaly
