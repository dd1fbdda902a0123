// framepull through the plug-in host and through its exports: decoded frames and audio
// against ffmpeg, the RIFF extension against the program's own AVI reader, uncompressed
// frames byte for byte, and stream descriptor files.
#include "media/common/byte_order.h"
#include "media/input/avi2_reader.h"
#include "media/input/vfapi_host.h"
#include "plugin_library.h"
#include "plugin_media.h"
#include "support/riff_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace tessaly;
using namespace tessaly::test;

namespace {

constexpr uint32_t kW = 160, kH = 120, kLine = kW * 3;

const std::vector<uint8_t> &ReferenceBgr()
{
    static const std::vector<uint8_t> bgr = FfmpegDecode(Mpeg4Avi(), "-f rawvideo -pix_fmt bgr24");
    return bgr;
}

// Mean absolute difference between a top-down 24-bit picture and ffmpeg's frame n.
double MeanDifference(const std::vector<uint8_t> &topDown, size_t n)
{
    const uint8_t *ref = ReferenceBgr().data() + n * kLine * kH;
    long total = 0;
    for (size_t i = 0; i < kLine * kH; ++i)
        total += std::abs(int(topDown[i]) - int(ref[i]));
    return double(total) / double(kLine * kH);
}

// Both pipelines decode with libavcodec's MPEG-4 decoder (identical planes, checked by the
// source tests); the colour conversions differ: fixed-point BT.601 with field-wise chroma
// lines here, swscale's in ffmpeg. Their mean difference stays below this many levels.
constexpr double kColourTolerance = 8.0;

void WriteText(const std::string &path, const std::string &text)
{
    ASSERT_TRUE(WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end())));
}

class FramepullHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        UnloadPlugins();
        LoadPluginsFrom({"framepull=" + std::string(TESSALY_BIN_DIR) + "/framepull.vfp"});
        ASSERT_EQ(PluginCount(), 1);
    }
    void TearDown() override { UnloadPlugins(); }
    TVfHandlePtr Open(const std::string &file)
    {
        TMediaError status = meOk;
        TVfHandlePtr h(VfOpen(0, file, status));
        EXPECT_TRUE(h) << file << " status " << int(status);
        return h;
    }
    // Frame n through the host, top line first.
    std::vector<uint8_t> Frame(VfHostHandle *h, int32_t n)
    {
        SetTopDown(h, true);
        std::vector<uint8_t> out(FrameSize24(h));
        EXPECT_EQ(ReadFrame24(h, n, out.data(), uint32_t(out.size())), out.size()) << n;
        return out;
    }
};

} // namespace

TEST_F(FramepullHost, Mpeg4AviFramesAndAudioAgainstFfmpeg)
{
    ASSERT_EQ(ReferenceBgr().size(), size_t(100) * kLine * kH);
    TVfHandlePtr h = Open(Mpeg4Avi());
    ASSERT_TRUE(h);
    ASSERT_TRUE(HasVideo(h.get()));
    ASSERT_TRUE(HasAudio(h.get()));
    EXPECT_TRUE(HasRiff(h.get()));
    const VfVideoStreamInfo v = VideoInfo(h.get());
    EXPECT_EQ(v.lengthLow, 100u);
    EXPECT_EQ(v.rate, 25u);
    EXPECT_EQ(v.scale, 1u);
    EXPECT_EQ(v.width, kW);
    EXPECT_EQ(v.height, kH);
    EXPECT_EQ(v.bitCount, 24u);

    // Stepping, seeking forward and back: each read is the frame asked for, not a neighbour.
    for (int n : {0, 1, 5, 30, 3, 99, 50, 51}) {
        const std::vector<uint8_t> frame = Frame(h.get(), n);
        const double own = MeanDifference(frame, size_t(n));
        EXPECT_LT(own, kColourTolerance) << "frame " << n;
        for (int other : {n - 2, n - 1, n + 1, n + 2}) {
            if (other >= 0 && other < 100) {
                EXPECT_LT(own, MeanDifference(frame, size_t(other))) << "frame " << n << " vs " << other;
            }
        }
    }

    // PCM audio in the AVI comes out as stored.
    const VfAudioStreamInfo a = AudioInfo(h.get());
    EXPECT_EQ(a.lengthLow, 132300u);
    std::vector<uint8_t> pcm(size_t(a.lengthLow) * 4);
    ASSERT_EQ(ReadAudioPcm(h.get(), 0, a.lengthLow, pcm.data(), uint32_t(pcm.size())), pcm.size());
    EXPECT_TRUE(pcm == FfmpegDecode(Mpeg4Avi(), "-vn -f s16le"));
}

TEST_F(FramepullHost, VideoOnlyFilesAndNamesItRefuses)
{
    TVfHandlePtr h = Open(VideoOnlyAvi());
    ASSERT_TRUE(h);
    EXPECT_TRUE(HasVideo(h.get()));
    EXPECT_FALSE(HasAudio(h.get()));
    TMediaError status = meOk;
    const std::string mp3 = PluginMedia("stereo.mp3", std::string(kStereoSource) + " -c:a libmp3lame -b:a 192k");
    EXPECT_FALSE(VfOpen(0, mp3, status)) << "framepull takes .avi and .wav only";
}

TEST(FramepullExports, InfoRecordAndReadDataChecks)
{
    TPluginLibrary lib("framepull.vfp");
    ASSERT_TRUE(lib.Loaded());
    ASSERT_TRUE(lib.HasRiff());
    VfPluginInfo info{};
    info.size = sizeof info;
    ASSERT_EQ(lib.InfoExport()(&info), VF_OK);
    EXPECT_EQ(info.streamTypes, 3u);
    EXPECT_STREQ(info.infoText, "Tessaly DirectShow RIFF Reader 1.01");
    EXPECT_STREQ(info.fileTypes, "AVI/WAV via DirectShow (*.avi;*.wav;*.avids)|*.avi;*.wav;*.avids");
    VfRiffFunc riff{};
    riff.size = sizeof riff - 1;
    EXPECT_EQ(lib.RiffExport()(&riff), VF_ERROR);
    EXPECT_EQ(riff.GetRiffInfo, nullptr);

    TPluginFile file(lib, VideoOnlyAvi());
    ASSERT_TRUE(file.Open());
    VfFileInfo fi{sizeof(VfFileInfo), 0};
    ASSERT_EQ(lib.Func.GetFileInfo(file.Handle(), &fi), VF_OK);
    EXPECT_EQ(fi.hasStreams, 1u);
    // The audio stream of a video-only file: success, the record untouched.
    VfAudioReadData ar{};
    ar.size = 3;
    ar.samplesRead = 0x1234;
    EXPECT_EQ(lib.Func.ReadData(file.Handle(), 2, &ar), VF_OK);
    EXPECT_EQ(ar.samplesRead, 0x1234u);
    VfAudioStreamInfo ai{};
    ai.size = sizeof ai;
    EXPECT_EQ(lib.Func.GetStreamInfo(file.Handle(), 2, &ai), VF_ERROR);

    std::vector<uint8_t> a(kLine * kH), b(kLine * kH, 1);
    VfVideoReadData vr{};
    vr.size = sizeof vr;
    vr.frameLow = 7;
    vr.data = a.data();
    vr.pitch = int32_t(kLine);
    ASSERT_EQ(lib.Func.ReadData(file.Handle(), 1, &vr), VF_OK);
    // The high half of the frame number is ignored.
    vr.frameHigh = 3;
    vr.data = b.data();
    ASSERT_EQ(lib.Func.ReadData(file.Handle(), 1, &vr), VF_OK);
    EXPECT_TRUE(a == b);
    vr.size = sizeof vr + 1;
    EXPECT_EQ(lib.Func.ReadData(file.Handle(), 1, &vr), VF_ERROR);
    vr.size = sizeof vr;
    vr.data = nullptr;
    EXPECT_EQ(lib.Func.ReadData(file.Handle(), 1, &vr), VF_ERROR);
    EXPECT_EQ(lib.Func.ReadData(file.Handle(), 3, &vr), VF_ERROR);
    EXPECT_EQ(lib.Func.ReadData(0, 1, &vr), VF_ERROR);
}

TEST(FramepullExports, RiffExtensionAnswersAsTheOwnReader)
{
    TPluginLibrary lib("framepull.vfp");
    ASSERT_TRUE(lib.HasRiff());
    const std::string avi = Mpeg4Avi();
    TPluginFile file(lib, avi);
    ASSERT_TRUE(file.Open());
    TAvi2Reader reader;
    reader.SetStartAtZero(true);
    ASSERT_EQ(reader.Open(avi), 0);
    const VF_FileHandle h = file.Handle();

    VfRiffInfo info{};
    info.size = sizeof info;
    ASSERT_EQ(lib.Riff.GetRiffInfo(h, &info), VF_OK);
    EXPECT_EQ(info.fileKind, VF_RIFF_KIND_AVI);
    EXPECT_EQ(info.streamFlags, VF_RIFF_HAS_VIDEO | VF_RIFF_HAS_AUDIO);
    EXPECT_EQ(info.fileSizeLow, uint32_t(std::filesystem::file_size(avi)));
    EXPECT_EQ(info.fileSizeHigh, 0u);
    EXPECT_EQ(info.riffSegments, 1u);
    EXPECT_EQ(info.videoStreams, 1u);
    EXPECT_EQ(info.audioStreams, 1u);
    AVIFILEINFO fileInfo{};
    reader.GetFileInfo(fileInfo);
    EXPECT_EQ(0, std::memcmp(&info.fileInfo, &fileInfo, sizeof fileInfo));
    EXPECT_EQ(info.fileInfo.dwStreams, 2u);

    for (uint32_t selector : {VF_RIFF_SELECT_VIDEO, VF_RIFF_SELECT_AUDIO, 0u, 1u}) {
        const int stream = selector == VF_RIFF_SELECT_VIDEO   ? reader.VideoStream(0)
                           : selector == VF_RIFF_SELECT_AUDIO ? reader.AudioStream(0)
                                                              : int(selector);
        VfRiffStreamHeader header{};
        header.size = sizeof header;
        ASSERT_EQ(lib.Riff.GetStreamHeader(h, selector, &header), VF_OK) << selector;
        EXPECT_EQ(header.streamNumber, uint32_t(stream));
        AVISTREAMINFO si{};
        reader.GetStreamInfo(stream, si);
        EXPECT_EQ(0, std::memcmp(&header.streamInfo, &si, sizeof si)) << selector;

        for (uint32_t id : {FourCC("strh"), FourCC("strf")}) {
            VfRiffChunk chunk{};
            chunk.size = sizeof chunk;
            chunk.chunkId = id;
            ASSERT_EQ(lib.Riff.ReadChunk(h, selector, &chunk), VF_OK);
            int32_t size = 0;
            ASSERT_EQ(reader.ReadData(stream, id, size, nullptr), 0);
            EXPECT_EQ(chunk.length, uint32_t(size));
            std::vector<uint8_t> ours(chunk.length), theirs(static_cast<size_t>(size));
            chunk.buffer = ours.data();
            chunk.bufferSize = chunk.length;
            ASSERT_EQ(lib.Riff.ReadChunk(h, selector, &chunk), VF_OK);
            ASSERT_EQ(reader.ReadData(stream, id, size, theirs.data()), 0);
            EXPECT_TRUE(ours == theirs) << FourCCText(id);
        }
    }
    VfRiffStreamHeader header{};
    header.size = sizeof header;
    EXPECT_EQ(lib.Riff.GetStreamHeader(h, 2, &header), VF_ERROR) << "only two streams";
    VfRiffChunk chunk{};
    chunk.size = sizeof chunk;
    chunk.chunkId = FourCC("avih");
    ASSERT_EQ(lib.Riff.ReadChunk(h, VF_RIFF_SELECT_FILE, &chunk), VF_OK);
    EXPECT_EQ(chunk.length, 56u);
    chunk.chunkId = FourCC("strd");
    EXPECT_EQ(lib.Riff.ReadChunk(h, VF_RIFF_SELECT_VIDEO, &chunk), VF_ERROR) << "no 'strd' in this file";

    // Stored frames, their sizes and key-frame flags.
    const int video = reader.VideoStream(0);
    for (uint32_t frame : {0u, 1u, 11u, 12u, 13u, 99u}) {
        VfRiffRead read{};
        read.size = sizeof read;
        read.start = frame;
        read.count = -1;
        ASSERT_EQ(lib.Riff.ReadStreamData(h, VF_RIFF_SELECT_VIDEO, &read), VF_OK);
        int32_t bytes = 0, samples = 0;
        // The reader answers a size query with "buffer too small" and the sizes; the plug-in
        // answers it with success and the same sizes.
        ASSERT_EQ(reader.Read(video, int32_t(frame), 1, nullptr, 0, &bytes, &samples), AVIERR_BUFFERTOOSMALL);
        EXPECT_EQ(read.bytesRead, uint32_t(bytes));
        EXPECT_EQ(read.unitsRead, uint32_t(samples));
        std::vector<uint8_t> ours(read.bytesRead), theirs(static_cast<size_t>(bytes));
        read.buffer = ours.data();
        read.bufferSize = read.bytesRead;
        ASSERT_EQ(lib.Riff.ReadStreamData(h, VF_RIFF_SELECT_VIDEO, &read), VF_OK);
        ASSERT_EQ(reader.Read(video, int32_t(frame), 1, theirs.data(), bytes, &bytes, &samples), 0);
        EXPECT_TRUE(ours == theirs) << frame;
        EXPECT_EQ(lib.Riff.IsKeyFrame(h, VF_RIFF_SELECT_VIDEO, frame),
                  reader.IsKeyFrame(video, int32_t(frame)) ? VF_KEYFRAME_YES : VF_KEYFRAME_NO);
    }
    EXPECT_EQ(lib.Riff.IsKeyFrame(h, VF_RIFF_SELECT_VIDEO, 12), VF_KEYFRAME_YES);
    EXPECT_EQ(lib.Riff.IsKeyFrame(h, VF_RIFF_SELECT_VIDEO, 13), VF_KEYFRAME_NO);
    EXPECT_EQ(lib.Riff.SelectStream(h, VF_RIFF_SELECT_AUDIO, 1), VF_ERROR);
    EXPECT_EQ(lib.Riff.SelectStream(h, VF_RIFF_SELECT_VIDEO, 0), VF_OK);
    EXPECT_EQ(lib.Riff.SelectStream(h, 5, 0), VF_ERROR);
    EXPECT_EQ(lib.Riff.GetRiffInfo(0, &info), VF_ERROR);
    EXPECT_EQ(lib.Riff.IsKeyFrame(0, VF_RIFF_SELECT_VIDEO, 0), VF_KEYFRAME_NO);
}

namespace {

// An uncompressed 24-bit AVI of 8 x 6 pixels, three frames (stored bottom line first), a
// 'strd' chunk for the video stream and an 8 kHz mono PCM stream.
std::vector<uint8_t> Frame8x6(int n)
{
    std::vector<uint8_t> f(8 * 3 * 6);
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = uint8_t(n * 60 + i * 7 % 251);
    return f;
}

std::string BuildRawAvi(const std::string &path)
{
    TRiffBuilder r;
    r.Begin("RIFF", "AVI ").Begin("LIST", "hdrl").Chunk("avih", AviMainHeader(40000, 3, 2, 8, 6));
    r.Begin("LIST", "strl").Chunk("strh", StreamHeader("vids", "DIB ", 1, 25, 0, 3, 0, 8, 6));
    r.Chunk("strf", BitmapInfo(8, 6, 24, "")).Chunk("strd", "codec private data").End();
    r.Begin("LIST", "strl").Chunk("strh", StreamHeader("auds", "", 1, 8000, 0, 960, 2));
    r.Chunk("strf", WaveFormat(1, 1, 8000, 16)).End().End();
    const size_t movi = r.Pos() + 8;
    r.Begin("LIST", "movi");
    std::string idx;
    for (int n = 0; n < 3; ++n) {
        const std::vector<uint8_t> f = Frame8x6(n);
        idx += Idx1Entry("00db", 0x10, uint32_t(r.Pos() - movi), uint32_t(f.size()));
        r.Chunk("00db", std::string(f.begin(), f.end()));
        std::string audio(640, '\0');
        for (size_t i = 0; i < 320; ++i)
            audio[i * 2] = char(n * 10 + int(i % 7));
        idx += Idx1Entry("01wb", 0x10, uint32_t(r.Pos() - movi), uint32_t(audio.size()));
        r.Chunk("01wb", audio);
    }
    r.End().Chunk("idx1", idx).End();
    EXPECT_TRUE(r.Save(path));
    return path;
}

} // namespace

TEST(FramepullExports, UncompressedFramesComeOutByteForByte)
{
    TTempDir dir;
    const std::string avi = BuildRawAvi(dir.File("raw.avi"));
    TPluginLibrary lib("framepull.vfp");
    TPluginFile file(lib, avi);
    ASSERT_TRUE(file.Open());
    VfVideoStreamInfo vi{};
    vi.size = sizeof vi;
    ASSERT_EQ(lib.Func.GetStreamInfo(file.Handle(), 1, &vi), VF_OK);
    EXPECT_EQ(vi.lengthLow, 3u);
    EXPECT_EQ(vi.width, 8u);
    EXPECT_EQ(vi.height, 6u);

    // Pitch 0 is the aligned stride (24 bytes); the top line goes first, so output line t
    // is stored line 5 - t.
    for (int n : {2, 0, 1}) {
        std::vector<uint8_t> out(24 * 6, 0xEE);
        VfVideoReadData vr{};
        vr.size = sizeof vr;
        vr.frameLow = uint32_t(n);
        vr.data = out.data();
        ASSERT_EQ(lib.Func.ReadData(file.Handle(), 1, &vr), VF_OK);
        const std::vector<uint8_t> stored = Frame8x6(n);
        for (int t = 0; t < 6; ++t)
            EXPECT_EQ(0, std::memcmp(out.data() + t * 24, stored.data() + (5 - t) * 24, 24)) << n << "," << t;
    }

    // The 'strd' chunk and the stored audio through the RIFF extension.
    VfRiffChunk chunk{};
    chunk.size = sizeof chunk;
    chunk.chunkId = FourCC("strd");
    char text[64] = {};
    chunk.buffer = text;
    chunk.bufferSize = sizeof text;
    ASSERT_EQ(lib.Riff.ReadChunk(file.Handle(), VF_RIFF_SELECT_VIDEO, &chunk), VF_OK);
    EXPECT_EQ(chunk.length, 18u);
    EXPECT_EQ(std::string(text, chunk.length), "codec private data");
    chunk.bufferSize = 4;
    EXPECT_EQ(lib.Riff.ReadChunk(file.Handle(), VF_RIFF_SELECT_VIDEO, &chunk), VF_ERROR) << "buffer too small";
    VfRiffRead read{};
    read.size = sizeof read;
    read.start = 320;
    read.count = 3;
    ASSERT_EQ(lib.Riff.ReadStreamData(file.Handle(), VF_RIFF_SELECT_AUDIO, &read), VF_OK);
    EXPECT_EQ(read.unitsRead, 3u);
    EXPECT_EQ(read.bytesRead, 6u);

    // The decoded audio equals the stored samples.
    VfAudioStreamInfo ai{};
    ai.size = sizeof ai;
    ASSERT_EQ(lib.Func.GetStreamInfo(file.Handle(), 2, &ai), VF_OK);
    EXPECT_EQ(ai.lengthLow, 960u);
    std::vector<int16_t> pcm(960, -1);
    VfAudioReadData ar{};
    ar.size = sizeof ar;
    ar.sampleCount = 960;
    ar.bufferSize = 1920;
    ar.buffer = pcm.data();
    ASSERT_EQ(lib.Func.ReadData(file.Handle(), 2, &ar), VF_OK);
    EXPECT_EQ(ar.samplesRead, 960u);
    for (int n = 0; n < 3; ++n)
        for (int i = 0; i < 320; i += 37)
            EXPECT_EQ(pcm[size_t(n * 320 + i)], n * 10 + i % 7) << n << "," << i;
}

TEST(FramepullDescriptors, FileFpsAndFlipLines)
{
    TTempDir dir;
    std::filesystem::create_directories(dir.File("sub"));
    std::filesystem::copy_file(Mpeg4Avi(), dir.File("clip.avi"));
    std::filesystem::copy_file(StereoWav(), dir.File("sub/clip.wav"));
    TPluginLibrary lib("framepull.vfp");
    ASSERT_TRUE(lib.Loaded());
    auto videoInfo = [&](const std::string &descriptor, const std::string &text, VfVideoStreamInfo &vi) {
        WriteText(descriptor, text);
        TPluginFile file(lib, descriptor);
        vi = VfVideoStreamInfo{};
        vi.size = sizeof vi;
        return file.Open() && lib.Func.GetStreamInfo(file.Handle(), 1, &vi) == VF_OK;
    };
    VfVideoStreamInfo vi{};
    // No FILE line: clip.avids names clip.avi beside it.
    ASSERT_TRUE(videoInfo(dir.File("clip.avids"), "\r\n", vi));
    EXPECT_EQ(vi.rate, 25u);
    EXPECT_EQ(vi.lengthLow, 100u);
    ASSERT_TRUE(videoInfo(dir.File("a.AVIDS"), "fps 29.97\nFILE clip.avi\n", vi));
    EXPECT_EQ(vi.rate, 29970u);
    EXPECT_EQ(vi.scale, 1000u);
    ASSERT_TRUE(videoInfo(dir.File("b.avids"), "FILE\tclip.avi\nFPS 0\n", vi));
    EXPECT_EQ(vi.rate, 25u);
    EXPECT_EQ(vi.scale, 1u);
    ASSERT_TRUE(videoInfo(dir.File("c.avids"), "FPS fast\nFILE " + dir.File("clip.avi") + "\n", vi));
    EXPECT_EQ(vi.rate, 25u);
    EXPECT_FALSE(videoInfo(dir.File("d.avids"), "FILE clip.mp4\n", vi)) << "the target must be .avi or .wav";

    // A relative path with a backslash folder, below the descriptor's folder.
    WriteText(dir.File("e.avids"), "  FILE  sub\\clip.wav  \n");
    TPluginFile wav(lib, dir.File("e.avids"));
    ASSERT_TRUE(wav.Open());
    VfFileInfo fi{sizeof(VfFileInfo), 0};
    ASSERT_EQ(lib.Func.GetFileInfo(wav.Handle(), &fi), VF_OK);
    EXPECT_EQ(fi.hasStreams, 2u);

    // FLIP writes the bottom line first.
    WriteText(dir.File("plain.avids"), "FILE clip.avi");
    WriteText(dir.File("flip.avids"), "FILE clip.avi\nflip\n");
    TPluginFile plain(lib, dir.File("plain.avids")), flip(lib, dir.File("flip.avids"));
    ASSERT_TRUE(plain.Open());
    ASSERT_TRUE(flip.Open());
    std::vector<uint8_t> a(kLine * kH), b(kLine * kH);
    VfVideoReadData vr{};
    vr.size = sizeof vr;
    vr.frameLow = 17;
    vr.pitch = int32_t(kLine);
    vr.data = a.data();
    ASSERT_EQ(lib.Func.ReadData(plain.Handle(), 1, &vr), VF_OK);
    vr.data = b.data();
    ASSERT_EQ(lib.Func.ReadData(flip.Handle(), 1, &vr), VF_OK);
    for (uint32_t t = 0; t < kH; ++t)
        ASSERT_EQ(0, std::memcmp(a.data() + t * kLine, b.data() + (kH - 1 - t) * kLine, kLine)) << t;
    EXPECT_LT(MeanDifference(a, 17), kColourTolerance);
}
