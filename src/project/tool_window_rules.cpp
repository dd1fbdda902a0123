// Rules of the tool windows: close-button rule, reference following, curve window zoom
// and place, fitting a picture window.
#include "project/tool_window_rules.h"

#include <algorithm>
#include <cstdio>
#include <charconv>
#include <cmath>
#include <limits>

#include "shell/settings.h"

namespace tessaly {

namespace {

// Rounds to the nearest integer with ties to even, limited to the 32-bit range;
// `fallback` for a value that is not a number.
int32_t RoundEven(long double x, int32_t fallback)
{
    if (std::isnan(x))
        return fallback;
    // nearbyint rounds in the current mode, which is to nearest with ties to even.
    const long double r = std::nearbyint(x);
    if (r >= (long double)std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (r <= (long double)std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return int32_t(r);
}

} // namespace

bool OptionsCloseEnabled(bool limitOn, const std::string &sizeText)
{
    return !limitOn || TSettings::SizeLimitTextValid(sizeText);
}

int32_t MainFollowFrame(int32_t position, long double totalShift, int32_t viewOffset)
{
    const int64_t frame = int64_t(RoundEven((long double)position + totalShift, position)) + viewOffset;
    return int32_t(std::clamp<int64_t>(frame, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

int32_t ReferenceFrame(long double refRate, int32_t mainFrame, long double mainRate)
{
    if (!(refRate > 0) || !(mainRate > 0))
        return -1;
    return RoundEven(refRate * mainFrame / mainRate, -1);
}

int SplineZoom(const std::string &text)
{
    int value = 0;
    const char *first = text.data();
    const char *last = first + text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || text.empty())
        return 100;
    return value >= 100 && value <= 10000 ? value : 100;
}

TWindowRect SplineFirstRect(const TWindowRect &workArea)
{
    const int bottom = workArea.Top + workArea.Height;
    const int top = bottom - (bottom - workArea.Top) / 4;
    return {workArea.Left, top, workArea.Width, bottom - top};
}

TWindowRect FitWindowRect(const TWindowRect &window, int innerWidth, int innerHeight, int clientWidth,
                          int clientHeight, int minWidth, int minHeight, const TWindowRect &limit)
{
    TWindowRect r = window;
    r.Width = std::max(std::min(window.Width + innerWidth - clientWidth + 4, limit.Width), minWidth);
    r.Height = std::max(std::min(window.Height + innerHeight - clientHeight + 4, limit.Height), minHeight);
    r.Left = std::max(std::min(r.Left, limit.Left + limit.Width - r.Width), limit.Left);
    r.Top = std::max(std::min(r.Top, limit.Top + limit.Height - r.Height), limit.Top);
    return r;
}

TWindowRect FitIntoArea(const TWindowRect &window, const TWindowRect &area, const TWindowRect &fallback)
{
    if (area.Width <= 0 || area.Height <= 0)
        return window;
    TWindowRect r = window;
    if (r.Width <= 0 || r.Height <= 0) {
        r.Width = fallback.Width;
        r.Height = fallback.Height;
        r.Left = area.Left + (area.Width - std::min(r.Width, area.Width)) / 2;
        r.Top = area.Top + (area.Height - std::min(r.Height, area.Height)) / 2;
    }
    r.Width = std::clamp(r.Width, 1, area.Width);
    r.Height = std::clamp(r.Height, 1, area.Height);
    r.Left = std::clamp(r.Left, area.Left, area.Left + area.Width - r.Width);
    r.Top = std::clamp(r.Top, area.Top, area.Top + area.Height - r.Height);
    return r;
}

std::string FormatWindowRect(const TWindowRect &r)
{
    return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Width) + "," +
           std::to_string(r.Height);
}

bool ParseWindowRect(const std::string &text, TWindowRect &r)
{
    long long v[4];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%lld,%lld,%lld,%lld%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4)
        return false;
    for (long long x : v)
        if (x < -1000000 || x > 1000000)
            return false;
    if (v[2] < 1 || v[3] < 1)
        return false;
    r = {int(v[0]), int(v[1]), int(v[2]), int(v[3])};
    return true;
}

TWindowRect SplineFirstRectBeside(const TWindowRect &main, const TWindowRect &workArea)
{
    TWindowRect r = main;
    r.Height = std::max(120, main.Height / 4);
    r.Top = main.Top + main.Height - r.Height;
    return FitIntoArea(r, workArea);
}

} // namespace tessaly
