// The offset plot as SVG: axes with a few labelled ticks, dots for the windows (their
// opacity is the confidence, hollow for windows left out), polylines for the curves.
#include "autosync/sync_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tessaly::autosync {

namespace {

constexpr const char *kFilledColour = "#fde3b0", *kUnmatchedColour = "#f6c6c6", *kWrongColour = "#d95f5f";

const char *SpanColour(TPlotSpanKind kind)
{
    return kind == psFilledIn ? kFilledColour : kind == psWrong ? kWrongColour : kUnmatchedColour;
}
constexpr double kWidth = 1000, kHeight = 430, kLeft = 70, kRight = 20, kTop = 52, kBottom = 50;

std::string Num(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

std::string Escape(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

double NiceStep(double range)
{
    double raw = range / 6, p = std::pow(10.0, std::floor(std::log10(std::max(raw, 1e-9))));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= raw)
            return m * p;
    return 10 * p;
}

// What the dots, the line, the band and the dashed lines stand for, above the plot;
// only the kinds the picture holds are named.
std::string Legend(const TPlotData &data)
{
    const double y = 40;
    double x = kLeft + 4;
    std::string s = "<g font-size=\"11\">";
    auto text = [&](const std::string &t, double width) {
        s += "<text x=\"" + Num(x + 7) + "\" y=\"" + Num(y) + "\">" + t + "</text>";
        x += width;
    };
    auto dash = [&](const char *colour) {
        s += "<line x1=\"" + Num(x) + "\" x2=\"" + Num(x) + "\" y1=\"" + Num(y - 11) + "\" y2=\"" + Num(y + 2) +
             "\" stroke=\"" + colour + "\" stroke-dasharray=\"3,3\"/>";
    };
    bool outliers = false, splines = false, cuts = false;
    for (const auto &w : data.Windows)
        outliers = outliers || (w.Matched && !w.Inlier && w.Segment >= 0);
    for (const auto &mark : data.Marks)
        (mark.second.empty() ? splines : cuts) = true;
    s += "<circle cx=\"" + Num(x) + "\" cy=\"" + Num(y - 4) + "\" r=\"3\" fill=\"#36c\" stroke=\"#36c\"/>";
    text("measured (darker: surer)", 160);
    if (outliers) {
        s += "<circle cx=\"" + Num(x) + "\" cy=\"" + Num(y - 4) + "\" r=\"3\" fill=\"none\" stroke=\"#36c\"/>";
        text("left out", 65);
    }
    if (!data.Curves.empty()) {
        s += "<line x1=\"" + Num(x - 8) + "\" x2=\"" + Num(x + 4) + "\" y1=\"" + Num(y - 4) + "\" y2=\"" + Num(y - 4) +
             "\" stroke=\"#222\" stroke-width=\"1.5\"/>";
        text("curve", 55);
    }
    if (data.BandLowMs != data.BandHighMs) {
        s += "<rect x=\"" + Num(x - 4) + "\" y=\"" + Num(y - 9) + "\" width=\"9\" height=\"9\" fill=\"#e0f0e0\"/>";
        text("tolerance", 75);
    }
    bool filled = false, unmatched = false, wrong = false;
    for (const TPlotSpan &span : data.Spans)
        (span.Kind == psFilledIn ? filled : span.Kind == psWrong ? wrong : unmatched) = true;
    auto swatch = [&](const char *colour) {
        s += "<rect x=\"" + Num(x - 4) + "\" y=\"" + Num(y - 9) + "\" width=\"9\" height=\"9\" fill=\"" + colour +
             "\"/>";
    };
    if (filled) {
        swatch(kFilledColour);
        text("double fills in", 105);
    }
    if (unmatched) {
        swatch(kUnmatchedColour);
        text("matches nothing", 110);
    }
    if (wrong) {
        swatch(kWrongColour);
        text("wrong content", 100);
    }
    if (splines) {
        dash("#aaa");
        text("spline point", 80);
    }
    if (cuts) {
        dash("#c33");
        text("cut, primary on/off", 120);
    }
    return s + "</g>\n";
}

} // namespace

std::string PlotSvg(const TPlotData &data)
{
    double lo = 1e300, hi = -1e300;
    for (const auto &w : data.Windows)
        if (w.Matched)
            lo = std::min(lo, w.Offset * 1000), hi = std::max(hi, w.Offset * 1000);
    for (const auto &c : data.Curves)
        for (const auto &p : c)
            lo = std::min(lo, p.OffsetMs), hi = std::max(hi, p.OffsetMs);
    if (data.BandLowMs != data.BandHighMs)
        lo = std::min(lo, data.BandLowMs), hi = std::max(hi, data.BandHighMs);
    if (lo > hi)
        lo = -1, hi = 1;
    double pad = std::max(1.0, (hi - lo) * 0.08);
    lo -= pad, hi += pad;
    const double seconds = std::max(data.Seconds, 1e-3);
    auto x = [&](double t) { return kLeft + (kWidth - kLeft - kRight) * t / seconds; };
    auto y = [&](double ms) { return kTop + (kHeight - kTop - kBottom) * (hi - ms) / (hi - lo); };
    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(kWidth) + "\" height=\"" +
                    Num(kHeight) + "\" viewBox=\"0 0 " + Num(kWidth) + " " + Num(kHeight) +
                    "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    s += "<rect x=\"0\" y=\"0\" width=\"" + Num(kWidth) + "\" height=\"" + Num(kHeight) + "\" fill=\"white\"/>\n";
    s += "<text x=\"" + Num(kLeft) + "\" y=\"22\" font-size=\"15\">" + Escape(data.Title) + "</text>\n";
    s += Legend(data);
    if (data.BandLowMs != data.BandHighMs)
        s += "<rect x=\"" + Num(x(0)) + "\" y=\"" + Num(y(data.BandHighMs)) + "\" width=\"" + Num(x(seconds) - x(0)) +
             "\" height=\"" + Num(y(data.BandLowMs) - y(data.BandHighMs)) + "\" fill=\"#e0f0e0\"/>\n";
    for (const TPlotSpan &span : data.Spans)
        s += "<rect x=\"" + Num(x(std::max(0.0, span.From))) + "\" y=\"" + Num(kTop) + "\" width=\"" +
             Num(std::max(0.5, x(std::min(seconds, span.To)) - x(std::max(0.0, span.From)))) + "\" height=\"" +
             Num(kHeight - kBottom - kTop) + "\" fill=\"" + SpanColour(span.Kind) +
             "\"/>\n";
    const double ystep = NiceStep(hi - lo), xstep = NiceStep(seconds);
    for (double v = std::ceil(lo / ystep) * ystep; v <= hi; v += ystep)
        s += "<line x1=\"" + Num(x(0)) + "\" x2=\"" + Num(x(seconds)) + "\" y1=\"" + Num(y(v)) + "\" y2=\"" + Num(y(v)) +
             "\" stroke=\"#ddd\"/><text x=\"" + Num(kLeft - 6) + "\" y=\"" + Num(y(v) + 4) +
             "\" text-anchor=\"end\">" + Num(v) + "</text>\n";
    for (double t = 0; t <= seconds; t += xstep)
        s += "<text x=\"" + Num(x(t)) + "\" y=\"" + Num(kHeight - kBottom + 18) + "\" text-anchor=\"middle\">" +
             Num(t) + "</text>\n";
    s += "<text x=\"" + Num(kWidth / 2) + "\" y=\"" + Num(kHeight - 12) +
         "\" text-anchor=\"middle\">time [s]</text>\n<text x=\"16\" y=\"" + Num(kHeight / 2) +
         "\" transform=\"rotate(-90 16 " + Num(kHeight / 2) + ")\" text-anchor=\"middle\">offset [ms]</text>\n";
    // Cuts and option markers (with a label) in red, spline points in grey.
    for (const auto &[t, label] : data.Marks)
        s += "<line x1=\"" + Num(x(t)) + "\" x2=\"" + Num(x(t)) + "\" y1=\"" + Num(kTop) + "\" y2=\"" +
             Num(kHeight - kBottom) + "\" stroke=\"" + (label.empty() ? "#aaa" : "#c33") +
             "\" stroke-dasharray=\"3,3\"/><text x=\"" + Num(x(t) + 3) + "\" y=\"" + Num(kTop + 12) +
             "\" fill=\"#c33\" font-size=\"10\">" + Escape(label) + "</text>\n";
    for (const auto &w : data.Windows) {
        if (!w.Matched)
            continue;
        double c = std::clamp(w.Score, 0.1, 1.0);
        s += "<circle cx=\"" + Num(x(w.Start + 0.5 * w.Length)) + "\" cy=\"" + Num(y(w.Offset * 1000)) +
             "\" r=\"3\" fill=\"" + (w.Inlier || w.Segment < 0 ? "#36c" : "none") + "\" stroke=\"#36c\" fill-opacity=\"" +
             Num(c) + "\"/>\n";
    }
    for (const auto &c : data.Curves) {
        if (c.empty())
            continue;
        s += "<polyline fill=\"none\" stroke=\"#222\" stroke-width=\"1.5\" points=\"";
        for (const auto &p : c)
            s += Num(x(p.Time)) + "," + Num(y(p.OffsetMs)) + " ";
        s += "\"/>\n";
    }
    s += "</svg>\n";
    return s;
}

} // namespace tessaly::autosync
