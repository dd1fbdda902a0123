// Tests of TAviOutputFile: the exact layout of plain AVI and OpenDML files (header list,
// alignment, blocks, every index) and the refusal of chunks that cannot be stored.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <algorithm>
#include <filesystem>

#include "media/common/byte_order.h"
#include "media/output/avi_output_file.h"
#include "support/avi_external_check.h"
#include "support/avi_reader_check.h"
#include "support/avi_test_media.h"
#include "support/riff_tree.h"
#include "support/test_support.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

struct TChunk {
    std::string Id;
    std::vector<uint8_t> Data;
    bool Key = true;
};

// Streams of a small test file: video 'MJPG' 64x48 at 25 fps, optional 16-bit stereo 48 kHz.
void SetUpStreams(TAviOutputFile &out, bool audio)
{
    ASSERT_TRUE(out.InitOutputStreams());
    TAviVideoOutputStream &v = *out.VideoStream();
    v.Header.fccType = FourCC("vids");
    v.Header.fccHandler = FourCC("MJPG");
    v.Header.dwRate = 25;
    v.Header.dwScale = 1;
    v.ChunkId = FourCC("00dc");
    v.Format = BitmapInfo(64, 48, FourCC("MJPG"));
    if (audio) {
        TAviAudioOutputStream &a = *out.AudioStream();
        a.Header.fccType = FourCC("auds");
        a.Header.dwScale = 4;
        a.Header.dwRate = 192000;
        a.Header.dwSampleSize = 4;
        a.Format = {1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0, 0xEE, 2, 0, 4, 0, 16, 0};
    }
}

// Every chunk of every 'movi' list, in file order, with its header position.
std::vector<std::pair<const TRiffNode *, std::vector<uint8_t>>> MoviChunks(const std::vector<uint8_t> &bytes,
                                                                         const std::vector<TRiffNode> &top)
{
    std::vector<std::pair<const TRiffNode *, std::vector<uint8_t>>> out;
    for (const TRiffNode &riff : top) {
        const TRiffNode *movi = riff.Find("movi");
        if (!movi)
            continue;
        for (const TRiffNode &c : movi->Children)
            if (c.Id != "ix00" && c.Id != "ix01")
                out.emplace_back(&c, ChunkData(bytes, c));
    }
    return out;
}

// Writes the chunks in order through the streams; every write must succeed.
void WriteAll(TAviOutputFile &out, const std::vector<TChunk> &chunks)
{
    for (const TChunk &c : chunks) {
        TAviOutputStream *s = c.Id.substr(0, 2) == "00" ? static_cast<TAviOutputStream *>(out.VideoStream())
                                                        : out.AudioStream();
        uint32_t units = c.Id == "01wb" ? uint32_t(c.Data.size() / 4) : 1;
        ASSERT_TRUE(s->Write(c.Key ? 0x10 : 0, c.Data.data(), units, uint32_t(c.Data.size()))) << out.ErrorText();
    }
}

// MJPEG frames (odd and even sizes) with key flags on every third; `dropped` frame is empty.
std::vector<TChunk> MixedChunks(int videoFrames, bool audio, int dropped = -1)
{
    std::vector<TChunk> chunks;
    const auto &frames = MjpegFrames(videoFrames);
    for (int i = 0; i < videoFrames; ++i) {
        std::vector<uint8_t> data = i == dropped ? std::vector<uint8_t>() : frames[size_t(i)];
        chunks.push_back({"00dc", data, i % 3 == 0});
        if (audio)
            chunks.push_back({"01wb", PcmPattern(int64_t(i) * 1920, 1920, 2), true});
    }
    return chunks;
}

// Checks that the movi chunks are exactly `chunks` and returns them.
void ExpectChunks(const std::vector<uint8_t> &bytes, const std::vector<TRiffNode> &top,
                  const std::vector<TChunk> &chunks)
{
    auto got = MoviChunks(bytes, top);
    ASSERT_EQ(got.size(), chunks.size());
    for (size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(got[i].first->Id, chunks[i].Id) << "chunk " << i;
        EXPECT_EQ(got[i].second, chunks[i].Data) << "chunk " << i;
    }
}

// The 'idx1' records must point at the chunk headers (relative to the first 'movi' code).
void ExpectIdx1(const std::vector<uint8_t> &bytes, const TRiffNode &avi, const std::vector<TChunk> &chunks)
{
    const TRiffNode *idx1 = avi.Find("idx1");
    ASSERT_NE(idx1, nullptr);
    ASSERT_EQ(idx1->Size, chunks.size() * 16);
    const TRiffNode *movi = avi.Find("movi");
    ASSERT_NE(movi, nullptr);
    for (size_t i = 0; i < chunks.size(); ++i) {
        int64_t r = idx1->DataPos() + int64_t(16 * i);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&bytes[size_t(r)]), 4), chunks[i].Id);
        EXPECT_EQ(Le32(bytes, r + 4), chunks[i].Key ? 0x10u : 0u) << i;
        EXPECT_EQ(movi->Children[i].Pos - (movi->Pos + 8), int64_t(Le32(bytes, r + 8))) << i;
        EXPECT_EQ(Le32(bytes, r + 12), chunks[i].Data.size()) << i;
    }
    if (!chunks.empty()) {
        EXPECT_EQ(Le32(bytes, idx1->DataPos() + 8), 4u);
    }
}

// What the project's reader must see in a file written from these chunks.
TReaderExpectation ReaderExpectation(const std::vector<TChunk> &chunks, bool audio)
{
    TReaderExpectation e;
    e.Handler = FourCC("MJPG");
    e.HasAudio = audio;
    if (audio) {
        e.SampleRate = 48000;
        e.Channels = 2;
        e.BlockAlign = 4;
    }
    for (const TChunk &c : chunks) {
        if (c.Id == "01wb") {
            e.Audio.insert(e.Audio.end(), c.Data.begin(), c.Data.end());
        } else {
            e.Frames.push_back(c.Data);
            e.Keys.push_back(c.Key);
        }
    }
    return e;
}

uint32_t StrhField(const std::vector<uint8_t> &bytes, const TRiffNode &strl, int offset)
{
    return Le32(bytes, strl.Find("strh")->DataPos() + offset);
}

} // namespace

TEST(AviOutputFile, PlainAviVideoOnlyHasOneStreamAndLegacyIndex)
{
    TTempDir dir;
    std::string path = dir.File("plain.avi");
    std::vector<TChunk> chunks = MixedChunks(9, false, 4);
    ASSERT_TRUE(std::any_of(chunks.begin(), chunks.end(), [](const TChunk &c) { return c.Data.size() % 2; }));
    {
        TAviOutputFile out(false);
        SetUpStreams(out, false);
        ASSERT_TRUE(out.Init(path, 64, 48, false, false));
        WriteAll(out, chunks);
        ASSERT_TRUE(out.Finalize()) << out.ErrorText();
    }
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    std::vector<TRiffNode> top;
    std::string err;
    ASSERT_TRUE(ParseRiff(bytes, top, &err)) << err;
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].Type, "AVI ");
    EXPECT_EQ(int64_t(top[0].Size) + 8, int64_t(bytes.size()));
    const TRiffNode *hdrl = top[0].Find("hdrl");
    ASSERT_NE(hdrl, nullptr);
    EXPECT_EQ(hdrl->FindAll("LIST").size(), 1u);   // one strl, no odml list
    EXPECT_EQ(hdrl->Find("odml"), nullptr);
    const TRiffNode *strl = hdrl->Find("strl");
    EXPECT_EQ(strl->Find("JUNK"), nullptr);
    int64_t avih = hdrl->Find("avih")->DataPos();
    EXPECT_EQ(Le32(bytes, avih + 0), 40000u);   // microseconds per frame
    EXPECT_EQ(Le32(bytes, avih + 12), 0x10u);   // has index, not interleaved
    EXPECT_EQ(Le32(bytes, avih + 16), 9u);      // total frames
    EXPECT_EQ(Le32(bytes, avih + 24), 1u);      // streams
    EXPECT_EQ(Le32(bytes, avih + 32), 64u);
    EXPECT_EQ(Le32(bytes, avih + 36), 48u);
    EXPECT_EQ(StrhField(bytes, *strl, 32), 9u);                     // dwLength
    size_t largest = 0;
    for (const TChunk &c : chunks)
        largest = std::max(largest, c.Data.size());
    EXPECT_EQ(StrhField(bytes, *strl, 36), largest);                // dwSuggestedBufferSize
    EXPECT_EQ(ChunkData(bytes, *strl->Find("strf")), BitmapInfo(64, 48, FourCC("MJPG")));
    const TRiffNode *movi = top[0].Find("movi");
    EXPECT_EQ(movi->Pos % 2048, 0);
    const TRiffNode &filler = top[0].Children[1];
    EXPECT_EQ(filler.Id, "JUNK");
    EXPECT_EQ(filler.Pos + 8 + filler.Size, movi->Pos);
    ExpectChunks(bytes, top, chunks);
    ExpectIdx1(bytes, top[0], chunks);
    EXPECT_EQ(CheckWithReader(path, ReaderExpectation(chunks, false)), "");
}

TEST(AviOutputFile, OpenDmlSingleBlockKeepsPlaceholdersAndCountsAllFrames)
{
    TTempDir dir;
    std::string path = dir.File("one.avi");
    std::vector<TChunk> chunks = MixedChunks(12, true);
    TAviOutputFile out(true);
    SetUpStreams(out, true);
    ASSERT_TRUE(out.Init(path, 64, 48, true, true));
    WriteAll(out, chunks);
    ASSERT_TRUE(out.Finalize()) << out.ErrorText();
    EXPECT_EQ(out.BlockCount(), 1);

    std::vector<uint8_t> bytes = ReadFileBytes(path);
    std::vector<TRiffNode> top;
    std::string err;
    ASSERT_TRUE(ParseRiff(bytes, top, &err)) << err;
    ASSERT_EQ(top.size(), 1u);   // no 'AVIX' block
    const TRiffNode *hdrl = top[0].Find("hdrl");
    auto strls = hdrl->FindAll("LIST");
    int64_t avih = hdrl->Find("avih")->DataPos();
    EXPECT_EQ(Le32(bytes, avih + 12), 0x110u);
    EXPECT_EQ(Le32(bytes, avih + 16), 12u);
    EXPECT_EQ(Le32(bytes, avih + 24), 2u);
    for (const TRiffNode *l : strls) {
        if (l->Type != "strl")
            continue;
        const TRiffNode *junk = l->Find("JUNK");
        ASSERT_NE(junk, nullptr);
        EXPECT_EQ(junk->Size, 4120u);
        EXPECT_EQ(ChunkData(bytes, *junk), std::vector<uint8_t>(4120, 0));
        EXPECT_EQ(l->Find("indx"), nullptr);
    }
    const TRiffNode *audio = &hdrl->Children[2];
    ASSERT_EQ(audio->Type, "strl");
    EXPECT_EQ(StrhField(bytes, *audio, 32), 12u * 1920);   // sample frames
    EXPECT_EQ(StrhField(bytes, *audio, 36), 1920u * 4);
    const TRiffNode *odml = hdrl->Find("odml");
    ASSERT_NE(odml, nullptr);
    ASSERT_EQ(odml->Find("dmlh")->Size, 248u);
    EXPECT_EQ(Le32(bytes, odml->Find("dmlh")->DataPos()), 12u);
    for (auto &[node, data] : MoviChunks(bytes, top))
        EXPECT_NE(node->Id.substr(0, 2), "ix");
    ExpectChunks(bytes, top, chunks);
    ExpectIdx1(bytes, top[0], chunks);
    EXPECT_EQ(top[0].Find("movi")->Pos % 2048, 0);
    EXPECT_EQ(CheckWithReader(path, ReaderExpectation(chunks, true)), "");
}

// A small block limit makes the writer open 'AVIX' blocks; the standard indexes then
// give the absolute data position of every chunk, and 'idx1' covers the first block.
TEST(AviOutputFile, SeveralBlocksGetSuperAndStandardIndexes)
{
    TTempDir dir;
    std::string path = dir.File("blocks.avi");
    std::vector<TChunk> chunks = MixedChunks(40, true);
    TAviOutputFile out(true, 40000);
    SetUpStreams(out, true);
    ASSERT_TRUE(out.Init(path, 64, 48, true, true));
    WriteAll(out, chunks);
    ASSERT_TRUE(out.Finalize()) << out.ErrorText();

    std::vector<uint8_t> bytes = ReadFileBytes(path);
    std::vector<TRiffNode> top;
    std::string err;
    ASSERT_TRUE(ParseRiff(bytes, top, &err)) << err;
    ASSERT_GE(top.size(), 3u);
    EXPECT_EQ(top[0].Type, "AVI ");
    int64_t end = 0;
    for (size_t i = 0; i < top.size(); ++i) {
        if (i > 0) {
            EXPECT_EQ(top[i].Type, "AVIX");
        }
        EXPECT_EQ(top[i].Children.back().Id, i == 0 ? "idx1" : "LIST");
        end = top[i].Pos + 8 + top[i].Size;
    }
    EXPECT_EQ(end, int64_t(bytes.size()));
    ExpectChunks(bytes, top, chunks);

    // Frames of the first block: avih total; all frames: dmlh and strh.
    auto first = MoviChunks(bytes, {top[0]});
    uint32_t firstFrames = 0;
    std::vector<TChunk> firstChunks(chunks.begin(), chunks.begin() + long(first.size()));
    for (auto &c : firstChunks)
        firstFrames += c.Id == "00dc";
    ExpectIdx1(bytes, top[0], firstChunks);
    const TRiffNode *hdrl = top[0].Find("hdrl");
    EXPECT_EQ(Le32(bytes, hdrl->Find("avih")->DataPos() + 16), firstFrames);
    EXPECT_EQ(Le32(bytes, hdrl->Find("odml")->Find("dmlh")->DataPos()), 40u);

    // Walk each stream's super index and its standard indexes.
    auto all = MoviChunks(bytes, top);
    const char *ids[2] = {"00dc", "01wb"};
    int s = 0;
    for (const TRiffNode &strl : hdrl->Children) {
        if (strl.Type != "strl")
            continue;
        const TRiffNode *indx = strl.Find("indx");
        ASSERT_NE(indx, nullptr);
        ASSERT_EQ(indx->Size, 4120u);
        int64_t h = indx->DataPos();
        EXPECT_EQ(Le16(bytes, h), 4);
        EXPECT_EQ(bytes[size_t(h + 3)], 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&bytes[size_t(h + 8)]), 4), ids[s]);
        uint32_t n = Le32(bytes, h + 4);
        ASSERT_GE(n, 1u);
        std::vector<const TRiffNode *> expect;
        for (auto &[node, data] : all)
            if (node->Id == ids[s])
                expect.push_back(node);
        size_t k = 0;
        for (uint32_t j = 0; j < n; ++j) {
            int64_t e = h + 24 + 16 * j;
            int64_t ix = int64_t(Le64(bytes, e));
            EXPECT_EQ(std::string(reinterpret_cast<const char *>(&bytes[size_t(ix)]), 4), s == 0 ? "ix00" : "ix01");
            uint32_t d = Le32(bytes, ix + 12);
            EXPECT_EQ(Le32(bytes, e + 8), 8 * d + 32);
            EXPECT_EQ(Le32(bytes, ix + 4), 8 * d + 24);
            EXPECT_EQ(bytes[size_t(ix + 11)], 1);
            uint64_t base = Le64(bytes, ix + 20);
            uint64_t duration = 0;
            for (uint32_t q = 0; q < d; ++q, ++k) {
                ASSERT_LT(k, expect.size());
                uint32_t off = Le32(bytes, ix + 32 + 8 * q), size = Le32(bytes, ix + 36 + 8 * q);
                EXPECT_EQ(int64_t(base + off), expect[k]->DataPos());
                EXPECT_EQ(size & 0x7FFFFFFF, expect[k]->Size);
                bool key = s == 1 || (k % 3 == 0);
                EXPECT_EQ((size & 0x80000000u) == 0, key) << k;
                duration += s == 0 ? 1 : (size & 0x7FFFFFFF) / 4;
            }
            EXPECT_EQ(Le32(bytes, e + 12), duration);
        }
        EXPECT_EQ(k, expect.size());
        ++s;
    }
    EXPECT_EQ(s, 2);

    TAviExpectation e;
    e.VideoFrames = 40;
    e.HasAudio = true;
    e.AudioSampleFrames = 40 * 1920;
    e.SampleRate = 48000;
    e.BlockAlign = 4;
    for (const TChunk &c : chunks)
        (c.Id == "01wb" ? e.AudioBytes : e.VideoBytes).insert((c.Id == "01wb" ? e.AudioBytes : e.VideoBytes).end(),
                                                             c.Data.begin(), c.Data.end());
    EXPECT_EQ(CheckWithReader(path, ReaderExpectation(chunks, true)), "");
    std::string report = CheckWithFfmpeg(path, e) + CheckWithMkvmerge(path, e);
    EXPECT_EQ(report, "");
}

TEST(AviOutputFile, RefusesChunksPastTheLastRiffBlockAndKeepsTheFileReadable)
{
    TTempDir dir;
    std::string path = dir.File("limit.avi");
    TAviOutputFile out(true, 4096);
    SetUpStreams(out, false);
    ASSERT_TRUE(out.Init(path, 64, 48, false, false));
    std::vector<uint8_t> frame = PatternBytes(7, 3000);
    int written = 0;
    while (written < 100 && out.VideoStream()->Write(0x10, frame.data(), 1, 3000))
        ++written;
    EXPECT_EQ(written, 64);   // one 3016-byte chunk per 4096-byte block
    EXPECT_EQ(out.ErrorText(), "Maximum number of RIFF blocks exceeded (64)");
    EXPECT_EQ(out.ErrorCode(), meFileSize);
    EXPECT_FALSE(out.VideoStream()->Write(0x10, frame.data(), 1, 10));
    EXPECT_FALSE(out.Finalize());   // the result misses frames: never a success

    std::vector<uint8_t> bytes = ReadFileBytes(path);
    std::vector<TRiffNode> top;
    std::string err;
    ASSERT_TRUE(ParseRiff(bytes, top, &err)) << err;
    EXPECT_EQ(top.size(), 64u);
    auto chunks = MoviChunks(bytes, top);
    ASSERT_EQ(chunks.size(), 64u);
    for (auto &[node, data] : chunks)
        EXPECT_EQ(data, frame);
    EXPECT_EQ(Le32(bytes, top[0].Find("hdrl")->Find("odml")->Find("dmlh")->DataPos()), 64u);
    std::vector<TChunk> stored(64, TChunk{"00dc", frame, true});
    EXPECT_EQ(CheckWithReader(path, ReaderExpectation(stored, false)), "");
}

// The FAT rule: a file on such a volume stays below the volume's file size limit.
class TSmallVolumeOutput : public TAviOutputFile {
public:
    using TAviOutputFile::TAviOutputFile;

protected:
    uint64_t VolumeSizeLimit(const std::string &) override { return 300000; }
};

TEST(AviOutputFile, FileSizeLimitRefusesTheChunkAndAllLaterOnes)
{
    TTempDir dir;
    std::string path = dir.File("fat.avi");
    TSmallVolumeOutput out(true);
    SetUpStreams(out, true);
    ASSERT_TRUE(out.Init(path, 64, 48, true, true));
    std::vector<uint8_t> frame = PatternBytes(9, 20001);
    std::vector<uint8_t> audio = PcmPattern(0, 1920, 2);
    int frames = 0;
    for (; frames < 40; ++frames)
        if (!out.VideoStream()->Write(0x10, frame.data(), 1, uint32_t(frame.size())) ||
            !out.AudioStream()->Write(0x10, audio.data(), 1920, uint32_t(audio.size())))
            break;
    EXPECT_LT(frames, 40);
    EXPECT_EQ(out.ErrorText(), "File exceeds 4 gigabytes on a FAT32 partition");
    EXPECT_FALSE(out.AudioStream()->Write(0x10, audio.data(), 1, 4));
    EXPECT_FALSE(out.Finalize());
    EXPECT_LT(std::filesystem::file_size(path), 300000u);

    std::vector<uint8_t> bytes = ReadFileBytes(path);
    std::vector<TRiffNode> top;
    std::string err;
    ASSERT_TRUE(ParseRiff(bytes, top, &err)) << err;
    auto chunks = MoviChunks(bytes, top);
    size_t videoChunks = 0;
    for (auto &[node, data] : chunks) {
        videoChunks += node->Id == "00dc";
        EXPECT_EQ(data, node->Id == "00dc" ? frame : audio);
    }
    EXPECT_EQ(videoChunks, out.VideoStream()->UnitsWritten);
    EXPECT_EQ(top[0].Find("idx1")->Size, chunks.size() * 16);
    const TRiffNode *strl = top[0].Find("hdrl")->Find("strl");
    EXPECT_EQ(StrhField(bytes, *strl, 32), videoChunks);
}

// A plain AVI file cannot pass 4 GiB (32-bit RIFF size and 'idx1' offsets); the limit is
// lowered here so that a small file reaches it.
class TSmallPlainOutput : public TAviOutputFile {
public:
    using TAviOutputFile::TAviOutputFile;

protected:
    uint64_t PlainAviSizeLimit() const override { return 200000; }
};

TEST(AviOutputFile, PlainAviSizeLimitRefusesChunksButOpenDmlGoesOn)
{
    TTempDir dir;
    std::vector<uint8_t> frame = PatternBytes(4, 30000);
    for (bool openDml : {false, true}) {
        std::string path = dir.File(openDml ? "odml.avi" : "plain.avi");
        TSmallPlainOutput out(openDml);
        SetUpStreams(out, false);
        ASSERT_TRUE(out.Init(path, 64, 48, false, false));
        int frames = 0;
        while (frames < 10 && out.VideoStream()->Write(0x10, frame.data(), 1, uint32_t(frame.size())))
            ++frames;
        EXPECT_EQ(out.Finalize(), openDml);
        if (openDml) {
            EXPECT_EQ(frames, 10);
            continue;
        }
        EXPECT_EQ(out.ErrorText(), "File exceeds 4 gigabytes without the OpenDML format");
        EXPECT_LT(std::filesystem::file_size(path), 200000u);
        std::vector<TChunk> stored(size_t(frames), TChunk{"00dc", frame, true});
        EXPECT_EQ(CheckWithReader(path, ReaderExpectation(stored, false)), "");
    }
}

// With the file size limit of the process lowered, extending the file fails as on a full
// disk: the chunk is refused with the disk-space message and the file stays consistent.
TEST(AviOutputFile, DiskFullRefusesChunkWithMessage)
{
    TTempDir dir;
    std::string path = dir.File("full.avi");
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 20 * 1024 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool finalized;
    std::string message;
    uint64_t written;
    {
        TAviOutputFile out(true);
        SetUpStreams(out, false);
        bool init = out.Init(path, 64, 48, false, false);
        std::vector<uint8_t> frame = PatternBytes(11, 1 << 20);
        for (int i = 0; init && i < 40 && out.VideoStream()->Write(0x10, frame.data(), 1, 1 << 20); ++i) {
        }
        message = out.ErrorText();
        written = out.VideoStream()->UnitsWritten;
        finalized = out.Finalize();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, "Not enough disk space to write additional data");
    EXPECT_FALSE(finalized);
    EXPECT_GT(written, 10u);
    EXPECT_LT(written, 20u);
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    std::vector<TRiffNode> top;
    std::string err;
    ASSERT_TRUE(ParseRiff(bytes, top, &err)) << err;
    EXPECT_EQ(MoviChunks(bytes, top).size(), written);
    EXPECT_EQ(top[0].Find("idx1")->Size, written * 16);
}

TEST(AviOutputFile, UnfinishedFileNeverTakesTheTargetName)
{
    TTempDir dir;
    std::string path = dir.File("cut.avi");
    const std::vector<uint8_t> earlier{'o', 'l', 'd'};
    ASSERT_TRUE(WriteFileBytes(path, earlier));
    auto entries = [&] {
        return std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator());
    };
    {
        // Destroyed without Finalize: the temporary file goes, the earlier file stays.
        TAviOutputFile out(true);
        SetUpStreams(out, false);
        ASSERT_TRUE(out.Init(path, 64, 48, false, false));
        std::vector<uint8_t> frame = PatternBytes(5, 777);
        ASSERT_TRUE(out.VideoStream()->Write(0, frame.data(), 1, 777));
        // Written without a name where the file system allows it: nothing else is visible.
        EXPECT_EQ(entries(), 1);
        EXPECT_EQ(ReadFileBytes(path), earlier);
    }
    EXPECT_EQ(ReadFileBytes(path), earlier);
    EXPECT_EQ(entries(), 1);

    TAviOutputFile out(false);
    SetUpStreams(out, false);
    EXPECT_TRUE(out.Abort());   // not initialised: nothing to do
    ASSERT_TRUE(out.Init(path, 64, 48, false, false));
    EXPECT_TRUE(out.Abort());
    EXPECT_EQ(ReadFileBytes(path), earlier);
    EXPECT_EQ(entries(), 1);
    EXPECT_TRUE(out.Finalize());   // no longer initialised
}

TEST(AviOutputFile, InitRefusesBadSetUps)
{
    TTempDir dir;
    {
        TAviOutputFile out(true);   // no streams
        EXPECT_FALSE(out.Init(dir.File("a.avi"), 64, 48, false, false));
    }
    {
        TAviOutputFile out(true);   // header list larger than its 64 KiB buffer
        SetUpStreams(out, false);
        out.VideoStream()->Extra.assign(70000, 1);
        EXPECT_FALSE(out.Init(dir.File("b.avi"), 64, 48, false, false));
        EXPECT_EQ(out.ErrorText(), "Header list exceeds its buffer of 65536 bytes");
        EXPECT_EQ(out.ErrorCode(), meDataSize);
        EXPECT_FALSE(std::filesystem::exists(dir.File("b.avi")));
    }
    {
        TAviOutputFile out(true);
        SetUpStreams(out, false);
        EXPECT_FALSE(out.Init(dir.File("missing/c.avi"), 64, 48, false, false));
        EXPECT_EQ(out.ErrorText(), "Cannot create \"" + dir.File("missing/c.avi") + "\": No such file or directory");
    }
}

TEST(AviOutputFile, RefusesInvalidChunks)
{
    TTempDir dir;
    std::string path = dir.File("invalid.avi");
    TAviOutputFile out(true);
    SetUpStreams(out, false);
    EXPECT_FALSE(out.WriteChunk(FourCC("00dc"), 0x10, 4, "abcd"));   // not initialised
    ASSERT_TRUE(out.Init(path, 64, 48, false, false));
    ASSERT_TRUE(out.VideoStream()->Write(0x10, "abcd", 1, 4));
    EXPECT_FALSE(out.VideoStream()->Write(0x10, nullptr, 1, 4));
    EXPECT_EQ(out.ErrorText(), "Invalid chunk size (4 bytes)");
    EXPECT_EQ(out.ErrorCode(), meDataSize);
    EXPECT_FALSE(out.WriteChunk(FourCC("00dc"), 0x10, 0x80000000u, "x"));
    EXPECT_FALSE(out.WriteChunk(FourCC("00dc"), 0x10, 4, "efgh"));   // stopped after a refusal
    EXPECT_EQ(out.ErrorCount(), 1);   // later chunks are refused without a new message
    EXPECT_FALSE(out.Finalize());
    std::vector<TChunk> stored{{"00dc", {'a', 'b', 'c', 'd'}, true}};
    EXPECT_EQ(CheckWithReader(path, ReaderExpectation(stored, false)), "");
}

TEST(AviOutputFile, SegmentChunkAndExtraBytesAreStored)
{
    TTempDir dir;
    std::string path = dir.File("segm.avi");
    TAviOutputFile out(true);
    SetUpStreams(out, false);
    out.VideoStream()->Extra = {1, 2, 3};
    ASSERT_TRUE(out.SetSegmentInfo(false, "ab", 5));
    ASSERT_TRUE(out.SetSegmentInfo(true, "xyz123", 0));   // size of the first call stays
    ASSERT_TRUE(out.Init(path, 64, 48, false, false));
    std::vector<uint8_t> frame = PatternBytes(1, 100);
    ASSERT_TRUE(out.VideoStream()->Write(0x10, frame.data(), 1, 100));
    ASSERT_TRUE(out.Finalize());
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    std::vector<TRiffNode> top;
    ASSERT_TRUE(ParseRiff(bytes, top));
    const TRiffNode *hdrl = top[0].Find("hdrl");
    ASSERT_NE(hdrl->Find("segm"), nullptr);
    EXPECT_EQ(ChunkData(bytes, *hdrl->Find("segm")), (std::vector<uint8_t>{0, 'x', 'y', 'z', '1'}));
    EXPECT_EQ(ChunkData(bytes, *hdrl->Find("strl")->Find("strd")), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(top[0].Find("movi")->Pos % 2048, 0);
}
