// The verdict on a result: windows measured by the engine, sound levels of both sides,
// the project's filled-in stretches, and the text and plot of the judgement.
#include "autosync/verify_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "autosync/sync_plot.h"
#include "platform/text_util.h"
#include "project/project.h"
#include "shell/messages.h"
#include "sync/aligner.h"

namespace tessaly::autosync {

namespace {

constexpr double kSearch = 1.0;          // seconds searched around no offset
constexpr double kFilledShare = 0.5;     // a window this much filled in is not the primary's
constexpr double kSoundFloor = 8;        // RMS in analysis units (16384 full scale): -66 dBFS
constexpr double kSoundShare = 0.03;     // ... or this share of the track's loud level (-30 dB)
constexpr double kMostlyOther = 0.3;     // onset agreement of a window at its neighbours' lag below
                                         // which most of it is other sound (1.5 s of 2: 0.16) ...
constexpr double kHalfOther = 0.5;       // ... and of two windows in a row that each hold at least
                                         // half of it (1 s of 2: 0.38)

// RMS of every window of a signal.
std::vector<double> WindowLevels(const sync::TSyncSignal &s, size_t count, double window, double hop)
{
    std::vector<double> out(count, 0.0);
    const long n = static_cast<long>(s.Samples.size());
    for (size_t w = 0; w < count; ++w) {
        const long a = std::lround(static_cast<double>(w) * hop * s.Rate), len = std::lround(window * s.Rate);
        double sq = 0;
        long m = 0;
        for (long i = std::max(0L, a); i < std::min(n, a + len); ++i, ++m)
            sq += double(s.Samples[static_cast<size_t>(i)]) * s.Samples[static_cast<size_t>(i)];
        out[w] = m > 0 ? std::sqrt(sq / static_cast<double>(m)) : 0.0;
    }
    return out;
}

// Which windows sound: above the floor and above a share of the track's loud level
// (its 90th percentile window), so a quiet passage of a loud track counts as silence
// only when it is far below the rest.
std::vector<bool> Sounding(const std::vector<double> &levels)
{
    std::vector<double> sorted = levels;
    std::sort(sorted.begin(), sorted.end());
    const double loud = sorted.empty() ? 0 : sorted[static_cast<size_t>(0.9 * static_cast<double>(sorted.size() - 1))];
    const double limit = std::max(kSoundFloor, kSoundShare * loud);
    std::vector<bool> out(levels.size());
    for (size_t i = 0; i < levels.size(); ++i)
        out[i] = levels[i] > limit;
    return out;
}

// The share of [from, to) that the spans cover.
double CoveredShare(const std::vector<TTimeSpan> &spans, double from, double to)
{
    double covered = 0;
    for (const TTimeSpan &s : spans)
        covered += std::max(0.0, std::min(to, s.To) - std::max(from, s.From));
    return to > from ? covered / (to - from) : 0;
}

double Percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const double pos = q * static_cast<double>(v.size() - 1);
    const size_t i = static_cast<size_t>(pos);
    const double f = pos - static_cast<double>(i);
    return i + 1 < v.size() ? v[i] * (1 - f) + v[i + 1] * f : v[i];
}

// The filled-in stretches as the project gives them (inside the measured time), and the
// runs of unmatched windows, each window standing for the hop around its centre; in
// time order.
std::vector<TVerifySpan> KindSpans(const TVerifyReport &r, const std::vector<TTimeSpan> &filled)
{
    std::vector<TVerifySpan> spans;
    const double end = r.Windows.empty() ? 0 : r.Windows.back().Start + r.Windows.back().Length;
    for (const TTimeSpan &f : filled)
        if (f.From < end)
            spans.push_back({f.From, std::min(f.To, end), vkFilledIn});
    const size_t filledCount = spans.size();
    for (size_t w = 0; w < r.Windows.size(); ++w) {
        const TVerifyKind k = r.Kinds[w];
        if (k != vkUnmatched)
            continue;
        const double centre = r.Windows[w].Start + 0.5 * r.Windows[w].Length;
        const double from = centre - 0.5 * r.Hop, to = centre + 0.5 * r.Hop;
        if (spans.size() > filledCount && spans.back().To >= from - 1e-9)
            spans.back().To = to;
        else
            spans.push_back({from, to, k});
    }
    std::stable_sort(spans.begin(), spans.end(), [](const TVerifySpan &a, const TVerifySpan &b) { return a.From < b.From; });
    return spans;
}

// The stretches of more than a second of other sound than the recording's: a window
// whose onsets at its neighbours' lag agree so poorly that most of it is other sound, or
// two in a row that each hold half of it (a stretch of 1.5 s lies within one window or
// fills half of two). Each window stands for the hop around its centre.
std::vector<TTimeSpan> WrongSpans(const TVerifyReport &r, const std::vector<double> &agreement)
{
    std::vector<TTimeSpan> spans;
    auto apart = [&](size_t w, double below) {
        return w < r.Windows.size() && w < agreement.size() && agreement[w] < below &&
               (r.Kinds[w] == vkUnmatched || r.Kinds[w] == vkOutside);
    };
    for (size_t w = 0; w < r.Windows.size(); ++w) {
        size_t last = w;
        while (apart(last + 1, kHalfOther) && apart(last, kHalfOther))
            ++last;
        if (!(last > w || apart(w, kMostlyOther)))
            continue;
        const sync::TSyncWindow &a = r.Windows[w], &b = r.Windows[last];
        const TTimeSpan span{a.Start + 0.5 * (a.Length - r.Hop), b.Start + 0.5 * (b.Length + r.Hop)};
        if (!spans.empty() && spans.back().To >= span.From - 1e-9)
            spans.back().To = std::max(spans.back().To, span.To);
        else
            spans.push_back(span);
        w = last;
    }
    return spans;
}

std::string Seconds(double s)
{
    return FormatFixed(s, 1);
}

} // namespace

std::vector<TTimeSpan> FilledInSpans(const TProject &project, double primarySeconds)
{
    std::vector<TTimeSpan> spans;
    const double fps = static_cast<double>(project.Fps());
    const int32_t frames = project.FrameCount();
    if (fps <= 0 || frames <= 0)
        return spans;
    auto add = [&](double from, double to) {
        if (!spans.empty() && spans.back().To >= from - 1e-9)
            spans.back().To = std::max(spans.back().To, to);
        else
            spans.push_back({from, to});
    };
    // The primary is read forward only: a frame whose position lies before the end of
    // what was already played waits, and the double track stands in.
    std::vector<TFrameState> states(static_cast<size_t>(frames));
    for (int32_t f = 0; f < frames; ++f)
        states[static_cast<size_t>(f)] = project.GetStateAt(f);
    double played = -1e300;
    for (int32_t f = 0; f < frames; ++f) {
        const TFrameState &st = states[static_cast<size_t>(f)];
        const double t = f / fps, p = t + static_cast<double>(st.TotalShift()) / fps;
        // Across a frame the curve moves on to the next frame's value; a cut takes effect
        // where its frame begins.
        const double end =
            f + 1 < frames
                ? t + (1 + static_cast<double>(states[static_cast<size_t>(f) + 1].SplineShift + st.CutShift)) / fps
                : p + 1 / fps;
        const bool backwards = p < played - 0.5 / fps;
        if (st.AudioOff() || p < 0 || end > primarySeconds + 0.5 / fps || backwards)
            add(t, t + 1 / fps);
        if (!st.AudioOff() && !backwards)
            played = std::max(played, end);
    }
    return spans;
}

TVerifyReport JudgeResult(sync::TSyncSignal reference, sync::TSyncSignal result, const std::vector<TTimeSpan> &filled,
                          bool filledKnown, const TVerifyOptions &options, double window, double hop)
{
    TVerifyReport r;
    r.Hop = hop;
    r.FillKnown = filledKnown;
    size_t count = 0;
    for (double s = 0; s + window <= reference.Seconds() + 1e-9; s += hop)
        ++count;
    const std::vector<bool> refSound = Sounding(WindowLevels(reference, count, window, hop));
    const std::vector<bool> resSound = Sounding(WindowLevels(result, count, window, hop));
    std::vector<double> agreement;
    r.Windows = sync::MeasureOffsets(std::move(reference), std::move(result), window, hop, kSearch, &agreement);
    r.Kinds.assign(r.Windows.size(), vkSilent);
    std::vector<double> offsets, magnitudes;
    for (size_t w = 0; w < r.Windows.size(); ++w) {
        const sync::TSyncWindow &win = r.Windows[w];
        const bool sounds = w < refSound.size() && w < resSound.size() && refSound[w] && resSound[w];
        TVerifyKind &k = r.Kinds[w];
        if (!sounds)
            k = vkSilent;
        else if (CoveredShare(filled, win.Start, win.Start + win.Length) >= kFilledShare)
            k = vkFilledIn;
        else if (!win.Matched)
            k = vkUnmatched;
        else
            k = std::fabs(win.Offset * 1000) <= options.ToleranceMs ? vkMatched : vkOutside;
        if (k == vkMatched || k == vkOutside) {
            offsets.push_back(win.Offset * 1000);
            magnitudes.push_back(std::fabs(win.Offset * 1000));
        }
        r.Sounding += sounds;
        r.Matched += k == vkMatched;
        r.Outside += k == vkOutside;
        r.FilledIn += k == vkFilledIn;
        r.Unmatched += k == vkUnmatched;
        r.Silent += k == vkSilent;
    }
    r.Coverage = r.Sounding > 0 ? static_cast<double>(r.Matched) / static_cast<double>(r.Sounding) : 0;
    r.MedianMs = Percentile(offsets, 0.5);
    r.P95Ms = Percentile(magnitudes, 0.95);
    r.MaxMs = Percentile(magnitudes, 1.0);
    r.Spans = KindSpans(r, filled);
    r.Wrong = WrongSpans(r, agreement);
    r.Passed = r.Sounding > 0 && r.Outside == 0 && r.Coverage >= options.MinCoverage && r.Wrong.empty();
    return r;
}

std::string VerifyText(const TVerifyReport &r, const TVerifyOptions &options)
{
    std::string out;
    char line[256];
    std::snprintf(line, sizeof line, "windows: %zu, matched: %zu, not matched: %zu\n", r.Windows.size(),
                  r.Matched + r.Outside, r.Windows.size() - r.Matched - r.Outside);
    out += line;
    if (r.Matched + r.Outside > 0) {
        size_t atsc = 0, within22 = 0;
        for (size_t w = 0; w < r.Windows.size(); ++w) {
            if (r.Kinds[w] != vkMatched && r.Kinds[w] != vkOutside)
                continue;
            const double ms = r.Windows[w].Offset * 1000;
            atsc += ms >= -15 && ms <= 45;
            within22 += std::fabs(ms) <= 22;
        }
        const double n = static_cast<double>(r.Matched + r.Outside);
        std::snprintf(line, sizeof line,
                      "offset ms: median %.3f, p95 |offset| %.3f, max |offset| %.3f\n"
                      "inside -15/+45 ms: %.1f %%, inside +-22 ms: %.1f %%\n",
                      r.MedianMs, r.P95Ms, r.MaxMs, 100.0 * atsc / n, 100.0 * within22 / n);
        out += line;
    }
    // Every second of the video is one of these; the shares are of the sounding windows.
    const double sounding = std::max<double>(1, static_cast<double>(r.Sounding));
    std::snprintf(line, sizeof line,
                  "sounding: %s s; matched within +-%.3f ms: %s s (%.1f %%), off: %s s, filled in by the double "
                  "track: %s s (%.1f %%), matching nothing: %s s (%.1f %%), silent: %s s\n",
                  Seconds(r.Sounding * r.Hop).c_str(), options.ToleranceMs, Seconds(r.Matched * r.Hop).c_str(),
                  100.0 * r.Matched / sounding, Seconds(r.Outside * r.Hop).c_str(), Seconds(r.FilledIn * r.Hop).c_str(),
                  100.0 * r.FilledIn / sounding, Seconds(r.Unmatched * r.Hop).c_str(), 100.0 * r.Unmatched / sounding,
                  Seconds(r.Silent * r.Hop).c_str());
    out += line;
    if (!r.FillKnown)
        out += Msg("MsgVerifyNoProject") +
               "\n";
    for (const TVerifySpan &s : r.Spans)
        out += "  " + Seconds(s.From) + "-" + Seconds(s.To) + " s: " +
               (s.Kind == vkFilledIn ? "filled in by the double track" : "matches nothing") + "\n";
    for (const TTimeSpan &s : r.Wrong)
        out += "  " + FormatText(Msg("MsgVerifyWrong"), {Seconds(s.From), Seconds(s.To)}) + "\n";
    if (r.Sounding == 0)
        out += Msg("MsgVerifyNoSound") + "\n";
    if (r.Outside > 0)
        out += FormatText(Msg("MsgVerifyOutside"),
                          {std::to_string(r.Outside), FormatFixed(options.ToleranceMs, 3)}) + "\n";
    if (r.Sounding > 0 && r.Coverage < options.MinCoverage)
        out += FormatText(Msg("MsgVerifyCoverage"),
                          {FormatFixed(100 * r.Coverage, 1), FormatFixed(100 * options.MinCoverage, 1)}) + "\n";
    if (r.Passed)
        out += FormatText(Msg("MsgVerifyPassed"),
                          {FormatFixed(options.ToleranceMs, 3), FormatFixed(100 * r.Coverage, 1)}) + "\n";
    return out;
}

std::string VerifyPlot(const TVerifyReport &r, const TVerifyOptions &options, const std::string &title)
{
    TPlotData d;
    d.Title = title;
    d.Windows = r.Windows;
    for (size_t w = 0; w < d.Windows.size(); ++w)
        d.Windows[w].Matched = r.Kinds[w] == vkMatched || r.Kinds[w] == vkOutside;
    d.Seconds = r.Windows.empty() ? 1 : r.Windows.back().Start + r.Windows.back().Length;
    d.BandLowMs = -options.ToleranceMs;
    d.BandHighMs = options.ToleranceMs;
    for (const TVerifySpan &s : r.Spans)
        d.Spans.push_back({s.From, s.To, s.Kind == vkFilledIn ? psFilledIn : psUnmatched});
    // Drawn last, over the stretches that match nothing.
    for (const TTimeSpan &s : r.Wrong)
        d.Spans.push_back({s.From, s.To, psWrong});
    return PlotSvg(d);
}

} // namespace tessaly::autosync
