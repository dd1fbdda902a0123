// Deterministic truth for the synchronisation tests and benchmark: synthetic stereo
// music and effects (a fixed pseudo-random score), espeak-ng sentences in the centre,
// a primary track cut and stretched piece by piece with libsoxr, and the time map.
#include "support/sync_truth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include <soxr.h>

#include "media/input/vfapi_host.h"
#include "project/project_session.h"
#include "support/cli_support.h"
#include "support/test_support.h"

namespace tessaly::test {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Small deterministic generator (xorshift), independent of the library's engines.
struct TRandom {
    uint32_t State;
    explicit TRandom(uint32_t seed) : State(seed * 2654435761u + 1) {}
    uint32_t Next()
    {
        State ^= State << 13;
        State ^= State >> 17;
        State ^= State << 5;
        return State;
    }
    double Uniform() { return (Next() & 0xFFFFFF) / double(0x1000000); }
    double Range(double a, double b) { return a + (b - a) * Uniform(); }
};

void AddStereo(std::vector<float> &out, size_t at, const std::vector<float> &mono, double pan, double gain)
{
    double l = gain * std::cos((pan + 1) * kPi / 4), r = gain * std::sin((pan + 1) * kPi / 4);
    for (size_t i = 0; i < mono.size() && (at + i) * 2 + 1 < out.size(); ++i) {
        out[(at + i) * 2] += static_cast<float>(mono[i] * l);
        out[(at + i) * 2 + 1] += static_cast<float>(mono[i] * r);
    }
}

// Music and effects: plucked notes of three harmonics, drum hits, noise swells,
// each panned off the centre so that the side signal carries them.
std::vector<float> MusicBed(double seconds, uint32_t seed)
{
    const size_t n = static_cast<size_t>(seconds * kTruthRate);
    std::vector<float> out(n * 2, 0.0f);
    TRandom rnd(seed);
    const double scale[] = {220.0, 246.9, 277.2, 329.6, 370.0, 440.0, 493.9, 554.4, 659.3};
    for (double t = 0; t < seconds; t += rnd.Range(0.12, 0.45)) {
        double f = scale[rnd.Next() % 9] * (rnd.Uniform() < 0.3 ? 0.5 : 1.0);
        double decay = rnd.Range(0.15, 0.6);
        std::vector<float> note(static_cast<size_t>(decay * 4 * kTruthRate));
        for (size_t i = 0; i < note.size(); ++i) {
            double x = double(i) / kTruthRate, env = std::exp(-x / decay) * std::min(1.0, x / 0.004);
            note[i] = static_cast<float>(env * (std::sin(2 * kPi * f * x) + 0.5 * std::sin(4 * kPi * f * x) +
                                                0.25 * std::sin(6 * kPi * f * x)));
        }
        AddStereo(out, static_cast<size_t>(t * kTruthRate), note, rnd.Range(-0.95, 0.95), 0.12);
    }
    for (double t = 0; t < seconds; t += 0.5) {
        if (rnd.Uniform() < 0.2)
            continue;
        double decay = rnd.Range(0.02, 0.12);
        std::vector<float> hit(static_cast<size_t>(decay * 5 * kTruthRate));
        double lp = 0;
        for (size_t i = 0; i < hit.size(); ++i) {
            double x = double(i) / kTruthRate;
            lp = 0.7 * lp + 0.3 * rnd.Range(-1, 1);
            hit[i] = static_cast<float>(std::exp(-x / decay) * (lp + 0.6 * std::sin(2 * kPi * 70 * x)));
        }
        AddStereo(out, static_cast<size_t>((t + rnd.Range(0, 0.05)) * kTruthRate), hit, rnd.Range(-0.8, 0.8), 0.35);
    }
    for (double t = rnd.Range(0, 3); t < seconds; t += rnd.Range(2, 6)) {
        double len = rnd.Range(0.4, 1.5);
        std::vector<float> swell(static_cast<size_t>(len * kTruthRate));
        for (size_t i = 0; i < swell.size(); ++i) {
            double x = double(i) / swell.size();
            swell[i] = static_cast<float>(std::sin(kPi * x) * rnd.Range(-1, 1));
        }
        AddStereo(out, static_cast<size_t>(t * kTruthRate), swell, rnd.Range(-0.9, 0.9), 0.08);
    }
    return out;
}

bool ReadWav16Mono(const std::string &path, std::vector<float> &samples, uint32_t &rate)
{
    std::vector<uint8_t> b = ReadFileBytes(path);
    if (b.size() < 44)
        return false;
    size_t pos = 12;
    rate = 0;
    while (pos + 8 <= b.size()) {
        uint32_t size = b[pos + 4] | (b[pos + 5] << 8) | (b[pos + 6] << 16) | (uint32_t(b[pos + 7]) << 24);
        std::string id(reinterpret_cast<const char *>(&b[pos]), 4);
        if (id == "fmt " && pos + 16 <= b.size())
            rate = b[pos + 12] | (b[pos + 13] << 8) | (b[pos + 14] << 16) | (uint32_t(b[pos + 15]) << 24);
        if (id == "data") {
            size_t end = std::min(b.size(), pos + 8 + size);
            for (size_t i = pos + 8; i + 1 < end; i += 2)
                samples.push_back(static_cast<int16_t>(b[i] | (b[i + 1] << 8)) / 32768.0f);
            return rate > 0;
        }
        pos += 8 + size + (size & 1);
    }
    return false;
}

bool Resample(const std::vector<float> &in, int channels, double ratio, std::vector<float> &out)
{
    size_t frames = in.size() / static_cast<size_t>(channels);
    size_t expect = static_cast<size_t>(std::llround(frames * ratio));
    out.assign(expect * static_cast<size_t>(channels), 0.0f);
    size_t done = 0;
    soxr_quality_spec_t q = soxr_quality_spec(SOXR_VHQ, 0);
    soxr_error_t e = soxr_oneshot(1.0, ratio, static_cast<unsigned>(channels), in.data(), frames, nullptr,
                                  out.data(), expect, &done, nullptr, &q, nullptr);
    return !e;
}

// Sentences spoken by espeak-ng in the centre, one after another with pauses.
bool Speech(double seconds, bool second, uint32_t seed, const std::string &dir, std::vector<float> &out)
{
    static const char *const kEnglish[] = {
        "The harbour was quiet when the boat came in.", "Nobody knew where the keys had gone.",
        "We will meet again at the old station tomorrow.", "Turn left after the bridge and keep walking.",
        "I told you the weather would change tonight.", "She opened the letter and read it twice."};
    static const char *const kGerman[] = {
        "Der Hafen war still, als das Boot ankam.", "Niemand wusste, wo die Schluessel waren.",
        "Wir treffen uns morgen am alten Bahnhof.", "Nach der Bruecke links und dann geradeaus.",
        "Ich habe gesagt, das Wetter wird sich aendern.", "Sie oeffnete den Brief und las ihn zweimal."};
    const size_t n = static_cast<size_t>(seconds * kTruthRate);
    out.assign(n * 2, 0.0f);
    TRandom rnd(seed + 77);
    int k = 0;
    for (double t = rnd.Range(0.3, 1.5); t < seconds; ++k) {
        std::string file = dir + "/speech_" + (second ? "de_" : "en_") + std::to_string(k % 6) + ".wav";
        std::string text = second ? kGerman[k % 6] : kEnglish[k % 6];
        if (RunCommand("test -s " + ShellQuote(file)) != 0 &&
            RunCommand("espeak-ng -v " + std::string(second ? "de" : "en") + " -s 165 -w " + ShellQuote(file) + " " +
                       ShellQuote(text)) != 0)
            return false;
        std::vector<float> raw, voiced;
        uint32_t rate = 0;
        if (!ReadWav16Mono(file, raw, rate) || !Resample(raw, 1, double(kTruthRate) / rate, voiced))
            return false;
        AddStereo(out, static_cast<size_t>(t * kTruthRate), voiced, 0.0, 0.6);
        t += voiced.size() / double(kTruthRate) + rnd.Range(0.4, 1.6);
    }
    return true;
}

// The delay (seconds, whole samples within +-maxLag) of WAV `decoded` against the
// interleaved stereo `original`: the lag of the best normalised correlation of the mono
// sums over half a second of material from the second second on.
bool MeasureDelay(const std::vector<float> &original, const std::string &decoded, double &delay)
{
    std::vector<float> raw;
    uint32_t rate = 0;
    if (!ReadWav16Mono(decoded, raw, rate) || rate != kTruthRate)
        return false;
    const long maxLag = 4096, from = 2 * kTruthRate, n = kTruthRate / 2;
    auto mono = [](const std::vector<float> &x, long i) {
        return i >= 0 && 2 * i + 1 < static_cast<long>(x.size()) ? double(x[2 * i]) + x[2 * i + 1] : 0.0;
    };
    double bestScore = -2;
    long best = 0;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (long i = from; i < from + n; ++i) {
            const double a = mono(original, i), b = mono(raw, i + lag);
            xy += a * b, xx += a * a, yy += b * b;
        }
        const double score = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : -1;
        if (score > bestScore)
            bestScore = score, best = lag;
    }
    delay = double(best) / kTruthRate;
    return bestScore > 0.5;
}

// Renders `encoded` as the primary track of a grey clip of `seconds` (and a second more)
// with no markers: the WAV holds the samples the program's readers deliver, in 16 bits
// (a decoder's own float or 24-bit samples rounded by ffmpeg).
bool ReadThroughProgram(const std::string &encoded, double seconds, const std::string &dir, const std::string &wav)
{
    const std::string project = dir + "/read_primary.tsp", cli = CliProgram(), rendered = dir + "/read_primary.wav";
    const int frames = static_cast<int>(std::ceil(seconds * 25)) + 25;
    return RunCommand(cli + " project create " + ShellQuote(project) + " --phantom 64,48," + std::to_string(frames) +
                      ",25 --audio " + ShellQuote(encoded) + " >/dev/null 2>&1") == 0 &&
           RunCommand(cli + " render " + ShellQuote(project) + " " + ShellQuote(rendered) +
                      " --yes --no-progress >/dev/null 2>&1") == 0 &&
           Ffmpeg("-i " + ShellQuote(rendered) + " -c:a pcm_s16le " + ShellQuote(wav));
}

// The master frames [first, last) a related piece takes, as cut from the master of
// `masterSeconds`.
void PieceSpan(const TTruthPiece &piece, double masterSeconds, size_t &first, size_t &last)
{
    const size_t master = static_cast<size_t>(masterSeconds * kTruthRate);
    first = std::min(master, static_cast<size_t>(std::llround(piece.SourceStart * kTruthRate)));
    last = std::min(master, static_cast<size_t>(std::llround((piece.SourceStart + piece.SourceLength) * kTruthRate)));
    last = std::max(first, last);
}

// The frames a piece takes in the primary (after its stretch), exactly as generated.
size_t PieceFrames(const TTruthPiece &piece, double masterSeconds)
{
    size_t frames = static_cast<size_t>(std::llround(piece.SourceLength * kTruthRate));
    if (!piece.Unrelated) {
        size_t first = 0, last = 0;
        PieceSpan(piece, masterSeconds, first, last);
        frames = last - first;
    }
    return piece.Stretch != 1 ? static_cast<size_t>(std::llround(frames * piece.Stretch)) : frames;
}

// Where a WSOLA copy's material lies against the plain line out = stretch * in (seconds,
// positive: later), averaged over its sounding stretches. WSOLA copies every grain
// sample for sample from a shifted place of the input (at most its search range away)
// and cross-fades between them, so short stretches of `out` are found exactly in `in`;
// the grains do not shift around the line evenly, so their mean shift is part of the
// truth. False when too few grains are found.
bool GrainDelay(const std::vector<float> &in, const std::vector<float> &out, double stretch, double &delay)
{
    // Left channel of the interleaved stereo; 256-sample chunks every 10 ms, each
    // searched +-40 ms around the line.
    constexpr long kChunk = 256, kHop = kTruthRate / 100, kReach = kTruthRate / 25, kStride = 4;
    constexpr float kSame = 3.0f / 32768, kQuiet = 0.01f;   // within rounding (and dither)
    const long nIn = static_cast<long>(in.size() / 2), nOut = static_cast<long>(out.size() / 2);
    double sum = 0;
    long found = 0, tried = 0;
    for (long o = kReach; o + kChunk + kReach < nOut; o += kHop) {
        float peak = 0;
        for (long k = 0; k < kChunk; k += kStride)
            peak = std::max(peak, std::fabs(out[static_cast<size_t>(2 * (o + k))]));
        if (peak < kQuiet)
            continue;
        ++tried;
        const long expect = std::lround(static_cast<double>(o) / stretch);
        for (long i = std::max(0L, expect - kReach); i <= std::min(nIn - kChunk, expect + kReach); ++i) {
            long k = 0;
            while (k < kChunk &&
                   std::fabs(out[static_cast<size_t>(2 * (o + k))] - in[static_cast<size_t>(2 * (i + k))]) <= kSame)
                k += kStride;
            if (k >= kChunk) {
                sum += static_cast<double>(o) - stretch * static_cast<double>(i);
                ++found;
                break;
            }
        }
    }
    delay = found > 0 ? sum / static_cast<double>(found) / kTruthRate : 0.0;
    return found >= 10 && found * 4 >= tried;
}

// Stretches interleaved stereo by `stretch` (output seconds per input second) with sox's
// WSOLA tempo change, which keeps the pitch; the result has exactly `frames` frames, its
// material `delay` s later on average than the plain line (see GrainDelay).
bool TempoStretch(const std::vector<float> &in, double stretch, size_t frames, const std::string &dir,
                  std::vector<float> &out, double &delay)
{
    const std::string from = dir + "/tempo_in.wav", to = dir + "/tempo_out.wav";
    char factor[32];
    std::snprintf(factor, sizeof factor, "%.9f", 1 / stretch);
    std::vector<float> raw;
    uint32_t rate = 0;
    if (!WriteWav16(from, in, 2, kTruthRate) ||
        RunCommand("sox " + ShellQuote(from) + " " + ShellQuote(to) + " tempo -s " + factor + " 2>/dev/null") != 0 ||
        !ReadWav16Mono(to, raw, rate) || rate != kTruthRate)
        return false;
    raw.resize(2 * frames, 0.0f);
    // The input as written and read back (16 bits), so that copied grains compare
    // sample for sample.
    std::vector<float> written(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        written[i] = static_cast<float>(std::lround(std::clamp(in[i], -1.0f, 1.0f) * 32767.0f)) / 32768.0f;
    if (!GrainDelay(written, raw, stretch, delay))
        return false;
    out.swap(raw);
    return true;
}

// A room re-recording of interleaved stereo: both channels summed through an impulse
// response of a direct path and 0.35 s of decaying reflections (sox fir), band-limited
// to 150-6000 Hz, with noise added at snrDb below the signal's power.
bool RoomRecording(std::vector<float> &samples, double snrDb, uint32_t seed, const std::string &dir)
{
    const std::string from = dir + "/room_in.wav", to = dir + "/room_out.wav", ir = dir + "/room_ir.txt";
    TRandom rnd(seed + 500);
    const size_t taps = static_cast<size_t>(0.35 * kTruthRate);
    // sox takes any filter for linear-phase and advances its output by half the length:
    // as many zeros before the direct path keep the room's response causal, undelayed.
    std::string coefficients;
    for (size_t i = 1; i < taps; ++i)
        coefficients += "0\n";
    coefficients += "1\n";
    for (size_t i = 1; i < taps; ++i) {
        const double x = double(i) / kTruthRate;
        // Early reflections in the first 40 ms, then a diffuse tail (RT60 about 0.4 s)
        // holding about as much energy as the direct path, as a microphone a few metres
        // from the loudspeaker hears it.
        double v = rnd.Range(-1, 1) * 0.045 * std::exp(-6.9 * x / 0.4);
        if (x < 0.04 && rnd.Uniform() < 0.004)
            v += rnd.Range(-0.3, 0.3);
        coefficients += std::to_string(v) + "\n";
    }
    std::vector<float> raw;
    uint32_t rate = 0;
    if (!WriteFileBytes(ir, std::vector<uint8_t>(coefficients.begin(), coefficients.end())) ||
        !WriteWav16(from, samples, 2, kTruthRate) ||
        RunCommand("sox " + ShellQuote(from) + " " + ShellQuote(to) + " vol 0.3 fir " + ShellQuote(ir) +
                   " sinc 150-6000 2>/dev/null") != 0 ||
        !ReadWav16Mono(to, raw, rate) || rate != kTruthRate)
        return false;
    raw.resize(samples.size(), 0.0f);
    double power = 0;
    for (float v : raw)
        power += double(v) * v;
    power /= std::max<size_t>(1, raw.size());
    const double noise = std::sqrt(power / std::pow(10.0, snrDb / 10) * 3);   // uniform noise: variance a^2/3
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<float>(std::clamp(raw[i] + noise * rnd.Range(-1, 1), -1.0, 1.0));
    samples.swap(raw);
    return true;
}

// The recordings decoded to 48 kHz stereo one after the other, from the first again
// until `seconds` are filled.
bool RecordedMusic(const std::vector<std::string> &files, double seconds, const std::string &dir,
                   std::vector<float> &out)
{
    const size_t n = static_cast<size_t>(seconds * kTruthRate) * 2;
    std::vector<std::vector<float>> decoded;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string wav = dir + "/music_" + std::to_string(i) + ".wav";
        std::vector<float> raw;
        uint32_t rate = 0;
        if (!Ffmpeg("-i " + ShellQuote(files[i]) + " -vn -ac 2 -ar 48000 -c:a pcm_s16le " + ShellQuote(wav)) ||
            !ReadWav16Mono(wav, raw, rate) || rate != kTruthRate || raw.empty())
            return false;
        decoded.push_back(std::move(raw));
    }
    out.clear();
    for (size_t i = 0; !decoded.empty() && out.size() < n; i = (i + 1) % decoded.size())
        out.insert(out.end(), decoded[i].begin(), decoded[i].end());
    out.resize(n, 0.0f);
    return !decoded.empty();
}

std::vector<float> Mix(const std::vector<float> &a, const std::vector<float> &b)
{
    std::vector<float> out(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        out[i] = std::clamp(a[i] + (i < b.size() ? b[i] : 0.0f), -1.0f, 1.0f);
    return out;
}

} // namespace

std::vector<float> TruthMusic(double seconds, uint32_t seed)
{
    return MusicBed(seconds, seed);
}

std::vector<float> RepeatedPads(double seconds, uint32_t seed)
{
    const size_t n = static_cast<size_t>(seconds * kTruthRate);
    std::vector<float> out(n * 2, 0.0f);
    // I - vi - IV - V in A, three voices each, every voice with two harmonics.
    const double chords[4][3] = {{220.0, 277.2, 329.6}, {185.0, 220.0, 277.2}, {146.8, 185.0, 220.0},
                                 {164.8, 207.7, 246.9}};
    constexpr double kChord = 4.0;
    for (double t0 = 0; t0 < seconds; t0 += kChord) {
        const int c = static_cast<int>(std::lround(t0 / kChord)) % 4;
        const size_t len = static_cast<size_t>(std::min(kChord + 0.5, seconds - t0) * kTruthRate);
        for (int v = 0; v < 3; ++v) {
            std::vector<float> pad(len);
            const double f = chords[c][v];
            for (size_t i = 0; i < len; ++i) {
                const double x = double(i) / kTruthRate;
                // Slow swell in and out, with a gentle tremolo: few sharp onsets.
                const double env = std::min(1.0, x / 0.8) * std::min(1.0, std::max(0.0, (kChord + 0.5 - x) / 0.8)) *
                                   (0.85 + 0.15 * std::sin(2 * kPi * 0.5 * x));
                pad[i] = static_cast<float>(env * (std::sin(2 * kPi * f * x) + 0.4 * std::sin(4 * kPi * f * x) +
                                                   0.2 * std::sin(6 * kPi * f * x)));
            }
            AddStereo(out, static_cast<size_t>(t0 * kTruthRate), pad, -0.6 + 0.6 * v, 0.08);
        }
    }
    // The melody: the same line in two rounds running, then another (a loop played twice).
    const double scale[] = {440.0, 493.9, 554.4, 587.3, 659.3, 740.0, 830.6, 880.0};
    for (int round = 0; round * 16.0 < seconds; ++round) {
      TRandom rnd(seed + static_cast<uint32_t>(round / 2));
      for (double t = round * 16.0 + 0.3; t < std::min(seconds, (round + 1) * 16.0); t += rnd.Range(0.4, 1.2)) {
        const double f = scale[rnd.Next() % 8], decay = rnd.Range(0.2, 0.5);
        std::vector<float> note(static_cast<size_t>(decay * 4 * kTruthRate));
        for (size_t i = 0; i < note.size(); ++i) {
            const double x = double(i) / kTruthRate, env = std::exp(-x / decay) * std::min(1.0, x / 0.01);
            note[i] = static_cast<float>(env * (std::sin(2 * kPi * f * x) + 0.3 * std::sin(4 * kPi * f * x)));
        }
        AddStereo(out, static_cast<size_t>(t * kTruthRate), note, rnd.Range(-0.7, 0.7), 0.05);
      }
    }
    return out;
}

std::vector<float> RepeatedRhythm(double seconds, uint32_t seed)
{
    const size_t n = static_cast<size_t>(seconds * kTruthRate);
    std::vector<float> out(n * 2, 0.0f);
    // The drum sounds, made once: every hit of a kind is the same samples.
    TRandom noise(seed + 500);
    auto drum = [&](double len, double decay, double fromHz, double toHz, double tone, double smooth) {
        std::vector<float> hit(static_cast<size_t>(len * kTruthRate));
        double phase = 0, lp = 0;
        for (size_t i = 0; i < hit.size(); ++i) {
            const double x = double(i) / kTruthRate;
            phase += 2 * kPi * (toHz + (fromHz - toHz) * std::exp(-x / 0.03)) / kTruthRate;
            lp = smooth * lp + (1 - smooth) * noise.Range(-1, 1);
            hit[i] = static_cast<float>(std::exp(-x / decay) * std::min(1.0, x / 0.001) *
                                        (tone * std::sin(phase) + (1 - tone) * lp));
        }
        return hit;
    };
    // No hi-hat: eighth notes of it leave a window's onsets no peak that stands out
    // within the lag track's search, and the pair would not match at all.
    const std::vector<float> kick = drum(0.6, 0.12, 140, 50, 0.9, 0.9), snare = drum(0.4, 0.08, 220, 180, 0.35, 0.3);
    // Hits within a round of two bars at 120 beats a minute (times in s): kick, snare.
    const double kicks[] = {0, 1.0, 2.0, 2.75, 3.0}, snares[] = {0.5, 1.5, 2.5, 3.5};
    const size_t round = static_cast<size_t>(kRhythmRound * kTruthRate);
    auto place = [&](const std::vector<float> &hit, size_t at, double pan, double gain) {
        if (at < n)
            AddStereo(out, at, hit, pan, gain);
    };
    for (size_t r0 = 0; r0 < n; r0 += round) {
        for (double t : kicks)
            place(kick, r0 + static_cast<size_t>(t * kTruthRate), -0.5, 0.55);
        for (double t : snares)
            place(snare, r0 + static_cast<size_t>(t * kTruthRate), 0.45, 0.35);
    }
    // Chords of three voices at the start of each bar, and four melody notes per round,
    // at the same instants every round; their pitches are drawn per round.
    const double triads[8][3] = {{220.0, 261.6, 329.6}, {174.6, 220.0, 261.6}, {196.0, 246.9, 293.7},
                                 {164.8, 196.0, 246.9}, {146.8, 174.6, 220.0}, {261.6, 329.6, 392.0},
                                 {233.1, 293.7, 349.2}, {207.7, 261.6, 311.1}};
    const double scale[] = {440.0, 493.9, 523.3, 587.3, 659.3, 698.5, 784.0, 880.0, 987.8, 1046.5};
    const double notes[] = {0.25, 1.25, 2.25, 3.25};
    TRandom rnd(seed);
    int previous = -1;
    auto tone = [](double f, double len, double decay, double attack) {
        std::vector<float> v(static_cast<size_t>(len * kTruthRate));
        for (size_t i = 0; i < v.size(); ++i) {
            const double x = double(i) / kTruthRate,
                         env = std::exp(-x / decay) * std::min(1.0, x / attack) * std::min(1.0, (len - x) / 0.05);
            v[i] = static_cast<float>(env * (std::sin(2 * kPi * f * x) + 0.4 * std::sin(4 * kPi * f * x) +
                                             0.2 * std::sin(6 * kPi * f * x)));
        }
        return v;
    };
    for (size_t r0 = 0; r0 < n; r0 += round) {
        for (int bar = 0; bar < 2; ++bar) {
            int c = static_cast<int>(rnd.Next() % 8);
            if (c == previous)
                c = (c + 1 + static_cast<int>(rnd.Next() % 7)) % 8;
            previous = c;
            for (int v = 0; v < 3; ++v)
                place(tone(triads[c][v], 2.0, 1.5, 0.02), r0 + static_cast<size_t>(bar) * round / 2, -0.4 + 0.4 * v,
                      0.07);
        }
        for (double t : notes)
            place(tone(scale[rnd.Next() % 10], 0.9, 0.3, 0.01), r0 + static_cast<size_t>(t * kTruthRate), 0.3, 0.08);
    }
    return out;
}

bool WriteWav16(const std::string &path, const std::vector<float> &samples, int channels, uint32_t rate)
{
    std::vector<uint8_t> b;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto u16 = [&](uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    };
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    u32(36 + data);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    u32(16);
    u16(1);
    u16(static_cast<uint16_t>(channels));
    u32(rate);
    u32(rate * 2 * static_cast<uint32_t>(channels));
    u16(static_cast<uint16_t>(2 * channels));
    u16(16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    u32(data);
    for (float s : samples) {
        long v = std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f);
        u16(static_cast<uint16_t>(static_cast<int16_t>(v)));
    }
    return WriteFileBytes(path, b);
}

bool TTruthCase::PrimaryTimeAt(double t, double &p) const
{
    double at = 0;
    for (const TTruthPiece &piece : Spec.Pieces) {
        double length = PieceFrames(piece, Spec.Seconds) / double(kTruthRate);
        if (!piece.Unrelated && t >= piece.SourceStart && t < piece.SourceStart + piece.SourceLength) {
            size_t first = 0, last = 0;
            PieceSpan(piece, Spec.Seconds, first, last);
            const size_t index = static_cast<size_t>(&piece - Spec.Pieces.data());
            p = CodecDelay + (index < TempoDelays.size() ? TempoDelays[index] : 0.0) + at +
                (t - first / double(kTruthRate)) * piece.Stretch;
            return true;
        }
        at += length;
    }
    return false;
}

std::vector<double> TTruthCase::CutTimes() const
{
    std::vector<double> cuts;
    double expect = -1;
    bool pendingInsert = false;
    for (const TTruthPiece &piece : Spec.Pieces) {
        if (piece.Unrelated) {
            pendingInsert = expect >= 0;
            continue;
        }
        if (expect >= 0 && (std::fabs(piece.SourceStart - expect) > 1e-9 || pendingInsert))
            cuts.push_back(std::min(expect, piece.SourceStart));
        expect = piece.SourceStart + piece.SourceLength;
        pendingInsert = false;
    }
    return cuts;
}

bool MakeTruthCase(const TTruthSpec &spec, const std::string &dir, TTruthCase &out)
{
    out = TTruthCase{};
    out.Spec = spec;
    out.TempoDelays.assign(spec.Pieces.size(), 0.0);
    std::vector<float> music, speechA, speechB;
    if (!spec.MusicFiles.empty()) {
        if (!RecordedMusic(spec.MusicFiles, spec.Seconds, dir, music))
            return false;
    } else {
        music = spec.Pads     ? RepeatedPads(spec.Seconds, spec.Seed)
                : spec.Rhythm ? RepeatedRhythm(spec.Seconds, spec.Seed)
                              : MusicBed(spec.Seconds, spec.Seed);
    }
    if (spec.SpeechOnly)
        std::fill(music.begin(), music.end(), 0.0f);
    if (spec.Pads || spec.Rhythm || !spec.MusicFiles.empty())
        speechA.assign(music.size(), 0.0f);
    else if (!Speech(spec.Seconds, false, spec.Seed, dir, speechA))
        return false;
    if (spec.Dub && !Speech(spec.Seconds, true, spec.Seed, dir, speechB))
        return false;
    std::vector<float> reference = Mix(music, speechA);
    std::vector<float> source = spec.Dub ? Mix(music, speechB) : reference;
    std::vector<float> primary;
    uint32_t insertSeed = spec.Seed + 1000;
    for (const TTruthPiece &piece : spec.Pieces) {
        std::vector<float> part;
        if (piece.Unrelated) {
            // Exactly the frames the time map counts for it.
            part = MusicBed(piece.SourceLength + 0.01, insertSeed++);
            part.resize(2 * static_cast<size_t>(std::llround(piece.SourceLength * kTruthRate)));
        } else {
            size_t a = 0, b = 0;
            PieceSpan(piece, spec.Seconds, a, b);
            part.assign(source.begin() + static_cast<long>(2 * a), source.begin() + static_cast<long>(2 * b));
        }
        if (piece.Stretch != 1) {
            std::vector<float> stretched;
            if (piece.Tempo ? !TempoStretch(part, piece.Stretch, PieceFrames(piece, spec.Seconds), dir, stretched,
                                            out.TempoDelays[&piece - spec.Pieces.data()])
                            : !Resample(part, 2, piece.Stretch, stretched))
                return false;
            part.swap(stretched);
        }
        primary.insert(primary.end(), part.begin(), part.end());
    }
    if (spec.RoomSnrDb > 0 && !RoomRecording(primary, spec.RoomSnrDb, spec.Seed, dir))
        return false;
    out.Reference = dir + "/reference.wav";
    out.Video = dir + "/video.avi";
    std::string wav = dir + "/primary.wav";
    if (!WriteWav16(out.Reference, reference, 2, kTruthRate) || !WriteWav16(wav, primary, 2, kTruthRate))
        return false;
    out.Primary = wav;
    if (!spec.Codec.empty()) {
        std::string ext = spec.Codec == "aac" ? "m4a" : spec.Codec;
        std::string codec = spec.Codec == "mp3" ? "libmp3lame" : spec.Codec;
        // The project takes the encoded file itself, read through the program's own
        // readers (the plug-ins decode it); what they deliver, the codec's losses and
        // any delay of encoder and decoder included, is what the engine is scored against.
        out.Primary = dir + "/primary." + ext;
        const std::string decoded = dir + "/primary_read.wav";
        if (!Ffmpeg("-i " + ShellQuote(wav) + " -c:a " + codec + " -b:a " + std::to_string(spec.Bitrate) + "k " +
                    ShellQuote(out.Primary)) ||
            !ReadThroughProgram(out.Primary, double(primary.size() / 2) / kTruthRate, dir, decoded) ||
            !MeasureDelay(primary, decoded, out.CodecDelay))
            return false;
    }
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f", spec.Seconds);
    return Ffmpeg("-f lavfi -i testsrc2=s=160x120:r=25:d=" + std::string(duration) +
                  " -c:v mpeg4 -q:v 10 -bf 0 -pix_fmt yuv420p " + ShellQuote(out.Video));
}

TTruthScore ScoreProject(const TTruthCase &truth, const std::string &projectFile)
{
    TTruthScore score;
    // An encoded primary opens through the audio reader plug-in, which this process
    // (a test or the benchmark, not a front-end) loads for the time of the scoring.
    struct TPluginsForScoring {
        bool Loaded = !PluginsLoaded();
        TPluginsForScoring()
        {
            if (Loaded)
                LoadPluginsFrom({"SoundPull=" + std::string(TESSALY_BIN_DIR) + "/soundpull.vfp"});
        }
        ~TPluginsForScoring()
        {
            if (Loaded)
                UnloadPlugins();
        }
    } plugins;
    TProjectSession session(nullptr);
    if (!session.LoadProject(projectFile, true))
        return score;
    const TProject &project = session.Project();
    score.Loaded = true;
    score.Markers = project.MarkerCount();
    const double fps = static_cast<double>(project.Fps());
    std::vector<double> cuts = truth.CutTimes(), errors;
    for (int32_t f = 0; f < project.FrameCount(); ++f) {
        double t = f / fps, p = 0;
        bool nearCut = false;
        for (double c : cuts)
            nearCut = nearCut || std::fabs(c - t) < 1.5 / fps;
        TFrameState st = project.GetStateAt(f);
        if (nearCut || st.AudioOff() || !truth.PrimaryTimeAt(t, p))
            continue;
        errors.push_back(std::fabs(t + static_cast<double>(st.TotalShift()) / fps - p) * 1000);
    }
    for (double e : errors)
        score.WrongSeconds += e > 22 ? 1 / fps : 0;
    std::sort(errors.begin(), errors.end());
    auto q = [&](double x) { return errors.empty() ? 0.0 : errors[static_cast<size_t>(x * (errors.size() - 1))]; };
    score.Frames = errors.size();
    score.MedianMs = q(0.5), score.P95Ms = q(0.95), score.P99Ms = q(0.99), score.MaxMs = q(1.0);
    std::vector<int32_t> marks;
    for (int32_t i = 0; i < project.MarkerCount(); ++i) {
        TMarker m = project.GetMarker(i);
        if ((m.Kind == mkRelCut && !m.Deactivated) || (m.Kind == mkOption && (m.Value & kOptionAudioOff) && m.Frame > 0))
            marks.push_back(m.Frame);
    }
    std::vector<bool> used(marks.size(), false);
    for (double c : cuts) {
        int best = -1;
        for (size_t k = 0; k < marks.size(); ++k)
            if (best < 0 || std::abs(marks[k] - c * fps) < std::abs(marks[static_cast<size_t>(best)] - c * fps))
                best = static_cast<int>(k);
        int off = best < 0 ? 1 << 30 : static_cast<int>(std::lround(std::fabs(marks[static_cast<size_t>(best)] - c * fps)));
        if (off > 25) {
            ++score.MissedCuts;
            continue;
        }
        score.CutFramesOff.push_back(off);
        // A cut, its option markers around it: everything within 25 frames belongs to it.
        for (size_t k = 0; k < marks.size(); ++k)
            used[k] = used[k] || std::fabs(marks[k] - c * fps) <= 25;
    }
    for (size_t k = 0; k < marks.size(); ++k)
        score.FalseCuts += used[k] ? 0 : 1;
    return score;
}

std::vector<TTruthSpec> TruthFamilies(double s)
{
    std::vector<TTruthSpec> f;
    f.reserve(16);
    auto add = [&](const std::string &name, std::vector<TTruthPiece> pieces) {
        TTruthSpec spec;
        spec.Name = name;
        spec.Seconds = s;
        spec.Seed = static_cast<uint32_t>(f.size() + 3);
        spec.Pieces = std::move(pieces);
        f.push_back(spec);
        return &f.back();
    };
    add("offset", {{0, 0.4321, 1, true}, {0, s, 1, false}});
    add("drift 50 ppm", {{0.25, s - 0.25, 1.00005, false}});
    add("drift 25/23.976", {{0, s, 23.976 / 25, false}});
    add("drift changes", {{0, 0.5 * s, 1.001, false}, {0.5 * s, 0.5 * s, 0.9992, false}});
    add("cuts", {{0, 0.25 * s, 1, false},
                 {0.25 * s + 0.2, 0.25 * s - 0.2, 1, false},
                 {0, 1.5, 1, true},
                 {0.5 * s, 0.25 * s, 1, false},
                 {0.75 * s + 2.0, 0.25 * s - 2.0, 1, false}});
    add("drift + cuts", {{0, 0.4 * s, 1.001, false}, {0.4 * s + 1.2, 0.6 * s - 1.2, 1.001, false}});
    const std::vector<TTruthPiece> driftCuts = f[5].Pieces;
    add("mp3 128k", driftCuts)->Codec = "mp3";
    TTruthSpec *aac = add("aac 96k", driftCuts);
    aac->Codec = "aac";
    aac->Bitrate = 96;
    TTruthSpec *ac3 = add("ac3 192k", driftCuts);
    ac3->Codec = "ac3";
    ac3->Bitrate = 192;
    TTruthSpec *dub = add("dub", {{0, 0.5 * s, 25.0 / 24, false}, {0.5 * s + 1.0, 0.5 * s - 1.0, 25.0 / 24, false}});
    dub->Dub = true;
    add("unrelated", {{0, s, 1, true}});
    // A television copy with a long foreign insert (advertising): at two minutes the
    // forward cut is +1800.125 frames, wider than the marker line's value field.
    // A PAL speed-up with the pitch kept (WSOLA), and a re-recording in a room.
    add("wsola pal", {{0, s, 24.0 / 25, false, true}});
    add("room 120 ppm", {{0.3, s - 0.3, 1.00012, false}})->RoomSnrDb = 15;
    // Music repeated every 16 s: half a round missing, and a slow drift.
    add("repeated music", {{0, 0.5 * s, 0.9997, false}, {0.5 * s + 8, 0.5 * s - 8, 0.9997, false}})->Pads = true;
    add("tv insert", {{0, 0.4 * s, 1, false}, {0, 0.6 * s + 0.005, 1, true}, {0.4 * s, 0.6 * s, 1, false}});
    // One drum pattern every 4 s, sample for sample, under chords and a melody that change
    // each round: 2.5 s (part of a round) missing, and a slow drift.
    add("repeated rhythm", {{0, 0.5 * s, 0.9997, false}, {0.5 * s + 2.5, 0.5 * s - 2.5, 0.9997, false}})->Rhythm = true;
    return f;
}

} // namespace tessaly::test
