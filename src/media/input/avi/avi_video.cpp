// The AVI video sources: stream records, decoder selection, decoded pictures and stored
// frames through the own AVI reader and the system media layer.
#include "media/input/avi/avi_video.h"

#include "media/common/byte_order.h"
#include "media/input/riff/riff_streams.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace tessaly {
namespace {

int FormatBits(const std::vector<uint8_t> &f) { return f.size() >= 16 ? GetLE16(f.data() + 14) : 0; }
uint32_t FormatCompression(const std::vector<uint8_t> &f) { return f.size() >= 20 ? GetLE32(f.data() + 16) : 0; }

} // namespace

template <class TReader> TMediaError TAviReaderVideo<TReader>::ReadStreamRecords(std::vector<TVideoStreamRecord> &out)
{
    TReader &reader = *this->FReader;
    for (int s = 0; s < reader.StreamCount(); ++s) {
        TVideoStreamRecord stream;
        if (RiffStreamInfo(reader, s, stream.Info) != AVIERR_OK)
            return meStreamFormat;
        stream.Start = RiffStreamStart(reader, s, stream.Info);
        if (stream.Start < 0)
            return meStreamFormat;
        int32_t size = 0;
        if (reader.ReadFormat(s, size, nullptr) == AVIERR_OK && size > 0) {
            stream.Format.resize(size_t(size));
            if (reader.ReadFormat(s, size, stream.Format.data()) != AVIERR_OK)
                return meStreamFormat;
        }
        out.push_back(std::move(stream));
    }
    return meOk;
}

int32_t TAviVideoSource::FrameCount() const
{
    return FSelected < 0 ? 0 : int32_t(std::min<uint32_t>(FStreams[size_t(FSelected)].Info.dwLength, INT32_MAX));
}

int32_t TAviVideoSource::Rate() const { return FSelected < 0 ? 0 : int32_t(FStreams[size_t(FSelected)].Info.dwRate); }
int32_t TAviVideoSource::Scale() const { return FSelected < 0 ? 0 : int32_t(FStreams[size_t(FSelected)].Info.dwScale); }

bool TAviVideoSource::SelectStream(int stream, bool prefer24, const TVideoOutput *first)
{
    CloseDecoder();
    FDecoder = nullptr;
    FSelected = -1;
    FOutput = TVideoOutput{};
    if (stream < 0 || size_t(stream) >= FStreams.size())
        return Fail(meParam);
    if (first) {
        FOutput = *first;
        if (!(FDecoder = OpenDecoder(stream, FormatBits(first->Output))))
            return Fail(meFrameFormat);
        FSelected = stream;
        return true;
    }
    FOutput.Input = FStreams[size_t(stream)].Format;
    const int bits = FormatBits(FOutput.Input);
    const uint32_t c = FormatCompression(FOutput.Input);
    const auto up = [](uint32_t ch) { return ch >= 'a' && ch <= 'z' ? ch - 32 : ch; };
    FOutput.Indeo = FOwnReader && bits == 24 && up(c & 0xFF) == 'I' && up((c >> 8) & 0xFF) == 'V';
    FOutput.Convert = !(bits == 1 || bits == 4 || bits == 8 || bits == 24);
    if (FOutput.Convert && prefer24 && (FDecoder = OpenDecoder(stream, 24)))
        FOutput.Convert = false;
    if (!FDecoder)
        FDecoder = OpenDecoder(stream, bits);
    // Depths the pixel conversion cannot take (12-bit planar codes and the like) are
    // asked as 24 bits rather than refused.
    if (!FDecoder && FOutput.Convert && bits != 16 && bits != 32 && (FDecoder = OpenDecoder(stream, 24)))
        FOutput.Convert = false;
    if (!FDecoder) {
        FOutput = TVideoOutput{};
        return Fail(meFrameFormat);
    }
    const TFrameDecompressor &d = FDecoder->Decompressor();
    FOutput.Output.assign(d.Output(), d.Output() + d.OutputHeaderSize());
    FSelected = stream;
    return true;
}

bool TAviVideoSource::GetFrame(int32_t n, TIOImage &image)
{
    if (FSelected < 0 || !FDecoder || n < 0 || n >= FrameCount())
        return Fail(meParam);
    // Converted pixels are written three bytes each.
    if (image.Width() != Width() || image.Height() != Height() ||
        (FOutput.Convert ? image.PixelFormat() != pf24Bit : image.BitCount() != FormatBits(FOutput.Output)))
        return Fail(meFrameFormat);
    const uint8_t *decoded = FDecoder->GetFrame(FStreams[size_t(FSelected)].Start + n);
    return decoded ? DecodedToImage(decoded, image) : Fail(meFileRead);
}

bool TAviVideoSource::DecodedToImage(const uint8_t *decoded, TIOImage &image)
{
    const int32_t width = GetLE32s(decoded + 4), height = GetLE32s(decoded + 8);
    const int bits = GetLE16(decoded + 14);
    if (uint32_t(width) != Width() || uint32_t(height) != Height() || FOutput.Output.size() < 40 ||
        bits != FormatBits(FOutput.Output))
        return Fail(meFrameFormat);
    // The decoders place the pixels right behind the header and its palette, also for
    // codes beginning with "IV".
    const size_t headerSize = 40 + (bits <= 8 ? size_t(4) << bits : 0);
    const uint8_t *pixels = decoded + headerSize;
    if (bits <= 8 && image.PixelFormat() != pf24Bit) {
        std::vector<TIOColor> palette(size_t(1) << bits);
        for (size_t i = 0; i < palette.size(); ++i)
            palette[i] = {decoded[40 + 4 * i + 2], decoded[40 + 4 * i + 1], decoded[40 + 4 * i]};
        image.SetPalette(palette);
    }
    if (FOutput.Convert && (bits == 16 || bits == 32)) {
        const uint32_t stride = ImageStride(uint32_t(width), bits);
        for (int32_t r = 0; r < height; ++r) {
            // Stored rows run from the bottom picture row upwards.
            const uint8_t *src = pixels + size_t(stride) * size_t(r);
            uint8_t *dst = image.Row(uint32_t(height - 1 - r));
            for (int32_t x = 0; x < width; ++x) {
                uint8_t *d = dst + 3 * size_t(x);
                if (bits == 16) {
                    const uint16_t v = GetLE16(src + 2 * size_t(x));
                    d[0] = uint8_t((v & 0x1F) << 3);
                    d[1] = uint8_t(((v >> 5) & 0x1F) << 3);
                    d[2] = uint8_t(((v >> 10) & 0x1F) << 3);
                } else {
                    std::memcpy(d, src + 4 * size_t(x), 3);
                }
            }
        }
    } else {
        const uint32_t size = GetLE32(decoded + 20);
        std::memcpy(image.Bits(), pixels, std::min<size_t>(size, image.ImageSize()));
    }
    image.Changed(TIORect{0, 0, width - 1, height - 1});
    return true;
}

bool TAviVideoSource::IsKeyFrame(int32_t n)
{
    return FSelected >= 0 && KeyAt(FSelected, FStreams[size_t(FSelected)].Start + n);
}

bool TAviVideoSource::ReadStoredSample(int32_t n, std::vector<uint8_t> &buffer, TVideoPacket &packet)
{
    if (FSelected < 0 || n < 0 || n >= FrameCount())
        return Fail(meParam);
    const int32_t sample = FStreams[size_t(FSelected)].Start + n;
    // The size query answers as success or as "buffer too small", with the size.
    int32_t size = 0;
    int32_t result = ReadSample(FSelected, sample, nullptr, 0, &size);
    if (result == AVIERR_BUFFERTOOSMALL)
        result = AVIERR_OK;
    if (result == AVIERR_OK && size > 0) {
        if (!Reserve(buffer, size_t(size)))
            return false;
        result = ReadSample(FSelected, sample, buffer.data(), int32_t(buffer.size()), &size);
    }
    if (result != AVIERR_OK)
        return Fail(MediaErrorFromAviErr(result));
    packet = TVideoPacket{buffer.data(), size, n, n, KeyAt(FSelected, sample)};
    return true;
}

bool TAviVideoSource::ReadStored(int32_t n, const TVideoReadMode &, std::vector<uint8_t> &buffer,
                                 TVideoPacket &packet)
{
    return ReadStoredSample(n, buffer, packet);
}

bool TAviVideoSource::ReadPacket(int32_t n, TVideoPacket &packet) { return ReadStoredSample(n, FPacketBuffer, packet); }

std::vector<uint8_t> TAviVideoSource::CodecData()
{
    std::vector<uint8_t> data;
    const uint32_t strd = FourCC("strd");
    int32_t size = 0;
    if (FSelected < 0 || ReadStreamData(FSelected, strd, size, nullptr) != AVIERR_OK || size <= 0)
        return data;
    data.resize(size_t(size));
    if (ReadStreamData(FSelected, strd, size, data.data()) != AVIERR_OK)
        data.clear();
    return data;
}

// ---- The own AVI reader ----

TOdmlVideoSource::~TOdmlVideoSource() = default;

TMediaError TOdmlVideoSource::Open(const std::string &file)
{
    FReader = std::make_unique<TAvi2Decoder>();
    const int32_t r = FReader->Open(file);
    if (r != AVIERR_OK)
        return FStatus = MediaErrorFromAviErr(r);
    AVIFILEINFO info{};
    FReader->GetFileInfo(info);
    std::vector<TVideoStreamRecord> streams;
    if (TMediaError m = ReadStreamRecords(streams); m != meOk)
        return FStatus = m;
    Describe(file, info, std::move(streams), {"WrdSrcVideo", UsesOpenDmlIndex() ? "OpenDML" : "VfW"}, "");
    return meOk;
}

// The own reader takes its index from the OpenDML indexes when the file has the extended
// header and every stream a super index (always so with several RIFF blocks).
bool TOdmlVideoSource::UsesOpenDmlIndex()
{
    TAvi2Decoder &r = *FReader;
    if (r.RiffCount() > 1)
        return true;
    int32_t size = 0;
    if (r.ReadFileData(FourCC("dmlh"), size, nullptr) != AVIERR_OK)
        return false;
    for (int s = 0; s < r.StreamCount(); ++s) {
        size = 0;
        if (r.ReadData(s, FourCC("indx"), size, nullptr) != AVIERR_OK)
            return false;
    }
    return true;
}

TFrameWalker *TOdmlVideoSource::OpenDecoder(int stream, int bits)
{
    BITMAPINFOHEADER wanted{};
    wanted.biSize = 40;
    wanted.biBitCount = uint16_t(bits);
    return FInstance = FReader->GetFrameOpen(stream, &wanted);
}

void TOdmlVideoSource::CloseDecoder()
{
    if (FInstance)
        FReader->GetFrameClose(FInstance);
    FInstance = nullptr;
}

// ---- The system media layer ----

TMsvwVideoSource::~TMsvwVideoSource() = default;

TMediaError TMsvwVideoSource::Open(const std::string &file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return FStatus = meFileNotFound;
    // No 2 GB limit: FFmpeg's demuxers read files of any size.
    if (st.st_size <= 0)
        return FStatus = meFileSize;
    FReader = std::make_unique<TAviFile>();
    const int32_t r = FReader->Open(file);
    if (r != AVIERR_OK)
        return FStatus = MediaErrorFromAviErr(r);
    AVIFILEINFO info{};
    FReader->GetFileInfo(info);
    if (FReader->StreamCount() < 1)
        return FStatus = meFileFormat;
    std::vector<TVideoStreamRecord> streams;
    if (TMediaError m = ReadStreamRecords(streams); m != meOk)
        return FStatus = m;
    Describe(file, info, std::move(streams), {"WrdSrcVideo", "VfW"}, "");
    return meOk;
}

TFrameWalker *TMsvwVideoSource::OpenDecoder(int stream, int bits)
{
    FFrameDecoder = TAviFileFrameDecoder::Open(*FReader, stream, bits);
    return FFrameDecoder.get();
}

void TMsvwVideoSource::CloseDecoder() { FFrameDecoder.reset(); }

template class TAviReaderVideo<TAvi2Decoder>;
template class TAviReaderVideo<TAviFile>;

} // namespace tessaly
