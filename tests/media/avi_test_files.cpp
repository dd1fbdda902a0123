// Hand-built AVI, OpenDML and WAVE byte files for the reader tests.
#include "avi_test_files.h"

namespace tessaly::test {

std::string TestFrame(int i)
{
    std::string s;
    for (int k = 0; k < 10 + i; ++k)
        s.push_back(char(i * 31 + k * 7));
    return s;
}

std::string TestAudio(int j, int bytes)
{
    std::string s;
    for (int k = 0; k < bytes; ++k)
        s.push_back(char(j * 53 + k * 3 + 1));
    return s;
}

TRiffBuilder BuildAvi1(const TAvi1Layout &layout)
{
    bool audio = !layout.AudioChunkBytes.empty();
    int audioSamples = 0;
    for (int b : layout.AudioChunkBytes)
        audioSamples += layout.AudioSampleSize ? b / int(layout.AudioSampleSize) : 1;
    TRiffBuilder r;
    r.Begin("RIFF", "AVI ");
    r.Begin("LIST", "hdrl");
    r.Chunk("avih", AviMainHeader(40000, uint32_t(layout.Frames), audio ? 2 : 1, 64, 48));
    if (layout.ExtraInHdrl)
        layout.ExtraInHdrl(r);
    r.Begin("LIST", "strl");
    r.Chunk("strh", StreamHeader("vids", "FMP4", 1, 25, layout.VideoStart,
                                 layout.VideoLength ? layout.VideoLength : uint32_t(layout.Frames), 0, 64, 48));
    r.Chunk("strf", BitmapInfo(64, 48, 24, "FMP4"));
    if (!layout.StreamName.empty())
        r.Chunk("strn", layout.StreamName + std::string(1, '\0'));
    r.End();
    if (audio) {
        r.Begin("LIST", "strl");
        r.Chunk("strh", StreamHeader("auds", "", layout.AudioSampleSize, 8000 * layout.AudioSampleSize, 0,
                                     uint32_t(audioSamples), layout.AudioSampleSize));
        r.Chunk("strf", WaveFormat(1, 2, 8000, 16));
        r.End();
    }
    r.End();
    r.Begin("LIST", "movi");
    size_t moviType = r.Pos() - 4;
    std::string idx1;
    size_t a = 0;
    for (int i = 0; i < layout.Frames; ++i) {
        uint32_t flags = size_t(i) < layout.VideoFlags.size() ? layout.VideoFlags[size_t(i)] : 0;
        std::string f = TestFrame(i);
        idx1 += Idx1Entry("00dc", flags, uint32_t(r.Pos() - moviType), uint32_t(f.size()));
        r.Chunk("00dc", f);
        // Interleave one audio chunk after every second frame.
        if (i % 2 == 1 && a < layout.AudioChunkBytes.size()) {
            std::string s = TestAudio(int(a), layout.AudioChunkBytes[a]);
            idx1 += Idx1Entry("01wb", 0x10, uint32_t(r.Pos() - moviType), uint32_t(s.size()));
            r.Chunk("01wb", s);
            ++a;
        }
    }
    for (; a < layout.AudioChunkBytes.size(); ++a) {
        std::string s = TestAudio(int(a), layout.AudioChunkBytes[a]);
        idx1 += Idx1Entry("01wb", 0x10, uint32_t(r.Pos() - moviType), uint32_t(s.size()));
        r.Chunk("01wb", s);
    }
    r.End();
    if (layout.WithIdx1)
        r.Chunk("idx1", idx1);
    r.End();
    r.Raw(layout.Trailer);
    return r;
}

TRiffBuilder BuildOdml(const TOdmlLayout &layout)
{
    TRiffBuilder r;
    r.Begin("RIFF", "AVI ");
    r.Begin("LIST", "hdrl");
    r.Chunk("avih", AviMainHeader(40000, 3, 1, 64, 48));
    r.Begin("LIST", "strl");
    r.Chunk("strh", StreamHeader("vids", "MJPG", 1, 25, 0, 5, 0));
    r.Chunk("strf", BitmapInfo(64, 48, 24, "MJPG"));
    std::string super = IndexChunk(4, 0, 0, "00dc", 0,
                                   {U64(0) + U32(0) + U32(3), U64(0) + U32(0) + U32(layout.SecondDuration)});
    r.Chunk("indx", super);
    size_t superEntries = r.Pos() - super.size() + 24;
    r.End();
    if (layout.WithDmlh) {
        r.Begin("LIST", "odml");
        r.Chunk("dmlh", U32(5) + std::string(244, '\0'));
        r.End();
    }
    r.End();
    auto block = [&](int from, int to) {
        r.Begin("LIST", "movi");
        uint64_t base = r.Pos();
        std::vector<std::string> entries;
        for (int i = from; i < to; ++i) {
            std::string f = TestFrame(i);
            uint32_t size = uint32_t(f.size()) | (layout.NotKeyFrame[i] ? 0x80000000u : 0);
            entries.push_back(U32(uint32_t(r.Pos() + 8 - base)) + U32(size));
            r.Chunk("00dc", f);
        }
        size_t ix = r.Pos();
        r.Chunk("ix00", IndexChunk(2, 0, 1, "00dc", base, entries));
        r.End();
        return ix;
    };
    size_t ix1 = block(0, 3);
    if (layout.BogusIdx1)
        r.Chunk("idx1", Idx1Entry("00dc", 0x10, 9999999, 12345));
    r.End();
    r.Begin("RIFF", "AVIX");
    size_t ix2 = block(3, 5);
    r.End();
    r.PatchU32(superEntries, uint32_t(ix1));
    r.PatchU32(superEntries + 16, uint32_t(ix2));
    return r;
}

TRiffBuilder BuildWave(const std::string &format, const std::vector<std::string> &data)
{
    TRiffBuilder r;
    r.Begin("RIFF", "WAVE");
    r.Chunk("fmt ", format);
    for (const std::string &d : data)
        r.Chunk("data", d);
    r.End();
    return r;
}

} // namespace tessaly::test
