// TMediaError texts and the translations of AVIFile results, image-loader and
// source-layer statuses.
#include "media/common/media_error.h"
#include "media/common/vfw_types.h"

#include <gtest/gtest.h>

#include <set>

namespace tessaly {
namespace {

TEST(MediaError, RecordsHoldIdentifierAndEnglish)
{
    EXPECT_STREQ(MediaErrorRecord(meOk), "meOk|No error");
    EXPECT_EQ(MediaErrorIdent(meGraph), "meGraph");
    EXPECT_EQ(MediaErrorMessage(meGraph), "DirectShow Graph error");
    EXPECT_EQ(MediaErrorMessage(meFileFormat), "File format not supported");
    EXPECT_EQ(MediaErrorMessage(meCantCompress), "Can't compress data");
    EXPECT_EQ(MediaErrorMessage(meInternal), "Internal application error");
    EXPECT_EQ(MediaErrorMessage(meUserAbort), "User abort");
    EXPECT_EQ(MediaErrorMessage(meIsFolder), "The path names a folder, not a file");
    // Every code has two fields, a unique identifier with the "me" prefix and
    // distinct English messages.
    std::set<std::string> idents, messages;
    for (int c = 0; c < MediaErrorCount; ++c) {
        std::string record = MediaErrorRecord(TMediaError(c));
        EXPECT_EQ(std::count(record.begin(), record.end(), '|'), 1) << record;
        std::string id = MediaErrorIdent(TMediaError(c));
        EXPECT_EQ(id.rfind("me", 0), 0u) << id;
        idents.insert(id);
        messages.insert(MediaErrorMessage(TMediaError(c)));
    }
    EXPECT_EQ(idents.size(), size_t(MediaErrorCount));
    EXPECT_EQ(messages.size(), size_t(MediaErrorCount));
    // A field that does not exist falls back to the identifier.
    EXPECT_EQ(MediaErrorField(meTimeout, 2), "meTimeout");
    EXPECT_EQ(MediaErrorField(meTimeout, -1), "meTimeout");
    EXPECT_EQ(MediaErrorIdent(TMediaError(200)), "meUnknown");
}

TEST(MediaError, AviFileResults)
{
    const std::pair<int32_t, TMediaError> table[] = {
        {0, meOk}, {AVIERR_UNSUPPORTED, meUnsupported}, {AVIERR_BADFORMAT, meFileFormat},
        {AVIERR_MEMORY, meMemory}, {AVIERR_INTERNAL, meSysInternal}, {AVIERR_BADFLAGS, meFlags},
        {AVIERR_BADPARAM, meParam}, {AVIERR_BADSIZE, meDataSize}, {AVIERR_BADHANDLE, meHandle},
        {AVIERR_FILEREAD, meFileRead}, {AVIERR_FILEWRITE, meFileWrite}, {AVIERR_FILEOPEN, meFileOpen},
        {AVIERR_COMPRESSOR, meCodec}, {AVIERR_NOCOMPRESSOR, meFileHandler}, {AVIERR_READONLY, meReadOnly},
        {AVIERR_NODATA, meNoData}, {AVIERR_BUFFERTOOSMALL, meBufSize}, {AVIERR_CANTCOMPRESS, meCantCompress},
        {AVIERR_USERABORT, meUserAbort},
    };
    for (auto [result, code] : table)
        EXPECT_EQ(MediaErrorFromAviErr(result), code) << std::hex << result;
    EXPECT_EQ(AVIERR_BADFORMAT, int32_t(0x80044066u));
    EXPECT_EQ(AVIERR_USERABORT, int32_t(0x800440C6u));
    // A success code other than 0, AVIERR_ERROR and the generic failure are unknown.
    EXPECT_EQ(MediaErrorFromAviErr(1), meUnknown);
    EXPECT_EQ(MediaErrorFromAviErr(AVIERR_ERROR), meUnknown);
    EXPECT_EQ(MediaErrorFromAviErr(TESSALY_E_FAIL), meUnknown);
}

TEST(MediaError, ImageLoaderStatuses)
{
    const TMediaError expected[] = {meOk, meMemory, meFileNotFound, meFileFormat, meFrameFormat, meFileOpen,
                                    meUserAbort, meUnknown, meTwain, meNoParent, meClipboardFormat,
                                    meClipboardBusy, meUnknown, meUnknown};
    for (int s = 0; s < 14; ++s)
        EXPECT_EQ(MediaErrorFromImageStatus(uint8_t(s)), expected[s]) << s;
    EXPECT_EQ(MediaErrorFromImageStatus(255), meUnknown);
}

TEST(MediaError, SourceLayerStatuses)
{
    const std::pair<int32_t, TMediaError> table[] = {
        {0, meOk}, {1, meMemory}, {2, meFlags}, {3, meNoData}, {4, meParam}, {5, meParam},
        {21, meGraph}, {22, meGraph}, {23, meFileOpen}, {24, meGraph}, {29, meGraph}, {44, meGraph},
        {63, meGraph}, {30, meTimeout}, {43, meTimeout}, {62, meTimeout}, {31, meFileFormat},
        {32, meFileNotFound}, {40, meNoVideoStream}, {41, meStreamFormat}, {42, meStreamFormat},
        {61, meStreamFormat}, {60, meNoAudioStream}, {81, meFrameFormat}, {82, meFrameFormat},
        {-1, meInternal}, {-2, meInternal}, {-3, meInternal}, {-4, meUnknown}, {6, meUnknown},
        {20, meUnknown}, {33, meUnknown}, {64, meUnknown}, {83, meUnknown},
    };
    for (auto [status, code] : table)
        EXPECT_EQ(MediaErrorFromSourceStatus(status), code) << status;
}

TEST(MediaError, SentenceUsesTranslationUnderIdentifier)
{
    std::string lead = "Error opening audio file:\n\"a.wav\"";
    EXPECT_EQ(MediaErrorSentence(lead, meFileFormat), lead + "\n\nFile format not supported.");
    std::string seenKey, seenDefault;
    auto translate = [&](const std::string &key, const std::string &english) {
        seenKey = key;
        seenDefault = english;
        return std::string("Dateiformat falsch");
    };
    EXPECT_EQ(MediaErrorSentence("Lead", meFileFormat, translate), "Lead\n\nDateiformat falsch.");
    EXPECT_EQ(seenKey, "meFileFormat");
    EXPECT_EQ(seenDefault, "File format not supported");
}

} // namespace
} // namespace tessaly
