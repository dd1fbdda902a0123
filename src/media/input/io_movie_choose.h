// The filter table of the video open dialog (as data for the user interface to show):
// entries with labels, patterns and access paths, the preselection by the remembered last
// kind, and what a choice hands back. The dialog itself belongs to the user interface.
#pragma once

#include "media/input/video_source.h"
#include "media/input/wave_choose.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaly {

// Filter flags of the video dialog besides those of the audio dialog: the still-image
// entry, and the entries of the containers FFmpeg demuxes (kind LAVF).
enum : uint32_t { cfImages = 0x20, cfContainers = 0x04 };

// The flags the main window's video and reference-video dialogs pass.
constexpr uint32_t kVideoDialogFilters = 0x9A | cfImages | cfContainers;

// The direct media-framework pattern list of the video dialog.
extern const char *const kDirectVideoPatterns;

// The entries in dialog order for a smart-render level (0, 1 or 2) and filter flags, labelled
// as WaveChooseFilters labels them. The main window passes kVideoDialogFilters, level 1
// for the video and level 0 for the reference video.
std::vector<TChooseFilter> IOMovieChooseFilters(int smartLevel, uint32_t filterFlags);

// The video dialog's own remembered last kind (at most 31 characters).
std::string IOMovieLastKind();
void SetIOMovieLastKind(const std::string &kind);
// Index of the preselected entry: the first whose kind string equals the last kind (a
// non-empty callerLastKind replaces the remembered one first), else 0.
int IOMoviePreselectedFilter(const std::vector<TChooseFilter> &filters, const std::string &callerLastKind);
// After a choice: remembers the entry's kind string (also in *callerLastKind when given);
// returns it when the entry names a definite access path, else "" (detect on open).
std::string IOMovieChosenKind(const TChooseFilter &chosen, std::string *callerLastKind);
// The access paths the video front-end tries for a file list, in order: the one asked for
// (AUTO: the own reader for AVI, the system layer for AviSynth scripts, still images by
// their extension, FFmpeg for every other container, at access level 2 the first plug-in
// claiming the file), then the fallbacks while nothing opened: for a detected container
// the plug-in claiming it (else direct access); for AVI files the system layer, and with
// allowFallback every plug-in claiming the file, then direct access. Empty when no path
// can be named (the open fails with meFileFormat).
std::vector<TPathAttempt> VideoPathOrder(const std::string &fileList, TSourceKind kind, int param,
                                         bool allowFallback, bool withAudio, int accessLevel);
// Opens file `index` of a clip's files through one path (for STIL the whole list as one
// clip); plugin receives the plug-in a VFAP path uses. Null with status set on failure.
std::unique_ptr<TVideoSource> OpenVideoPath(const TPathAttempt &path, const std::vector<std::string> &files,
                                            size_t index, bool withAudio, int accessLevel, int &plugin,
                                            TMediaError &status);

// Caption of the dialog's out-of-memory message.
inline const char *IOMovieChooseCaption() { return "IOMovieChooseFile"; }

} // namespace tessaly
