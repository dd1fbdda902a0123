// Text lines of markers and chapters: formatting, parsing and the option word.
#include "project/marker.h"

#include <algorithm>
#include <cstdio>

#include "platform/text_util.h"

namespace tessaly {

namespace {

constexpr size_t kLineLength = 22;
constexpr size_t kOldLineLength = 20;
constexpr size_t kValueStart = 14;   // index of position 15
constexpr size_t kValueWidth = 8;    // the value field of the 22-character line

std::string PadLeft(const std::string &text, size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

const char *KindTag(uint8_t kind)
{
    switch (kind) {
    case mkSpline: return "Spl";
    case mkRelCut: return "Cut";
    case mkDShift: return "Dbl";
    case mkOption: return "Opt";
    default: return nullptr;
    }
}

} // namespace

bool operator==(const TMarker &a, const TMarker &b)
{
    return a.Frame == b.Frame && a.Value == b.Value && a.Kind == b.Kind && a.Affect == b.Affect &&
           a.Deactivated == b.Deactivated && a.Milli == b.Milli;
}

int64_t MarkerMilli(const TMarker &marker)
{
    return int64_t{marker.Value} * 1000 + marker.Milli;
}

bool SetMarkerMilli(TMarker &marker, int64_t milli)
{
    // Division truncates toward zero, so the fraction carries the sign of the whole.
    int64_t whole = milli / 1000;
    if (whole < -2147483647 || whole > 2147483647)
        return false;
    marker.Value = static_cast<int32_t>(whole);
    marker.Milli = static_cast<int16_t>(milli % 1000);
    return true;
}

bool ParseMarkerMilli(const std::string &text, int64_t maxWhole, int64_t &milli)
{
    std::string t = TrimText(text, kFieldBlanks);
    size_t dot = t.find('.');
    std::string whole = t.substr(0, dot);
    std::string decimals = dot == std::string::npos ? std::string() : t.substr(dot + 1);
    if (dot != std::string::npos && (decimals.empty() || decimals.size() > 3))
        return false;
    for (char c : decimals)
        if (c < '0' || c > '9')
            return false;
    bool negative = !whole.empty() && whole[0] == '-';
    // "-.5" and ".5" are not accepted: a digit must stand before the full stop.
    if (whole.empty() || whole == "-" || whole == "+" || static_cast<unsigned char>(whole.back()) <= ' ')
        return false;
    int64_t w = 0;
    if (!ParseInt(whole, -maxWhole, maxWhole, w, kFieldInt))
        return false;
    int64_t fraction = 0;
    for (size_t i = 0; i < 3; ++i)
        fraction = fraction * 10 + (i < decimals.size() ? decimals[i] - '0' : 0);
    int64_t v = (w < 0 ? -w : w) * 1000 + fraction;
    if (v > maxWhole * 1000)
        return false;
    milli = negative ? -v : v;
    return true;
}

std::string FormatMarkerMilli(int64_t milli)
{
    int64_t a = milli < 0 ? -milli : milli;
    std::string text = (milli > 0 ? "+" : milli < 0 ? "-" : "") + std::to_string(a / 1000);
    if (a % 1000 != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03d", static_cast<int>(a % 1000));
        std::string d = digits;
        while (d.back() == '0')
            d.pop_back();
        text += "." + d;
    }
    return text;
}

bool FitMarkerMilli(int64_t milli, int64_t &fitted)
{
    constexpr size_t kField = kValueWidth;
    int64_t v = milli;
    // Rounding can carry into one more whole digit (+9999.996 to +10000.00), which
    // leaves room for one decimal less: a second pass settles it.
    for (int pass = 0; pass < 3; ++pass) {
        if (FormatMarkerMilli(v).size() <= kField) {
            fitted = v;
            return true;
        }
        const int64_t a = v < 0 ? -v : v;
        const size_t digits = std::to_string(a / 1000).size();
        // Sign, whole digits, full stop, decimals.
        const int decimals = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(kField) - 2 -
                                                                      static_cast<int64_t>(digits), 0, 3));
        int64_t quantum = 1;
        for (int i = decimals; i < 3; ++i)
            quantum *= 10;
        int64_t q = a / quantum, rest = a % quantum;
        if (2 * rest >= quantum)
            ++q;
        v = (v < 0 ? -1 : 1) * q * quantum;
    }
    return false;
}

int32_t PackOption(int32_t volume, bool audioOff, bool doubleOff)
{
    int32_t word = (volume < 0 || volume >= 1000) ? kOptionNoVolume : volume;
    if (audioOff)
        word |= kOptionAudioOff;
    if (doubleOff)
        word |= kOptionDoubleOff;
    return word;
}

int32_t OptionVolume(int32_t word)
{
    int32_t volume = word & kOptionVolumeMask;
    return volume == kOptionNoVolume ? -1 : volume;
}

uint8_t OptionFlags(int32_t word)
{
    return static_cast<uint8_t>(((word & kOptionAudioOff) ? 1 : 0) | ((word & kOptionDoubleOff) ? 2 : 0));
}

bool FormatMarker(const TMarker &marker, std::string &line)
{
    line.clear();
    const char *tag = KindTag(marker.Kind);
    // A frame wider than 7 digits would make a longer line that no reader accepts.
    if (!tag || marker.Frame < 0 || marker.Frame > kMaxMarkerLineFrame)
        return false;
    std::string field;
    if (marker.Kind == mkOption) {
        int32_t volume = OptionVolume(marker.Value);
        std::string vol = volume < 0 ? std::string(4, ' ') : std::to_string(volume);
        field = vol + " " + ((marker.Value & kOptionAudioOff) ? "-" : "A") + " " +
                ((marker.Value & kOptionDoubleOff) ? "-" : "D");
    } else {
        field = FormatMarkerMilli(MarkerMilli(marker));
    }
    if (field.size() > kValueWidth)
        return false;
    std::string out = tag;
    out += (marker.Deactivated && marker.Kind != mkOption) ? '%' : ' ';
    out += (marker.Affect && (marker.Kind == mkSpline || marker.Kind == mkRelCut)) ? '>' : ' ';
    out += ' ';
    out += PadLeft(std::to_string(marker.Frame), 7);
    out += ' ';
    out += PadLeft(field, kValueWidth);
    line = out;
    return true;
}

bool CanonicalMarker(const TMarker &marker, TMarker &canonical)
{
    if (!KindTag(marker.Kind) || marker.Frame < 0 || marker.Frame > kMaxMarkerLineFrame)
        return false;
    TMarker m;
    m.Frame = marker.Frame;
    m.Kind = marker.Kind;
    if (marker.Kind == mkOption) {
        // The line shows the volume in at most 4 characters and reads back 0 .. 999.
        const int32_t volume = marker.Value & kOptionVolumeMask;
        if (volume != kOptionNoVolume && volume > 999)
            return false;
        m.Value = PackOption(volume == kOptionNoVolume ? -1 : volume, (marker.Value & kOptionAudioOff) != 0,
                             (marker.Value & kOptionDoubleOff) != 0);
    } else {
        const int64_t milli = MarkerMilli(marker);
        if (FormatMarkerMilli(milli).size() > kValueWidth || !SetMarkerMilli(m, milli))
            return false;
        m.Affect = marker.Affect && (marker.Kind == mkSpline || marker.Kind == mkRelCut);
        m.Deactivated = marker.Deactivated;
    }
    canonical = m;
    return true;
}

bool ParseMarker(const std::string &line, TMarker &marker)
{
    if (line.size() != kLineLength && line.size() != kOldLineLength)
        return false;
    TMarker m;
    switch (line[0]) {
    case 'C': m.Kind = mkRelCut; break;
    case 'D': m.Kind = mkDShift; break;
    case 'O': m.Kind = mkOption; break;
    case 'S': m.Kind = mkSpline; break;
    default: return false;
    }
    int64_t v = 0;
    if (!ParseInt(line.substr(6, 7), 0, 2147483647, v, kFieldInt))
        return false;
    m.Frame = static_cast<int32_t>(v);
    std::string field = line.substr(kValueStart);
    if (m.Kind == mkOption) {
        size_t n = field.size();
        char audio = field[n - 3], dbl = field[n - 1];
        if ((audio != '-' && audio != 'A') || (dbl != '-' && dbl != 'D'))
            return false;
        std::string volumeText = TrimText(field.substr(0, n - 3), kFieldBlanks);
        int64_t volume = -1;
        if (!volumeText.empty() && !ParseInt(volumeText, -1, 999, volume, kFieldInt))
            return false;
        m.Value = PackOption(static_cast<int32_t>(volume), audio == '-', dbl == '-');
    } else {
        if (!ParseMarkerMilli(field, 2147483647, v) || !SetMarkerMilli(m, v))
            return false;
    }
    m.Affect = line[4] == '>' && (m.Kind == mkSpline || m.Kind == mkRelCut);
    m.Deactivated = line[3] == '%' && m.Kind != mkOption;
    marker = m;
    return true;
}

std::string FormatChapter(int32_t frame)
{
    std::string word = frame == 0 ? "Start" : "Chapter";
    word.resize(7, ' ');
    return word + PadLeft(std::to_string(frame), 9);
}

int32_t ParseChapterFrame(const std::string &line)
{
    // Positions 8-16 hold the frame; a frame of ten digits makes the line one longer,
    // so everything from position 8 on is read rather than cutting its last digit.
    if (line.size() < 8)
        return -1;
    int64_t v = 0;
    if (!ParseInt(line.substr(7), 0, 2147483647, v, kFieldInt))
        return -1;
    return static_cast<int32_t>(v);
}

} // namespace tessaly
