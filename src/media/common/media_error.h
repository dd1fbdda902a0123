// The media error code shared by all media code, its texts and the translations
// of foreign error spaces (AVIFile results, image-loader and source-layer statuses).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tessaly {

// One byte, 39 values. The identifier of each value is also its language-file key.
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
};

constexpr int MediaErrorCount = 39;

// Fields of a code's text record "identifier|German|English".
enum TMediaErrorField { mfIdent = 0, mfGerman = 1, mfEnglish = 2 };

// The whole text record of a code ("meOk|Kein Fehler|No error"); a code out of
// range is treated as meUnknown.
const char *MediaErrorRecord(TMediaError code);

// One field of a code's record; an empty field (or a field number out of range)
// yields the identifier (field 0).
std::string MediaErrorField(TMediaError code, int field);

// Shorthands for field 0 and field 2.
std::string MediaErrorIdent(TMediaError code);
std::string MediaErrorMessage(TMediaError code);

// The media layer's descriptive text of a code: German when german is set, else English.
std::string MediaErrorText(TMediaError code, bool german);

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
// (English when translate is empty) and a full stop.
std::string MediaErrorSentence(const std::string &leadText, TMediaError code,
                               const TMediaErrorTranslator &translate = {});

} // namespace tessaly
