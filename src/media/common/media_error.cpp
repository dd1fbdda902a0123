// Texts of the media error codes and the translations of foreign error spaces.
#include "media/common/media_error.h"

#include "media/common/vfw_types.h"

#include <string_view>

namespace tessaly {

namespace {

// One record per code: identifier, German message, English message.
constexpr const char *MediaErrorRecords[MediaErrorCount] = {
    "meOk|Kein Fehler|No error",
    "meUnknown|Unbekannter Fehler|Unknown error",
    "meParam|Ung\xC3\xBCltiger Parameter|Invalid parameter",
    "meState|Aktion zur Zeit nicht erlaubt|Action not permitted at this time",
    "meMemory|Nicht gen\xC3\xBCgend Speicher|Out of memory",
    "meFileNotFound|Datei nicht gefunden|File not found",
    "meFileFormat|Dateiformat wird nicht unterst\xC3\xBCtzt|File format not supported",
    "meFileSize|Ung\xC3\xBCltige Dateigr\xC3\xB6\xC3\x9F" "e|Invalid file size",
    "meFileOpen|Fehler beim \xC3\x96" "ffnen der Datei|Error opening file",
    "meFileRead|Fehler beim Lesen der Datei|File read error",
    "meFileWrite|Fehler beim Schreiben der Datei|File write error",
    "meFileRename|Fehler beim Umbenennen der Datei|Error renaming file",
    "meFileExceeds2GB|Dateigr\xC3\xB6\xC3\x9F" "e \xC3\xBC" "berschreitet 2 GB|File size exceeds 2 GB",
    "meNoVideoStream|Kein Videostrom gefunden|No video stream found",
    "meNoAudioStream|Kein Audiostrom gefunden|No audio stream found",
    "meFrameFormat|Bildformat wird nicht unterst\xC3\xBCtzt|Image format not supported",
    "meAudioFormat|Audioformat wird nicht unterst\xC3\xBCtzt|Audio format not supported",
    "meStreamFormat|Datenstromformat wird nicht unterst\xC3\xBCtzt|Stream format not supported",
    "meFileHandler|Kein passender Codec gefunden|No suitable codec found",
    "meUnsupported|Nicht unterst\xC3\xBCtzte Operation angefordert|Unsupported operation requested",
    "meSegment|Dateisegmente sind nicht kompatibel|File segments are not compatible",
    "meUserAbort|Abbruch durch Benutzer|User abort",
    "meTwain|Fehler beim Zugriff auf den Scannertreiber|Error accessing scanner driver",
    "meNoParent|Ung\xC3\xBCltiges Elternfenster|Invalid parent window handle",
    "meClipboardFormat|Zwischenablageformat wird nicht unterst\xC3\xBCtzt|Clipboard format not supported",
    "meClipboardBusy|Zwischenablage nicht bereit|Clipboard not ready",
    "meSysInternal|Interner Betriebssystemfehler|Internal OS error",
    "meFlags|Ung\xC3\xBCltige Flags|Invalid flags",
    "meDataSize|Ung\xC3\xBCltige Datengr\xC3\xB6\xC3\x9F" "e|Invalid data size",
    "meHandle|Ung\xC3\xBCltiges Handle|Invalid handle",
    "meBufSize|Puffer zu klein|Buffer too small",
    "meCodec|Codec-Fehler|Codec error",
    "meCantCompress|Daten k\xC3\xB6nnen nicht komprimiert werden|Can't compress data",
    "meCantDecompress|Daten k\xC3\xB6nnen nicht dekomprimiert werden|Can't decompress data",
    "meReadOnly|Datei ist schreibgesch\xC3\xBCtzt|File is read only",
    "meNoData|Keine Daten|No data",
    "meGraph|DirectShow-Graph-Fehler|DirectShow Graph error",
    "meTimeout|Zeit\xC3\xBC" "berschreitung|Timeout",
    "meInternal|Interner Programmfehler|Internal application error",
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

std::string MediaErrorText(TMediaError code, bool german)
{
    return MediaErrorField(code, german ? mfGerman : mfEnglish);
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
                               const TMediaErrorTranslator &translate)
{
    std::string english = MediaErrorMessage(code);
    std::string message = translate ? translate(MediaErrorIdent(code), english) : english;
    return leadText + "\n\n" + message + ".";
}

} // namespace tessaly
