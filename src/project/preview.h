// The rendering half of the preview: the frame range around the current position and
// the render call that writes the temporary preview file.
#pragma once

#include "platform/safe_file.h"

#include <cstdint>
#include <string>

namespace tessaly {

class TProject;
class TProjectSession;
class TRenderer;

// The temporary preview file: "~tsytmp~.avi" (or .mkv, see CreatePreviewFile) inside a folder of its own (mode 0700,
// made with a random name) under the temporary folder, so that no other user can plant
// a link or a file where the preview is written, read it, or block it. The folder and
// the file go away with Remove() or the object.
class TPreviewFile {
public:
    // The preview file's path inside the private folder under `tempDir`; the folder is
    // made on first use and made anew when `tempDir` changed. Empty, with `error` set
    // (the folder and the system's reason), when no folder can be made there.
    std::string Prepare(const std::string &tempDir, std::string *error = nullptr);
    // Removes the preview file and its folder.
    void Remove() { FFolder.Remove(); }
    // The current preview file's path, empty before Prepare.
    std::string Path() const;

private:
    TPrivateFolder FFolder;
};

// The preview's frame range: centre = current frame + view offset, a = round(fps x
// seconds); mode 0 around the centre (centre - a .. centre + a), 1 from it (centre ..
// centre + a), 2 up to it (centre - a .. centre). The renderer starts at the key frame
// at or before `first`.
void PreviewRange(const TProject &project, int32_t mode, long double seconds, int32_t &first, int32_t &last);

// Renders the preview file `fileName` through `renderer` for that range, with the
// preview's mutes and offset. sizeLimit: setting SRSizeLimit when SRLimitSize is on,
// else 0. A video whose packets libavformat copies (any container but AVI read by the
// own reader) is previewed as Matroska beside fileName (".mkv" in place of its
// extension) with the packets copied, nothing decoded. `written` gets the file made.
// False for an empty name or when the render fails.
bool CreatePreviewFile(TProjectSession &session, TRenderer &renderer, const std::string &fileName, int32_t mode,
                       long double seconds, int32_t sizeLimit, bool showProgress, bool preScan,
                       std::string *written = nullptr);

} // namespace tessaly
