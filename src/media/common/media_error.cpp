// Records of the media error codes (identifier and built-in English text), the path check
// before opening a medium and the translations of foreign error spaces.
#include "media/common/media_error.h"

#include "media/common/vfw_types.h"

#include <sys/stat.h>

#include <string_view>

namespace tessaly {

namespace {

// One record per code: identifier (the language-file key) and English message.
constexpr const char *MediaErrorRecords[MediaErrorCount] = {
    "meOk|No error",
    "meUnknown|Unknown error",
    "meParam|Invalid parameter",
    "meState|Action not permitted at this time",
    "meMemory|Out of memory",
    "meFileNotFound|File not found",
    "meFileFormat|File format not supported",
    "meFileSize|Invalid file size",
    "meFileOpen|Error opening file",
    "meFileRead|File read error",
    "meFileWrite|File write error",
    "meFileRename|Error renaming file",
    "meFileExceeds2GB|File size exceeds 2 GB",
    "meNoVideoStream|No video stream found",
    "meNoAudioStream|No audio stream found",
    "meFrameFormat|Image format not supported",
    "meAudioFormat|Audio format not supported",
    "meStreamFormat|Stream format not supported",
    "meFileHandler|No suitable codec found",
    "meUnsupported|Unsupported operation requested",
    "meSegment|File segments are not compatible",
    "meUserAbort|User abort",
    "meTwain|Error accessing scanner driver",
    "meNoParent|Invalid parent window handle",
    "meClipboardFormat|Clipboard format not supported",
    "meClipboardBusy|Clipboard not ready",
    "meSysInternal|Internal OS error",
    "meFlags|Invalid flags",
    "meDataSize|Invalid data size",
    "meHandle|Invalid handle",
    "meBufSize|Buffer too small",
    "meCodec|Codec error",
    "meCantCompress|Can't compress data",
    "meCantDecompress|Can't decompress data",
    "meReadOnly|File is read only",
    "meNoData|No data",
    "meGraph|DirectShow Graph error",
    "meTimeout|Timeout",
    "meInternal|Internal application error",
    "meIsFolder|The path names a folder, not a file",
    "meNotRegularFile|The path names no regular file (but a pipe, a device or a socket)",
};

// Field number `field` of a "a|b|c" record, empty when missing.
std::string_view RecordField(std::string_view record, int field)
{
    for (int i = 0; i < field; ++i) {
        size_t bar = record.find('|');
        if (bar == std::string_view::npos)
            return {};
        record.remove_prefix(bar + 1);
    }
    return record.substr(0, record.find('|'));
}

} // namespace

const char *MediaErrorRecord(TMediaError code)
{
    return MediaErrorRecords[code < MediaErrorCount ? code : meUnknown];
}

std::string MediaErrorField(TMediaError code, int field)
{
    std::string_view record = MediaErrorRecord(code);
    std::string_view text = field >= 0 ? RecordField(record, field) : std::string_view();
    if (text.empty())
        text = RecordField(record, mfIdent);
    return std::string(text);
}

std::string MediaErrorIdent(TMediaError code) { return MediaErrorField(code, mfIdent); }
std::string MediaErrorMessage(TMediaError code) { return MediaErrorField(code, mfEnglish); }

const char *MediaReasonKey(TMediaReason reason)
{
    switch (reason) {
    case wrSampleBits: return "ErrWavSampleBits";
    case wrFloatBits: return "ErrWavFloatBits";
    case wrChannels: return "ErrWavChannels";
    case wrSampleRate: return "ErrWavSampleRate";
    case wrBlockAlign: return "ErrWavBlockAlign";
    case wrDataChunks: return "ErrWavDataChunks";
    case wrIndexEntries: return "ErrIndexEntries";
    case wrNone: break;
    }
    return "";
}

TMediaError CheckMediaPath(const std::string &path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return meFileNotFound;
    if (S_ISDIR(st.st_mode))
        return meIsFolder;
    return S_ISREG(st.st_mode) ? meOk : meNotRegularFile;
}

TMediaError MediaErrorFromAviErr(int32_t result)
{
    switch (result) {
    case AVIERR_OK: return meOk;
    case AVIERR_UNSUPPORTED: return meUnsupported;
    case AVIERR_BADFORMAT: return meFileFormat;
    case AVIERR_MEMORY: return meMemory;
    case AVIERR_INTERNAL: return meSysInternal;
    case AVIERR_BADFLAGS: return meFlags;
    case AVIERR_BADPARAM: return meParam;
    case AVIERR_BADSIZE: return meDataSize;
    case AVIERR_BADHANDLE: return meHandle;
    case AVIERR_FILEREAD: return meFileRead;
    case AVIERR_FILEWRITE: return meFileWrite;
    case AVIERR_FILEOPEN: return meFileOpen;
    case AVIERR_COMPRESSOR: return meCodec;
    case AVIERR_NOCOMPRESSOR: return meFileHandler;
    case AVIERR_READONLY: return meReadOnly;
    case AVIERR_NODATA: return meNoData;
    case AVIERR_BUFFERTOOSMALL: return meBufSize;
    case AVIERR_CANTCOMPRESS: return meCantCompress;
    case AVIERR_USERABORT: return meUserAbort;
    default: return meUnknown;
    }
}

TMediaError MediaErrorFromImageStatus(uint8_t status)
{
    switch (status) {
    case 0: return meOk;
    case 1: return meMemory;
    case 2: return meFileNotFound;
    case 3: return meFileFormat;
    case 4: return meFrameFormat;
    case 5: return meFileOpen;
    case 6: return meUserAbort;
    case 8: return meTwain;
    case 9: return meNoParent;
    case 10: return meClipboardFormat;
    case 11: return meClipboardBusy;
    default: return meUnknown;
    }
}

TMediaError MediaErrorFromSourceStatus(int32_t status)
{
    switch (status) {
    case 0: return meOk;
    case 1: return meMemory;
    case 2: return meFlags;
    case 3: return meNoData;
    case 4: case 5: return meParam;
    case 21: case 22: case 24: case 25: case 26: case 27: case 28: case 29: case 44: case 63:
        return meGraph;
    case 23: return meFileOpen;
    case 30: case 43: case 62: return meTimeout;
    case 31: return meFileFormat;
    case 32: return meFileNotFound;
    case 40: return meNoVideoStream;
    case 41: case 42: case 61: return meStreamFormat;
    case 60: return meNoAudioStream;
    case 81: case 82: return meFrameFormat;
    case -3: case -2: case -1: return meInternal;
    default: return meUnknown;
    }
}

std::string MediaErrorSentence(const std::string &leadText, TMediaError code,
                               const TMediaErrorTranslator &translate, const std::string &problemText)
{
    std::string english = MediaErrorMessage(code);
    std::string message = translate ? translate(MediaErrorIdent(code), english) : english;
    if (!problemText.empty())
        message += ": " + problemText;
    return leadText + "\n\n" + message + ".";
}

} // namespace tessaly
