// The filter table of the audio open dialog (as data for the user interface to show):
// entries with labels, patterns and the access path each one selects, the preselection
// by the remembered last kind, and what a choice hands back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/common/media_error.h"
#include "media/input/audio_source.h"
#include "media/input/source_kind.h"

namespace tessaly {

// Filter flags; the main window passes 0x9A.
enum : uint32_t {
    cfAutomatic = 0x02,  // "All supported media files", "All Files" (and the smart-renderable entry)
    cfSystemLayer = 0x08, // entries of the system media layer (MSVW)
    cfOwnReader = 0x10,   // the own reader's entry (ODML)
    cfDirect = 0x40,      // the direct media-framework entry (MSDS)
    cfPlugins = 0x80,     // one entry per audio plug-in
};

struct TChooseFilter {
    std::string Label;    // shown text: label, " (", patterns, ")"; the front-end fills it from LabelKey
    std::string Patterns; // ";"-separated, lower-cased, trimmed, without duplicates
    TSourceKind Kind = ksAuto;
    int Param = -1;
    std::string LabelKey; // message key of the label; empty when Label is a name of its own (a plug-in's)
    std::string KindString() const { return MakeKindString(Kind, Param); }
};

// One try at opening a file list: the access path, its parameter (the plug-in for VFAP,
// -1 for none), whether a VFAP try without a plug-in may look for one claiming the file,
// and (audio) whether a file this path finds without audio is named as such although an
// earlier path failed otherwise.
struct TPathAttempt {
    TSourceKind Kind = ksNone;
    int Param = -1;
    bool AllowFallback = false;
    bool NamesMissingAudio = false;
    bool operator==(const TPathAttempt &) const = default;
};

// The access paths the audio front-end tries for a file list whose first file is
// firstFile, in order: the one asked for (AUTO: the own reader for AVI, the system layer
// for WAV and AviSynth scripts, FFmpeg for everything else, at access level 2 the first
// plug-in claiming the file, else direct access), then the fallbacks while nothing
// opened: for AVI the system layer; for AVI and WAV (detected or with allowFallback)
// FFmpeg; for a detected file FFmpeg cannot read the path its extension points to; with
// allowFallback and no stream asked for by number (wantedStream < 0) every other plug-in
// claiming the file, then direct access. Empty when no path can be named.
std::vector<TPathAttempt> AudioPathOrder(const std::string &firstFile, TSourceKind kind, int param,
                                         bool allowFallback, int accessLevel, int wantedStream);
// Opens one file through one path; plugin receives the plug-in a VFAP path uses. Null with
// status set on failure, and what the path found wrong with the file in problem.
std::unique_ptr<TAudioSource> OpenAudioPath(const TPathAttempt &path, const std::string &file, int accessLevel,
                                            int &plugin, TMediaError &status, TMediaProblem &problem);

// The DirectShow-style pattern list offered with the direct media-framework entries.
extern const char *const kDirectAudioPatterns;

// Normalises a pattern list: fields trimmed and lower-cased, empty ones and duplicates dropped.
std::string NormalisePatterns(const std::string &patterns);

// The entries in dialog order for a smart-render level (0, 1 or 2) and filter flags. Entries
// of the program's own carry a LabelKey (their Label is filled in by the front-end), a
// plug-in's entry its own label.
std::vector<TChooseFilter> WaveChooseFilters(int smartLevel, uint32_t filterFlags);
// A plug-in's entry: its label with the patterns.
TChooseFilter PluginChooseFilter(const std::string &label, const std::string &patterns, TSourceKind kind, int param);
// The dialog's filter text: label and patterns of each entry, each ended by NUL, then one more NUL.
std::string ChooseFilterText(const std::vector<TChooseFilter> &filters);

// The module-wide last kind (at most 31 characters), remembered between dialogs.
std::string WaveLastKind();
void SetWaveLastKind(const std::string &kind);
// Index of the entry preselected: the first whose kind string equals the last kind (a
// non-empty callerLastKind replaces the remembered one first), else 0.
int WavePreselectedFilter(const std::vector<TChooseFilter> &filters, const std::string &callerLastKind);
// After a choice: the remembered last kind (and *callerLastKind when given) become the
// entry's kind string; returns that kind string when the entry names a definite access
// path (kind above DUMY), else "" (detect on open).
std::string WaveChosenKind(const TChooseFilter &chosen, std::string *callerLastKind);

} // namespace tessaly
