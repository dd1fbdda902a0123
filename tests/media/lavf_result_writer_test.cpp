// The container result writer on real files made with ffmpeg: video packets equal to the
// source's, the mixed track sample for sample, the other streams kept, safe replacement.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/input/lavf/lavf_video.h"
#include "media/output/lavf_result_writer.h"
#include "support/render_media.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;

constexpr int kFrames = 100;          // 4 s at 25 fps, a key frame every 25
constexpr int kRate = 48000;
constexpr int kPerFrame = kRate / 25;

// The source files, made once: the same lavfi pictures in several containers.
class Sources {
public:
    static Sources &Get()
    {
        static Sources s;
        return s;
    }
    std::string Path(const std::string &name) const { return FDir.File(name); }
    bool Ok = false;

private:
    Sources()
    {
        const std::string d = FDir.Path() + "/";
        test::WriteFileBytes(d + "s.srt", Bytes("1\n00:00:01,000 --> 00:00:02,000\nHello\n\n"));
        test::WriteFileBytes(d + "meta.txt", Bytes(";FFMETADATA1\ntitle=Film\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\n"
                                                   "END=2000\ntitle=One\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=2000\n"
                                                   "END=4000\ntitle=Two\n"));
        test::WriteFileBytes(d + "font.ttf", Bytes("not really a font, but an attachment all the same"));
        const std::string pictures = "-f lavfi -i testsrc=size=160x120:rate=25:duration=4 ";
        const std::string sounds = "-f lavfi -i sine=f=500:r=44100:d=4 ";
        const std::string h264b = "-c:v libx264 -bf 2 -g 25 -keyint_min 25 -sc_threshold 0 ";
        Ok = test::Ffmpeg(pictures + sounds + "-i " + d + "s.srt -i " + d + "meta.txt -map 0 -map 1 -map 2 "
                          "-map_metadata 3 -map_chapters 3 " + h264b + "-c:a aac -c:s srt -metadata:s:a:0 language=deu "
                          "-attach " + d + "font.ttf -metadata:s:t mimetype=font/ttf " + d + "src.mkv") &&
             test::Ffmpeg(pictures + sounds + "-i " + d + "s.srt -i " + d + "meta.txt -map 0 -map 1 -map 2 "
                          "-map_chapters 3 " + h264b + "-c:a aac -c:s mov_text " + d + "src.mp4") &&
             test::Ffmpeg(pictures + sounds + "-map 0 -map 1 " + h264b + "-c:a pcm_s16le " + d + "src.mov") &&
             test::Ffmpeg(pictures + sounds + "-map 0 -map 1 " + h264b + "-c:a mp2 " + d + "src.ts") &&
             test::Ffmpeg(pictures + sounds + "-map 0 -map 1 -c:v mpeg4 -g 25 -c:a pcm_s16le " + d + "src.avi");
    }
    static std::vector<uint8_t> Bytes(const std::string &s) { return {s.begin(), s.end()}; }
    test::TTempDir FDir;
};

// ffprobe's codec type of every stream, in order.
std::vector<std::string> StreamTypes(const std::string &path)
{
    std::string out;
    test::RunCommand("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + ShellQuote(path), &out);
    std::vector<std::string> types;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            types.push_back(line);
    return types;
}

std::string Probe(const std::string &path, const std::string &entries, const std::string &select = "")
{
    std::string out;
    test::RunCommand("ffprobe -v error " + (select.empty() ? "" : "-select_streams " + select + " ") +
                         "-show_entries " + entries + " -of csv=p=0 " + ShellQuote(path),
                     &out);
    return out;
}

// The index-encoded stereo mix of the whole range.
std::vector<int16_t> Mix(int frames)
{
    std::vector<int16_t> mix(size_t(frames) * kPerFrame * 2);
    for (size_t i = 0; i < mix.size() / 2; ++i) {
        mix[2 * i] = test::IndexLeft(int64_t(i));
        mix[2 * i + 1] = test::IndexRight(int64_t(i));
    }
    return mix;
}

WAVEFORMATEX Format(int bits)
{
    WAVEFORMATEX f{};
    f.wFormatTag = 1;
    f.nChannels = 2;
    f.nSamplesPerSec = kRate;
    f.wBitsPerSample = uint16_t(bits);
    f.nBlockAlign = uint16_t(bits / 4);
    f.nAvgBytesPerSec = kRate * f.nBlockAlign;
    return f;
}

// Writes frames first..last of `source` with `mix` (16-bit stereo) beside them.
bool Render(const std::string &source, const std::string &target, TLavfResultOptions options,
            const std::vector<int16_t> &mix, int32_t first = 0, int32_t last = kFrames - 1, std::string *error = nullptr)
{
    TLavfResultWriter writer;
    options.Container = ResultContainerOfName(target);
    const WAVEFORMATEX format = Format(16);
    bool ok = writer.OpenSource(source) && writer.Open(target, first, last, &format, 0, options);
    for (int32_t f = first; ok && f <= last; ++f)
        ok = writer.WriteAudio(reinterpret_cast<const uint8_t *>(mix.data() + size_t(f - first) * kPerFrame * 2),
                               kPerFrame);
    ok = ok && writer.Finish();
    if (error)
        *error = writer.ErrorText();
    return ok;
}

struct TCase {
    const char *Source;
    const char *Target;
    bool SameBytes;              // the container keeps the packets' bytes
    std::vector<std::string> Kept;   // stream types after the video and the new track
};

TEST(LavfResultWriter, CopiesTheVideoBesideTheLosslessMixAndKeepsTheOtherStreams)
{
    Sources &s = Sources::Get();
    ASSERT_TRUE(s.Ok);
    const std::vector<TCase> cases = {
        {"src.mkv", "r.mkv", true, {"audio", "subtitle", "attachment"}},
        {"src.mkv", "r.mp4", true, {"audio", "data"}},   // chapters as a text track; no SubRip, no fonts
        {"src.mkv", "r.mov", true, {"audio", "data"}},
        {"src.mkv", "r.avi", false, {"audio"}},    // start codes in AVI
        {"src.mp4", "r.mkv", true, {"audio"}},     // MP4 timed text does not fit Matroska
        {"src.mp4", "r.mov", true, {"audio", "subtitle", "data"}},
        {"src.mov", "r.mp4", true, {}},            // PCM does not fit MP4
        {"src.ts", "r.mkv", false, {"audio"}},     // start codes become lengths
        {"src.ts", "r.mp4", false, {"audio"}},
        {"src.avi", "r.mkv", true, {"audio"}},
        {"src.avi", "r.mov", true, {"audio"}},
    };
    const std::vector<int16_t> mix = Mix(kFrames);
    test::TTempDir dir;
    for (const TCase &c : cases) {
        SCOPED_TRACE(std::string(c.Source) + " -> " + c.Target);
        const std::string source = s.Path(c.Source), target = dir.File(c.Target);
        std::string error;
        ASSERT_TRUE(Render(source, target, {}, mix, 0, kFrames - 1, &error)) << error;
        std::vector<std::string> types = StreamTypes(target);
        std::vector<std::string> expected = {"video", "audio"};
        expected.insert(expected.end(), c.Kept.begin(), c.Kept.end());
        EXPECT_EQ(types, expected);
        if (std::string(c.Target) != "r.avi") {
            EXPECT_EQ(Probe(target, "stream_disposition=default", "a:0"), "1\n");
        }
        const std::vector<std::string> got = test::VideoPacketHashes(target);
        const std::vector<std::string> want = test::VideoPacketHashes(source);
        ASSERT_EQ(got.size(), size_t(kFrames));
        if (c.SameBytes) {
            EXPECT_EQ(got, want);
        }
        EXPECT_EQ(test::DecodedAudio(target), mix);
        EXPECT_TRUE(test::DecodesCleanly(target));
        if (std::string(c.Target) == "r.mkv") {
            std::string out;
            EXPECT_EQ(test::RunCommand("mkvmerge -i " + ShellQuote(target), &out), 0) << out;
        }
    }
}

TEST(LavfResultWriter, KeepsChaptersTitlesAndLanguagesOrLeavesThemOut)
{
    Sources &s = Sources::Get();
    ASSERT_TRUE(s.Ok);
    test::TTempDir dir;
    const std::vector<int16_t> mix = Mix(kFrames);
    TLavfResultOptions options;
    options.AudioLanguage = "fra";
    options.AudioTitle = "Synced";
    ASSERT_TRUE(Render(s.Path("src.mkv"), dir.File("all.mkv"), options, mix));
    EXPECT_EQ(Probe(dir.File("all.mkv"), "stream_tags=language,title", "a:0"), "fra,Synced\n");
    EXPECT_EQ(Probe(dir.File("all.mkv"), "stream_tags=language", "a:1"), "deu\n");
    EXPECT_EQ(Probe(dir.File("all.mkv"), "stream_disposition=default", "a:1"), "0\n");
    // Chapters follow the video, whose first picture the source shows a little after 0.
    const double start = std::stod(Probe(s.Path("src.mkv"), "stream=start_time", "v:0"));
    ASSERT_GT(start, 0.0);
    char chapters[100];
    std::snprintf(chapters, sizeof(chapters), "0.000000,%.6f\n%.6f,%.6f\n", 2 - start, 2 - start, 4 - start);
    EXPECT_EQ(Probe(dir.File("all.mkv"), "chapter=start_time,end_time"), chapters);
    EXPECT_EQ(Probe(dir.File("all.mkv"), "format_tags=title"), "Film\n");

    // AVI has no chapters: said so.
    {
        TLavfResultWriter writer;
        TLavfResultOptions avi;
        avi.Container = rcAvi;
        const WAVEFORMATEX format = Format(16);
        ASSERT_TRUE(writer.OpenSource(s.Path("src.mkv")));
        ASSERT_TRUE(writer.Open(dir.File("r.avi"), 0, kFrames - 1, &format, 0, avi));
        ASSERT_TRUE(writer.Finish());
        bool named = false;
        for (const std::string &note : writer.Notes())
            named = named || note.find("chapters") != std::string::npos;
        EXPECT_TRUE(named);
    }

    options.Keep = kpVideoOnly;
    ASSERT_TRUE(Render(s.Path("src.mkv"), dir.File("vo.mkv"), options, mix));
    EXPECT_EQ(StreamTypes(dir.File("vo.mkv")), (std::vector<std::string>{"video", "audio", "subtitle", "attachment"}));
    options.Keep = kpNone;
    ASSERT_TRUE(Render(s.Path("src.mkv"), dir.File("none.mkv"), options, mix));
    EXPECT_EQ(StreamTypes(dir.File("none.mkv")), (std::vector<std::string>{"video", "audio"}));
    EXPECT_EQ(Probe(dir.File("none.mkv"), "chapter=start_time"), "");
}

TEST(LavfResultWriter, KeepsWhatAPlayerNeedsToShowThePictures)
{
    test::TTempDir dir;
    // Turned a quarter, HDR colour: the display matrix and the colour description.
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -c:v libx264 -bf 2 -g 25 "
                             "-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc " + dir.File("a.mp4")));
    ASSERT_TRUE(test::Ffmpeg("-i " + dir.File("a.mp4") + " -c copy -metadata:s:v:0 rotate=90 " + dir.File("src.mp4")));
    const std::string want = Probe(dir.File("src.mp4"), "stream=color_primaries,color_transfer:stream_side_data=rotation", "v:0");
    ASSERT_NE(want.find("90"), std::string::npos) << want;
    const std::vector<int16_t> mix = Mix(kFrames);
    for (const char *name : {"r.mov", "r.mp4"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(Render(dir.File("src.mp4"), dir.File(name), {}, mix));
        EXPECT_EQ(Probe(dir.File(name), "stream=color_primaries,color_transfer:stream_side_data=rotation", "v:0"), want);
        EXPECT_EQ(test::VideoPacketHashes(dir.File(name)), test::VideoPacketHashes(dir.File("src.mp4")));
    }
    // Matroska keeps the colour; the rotation it cannot hold here is named in a note.
    TLavfResultWriter writer;
    TLavfResultOptions options;
    const WAVEFORMATEX format = Format(16);
    ASSERT_TRUE(writer.OpenSource(dir.File("src.mp4")));
    ASSERT_TRUE(writer.Open(dir.File("r.mkv"), 0, kFrames - 1, &format, 0, options));
    ASSERT_TRUE(writer.Finish());
    EXPECT_EQ(Probe(dir.File("r.mkv"), "stream=color_primaries,color_transfer", "v:0"), "smpte2084,bt2020\n");
    ASSERT_EQ(writer.Notes().size(), 1u);
    EXPECT_NE(writer.Notes()[0].find("rotation"), std::string::npos);
}

TEST(LavfResultWriter, StartsAtTheKeyFrameBeforeTheFirstFrameWithRebasedTimes)
{
    Sources &s = Sources::Get();
    ASSERT_TRUE(s.Ok);
    TLavfResultWriter probe;
    ASSERT_TRUE(probe.OpenSource(s.Path("src.mkv")));
    EXPECT_EQ(probe.SourceFrameCount(), kFrames);
    EXPECT_EQ(probe.KeyFrameAtOrBefore(30), 25);
    EXPECT_EQ(probe.KeyFrameAtOrBefore(24), 0);
    EXPECT_EQ(probe.KeyFrameAtOrBefore(50), 50);

    test::TTempDir dir;
    const std::vector<int16_t> mix = Mix(kFrames);
    const std::string target = dir.File("part.mkv");
    // Frames 25 .. 74: the source's packets of those pictures, the first shown at 0.
    ASSERT_TRUE(Render(s.Path("src.mkv"), target, {}, mix, 25, 74));
    std::vector<std::string> got = test::VideoPacketHashes(target);
    std::vector<std::string> all = test::VideoPacketHashes(s.Path("src.mkv"));
    ASSERT_EQ(got.size(), 50u);
    std::multiset<std::string> want(all.begin() + 25, all.begin() + 75);   // decode order within whole groups
    EXPECT_EQ(std::multiset<std::string>(got.begin(), got.end()), want);
    EXPECT_EQ(Probe(target, "frame=pts_time", "v:0").substr(0, 9), "0.000000\n");
    std::vector<int16_t> decoded = test::DecodedAudio(target);
    EXPECT_EQ(decoded, std::vector<int16_t>(mix.begin(), mix.begin() + 50 * kPerFrame * 2));
    EXPECT_TRUE(test::DecodesCleanly(target));
}

TEST(LavfResultWriter, HighResolutionMixStaysTwentyFourBitInFlacAndAlac)
{
    Sources &s = Sources::Get();
    ASSERT_TRUE(s.Ok);
    test::TTempDir dir;
    std::vector<uint8_t> mix(size_t(kFrames) * kPerFrame * 6);
    std::vector<int32_t> values(mix.size() / 3);
    for (size_t i = 0; i < values.size(); ++i) {
        int32_t v = int32_t((i * 2654435761u) & 0xFFFFFF) - 0x800000;   // every bit used
        values[i] = v;
        mix[3 * i] = uint8_t(v);
        mix[3 * i + 1] = uint8_t(v >> 8);
        mix[3 * i + 2] = uint8_t(v >> 16);
    }
    for (const char *name : {"hi.mkv", "hi.mp4", "hi.mov"}) {
        SCOPED_TRACE(name);
        TLavfResultWriter writer;
        TLavfResultOptions options;
        options.Container = ResultContainerOfName(name);
        const WAVEFORMATEX format = Format(24);
        ASSERT_TRUE(writer.OpenSource(s.Path("src.avi")));
        ASSERT_TRUE(writer.Open(dir.File(name), 0, kFrames - 1, &format, 0, options)) << writer.ErrorText();
        for (int f = 0; f < kFrames; ++f)
            ASSERT_TRUE(writer.WriteAudio(mix.data() + size_t(f) * kPerFrame * 6, kPerFrame));
        ASSERT_TRUE(writer.Finish()) << writer.ErrorText();
        const std::string raw = dir.File("hi.raw");
        ASSERT_TRUE(test::Ffmpeg("-i " + ShellQuote(dir.File(name)) + " -map 0:a:0 -f s32le -c:a pcm_s32le " + raw));
        std::vector<uint8_t> bytes = test::ReadFileBytes(raw);
        ASSERT_EQ(bytes.size(), values.size() * 4);
        size_t wrong = 0;
        for (size_t i = 0; i < values.size(); ++i) {
            int32_t v;
            std::memcpy(&v, bytes.data() + 4 * i, 4);
            wrong += (v >> 8) != values[i];
        }
        EXPECT_EQ(wrong, 0u);
        EXPECT_NE(Probe(dir.File(name), "stream=bits_per_raw_sample,bits_per_sample", "a:0").find("24"),
                  std::string::npos);
    }
}

// Where the lossy track's first mix sample is heard, in milliseconds after the first picture:
// the first audio packet's time plus the decoded priming not removed by the container.
double MixStartMs(const std::string &path, const std::vector<int16_t> &mix)
{
    std::vector<int16_t> decoded = test::DecodedAudio(path);
    // The lag of the decoded left channel against the mix, by correlation over 0.1 s in the middle.
    const size_t at = size_t(kRate), length = 4800;
    long best = 0;
    double bestScore = -1e300;
    for (long lag = -3000; lag <= 3000; ++lag) {
        double score = 0;
        for (size_t i = 0; i < length; ++i)
            score += double(mix[2 * (at + i)]) * decoded[size_t(2 * (long(at + i) + lag))];
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    const double audioStart = std::stod(Probe(path, "stream=start_time", "a:0"));
    const double videoStart = std::stod(Probe(path, "stream=start_time", "v:0"));
    return 1000.0 * (audioStart + double(best) / kRate - videoStart);
}

TEST(LavfResultWriter, LossyTracksStartWithTheFirstPicture)
{
    Sources &s = Sources::Get();
    ASSERT_TRUE(s.Ok);
    test::TTempDir dir;
    // Noise-like content, so the correlation has one peak.
    std::vector<int16_t> mix(size_t(kFrames) * kPerFrame * 2);
    uint32_t seed = 1;
    for (size_t i = 0; i < mix.size() / 2; ++i) {
        seed = seed * 1664525u + 1013904223u;
        mix[2 * i] = mix[2 * i + 1] = int16_t(int32_t(seed >> 16) / 4);
    }
    const std::vector<std::pair<std::string, TResultAudioCodec>> cases = {
        {"aac.mp4", acAac}, {"aac.mkv", acAac}, {"opus.mp4", acOpus}, {"ac3.mkv", acAc3}, {"eac3.mov", acEac3}};
    for (const auto &[name, codec] : cases) {
        SCOPED_TRACE(name);
        TLavfResultOptions options;
        options.AudioCodec = codec;
        options.AudioBitrate = 256000;
        std::string error;
        ASSERT_TRUE(Render(s.Path("src.mkv"), dir.File(name), options, mix, 0, kFrames - 1, &error)) << error;
        EXPECT_NEAR(MixStartMs(dir.File(name), mix), 0.0, 1.0);
        EXPECT_TRUE(test::DecodesCleanly(dir.File(name)));
    }
}

TEST(LavfResultWriter, RefusesWhatTheContainerCannotHoldAndNamesAnother)
{
    Sources &s = Sources::Get();
    ASSERT_TRUE(s.Ok);
    test::TTempDir dir;
    const std::vector<int16_t> mix = Mix(kFrames);
    std::string error;
    EXPECT_FALSE(Render(s.Path("src.mkv"), dir.File("r.webm"), {}, mix, 0, kFrames - 1, &error));
    EXPECT_NE(error.find("Matroska (.mkv)"), std::string::npos) << error;
    TLavfResultOptions pcm;
    pcm.AudioCodec = acPcm;
    EXPECT_FALSE(Render(s.Path("src.mkv"), dir.File("r.mp4"), pcm, mix, 0, kFrames - 1, &error));
    EXPECT_NE(error.find("PCM"), std::string::npos) << error;
    TLavfResultWriter writer;
    EXPECT_FALSE(writer.OpenSource(dir.File("missing.mkv")));
    test::WriteFileBytes(dir.File("junk.mkv"), std::vector<uint8_t>(5000, 0x1A));
    EXPECT_FALSE(writer.OpenSource(dir.File("junk.mkv")));
    // Nothing of the refused results is left behind.
    std::string listing;
    test::RunCommand("ls -A " + ShellQuote(dir.Path()), &listing);
    EXPECT_EQ(listing, "junk.mkv\n");
}

TEST(LavfResultWriter, AnUnfinishedResultLeavesTheEarlierFileUntouched)
{
    Sources &s = Sources::Get();
    ASSERT_TRUE(s.Ok);
    test::TTempDir dir;
    const std::string target = dir.File("r.mkv");
    ASSERT_TRUE(test::WriteFileBytes(target, {'o', 'l', 'd'}));
    {
        TLavfResultWriter writer;
        TLavfResultOptions options;
        const WAVEFORMATEX format = Format(16);
        ASSERT_TRUE(writer.OpenSource(s.Path("src.mkv")));
        ASSERT_TRUE(writer.Open(target, 0, kFrames - 1, &format, 0, options));
        const std::vector<int16_t> mix = Mix(10);
        for (int f = 0; f < 10; ++f)
            ASSERT_TRUE(writer.WriteAudio(reinterpret_cast<const uint8_t *>(mix.data() + size_t(f) * kPerFrame * 2),
                                          kPerFrame));
        // Destroyed without Finish: an aborted run.
    }
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
    std::string listing;
    test::RunCommand("ls -A " + ShellQuote(dir.Path()), &listing);
    EXPECT_EQ(listing, "r.mkv\n");
}

// Writes frames first..last with the matching part of `mix` through an open writer.
bool WriteRange(TLavfResultWriter &writer, const std::string &target, int32_t first, int32_t last,
                const std::vector<int16_t> &mix)
{
    TLavfResultOptions options;
    options.Container = ResultContainerOfName(target);
    const WAVEFORMATEX format = Format(16);
    bool ok = writer.Open(target, first, last, &format, 0, options);
    for (int32_t f = first; ok && f <= last; ++f)
        ok = writer.WriteAudio(reinterpret_cast<const uint8_t *>(mix.data() + size_t(f) * kPerFrame * 2), kPerFrame);
    return ok && writer.Finish();
}

// The reader's packet index serves the writer, which then reads the file only to copy it;
// one writer writes ranges that follow each other (chapter files) from one reading of the
// source: each file holds its packets from time 0, its part of the mix, and the subtitle
// shown in it.
TEST(LavfResultWriter, ConsecutiveRangesFromTheReadersIndex)
{
    Sources &s = Sources::Get();
    ASSERT_TRUE(s.Ok);
    test::TTempDir dir;
    const std::vector<int16_t> mix = Mix(kFrames);
    for (const char *name : {"src.mkv", "src.mp4"}) {
        SCOPED_TRACE(name);
        TLavfVideoSource video;
        ASSERT_TRUE(video.Open(s.Path(name)));
        TLavfResultWriter writer;
        ASSERT_TRUE(writer.UseIndex(s.Path(name), video.Index()));
        EXPECT_EQ(writer.SourceFrameCount(), kFrames);
        EXPECT_TRUE(writer.IsFileStart(0));
        EXPECT_TRUE(writer.IsFileStart(50));
        EXPECT_FALSE(writer.IsFileStart(49));
        EXPECT_FALSE(writer.IsFileStart(kFrames));
        EXPECT_EQ(writer.KeyFrameAtOrBefore(74), 50);
        // A closed group of 25 pictures: the packets of frames 0..49 come first in decode order.
        const std::vector<std::string> source = test::VideoPacketHashes(s.Path(name));
        ASSERT_EQ(source.size(), size_t(kFrames));
        for (int part = 0; part < 2; ++part) {
            const int32_t first = part * 50, last = first + 49;
            const std::string target = dir.File(std::string(name) + "." + std::to_string(part) + ".mkv");
            ASSERT_TRUE(WriteRange(writer, target, first, last, mix)) << writer.ErrorText();
            EXPECT_EQ(test::VideoPacketHashes(target),
                      std::vector<std::string>(source.begin() + first, source.begin() + last + 1));
            EXPECT_EQ(test::DecodedAudio(target),
                      std::vector<int16_t>(mix.begin() + first * kPerFrame * 2, mix.begin() + (last + 1) * kPerFrame * 2));
            EXPECT_EQ(Probe(target, "stream=start_time", "v"), "0.000000\n");
            EXPECT_TRUE(test::DecodesCleanly(target));
            // The subtitle (1 s .. 2 s) belongs to the first half only (MP4 timed text does
            // not go into Matroska).
            if (std::string(name) == "src.mkv") {
                EXPECT_EQ(Probe(target, "packet=stream_index", "s").empty(), part == 1) << target;
            }
        }
        // A range before the ones written reads the file again from its start.
        const std::string again = dir.File(std::string(name) + ".again.mkv");
        ASSERT_TRUE(WriteRange(writer, again, 0, 24, mix)) << writer.ErrorText();
        EXPECT_EQ(test::VideoPacketHashes(again), std::vector<std::string>(source.begin(), source.begin() + 25));
    }
}

// An index that does not describe the file any more (replaced after the project opened
// it) ends the result with a message instead of copying packets under wrong times.
TEST(LavfResultWriter, AFileReplacedAfterItsIndexIsRefused)
{
    Sources &s = Sources::Get();
    ASSERT_TRUE(s.Ok);
    test::TTempDir dir;
    const std::string film = dir.File("film.mkv");
    ASSERT_TRUE(test::Ffmpeg("-i " + ShellQuote(s.Path("src.mkv")) + " -map 0:v -c copy " + ShellQuote(film)));
    TLavfVideoSource video;
    ASSERT_TRUE(video.Open(film));
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25:duration=4 -c:v libx264 -g 10 " +
                             ShellQuote(film)));
    TLavfResultWriter writer;
    ASSERT_TRUE(writer.UseIndex(film, video.Index()));
    EXPECT_FALSE(WriteRange(writer, dir.File("r.mkv"), 0, kFrames - 1, Mix(kFrames)));
    EXPECT_NE(writer.ErrorText().find("changed"), std::string::npos) << writer.ErrorText();
    EXPECT_FALSE(std::filesystem::exists(dir.File("r.mkv")));
}

} // namespace
} // namespace tessaly
