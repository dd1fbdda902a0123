// Frame-exact reading of videos in FFmpeg containers: every frame fetched in random order
// equals FFmpeg's own linear decode, frame counts equal ffprobe's, stored packets equal the
// file's, and the index cache survives damage.
#include "media/input/io_movie_reader.h"
#include "media/input/lavf/lavf_video.h"

#include "support/test_support.h"
#include "support/video_test_support.h"

#include <gtest/gtest.h>

#include "shell/messages.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <sstream>

namespace tessaly {
namespace {

using test::Ffmpeg;
using test::ShellQuote;

// The folder of the generated media; the index cache lives beside them.
const test::TTempDir &MediaDir()
{
    static const auto dir = [] {
        auto d = std::make_unique<test::TTempDir>();
        setenv("XDG_CACHE_HOME", d->File("cache").c_str(), 1);
        return d;
    }();
    return *dir;
}

const char *const kSource = "-f lavfi -i testsrc2=size=160x120:rate=25 -t 4 ";
const char *const kOpenGop = "-c:v libx264 -x264-params open-gop=1:bframes=3:b-pyramid=normal:keyint=24:scenecut=0 ";

struct TMedium {
    const char *Name;
    std::string Make; // ffmpeg arguments after "-y", the output file last
};

const std::vector<TMedium> &Media()
{
    static const std::vector<TMedium> media = {
        {"h264_open_gop.mkv", std::string(kSource) + kOpenGop + "-pix_fmt yuv420p"},
        {"h264_open_gop.ts", std::string(kSource) + kOpenGop + "-pix_fmt yuv420p"},
        // Presentation times that cross the 33-bit wrap of MPEG-TS two seconds in.
        {"h264_wrap.ts", std::string(kSource) + kOpenGop + "-pix_fmt yuv420p -output_ts_offset 95441.7"},
        {"hevc_pyramid.mp4", std::string(kSource) +
                                 "-c:v libx265 -x265-params bframes=4:b-pyramid=1:keyint=24:open-gop=1:log-level=error "
                                 "-pix_fmt yuv420p -tag:v hvc1"},
        {"h264_interlaced.mkv", std::string(kSource) +
                                    "-vf setfield=tff -flags +ilme+ildct -c:v libx264 -x264-params "
                                    "interlaced=1:bframes=2:keyint=20 -pix_fmt yuv420p"},
        // Matroska stores no decode times: the demuxer's guess after a seek differs from the
        // one on the pass from the start, so the first group was unreadable.
        {"mpeg4_bframes.mkv", std::string(kSource) + "-c:v mpeg4 -bf 2 -g 12 -q:v 4"},
        {"mpeg2.mpg", std::string(kSource) + "-c:v mpeg2video -bf 2 -g 15 -q:v 4 -f mpeg"},
        // DVD packs hold several pictures: many carry no presentation time, the last one too.
        {"mpeg2.vob", std::string(kSource) + "-c:v mpeg2video -bf 2 -g 15 -f vob"},
        {"vp9.webm", std::string(kSource) +
                         "-c:v libvpx-vp9 -deadline good -cpu-used 8 -auto-alt-ref 1 -lag-in-frames 12 -g 30 -b:v 300k"},
        {"av1.mkv", "-f lavfi -i testsrc2=size=128x96:rate=25 -t 2 -c:v libaom-av1 -cpu-used 8 -g 20 -crf 40 -b:v 0"},
        {"h264_10bit.mkv", std::string(kSource) + "-c:v libx264 -bf 2 -g 24 -pix_fmt yuv420p10le"},
        {"hevc_10bit.mkv", std::string(kSource) +
                               "-c:v libx265 -x265-params keyint=24:log-level=error -pix_fmt yuv420p10le"},
        {"rotated.mp4", std::string(kSource) + "-c:v libx264 -bf 2 -g 24 -pix_fmt yuv420p"},
        {"flv1.flv", std::string(kSource) + "-c:v flv -g 20"},
        {"wmv2.wmv", std::string(kSource) + "-c:v wmv2 -g 20"},
    };
    return media;
}

// Sets the display matrix of an MP4's first track to a quarter turn clockwise (the
// muxer of this FFmpeg version writes none); false when the file has no track header.
bool TurnMp4(const std::string &path)
{
    std::vector<uint8_t> b = test::ReadFileBytes(path);
    const uint8_t tag[4] = {'t', 'k', 'h', 'd'};
    const auto at = std::search(b.begin(), b.end(), tag, tag + 4);
    // version/flags, two times, track, reserved, duration, 8 reserved, layer .. volume, 2 reserved
    const size_t matrix = size_t(at - b.begin()) + 4 + 4 + 4 * 5 + 8 + 8;
    if (at == b.end() || b[size_t(at - b.begin()) + 4] != 0 || matrix + 36 > b.size())
        return false;
    const uint32_t values[9] = {0, 0x10000, 0, 0xFFFF0000u, 0, 0, 0, 0, 0x40000000};
    for (int i = 0; i < 9; ++i)
        for (int k = 0; k < 4; ++k)
            b[matrix + 4 * size_t(i) + size_t(k)] = uint8_t(values[i] >> (24 - 8 * k));
    return test::WriteFileBytes(path, b);
}

// Makes a medium once per run; the empty string when ffmpeg cannot.
std::string MediumPath(const std::string &name, const std::string &make)
{
    static std::map<std::string, std::string> made;
    auto it = made.find(name);
    if (it != made.end())
        return it->second;
    const std::string path = MediaDir().File(name);
    const bool ok = Ffmpeg(make + " " + ShellQuote(path)) && (name.rfind("rotated", 0) != 0 || TurnMp4(path));
    return made[name] = ok ? path : std::string();
}

std::string MediumPath(const TMedium &m) { return MediumPath(m.Name, m.Make); }

int ProbedFrameCount(const std::string &path)
{
    std::string out;
    test::RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                     "-of csv=p=0 " + ShellQuote(path), &out);
    return std::atoi(out.c_str());
}

// MD5 of a 24-bit image's rows, top row first, without padding (FFmpeg's raw layout).
std::string ImageMd5(const TIOImage &image)
{
    std::vector<uint8_t> rows;
    for (uint32_t y = 0; y < image.Height(); ++y)
        rows.insert(rows.end(), image.Row(y), image.Row(y) + 3 * size_t(image.Width()));
    return test::Md5Hex(rows.data(), rows.size());
}

// FFmpeg's decode of every shown picture as MD5s of top-down BGR24 frames.
std::vector<std::string> ReferenceMd5s(const std::string &path, uint32_t width, uint32_t height)
{
    const std::string raw = test::FfmpegBgr24(path);
    const size_t size = test::Bgr24FrameSize(width, height);
    std::vector<std::string> sums;
    for (size_t at = 0; size && at + size <= raw.size(); at += size)
        sums.push_back(test::Md5Hex(reinterpret_cast<const uint8_t *>(raw.data()) + at, size));
    return sums;
}

// The MD5 of every video packet's data in decode order, from "-c copy -f framemd5" (the
// sixth field: side-data sums may follow it).
std::vector<std::string> PacketMd5s(const std::string &path)
{
    std::string out;
    test::RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -map 0:v:0 -c copy -f framemd5 -", &out);
    std::vector<std::string> sums;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i < 6 && std::getline(fields, field, ','); ++i) {
        }
        sums.push_back(field.substr(field.find_first_not_of(' ')));
    }
    return sums;
}

class LavfFrameExact : public ::testing::TestWithParam<TMedium> {};

TEST_P(LavfFrameExact, RandomOrderEqualsLinearDecode)
{
    const std::string path = MediumPath(GetParam());
    if (path.empty())
        GTEST_SKIP() << "ffmpeg cannot make " << GetParam().Name;
    TLavfFileKey key;
    ASSERT_TRUE(LavfFileKey(path, key));
    std::remove(LavfIndexCacheFile(key.Path).c_str());
    TLavfVideoSource source;
    ASSERT_TRUE(source.Open(path)) << int(source.Status());
    EXPECT_FALSE(source.IndexFromCache());
    const int probed = ProbedFrameCount(path);
    EXPECT_EQ(source.Facts().StoredFrames, probed);
    ASSERT_FALSE(source.IsVariableRate());
    ASSERT_EQ(source.FrameCount(), probed);
    const std::vector<std::string> reference = ReferenceMd5s(path, source.Width(), source.Height());
    ASSERT_EQ(int(reference.size()), probed);

    TIOImage image(source.Width(), source.Height(), pf24Bit);
    const int32_t count = source.FrameCount();
    int wrongLinear = 0, wrongRandom = 0;
    std::vector<std::string> linear(static_cast<size_t>(count));
    for (int32_t n = 0; n < count; ++n) {
        ASSERT_TRUE(source.GetFrame(n, image)) << "frame " << n;
        linear[size_t(n)] = ImageMd5(image);
        wrongLinear += linear[size_t(n)] != reference[size_t(n)];
    }
    std::vector<int32_t> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(20240607));
    for (int32_t n : order) {
        ASSERT_TRUE(source.GetFrame(n, image)) << "frame " << n;
        wrongRandom += ImageMd5(image) != linear[size_t(n)];
    }
    // Backwards, one frame at a time: every step needs its group decoded again.
    for (int32_t n = count - 1; n >= count - 30 && n >= 0; --n) {
        ASSERT_TRUE(source.GetFrame(n, image));
        wrongRandom += ImageMd5(image) != linear[size_t(n)];
    }
    EXPECT_EQ(wrongLinear, 0);
    EXPECT_EQ(wrongRandom, 0);

    // The second open takes the index from the cache and sees the same frames.
    TLavfVideoSource again;
    ASSERT_TRUE(again.Open(path));
    EXPECT_TRUE(again.IndexFromCache());
    ASSERT_EQ(again.FrameCount(), count);
    ASSERT_TRUE(again.GetFrame(count / 2, image));
    EXPECT_EQ(ImageMd5(image), linear[size_t(count / 2)]);
}

INSTANTIATE_TEST_SUITE_P(Containers, LavfFrameExact, ::testing::ValuesIn(Media()),
                         [](const ::testing::TestParamInfo<TMedium> &info) {
                             std::string name = info.param.Name;
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

TEST(LavfVideo, FactsOfRotatedInterlacedAndDeepStreams)
{
    const auto facts = [](const char *name) {
        for (const TMedium &m : Media())
            if (std::string(m.Name) == name) {
                TLavfVideoSource s;
                EXPECT_TRUE(s.Open(MediumPath(m))) << name;
                return std::make_pair(s.Facts(), std::make_pair(s.Width(), s.Height()));
            }
        return std::make_pair(TLavfVideoFacts{}, std::make_pair(0u, 0u));
    };
    auto [rotated, size] = facts("rotated.mp4");
    EXPECT_EQ(rotated.Rotation, 90);
    EXPECT_EQ(size, std::make_pair(120u, 160u));
    EXPECT_EQ(rotated.StoredWidth, 160u);
    EXPECT_GT(facts("h264_interlaced.mkv").first.FieldOrder, 1);
    EXPECT_EQ(facts("h264_open_gop.mkv").first.FieldOrder, 1);
    EXPECT_EQ(facts("hevc_10bit.mkv").first.BitDepth, 10);
    EXPECT_EQ(facts("h264_open_gop.mkv").first.BitDepth, 8);
}

// An MP4 cut out of another without re-encoding starts mid-group: its edit list shows
// frames from 1.3 s on while the packets before them are still needed for decoding.
TEST(LavfVideo, EditListHidesTheFramesBeforeItsStart)
{
    const std::string whole = MediumPath("whole.mp4", std::string(kSource) + kOpenGop + "-pix_fmt yuv420p");
    ASSERT_FALSE(whole.empty());
    const std::string cut = MediaDir().File("cut.mp4");
    ASSERT_TRUE(Ffmpeg("-ss 1.3 -i " + ShellQuote(whole) + " -c copy " + ShellQuote(cut)));
    TLavfVideoSource source;
    ASSERT_TRUE(source.Open(cut));
    const int probed = ProbedFrameCount(cut);
    EXPECT_EQ(source.FrameCount(), probed);
    EXPECT_GT(int(source.Index().Packets.size()), probed); // hidden packets are indexed, not shown
    const std::vector<std::string> reference = ReferenceMd5s(cut, source.Width(), source.Height());
    ASSERT_EQ(int(reference.size()), probed);
    TIOImage image(source.Width(), source.Height(), pf24Bit);
    int wrong = 0;
    for (int32_t n : {0, probed - 1, 1, 10, 5, 0, probed / 2})
        wrong += !source.GetFrame(n, image) || ImageMd5(image) != reference[size_t(n)];
    EXPECT_EQ(wrong, 0);
}

// Two seconds at 25 fps, then two at 10 fps: the grid runs at 25 fps, and each grid frame
// shows the picture displayed at its time.
TEST(LavfVideo, VariableRateMapsTheGridToThePictureShown)
{
    const std::string path = MediumPath(
        "vfr.mp4", "-f lavfi -i testsrc2=size=96x64:rate=25 -filter_complex "
                   "\"[0]trim=0:2,setpts=PTS-STARTPTS[a];[0]trim=2:4,setpts=PTS-STARTPTS,fps=10[b];"
                   "[a][b]concat=n=2:v=1\" -fps_mode vfr -c:v libx264 -bf 0 -g 12 -video_track_timescale 1000");
    ASSERT_FALSE(path.empty());
    TLavfVideoSource source;
    ASSERT_TRUE(source.Open(path));
    EXPECT_TRUE(source.IsVariableRate());
    EXPECT_EQ(source.Rate(), 25);
    EXPECT_EQ(source.Scale(), 1);
    // The muxer hides the last picture (its length is unknown): 69 shown, the last at 3.8 s
    // lasting 0.1 s like the ones before it.
    ASSERT_EQ(source.Facts().StoredFrames, ProbedFrameCount(path));
    ASSERT_EQ(source.Facts().StoredFrames, 69);
    EXPECT_EQ(source.FrameCount(), 98);
    EXPECT_EQ(source.SourceFrame(24), 24);
    EXPECT_EQ(source.SourceFrame(50), 50);
    EXPECT_EQ(source.SourceFrame(52), 50); // 2.08 s: the picture of 2.0 s still shows
    EXPECT_EQ(source.SourceFrame(53), 51); // 2.12 s: the one of 2.1 s
    EXPECT_EQ(source.SourceFrame(97), 68);
    EXPECT_EQ(source.SourceFrame(98), -1);
    const std::vector<std::string> reference = ReferenceMd5s(path, source.Width(), source.Height());
    ASSERT_EQ(reference.size(), 69u);
    TIOImage image(source.Width(), source.Height(), pf24Bit);
    int wrong = 0;
    for (int32_t n : {97, 53, 52, 0, 77, 24, 25, 26, 60})
        wrong += !source.GetFrame(n, image) || ImageMd5(image) != reference[size_t(source.SourceFrame(n))];
    EXPECT_EQ(wrong, 0);
}

TEST(LavfVideo, StoredPacketsAreTheFilesPacketsInAnyOrder)
{
    for (const char *name : {"h264_open_gop.mkv", "h264_open_gop.ts"}) {
        const auto m = std::find_if(Media().begin(), Media().end(),
                                    [&](const TMedium &x) { return std::string(x.Name) == name; });
        const std::string path = MediumPath(*m);
        TLavfVideoSource source;
        ASSERT_TRUE(source.Open(path)) << name;
        const std::vector<std::string> sums = PacketMd5s(path);
        ASSERT_EQ(sums.size(), source.Index().Packets.size()) << name;
        std::vector<int32_t> order(static_cast<size_t>(source.FrameCount()));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
        // Sequential reading first (read on), then random (seeks).
        std::vector<int32_t> all(order.size());
        std::iota(all.begin(), all.end(), 0);
        all.insert(all.end(), order.begin(), order.end());
        int wrong = 0;
        for (int32_t n : all) {
            TVideoPacket p;
            ASSERT_TRUE(source.ReadPacket(n, p)) << name << " frame " << n;
            const int32_t decodeIndex = source.Index().Frames()[size_t(n)];
            wrong += test::Md5Hex(p.Data, size_t(p.Size)) != sums[size_t(decodeIndex)];
            wrong += p.KeyFrame != source.IsKeyFrame(n);
        }
        EXPECT_EQ(wrong, 0) << name;
    }
}

TEST(LavfVideo, DamagedOrStaleCacheIsRebuilt)
{
    const std::string path = MediumPath("cache.mkv", std::string(kSource) + kOpenGop + "-pix_fmt yuv420p");
    ASSERT_FALSE(path.empty());
    TLavfFileKey key;
    ASSERT_TRUE(LavfFileKey(path, key));
    const std::string cache = LavfIndexCacheFile(key.Path);
    int32_t frames = 0;
    {
        TLavfVideoSource s;
        ASSERT_TRUE(s.Open(path));
        frames = s.FrameCount();
    }
    std::vector<uint8_t> bytes = test::ReadFileBytes(cache);
    ASSERT_GT(bytes.size(), 100u);
    // One flipped bit, a cut file, garbage: each is ignored and the index rebuilt.
    std::vector<std::vector<uint8_t>> damaged = {bytes, std::vector<uint8_t>(bytes.begin(), bytes.end() - 41),
                                                 std::vector<uint8_t>(37, 0xA5)};
    damaged[0][bytes.size() / 2] ^= 0x10;
    for (const auto &d : damaged) {
        ASSERT_TRUE(test::WriteFileBytes(cache, d));
        TLavfVideoSource s;
        ASSERT_TRUE(s.Open(path));
        EXPECT_FALSE(s.IndexFromCache());
        EXPECT_EQ(s.FrameCount(), frames);
        EXPECT_EQ(test::ReadFileBytes(cache), bytes); // written again, whole
    }
    // A cache of the same name made for another state of the file does not fit.
    TLavfIndex index;
    TLavfFileKey changed = key;
    changed.ModifiedNs += 1;
    EXPECT_TRUE(index.Parse(bytes.data(), bytes.size(), key));
    EXPECT_FALSE(index.Parse(bytes.data(), bytes.size(), changed));
    changed = key;
    changed.Size += 1;
    EXPECT_FALSE(index.Parse(bytes.data(), bytes.size(), changed));
}

// The front-end detects the container, keeps its contract and stores the path as LAVF.
TEST(LavfVideo, FrontEndOpensContainersAsLavf)
{
    const std::string path = MediumPath(Media()[0]);
    TIOMovieReader reader;
    ASSERT_TRUE(reader.Open(path, "AUTO|-1"));
    EXPECT_EQ(reader.KindString(), "LAVF|-1");
    EXPECT_EQ(SourceDescriptionText(reader.Description()), "Matroska / WebM video");
    EXPECT_EQ(reader.FrameCount(), 100);
    EXPECT_EQ(reader.Rate(), 25);
    EXPECT_EQ(reader.Scale(), 1);
    EXPECT_EQ(reader.Width(), 160u);
    EXPECT_EQ(reader.PixelFormat(), pf24Bit);
    EXPECT_FALSE(reader.CanSmartRender()); // the AVI result writer copies only AVI chunks
    ASSERT_NE(reader.LavfVideo(), nullptr);
    const std::vector<std::string> reference = ReferenceMd5s(path, 160, 120);
    auto image = reader.NewFrameImage();
    ASSERT_TRUE(reader.GetFrame(50, *image));
    EXPECT_EQ(ImageMd5(*image), reference[50]);
    EXPECT_FALSE(reader.GetFrame(100, *image));
    EXPECT_EQ(reader.Status(), meParam);
    // Without smart rendering the stored data are the decoded picture in the output format.
    EXPECT_EQ(reader.GetStoredFormat(), reader.OutputFormat());
    const TStoredFrame stored = reader.ReadStored(50);
    ASSERT_TRUE(stored.Ok);
    EXPECT_TRUE(stored.KeyFrame);
    ASSERT_EQ(uint32_t(stored.Size), image->ImageSize());
    EXPECT_TRUE(std::equal(stored.Data, stored.Data + stored.Size, image->Bits()));

    // An explicit kind is kept; a file without video is refused with the reason.
    TIOMovieReader again;
    EXPECT_TRUE(again.Open(path, "LAVF|-1"));
    const std::string wav = MediumPath("tone.wav", "-f lavfi -i sine=d=1");
    TIOMovieReader audioOnly;
    EXPECT_FALSE(audioOnly.Open(wav, "LAVF|-1", false));
    EXPECT_EQ(audioOnly.Status(), meNoVideoStream);
    const std::string text = MediaDir().File("notes.mkv");
    ASSERT_TRUE(test::WriteFileBytes(text, std::vector<uint8_t>(1000, 'x')));
    EXPECT_FALSE(audioOnly.Open(text, "LAVF|-1", false));
    EXPECT_EQ(audioOnly.Status(), meFileFormat);
}

} // namespace
} // namespace tessaly
