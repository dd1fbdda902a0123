// TIOMovieReader: video sources read through a reader plug-in, with and without the
// plug-in's RIFF extension.
#include "media/input/io_movie_segment.h"

#include "media/common/bitmap_header.h"
#include "media/common/byte_order.h"

namespace tessaly {
namespace {

// Reads a format through a plug-in twice (length, then data); a second answer of another
// length is refused with mismatch.
bool ReadTwice(uint32_t (*read)(VfHostHandle *, void *, uint32_t), VfHostHandle *h, std::vector<uint8_t> &out,
               TMediaError empty, TMediaError mismatch, TMediaError &status)
{
    const uint32_t length = read(h, nullptr, 0);
    if (length == 0) {
        status = empty;
        return false;
    }
    out.assign(length, 0);
    if (read(h, out.data(), length) != length) {
        status = mismatch;
        return false;
    }
    return true;
}

} // namespace

bool TIOMovieReader::OpenVfap(const std::string &file, int plugin, bool allowFallback, bool withAudio,
                              int accessLevel, TSegment &seg)
{
    const uint32_t mask = withAudio ? 3u : 1u;
    if (plugin < 0 && allowFallback)
        plugin = FindPlugin(file, mask, accessLevel);
    if (plugin < 0 || plugin >= PluginCount())
        return Fail(meFileHandler);
    FPlugin = plugin;
    TMediaError status = meOk;
    seg.Vfap.reset(VfOpen(plugin, file, status));
    VfHostHandle *h = seg.Vfap.get();
    if (!h)
        return Fail(status == meOk ? meFileOpen : status);
    if (!HasVideo(h))
        return Fail(meNoVideoStream);
    const VfVideoStreamInfo vi = VideoInfo(h);
    if (vi.lengthLow < 1 || vi.lengthHigh != 0 || vi.lengthLow > uint32_t(INT32_MAX))
        return Fail(meFileFormat);
    const bool audio = withAudio && HasAudio(h);
    seg.Riff = HasRiff(h);
    TStream video, sound;
    if (seg.Riff) {
        VfRiffInfo ri{};
        if (!RiffInfo(h, ri) || ri.fileInfo.dwStreams == 0)
            return Fail(meNoVideoStream);
        if (audio != ((ri.streamFlags & VF_RIFF_HAS_AUDIO) == VF_RIFF_HAS_AUDIO) && withAudio)
            return Fail(meSegment);
        seg.FileInfo = ri.fileInfo;
        VfRiffStreamHeader header{};
        if (!RiffStreamHeader(h, VF_RIFF_SELECT_VIDEO, header) || header.streamInfo.fccType != streamtypeVIDEO)
            return Fail(meInternal);
        video.Info = header.streamInfo;
        video.Start = int32_t(video.Info.dwStart);
        if (!ReadTwice(RiffVideoFormat, h, video.Format, meStreamFormat, meInternal, status))
            return Fail(status);
        if (audio) {
            if (!RiffStreamHeader(h, VF_RIFF_SELECT_AUDIO, header) || header.streamInfo.fccType != streamtypeAUDIO)
                return Fail(meInternal);
            sound.Info = header.streamInfo;
            sound.Start = int32_t(sound.Info.dwStart);
            if (!ReadTwice(RiffAudioFormat, h, sound.Format, meStreamFormat, meInternal, status))
                return Fail(status);
        }
    } else {
        // Made-up descriptions of the decoded 24-bit video and the PCM audio.
        BITMAPINFOHEADER bih{};
        if (VideoHeader24(h, &bih) == 0)
            return Fail(meFrameFormat);
        AVISTREAMINFO &v = video.Info;
        v.fccType = streamtypeVIDEO;
        v.fccHandler = FourCC("DIB ");
        const bool rateOk = int32_t(vi.rate) >= 1 && int32_t(vi.scale) >= 1;
        v.dwScale = rateOk ? vi.scale : 1;
        v.dwRate = rateOk ? vi.rate : 1;
        v.dwLength = vi.lengthLow;
        v.dwSuggestedBufferSize = FrameSize24(h);
        v.dwQuality = 0xFFFFFFFFu;
        v.dwSampleSize = bih.biSizeImage;
        v.rcFrame = TESSALY_RECT{0, 0, bih.biWidth, bih.biHeight};
        SetNameField(v.szName, MovieStreamName(file, "Video #1"));
        video.Format = BitmapHeaderBytes(bih);
        if (audio) {
            WAVEFORMATEX wf{};
            if (AudioFormat(h, &wf) == 0)
                return Fail(meAudioFormat);
            const VfAudioStreamInfo ai = AudioInfo(h);
            sound.Info = PluginAudioStreamInfo(ai, wf);
            SetNameField(sound.Info.szName, MovieStreamName(file, "Audio #1"));
            std::string fb;
            TByteWriter aw(fb);
            aw.U16(wf.wFormatTag); aw.U16(wf.nChannels); aw.U32(wf.nSamplesPerSec); aw.U32(wf.nAvgBytesPerSec);
            aw.U16(wf.nBlockAlign); aw.U16(wf.wBitsPerSample); aw.U16(wf.cbSize);
            sound.Format.assign(fb.begin(), fb.end());
        }
    }
    seg.Streams.push_back(std::move(video));
    if (audio)
        seg.Streams.push_back(std::move(sound));
    return true;
}

bool TIOMovieReader::SelectVfapSegment(size_t k, int stream)
{
    TSegment &seg = *FSegments[k];
    VfHostHandle *h = seg.Vfap.get();
    BITMAPINFOHEADER bih{};
    if (VideoHeader24(h, &bih) != 40)
        return Fail(meFrameFormat);
    const std::vector<uint8_t> header = BitmapHeaderBytes(bih);
    if (k == 0) {
        if (seg.Riff)
            FInputFormat = seg.Streams[size_t(stream)].Format;
        const int bits = bih.biBitCount;
        if (bih.biCompression != BI_RGB || bih.biPlanes != 1 || !(bits == 1 || bits == 4 || bits == 8 || bits == 24))
            return Fail(meFrameFormat);
        FOutputFormat = header;
    } else if (!std::equal(header.begin() + 4, header.begin() + 20, FOutputFormat.begin() + 4)) {
        return Fail(meSegment);
    }
    if (!seg.Riff)
        FillDisplayInfo(seg, stream);
    return true;
}

} // namespace tessaly
