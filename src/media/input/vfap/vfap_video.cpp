// The reader plug-in video source.
#include "media/input/vfap/vfap_video.h"

#include "media/common/bitmap_header.h"
#include "media/common/byte_order.h"

#include <algorithm>

namespace tessaly {
namespace {

// Reads a format through a plug-in twice (length, then data); a second answer of another
// length is refused with mismatch.
TMediaError ReadTwice(uint32_t (*read)(VfHostHandle *, void *, uint32_t), VfHostHandle *h, std::vector<uint8_t> &out,
                      TMediaError empty, TMediaError mismatch)
{
    const uint32_t length = read(h, nullptr, 0);
    if (length == 0)
        return empty;
    out.assign(length, 0);
    return read(h, out.data(), length) == length ? meOk : mismatch;
}

// A stream as the RIFF extension describes it: its header (of type `type`, else
// meInternal) and its 'strf' format.
TMediaError ReadRiffStream(VfHostHandle *h, uint32_t selector, uint32_t type,
                           uint32_t (*readFormat)(VfHostHandle *, void *, uint32_t), TVideoStreamRecord &stream)
{
    VfRiffStreamHeader header{};
    if (!RiffStreamHeader(h, selector, header) || header.streamInfo.fccType != type)
        return meInternal;
    stream.Info = header.streamInfo;
    stream.Start = int32_t(stream.Info.dwStart);
    return ReadTwice(readFormat, h, stream.Format, meStreamFormat, meInternal);
}

} // namespace

TMediaError TVfapVideoSource::Open(int plugin, const std::string &file, bool withAudio)
{
    FPlugin = plugin;
    TMediaError status = meOk;
    FHandle.reset(VfOpen(plugin, file, status));
    VfHostHandle *h = FHandle.get();
    if (!h)
        return FStatus = status == meOk ? meFileOpen : status;
    if (!HasVideo(h))
        return FStatus = meNoVideoStream;
    const VfVideoStreamInfo vi = VideoInfo(h);
    if (vi.lengthLow < 1 || vi.lengthHigh != 0 || vi.lengthLow > uint32_t(INT32_MAX))
        return FStatus = meFileFormat;
    const bool audio = withAudio && HasAudio(h);
    FRiff = HasRiff(h);
    AVIFILEINFO fileInfo{};
    TVideoStreamRecord video, sound;
    if (FRiff) {
        VfRiffInfo ri{};
        if (!RiffInfo(h, ri) || ri.fileInfo.dwStreams == 0)
            return FStatus = meNoVideoStream;
        if (audio != ((ri.streamFlags & VF_RIFF_HAS_AUDIO) == VF_RIFF_HAS_AUDIO) && withAudio)
            return FStatus = meSegment;
        fileInfo = ri.fileInfo;
        if ((status = ReadRiffStream(h, VF_RIFF_SELECT_VIDEO, streamtypeVIDEO, RiffVideoFormat, video)) != meOk)
            return FStatus = status;
        if (audio && (status = ReadRiffStream(h, VF_RIFF_SELECT_AUDIO, streamtypeAUDIO, RiffAudioFormat, sound)) != meOk)
            return FStatus = status;
    } else {
        // Made-up descriptions of the decoded 24-bit video and the PCM audio.
        BITMAPINFOHEADER bih{};
        if (VideoHeader24(h, &bih) == 0)
            return FStatus = meFrameFormat;
        const bool rateOk = int32_t(vi.rate) >= 1 && int32_t(vi.scale) >= 1;
        video = PictureStreamRecord(file, FourCC("DIB "), rateOk ? int32_t(vi.scale) : 1, rateOk ? int32_t(vi.rate) : 1,
                                    int32_t(vi.lengthLow), uint32_t(bih.biWidth), uint32_t(bih.biHeight));
        video.Info.dwSuggestedBufferSize = FrameSize24(h);
        video.Info.dwSampleSize = bih.biSizeImage;
        video.Format = BitmapHeaderBytes(bih);
        if (audio) {
            WAVEFORMATEX wf{};
            if (AudioFormat(h, &wf) == 0)
                return FStatus = meAudioFormat;
            sound.Info = PluginAudioStreamInfo(AudioInfo(h), wf);
            SetNameField(sound.Info.szName, MovieStreamName(file, "Audio #1"));
            std::string fb;
            TByteWriter aw(fb);
            aw.U16(wf.wFormatTag); aw.U16(wf.nChannels); aw.U32(wf.nSamplesPerSec); aw.U32(wf.nAvgBytesPerSec);
            aw.U16(wf.nBlockAlign); aw.U16(wf.wBitsPerSample); aw.U16(wf.cbSize);
            sound.Format.assign(fb.begin(), fb.end());
        }
    }
    std::vector<TVideoStreamRecord> streams;
    streams.push_back(std::move(video));
    if (audio)
        streams.push_back(std::move(sound));
    const std::string info = PluginInfoText(plugin);
    Describe(file, fileInfo, std::move(streams), {"WrdSrcPlugin", info}, FRiff ? "" : "VFAPI (" + info + ")");
    return meOk;
}

int32_t TVfapVideoSource::FrameCount() const { return FStreams.empty() ? 0 : int32_t(FStreams[0].Info.dwLength); }
int32_t TVfapVideoSource::Rate() const { return FStreams.empty() ? 0 : int32_t(FStreams[0].Info.dwRate); }
int32_t TVfapVideoSource::Scale() const { return FStreams.empty() ? 0 : int32_t(FStreams[0].Info.dwScale); }

bool TVfapVideoSource::SelectStream(int stream, bool, const TVideoOutput *first)
{
    if (stream < 0 || size_t(stream) >= FStreams.size())
        return Fail(meParam);
    VfHostHandle *h = FHandle.get();
    BITMAPINFOHEADER bih{};
    if (VideoHeader24(h, &bih) != 40)
        return Fail(meFrameFormat);
    const std::vector<uint8_t> header = BitmapHeaderBytes(bih);
    if (!first) {
        FOutput = TVideoOutput{};
        if (FRiff)
            FOutput.Input = FStreams[size_t(stream)].Format;
        const int bits = bih.biBitCount;
        if (bih.biCompression != BI_RGB || bih.biPlanes != 1 || !(bits == 1 || bits == 4 || bits == 8 || bits == 24))
            return Fail(meFrameFormat);
        FOutput.Output = header;
    } else if (first->Output.size() < 20 || !std::equal(header.begin() + 4, header.begin() + 20, first->Output.begin() + 4)) {
        return Fail(meSegment);
    } else {
        FOutput = *first;
    }
    if (!FFileType.empty())
        FillDisplayInfo(stream);
    return true;
}

bool TVfapVideoSource::FailHandle()
{
    const TMediaError status = HandleStatus(FHandle.get());
    return Fail(status == meOk ? meFileRead : status);
}

bool TVfapVideoSource::GetFrame(int32_t n, TIOImage &image) { return GetPicture(n, image, TVideoReadMode{}); }

bool TVfapVideoSource::GetPicture(int32_t n, TIOImage &image, const TVideoReadMode &mode)
{
    if (n < 0 || n >= FrameCount())
        return Fail(meParam);
    if (image.PixelFormat() != pf24Bit)
        return Fail(meFrameFormat);
    // The plug-in's rows come bottom-up, or top-down to turn the picture over.
    SetTopDown(FHandle.get(), mode.UpsideDown);
    if (ReadFrame24(FHandle.get(), n, image.Bits(), image.ImageSize()) == 0)
        return FailHandle();
    image.Changed(TIORect{0, 0, int(image.Width()) - 1, int(image.Height()) - 1});
    return true;
}

bool TVfapVideoSource::IsKeyFrame(int32_t n)
{
    return !FRiff || FStreams.empty() ||
           RiffIsKeyFrame(FHandle.get(), VF_RIFF_SELECT_VIDEO, uint32_t(FStreams[0].Start + n));
}

bool TVfapVideoSource::ReadRiffFrame(int32_t n, std::vector<uint8_t> &buffer, TVideoPacket &packet)
{
    if (!FRiff || n < 0 || n >= FrameCount())
        return Fail(meParam);
    VfHostHandle *h = FHandle.get();
    const uint32_t sample = uint32_t(FStreams[0].Start + n);
    const int32_t size = int32_t(RiffReadStream(h, VF_RIFF_SELECT_VIDEO, sample, nullptr, 0, 1));
    if (size > 0) {
        if (!Reserve(buffer, size_t(size)))
            return false;
        if (RiffReadStream(h, VF_RIFF_SELECT_VIDEO, sample, buffer.data(), uint32_t(buffer.size()), 1) !=
            uint32_t(size))
            return FailHandle();
    }
    packet = TVideoPacket{buffer.data(), size, n, n, RiffIsKeyFrame(h, VF_RIFF_SELECT_VIDEO, sample)};
    return true;
}

bool TVfapVideoSource::ReadPacket(int32_t n, TVideoPacket &packet) { return ReadRiffFrame(n, FPacketBuffer, packet); }

bool TVfapVideoSource::ReadStored(int32_t n, const TVideoReadMode &mode, std::vector<uint8_t> &buffer,
                                  TVideoPacket &packet)
{
    if (HasStoredData(mode))
        return ReadRiffFrame(n, buffer, packet);
    if (n < 0 || n >= FrameCount())
        return Fail(meParam);
    VfHostHandle *h = FHandle.get();
    SetTopDown(h, mode.UpsideDown);
    const int32_t size = int32_t(FrameSize24(h));
    if (!Reserve(buffer, size_t(size)))
        return false;
    if (ReadFrame24(h, n, buffer.data(), uint32_t(buffer.size())) != uint32_t(size))
        return FailHandle();
    packet = TVideoPacket{buffer.data(), size, n, n, true};
    return true;
}

std::vector<uint8_t> TVfapVideoSource::CodecData()
{
    std::vector<uint8_t> data;
    if (!FRiff)
        return data;
    const uint32_t length = RiffVideoCodecData(FHandle.get(), nullptr, 0);
    if (length == 0)
        return data;
    data.resize(length);
    if (RiffVideoCodecData(FHandle.get(), data.data(), length) != length)
        data.clear();
    return data;
}

} // namespace tessaly
