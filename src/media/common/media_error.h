// The media error code shared by all media code, the reason a reader gives for a refused
// file, and the translations of foreign error spaces (AVIFile results, image-loader and
// source-layer statuses). The media layer only names codes and reasons: the texts the
// user reads come from the front-end's message table and the language file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessaly {

// One byte. The identifier of each value is also its language-file key.
enum TMediaError : uint8_t {
    meOk = 0,
    meUnknown,
    meParam,
    meState,
    meMemory,
    meFileNotFound,
    meFileFormat,
    meFileSize,
    meFileOpen,
    meFileRead,
    meFileWrite,
    meFileRename,
    meFileExceeds2GB,
    meNoVideoStream,
    meNoAudioStream,
    meFrameFormat,
    meAudioFormat,
    meStreamFormat,
    meFileHandler,
    meUnsupported,
    meSegment,
    meUserAbort,
    meTwain,
    meNoParent,
    meClipboardFormat,
    meClipboardBusy,
    meSysInternal,
    meFlags,
    meDataSize,
    meHandle,
    meBufSize,
    meCodec,
    meCantCompress,
    meCantDecompress,
    meReadOnly,
    meNoData,
    meGraph,
    meTimeout,
    meInternal,
    meIsFolder,        // the path names a folder
    meNotRegularFile,  // the path names a pipe, a device or a socket
};

constexpr int MediaErrorCount = 41;

// Fields of a code's record "identifier|English".
enum TMediaErrorField { mfIdent = 0, mfEnglish = 1 };

// The whole record of a code ("meOk|No error"); a code out of range is treated as meUnknown.
const char *MediaErrorRecord(TMediaError code);

// One field of a code's record; an empty field (or a field number out of range)
// yields the identifier (field 0).
std::string MediaErrorField(TMediaError code, int field);

// Shorthands for field 0 and field 1: the language-file key and the built-in English text.
std::string MediaErrorIdent(TMediaError code);
std::string MediaErrorMessage(TMediaError code);

// What a reader found wrong with a file it refused, beyond the code: the reason and the
// numbers its message names (in the order given with each reason).
enum TMediaReason : uint8_t {
    wrNone = 0,
    wrSampleBits,     // bits per sample of an integer PCM format
    wrFloatBits,      // bits per sample of a floating-point format
    wrChannels,       // channel count, the most supported
    wrSampleRate,     // (a sample rate of 0)
    wrBlockAlign,     // block align, channels, bits per sample, the block align they make
    wrDataChunks,     // number of 'data' chunks of a WAVE file
    wrIndexEntries,   // entries an index claims, the entries its chunk has room for
};

struct TMediaProblem {
    TMediaReason Reason = wrNone;
    int Stream = -1;              // the stream concerned; -1: the file as a whole
    std::vector<int64_t> Values;
    bool Known() const { return Reason != wrNone; }
    bool operator==(const TMediaProblem &) const = default;
};

// The language-file key of a reason's text ("ErrWavBlockAlign"); "" for wrNone.
const char *MediaReasonKey(TMediaReason reason);

// Whether `path` can be opened as a medium without blocking: meOk for a regular file (or
// a symbolic link to one), meFileNotFound, meIsFolder or meNotRegularFile otherwise. Used
// before any reader opens the path, so that a FIFO is never opened.
TMediaError CheckMediaPath(const std::string &path);

// AVIERR result of the AVIFile conventions -> code; unknown values (success codes
// other than 0 included) give meUnknown.
TMediaError MediaErrorFromAviErr(int32_t result);

// Status byte of the still-image loader -> code.
TMediaError MediaErrorFromImageStatus(uint8_t status);

// Last-error code of the plug-ins' media source layer -> code.
TMediaError MediaErrorFromSourceStatus(int32_t status);

// Looks a message up in the language file: (key, English default) -> translated text.
using TMediaErrorTranslator = std::function<std::string(const std::string &key, const std::string &english)>;

// The user-facing sentence: leadText (already translated and formatted by the
// caller), two line breaks, the code's message translated under its identifier
// (English when translate is empty) and a full stop. A known problem's text (already
// filled in by the caller) follows the message after a colon.
std::string MediaErrorSentence(const std::string &leadText, TMediaError code,
                               const TMediaErrorTranslator &translate = {}, const std::string &problemText = {});

} // namespace tessaly
