// The segment and stream records of TIOMovieReader, shared by its source files only.
#pragma once

#include "media/input/avi2_decoder.h"
#include "media/input/avifile_frame_decoder.h"
#include "media/input/io_movie_reader.h"
#include "media/input/lavf/lavf_video.h"
#include "media/input/phantom/phantom_video.h"
#include "media/input/still/still_video.h"
#include "media/input/vfapi_host.h"
#include "platform/avi_file.h"

namespace tessaly {

// One stream of one segment file.
struct TIOMovieReader::TStream {
    int32_t Start = 0;                 // the stream's first sample number in its file
    AVISTREAMINFO Info{};
    std::vector<uint8_t> Format;
    int32_t First = 0, Last = -1;      // global frame numbers covered
    std::unique_ptr<TAviFileFrameDecoder> MsvwDecoder; // only for the selected stream
    TAvi2FrameDecoder *OdmlDecoder = nullptr;           // owned by the segment's decoder
};

// One opened file. Streams are declared last so their decoders go before the files.
struct TIOMovieReader::TSegment {
    std::string FileName;
    std::unique_ptr<TAviFile> Msvw;
    std::unique_ptr<TAvi2Decoder> Odml;
    TVfHandlePtr Vfap;
    // The source class of the paths that have one (LAVF, STIL, DUMY), null for the AVI
    // readers and plug-ins; Lavf is the same source when it is an FFmpeg container's.
    std::unique_ptr<TVideoSource> Source;
    TLavfVideoSource *Lavf = nullptr;
    bool Riff = false;                 // plug-in file with the RIFF extension
    AVIFILEINFO FileInfo{};
    std::vector<TStream> Streams;
};

// The stream-name rule of the front-ends: the file name without folder, cut to 58 minus
// the label's length plus "..." when longer than 61 minus it, a blank and the label.
std::string MovieStreamName(const std::string &fileName, const std::string &label);
// Copies a text into a 64-character name field, always terminated.
void SetNameField(char (&field)[64], const std::string &text);

} // namespace tessaly
