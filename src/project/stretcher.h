// TPitchKeeper: reads the primary track along the curve with its pitch kept: the track is
// time-stretched by the curve's rate (librubberband, real-time mode). A second stretcher
// runs in step with it over a train of clicks at known source positions: where they come
// out tells the timing, and the time ratio is steered so that the output follows the curve.
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

    // Source samples between two clicks of the timing probe.
    static constexpr int64_t kProbeSpacing = 2400;

    // fullScale: the track's largest magnitude (32768 for 16 bits, 1 for floats).
    TPitchKeeper(uint32_t sampleRate, int channels, double fullScale);
    ~TPitchKeeper();

    // count values for output samples whose source positions run from x0 at `rate`
    // source samples per output sample. A call that starts where the previous one ended
    // continues the stretch; any other start begins a new run there.
    void Read(const TReader &read, long double x0, long double rate, int32_t count, double *out);

    // The timing errors measured so far in the current run (source samples, positive:
    // the output lags the curve), one per probe click.
    const std::vector<double> &TimingErrors() const { return FErrors; }

private:
    void Restart(const TReader &read, long double x0, long double rate);
    void Feed(const TReader &read, int32_t frames);
    void SetRatio(long double rate);
    // Finds the probe's clicks in count output values whose positions run from x0.
    void Measure(int32_t count, long double x0, long double rate);
    // Takes count output values of both stretchers into FPlanar and FProbeOut.
    void Retrieve(int32_t count);

    uint32_t FRate;
    int FChannels;
    double FScale;
    std::unique_ptr<RubberBand::RubberBandStretcher> FStretch, FProbe;
    bool FActive = false;
    long double FNext = 0;     // source position of the next output sample
    int64_t FFed = 0;          // next source sample handed to the stretchers
    int64_t FOrigin = 0;       // source position of one probe click
    double FCorrection = 0;    // relative change of the reading rate that holds the timing
    double FIntegral = 0;      // its integral part
    int64_t FNextClick = 0;    // source position of the next click to measure
    std::vector<double> FHistoryValues, FHistoryPositions;   // recent probe output, its curve positions
    std::vector<double> FErrors;
    std::vector<double> FValues;
    std::vector<std::vector<float>> FPlanar;
    std::vector<float *> FPointers;
    std::vector<float> FProbeIn, FProbeOut;
};

} // namespace tessaly
