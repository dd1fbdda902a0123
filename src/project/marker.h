// Markers and chapters of a project and their fixed-width text lines (the entries of
// the marker and chapter lists and the values stored in project files).
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

enum TMarkerKind : uint8_t {
    mkNone = 0,     // the kind of an empty (out-of-range) record
    mkSpline = 1,   // support point of the smooth shift curve
    mkRelCut = 2,   // from here on the value is added to the cut shift (the audio jumps)
    mkDShift = 3,   // from here on the double track is shifted by the value
    mkOption = 4,   // from here on: primary on/off, double on/off, double volume
};

struct TMarker {
    int32_t Frame = 0;         // 0 .. 2147483647
    int32_t Value = 0;         // shift in whole frames, or the packed option word for mkOption
    uint8_t Kind = mkNone;     // TMarkerKind
    bool Affect = false;       // only for mkSpline and mkRelCut: edits pass on to later points
    bool Deactivated = false;  // never for mkOption: kept but not used
    int16_t Milli = 0;         // thousandths of a frame added to Value (-999 .. 999, the sign of
                               // the whole shift); always 0 for mkOption

    // The shift in frames, Value plus the fraction.
    long double Shift() const { return Value + Milli / 1000.0L; }
};

// The shift of a marker in thousandths of a frame.
int64_t MarkerMilli(const TMarker &marker);
// Sets Value and Milli from a shift in thousandths of a frame; false (marker unchanged)
// when the whole part does not fit a marker value.
bool SetMarkerMilli(TMarker &marker, int64_t milli);
// Reads a shift text: an optional sign, digits, optionally a full stop and up to three
// decimals ("+3.25", "-0.04", "12"), blanks around it allowed; false when malformed or
// when |value| exceeds maxWhole frames.
bool ParseMarkerMilli(const std::string &text, int64_t maxWhole, int64_t &milli);
// The value field text of a shift: "+3", "-12", "+3.25", "-0.04" (no sign for 0).
std::string FormatMarkerMilli(int64_t milli);
// The shift nearest `milli` that the 8-character value field of a marker line holds:
// a wide whole part leaves room for fewer decimals (+2250.125 is stored as +2250.13),
// halves rounded away from zero. False when even the whole frames do not fit (beyond 7 digits).
bool FitMarkerMilli(int64_t milli, int64_t &fitted);

bool operator==(const TMarker &a, const TMarker &b);

struct TChapter {
    int32_t Frame = -1;   // first frame of the chapter; -1 for an empty record
    bool Enabled = false;
    bool operator==(const TChapter &) const = default;
};

// Packed option word of an mkOption marker: bits 0-15 double volume in percent
// (0xFFFF = no change), bit 16 primary audio off, bit 17 double audio off.
constexpr int32_t kOptionVolumeMask = 0xFFFF;
constexpr int32_t kOptionNoVolume = 0xFFFF;
constexpr int32_t kOptionAudioOff = 0x10000;
constexpr int32_t kOptionDoubleOff = 0x20000;

// Builds an option word; a volume below 0 or at/above 1000 is stored as no change.
int32_t PackOption(int32_t volume, bool audioOff, bool doubleOff);
// The volume of an option word, -1 for no change.
int32_t OptionVolume(int32_t word);
// Option flags of a frame state: bit 0 audio off, bit 1 double off.
uint8_t OptionFlags(int32_t word);

// Widest frame number a marker line can hold (7 digits).
constexpr int32_t kMaxMarkerLineFrame = 9999999;

// The 22-character marker line. False (and an empty text) when the frame does not fit
// its 7 characters or the value field would be wider than 8 characters.
bool FormatMarker(const TMarker &marker, std::string &line);
// The marker as its line reads back (what a project holds): the shift's sign carried by
// its fraction, Affect only on spline markers and relative cuts, option markers without
// flags or fraction. False when FormatMarker would refuse it or its line would not read
// back (an option volume of 1000 or more); the same as formatting and reading the line,
// without the text.
bool CanonicalMarker(const TMarker &marker, TMarker &canonical);
// Reads a 22-character line, or the older 20-character form (6-character value field).
// False for any other length, an unknown kind letter or a malformed number.
bool ParseMarker(const std::string &line, TMarker &marker);

// The 16-character chapter line: "Start" (frame 0) or "Chapter" padded to 7, then the
// frame right-aligned in 9 characters.
std::string FormatChapter(int32_t frame);
// The frame of a chapter line (from position 8 on, trimmed), -1 when it is not an
// integer 0 .. 2147483647.
int32_t ParseChapterFrame(const std::string &line);

} // namespace tessaly
