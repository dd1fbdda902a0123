// Opening a local media file with libavformat so that reading it never leaves the file
// the user named: only the "file" protocol is allowed (also for every file a demuxer
// opens on its own), and demuxers whose input names further files or URLs (playlists,
// concatenation lists, manifests, session descriptions) are refused before they run.
#pragma once

#include <string>

struct AVFormatContext;

namespace tessaly {

// Whether libavformat's demuxer of that name is refused because it opens other files or URLs.
bool IsRefusedDemuxer(const char *name);

// Probes fileName (read as a local file whatever its name looks like) and opens it with the
// demuxer found, unless that demuxer is refused. 0 with *context set on success, else a
// negative AVERROR code: AVERROR(ENOENT)/AVERROR(EACCES) when the file cannot be opened,
// AVERROR_INVALIDDATA when no demuxer accepts it (or an AVI's index counts do not fit its
// chunks), AVERROR(EPERM) for a refused demuxer, AVERROR(EISDIR) for a folder and
// AVERROR(ENODEV) for a pipe, device or socket (never opened).
// The caller closes the context with avformat_close_input; stream info is not read yet.
int OpenLocalMedia(const std::string &fileName, AVFormatContext **context);

} // namespace tessaly
