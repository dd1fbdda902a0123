// Repacking of MPEG-4 B-frames into the chunk of the reference before them.
#include "packed_avi.h"

#include "riff_builder.h"

#include "media/input/avi2_reader.h"

#include <vector>

namespace tessaly::test {
namespace {

// Coding type of the first picture in a stored frame: 0 I, 1 P, 2 B; -1 when none.
int PictureType(const std::string &data)
{
    for (size_t i = 0; i + 4 < data.size(); ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && uint8_t(data[i + 3]) == 0xB6)
            return uint8_t(data[i + 4]) >> 6;
    return -1;
}

} // namespace

bool PackBFrames(const std::string &path)
{
    TAvi2Reader reader;
    if (reader.Open(path) != AVIERR_OK || reader.StreamCount() != 1)
        return false;
    AVISTREAMINFO info{};
    reader.GetStreamInfo(0, info);
    int32_t formatSize = 0;
    reader.ReadFormat(0, formatSize, nullptr);
    std::string format(size_t(formatSize), '\0');
    if (formatSize < 40 || reader.ReadFormat(0, formatSize, format.data()) != AVIERR_OK)
        return false;
    std::vector<std::string> frames;
    std::vector<bool> keys;
    for (int32_t k = 0; k < int32_t(info.dwLength); ++k) {
        std::string data(1 << 20, '\0');
        int32_t bytes = 0;
        if (reader.Read(0, k, 1, data.data(), int32_t(data.size()), &bytes, nullptr) != AVIERR_OK)
            return false;
        data.resize(size_t(bytes));
        frames.push_back(data);
        keys.push_back(reader.IsKeyFrame(0, k));
    }
    reader.Close();
    // The decoder learns of the packed layout from the encoder's user data, which such
    // encoders put in front of every key frame.
    for (size_t k = 0; k < frames.size(); ++k)
        if (keys[k])
            frames[k] = std::string("\0\0\1\xB2" "DivX503b1393p", 17) + frames[k];
    const std::string placeholder("\0\0\1\xB6\x50\0\0\0", 8);
    bool packed = false;
    for (size_t k = 1; k + 1 < frames.size(); ++k)
        if (PictureType(frames[k]) != 2 && PictureType(frames[k + 1]) == 2) {
            frames[k] += frames[k + 1];
            frames[k + 1] = placeholder;
            packed = true;
            ++k;
        }
    if (!packed)
        return false;
    const uint32_t width = uint32_t(info.rcFrame.right), height = uint32_t(info.rcFrame.bottom);
    TRiffBuilder r;
    r.Begin("RIFF", "AVI ");
    r.Begin("LIST", "hdrl");
    r.Chunk("avih", AviMainHeader(40000, uint32_t(frames.size()), 1, width, height));
    r.Begin("LIST", "strl");
    r.Chunk("strh", StreamHeader("vids", "XVID", info.dwScale, info.dwRate, 0, uint32_t(frames.size()), 0,
                                 uint16_t(width), uint16_t(height)));
    r.Chunk("strf", format);
    r.End();
    r.End();
    r.Begin("LIST", "movi");
    const size_t moviType = r.Pos() - 4;
    std::string idx1;
    for (size_t k = 0; k < frames.size(); ++k) {
        idx1 += Idx1Entry("00dc", keys[k] ? 0x10 : 0, uint32_t(r.Pos() - moviType), uint32_t(frames[k].size()));
        r.Chunk("00dc", frames[k]);
    }
    r.End();
    r.Chunk("idx1", idx1);
    r.End();
    return r.Save(path);
}

} // namespace tessaly::test
