// framepull: the reader plug-in that delivers the video (24-bit RGB) and audio (PCM) of AVI
// and WAV files through GStreamer and exposes the file's RIFF structure through its own reader.
#include "media/common/byte_order.h"
#include "media/input/avi2_reader.h"
#include "platform/text_util.h"
#include "plugins/gst/dss_handle.h"
#include "plugins/gst/handle_table.h"
#include "plugins/gst/plugin_entry.h"
#include "plugins/gst/stream_descriptor.h"
#include "plugins/vfapi/vfapi.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace tessaly;
using namespace tessaly::gst;

namespace {

const char kInfoText[] = "Tessaly DirectShow RIFF Reader 1.01";
const char kFileTypes[] = "AVI/WAV via DirectShow (*.avi;*.wav;*.avids)|*.avi;*.wav;*.avids";

struct TReaderHandle {
    DssHandle *Source = nullptr;
    DssInfo Info{};
    VfVideoStreamInfo Video{};
    VfAudioStreamInfo Audio{};
    std::unique_ptr<TAvi2Reader> Riff;
    uint32_t VideoIndex = 0; // selected video stream, counted among the video streams
    uint32_t AudioIndex = 0;
    uint32_t Rate = 0, Scale = 0;
    uint32_t Flip = 0; // all ones when the descriptor said FLIP

    ~TReaderHandle() { DssClose(Source); }
};

TVfHandleTable<TReaderHandle> gHandles;

// The handle's record when it is usable (it has a source-layer handle), else null.
TReaderHandle *Usable(VF_FileHandle handle)
{
    return FindUsable(gHandles, handle);
}

// The record when its RIFF reader passes the validity test, else null.
TReaderHandle *RiffUsable(VF_FileHandle handle)
{
    TReaderHandle *h = Usable(handle);
    return h && h->Riff && h->Riff->IsValid() ? h : nullptr;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

bool HasMediaExtension(const std::string &name)
{
    const std::string lower = Lower(name);
    auto ends = [&](const char *ext) {
        const size_t n = std::strlen(ext);
        return lower.size() >= n && lower.compare(lower.size() - n, n, ext) == 0;
    };
    return ends(".avi") || ends(".wav");
}

// Picks the RIFF video stream with the decoded picture's size; the first one when none
// matches or a format cannot be read.
void SelectDecodedVideoStream(TReaderHandle &h)
{
    TAvi2Reader &r = *h.Riff;
    h.VideoIndex = 0; // also when the walk finds no match
    h.AudioIndex = 0;
    for (int i = 0; i < r.VideoStreamCount(); ++i) {
        const int stream = r.VideoStream(i);
        int32_t size = 0;
        std::vector<uint8_t> format;
        bool readable = r.ReadFormat(stream, size, nullptr) == 0 && size >= 12;
        if (readable) {
            format.resize(static_cast<size_t>(size));
            readable = r.ReadFormat(stream, size, format.data()) == 0;
        }
        // The walk stops at the first stream of the decoded picture's size, or at the first
        // whose format cannot be read.
        if (!readable || (uint32_t(GetLE32s(format.data() + 4)) == h.Info.Video.Width &&
                          uint32_t(std::abs(GetLE32s(format.data() + 8))) == h.Info.Video.Height)) {
            h.VideoIndex = uint32_t(i);
            return;
        }
    }
}

bool FillVideo(TReaderHandle &h, bool fpsGiven)
{
    if (!fpsGiven) {
        h.Rate = h.Info.Video.Rate;
        h.Scale = h.Info.Video.Scale;
    }
    BITMAPINFOHEADER header{};
    const int32_t length = DssGetBitmapHeader(h.Source, 0, nullptr);
    if (length != 40 || DssGetBitmapHeader(h.Source, 0, &header) != length)
        return false;
    VfVideoStreamInfo &v = h.Video;
    v.size = sizeof(VfVideoStreamInfo);
    v.lengthLow = h.Info.Video.FrameCount;
    v.lengthHigh = 0;
    v.rate = h.Rate;
    v.scale = h.Scale;
    v.width = uint32_t(header.biWidth);
    v.height = uint32_t(header.biHeight);
    v.bitCount = header.biBitCount;
    return v.lengthLow && v.width && v.height && v.rate && v.scale && v.bitCount;
}

int32_t OpenFile(const char *fileName, VF_FileHandle *handle)
{
    if (!fileName || !handle)
        return VF_ERROR;
    std::string name = TrimText(fileName, " \t\r\n");
    double fps = -1;
    uint32_t flip = 0;
    if (IsStreamDescriptorName(name)) {
        const TStreamDescriptor d = ReadStreamDescriptor(name);
        name = d.FileName;
        fps = d.Fps;
        flip = d.Flip ? 0xFFFFFFFFu : 0;
    }
    if (!HasMediaExtension(name))
        return VF_ERROR;
    auto h = std::make_unique<TReaderHandle>();
    h->Flip = flip;
    const bool fpsGiven = fps > 0;
    if (fpsGiven) {
        const double rate = std::nearbyint(fps * 1000.0);
        if (rate < 1 || rate > 4294967295.0)
            return VF_ERROR;
        h->Scale = 1000;
        h->Rate = uint32_t(rate);
    }
    h->Riff = std::make_unique<TAvi2Reader>();
    h->Riff->SetStartAtZero(true);
    h->Riff->Open(name); // not fatal: the RIFF extension then fails
    h->Source = DssOpenDefault(name.c_str(), true, true);
    if (!h->Source || DssGetInfo(h->Source, &h->Info) != int32_t(sizeof(DssInfo)))
        return VF_ERROR;
    if (h->Source->Video) {
        if (!FillVideo(*h, fpsGiven))
            return VF_ERROR;
        if (h->Riff->IsValid())
            SelectDecodedVideoStream(*h);
    }
    if (h->Source->Audio && !FillAudioStreamInfo(h->Source, h->Info.Audio, h->Audio))
        return VF_ERROR;
    return AddHandle(gHandles, std::move(h), handle);
}

int32_t CloseFile(VF_FileHandle handle)
{
    if (handle)
        gHandles.Remove(handle); // closes the source layer and the RIFF reader
    return VF_OK;
}

int32_t GetFileInfo(VF_FileHandle handle, VfFileInfo *info)
{
    TReaderHandle *h = Usable(handle);
    if (!h || !info || info->size != sizeof(VfFileInfo))
        return VF_ERROR;
    info->hasStreams = (h->Source->Video ? VF_STREAM_VIDEO : 0) | (h->Source->Audio ? VF_STREAM_AUDIO : 0);
    return VF_OK;
}

int32_t GetStreamInfo(VF_FileHandle handle, uint32_t stream, void *info)
{
    TReaderHandle *h = Usable(handle);
    if (!h || !info)
        return VF_ERROR;
    uint32_t size;
    std::memcpy(&size, info, sizeof size);
    if (stream == VF_STREAM_VIDEO && size == sizeof(VfVideoStreamInfo) && h->Video.size == sizeof(VfVideoStreamInfo)) {
        std::memcpy(info, &h->Video, sizeof(VfVideoStreamInfo));
        return VF_OK;
    }
    if (stream == VF_STREAM_AUDIO && size == sizeof(VfAudioStreamInfo) && h->Audio.size == sizeof(VfAudioStreamInfo)) {
        std::memcpy(info, &h->Audio, sizeof(VfAudioStreamInfo));
        return VF_OK;
    }
    return VF_ERROR;
}

int32_t ReadVideo(TReaderHandle &h, VfVideoReadData *r)
{
    if (!h.Source->Video)
        return VF_OK;
    if (!r || r->size != sizeof(VfVideoReadData) || !r->data)
        return VF_ERROR;
    // Without FLIP the top line goes first (at data), with FLIP the bottom line.
    const int32_t n = DssReadRgbFrame(h.Source, int32_t(r->frameLow), static_cast<uint8_t *>(r->data), r->pitch,
                                      h.Flip == 0);
    return n > 0 ? VF_OK : VF_ERROR;
}

int32_t ReadAudio(DssHandle *source, VfAudioReadData *r, uint32_t blockAlign)
{
    if (!source->Audio)
        return VF_OK;
    if (!r || r->size != sizeof(VfAudioReadData) || !r->buffer || blockAlign == 0)
        return VF_ERROR;
    uint64_t count = r->sampleCount;
    if (count * blockAlign > r->bufferSize)
        count = r->bufferSize / blockAlign;
    count = std::min<uint64_t>(count, 0x7FFFFFFF / blockAlign);
    const int64_t first = int64_t((uint64_t(r->firstHigh) << 32) | r->firstLow);
    const int64_t bytes = count ? DssReadPcm(source, first, int32_t(count), static_cast<uint8_t *>(r->buffer)) : 0;
    r->samplesRead = bytes > 0 ? uint32_t(count) : 0;
    return VF_OK;
}

int32_t ReadData(VF_FileHandle handle, uint32_t stream, void *data)
{
    TReaderHandle *h = Usable(handle);
    if (!h)
        return VF_ERROR;
    if (stream == VF_STREAM_VIDEO)
        return ReadVideo(*h, static_cast<VfVideoReadData *>(data));
    if (stream == VF_STREAM_AUDIO)
        return ReadAudio(h->Source, static_cast<VfAudioReadData *>(data), h->Audio.blockAlign);
    return VF_ERROR;
}

// The stream number a selector names, or -1 when it is out of range.
int Resolve(TReaderHandle &h, uint32_t selector)
{
    TAvi2Reader &r = *h.Riff;
    int stream;
    if (selector == VF_RIFF_SELECT_VIDEO)
        stream = r.VideoStream(int(h.VideoIndex));
    else if (selector == VF_RIFF_SELECT_AUDIO)
        stream = r.AudioStream(int(h.AudioIndex));
    else
        stream = selector > uint32_t(TAvi2Reader::MaxStreams) ? -1 : int(selector);
    return stream >= 0 && stream < r.StreamCount() ? stream : -1;
}

int32_t GetRiffInfo(VF_FileHandle handle, VfRiffInfo *info)
{
    TReaderHandle *h = RiffUsable(handle);
    if (!h || !info || info->size != sizeof(VfRiffInfo))
        return VF_ERROR;
    TAvi2Reader &r = *h->Riff;
    const uint32_t videos = uint32_t(r.VideoStreamCount()), audios = uint32_t(r.AudioStreamCount());
    AVIFILEINFO fileInfo{};
    r.GetFileInfo(fileInfo);
    uint32_t kind = VF_RIFF_KIND_NONE;
    if (r.FileKind() == fkWave) {
        kind = VF_RIFF_KIND_WAVE;
    } else if (r.FileKind() == fkAvi) {
        // The reader's OpenDML test: an extended header ('dmlh', at least 4 bytes) and an
        // extended index ('indx') in every stream.
        int32_t dmlh = 0;
        bool extended = r.StreamCount() > 0 && r.ReadFileData(FourCC("dmlh"), dmlh, nullptr) == AVIERR_OK && dmlh >= 4;
        for (int s = 0; extended && s < r.StreamCount(); ++s) {
            const TAvi2StreamRec *rec = r.StreamRecord(s);
            extended = rec && rec->HasIndx;
        }
        kind = extended ? VF_RIFF_KIND_ODML : VF_RIFF_KIND_AVI;
    }
    uint32_t flags = 0;
    if (videos)
        flags |= VF_RIFF_HAS_VIDEO;
    if (audios)
        flags |= VF_RIFF_HAS_AUDIO;
    if (videos + audios < uint32_t(r.StreamCount()))
        flags |= VF_RIFF_HAS_OTHER;
    const uint64_t fileSize = uint64_t(r.FileSize());
    info->fileKind = kind;
    info->streamFlags = flags;
    info->fileSizeLow = uint32_t(fileSize);
    info->fileSizeHigh = uint32_t(fileSize >> 32);
    info->riffSegments = uint32_t(r.RiffCount());
    info->videoStreams = videos;
    info->audioStreams = audios;
    info->fileInfo = fileInfo;
    info->fileInfo.dwStreams = uint32_t(r.StreamCount());
    return VF_OK;
}

int32_t SelectStream(VF_FileHandle handle, uint32_t kind, uint32_t index)
{
    TReaderHandle *h = RiffUsable(handle);
    if (!h)
        return VF_ERROR;
    if (kind == VF_RIFF_SELECT_VIDEO && index < uint32_t(h->Riff->VideoStreamCount())) {
        h->VideoIndex = index;
        return VF_OK;
    }
    if (kind == VF_RIFF_SELECT_AUDIO && index < uint32_t(h->Riff->AudioStreamCount())) {
        h->AudioIndex = index;
        return VF_OK;
    }
    return VF_ERROR;
}

int32_t GetStreamHeader(VF_FileHandle handle, uint32_t selector, VfRiffStreamHeader *header)
{
    TReaderHandle *h = RiffUsable(handle);
    if (!h || !header || header->size != sizeof(VfRiffStreamHeader))
        return VF_ERROR;
    const int stream = Resolve(*h, selector);
    if (stream < 0)
        return VF_ERROR;
    AVISTREAMINFO info{};
    h->Riff->GetStreamInfo(stream, info);
    header->streamNumber = uint32_t(stream);
    header->streamInfo = info;
    return VF_OK;
}

int32_t ReadChunk(VF_FileHandle handle, uint32_t selector, VfRiffChunk *chunk)
{
    TReaderHandle *h = RiffUsable(handle);
    if (!h || !chunk || chunk->size != sizeof(VfRiffChunk))
        return VF_ERROR;
    int32_t size = chunk->buffer ? int32_t(std::min<uint32_t>(chunk->bufferSize, 0x7FFFFFFF)) : 0;
    int32_t result;
    if (selector == VF_RIFF_SELECT_FILE) {
        result = h->Riff->ReadFileData(chunk->chunkId, size, chunk->buffer);
    } else {
        const int stream = Resolve(*h, selector);
        if (stream < 0)
            return VF_ERROR;
        result = h->Riff->ReadData(stream, chunk->chunkId, size, chunk->buffer);
    }
    chunk->length = uint32_t(size);
    return result == AVIERR_OK ? VF_OK : VF_ERROR;
}

int32_t ReadStreamData(VF_FileHandle handle, uint32_t selector, VfRiffRead *read)
{
    TReaderHandle *h = RiffUsable(handle);
    if (!h || !read || read->size != sizeof(VfRiffRead))
        return VF_ERROR;
    const int stream = Resolve(*h, selector);
    if (stream < 0)
        return VF_ERROR;
    int32_t bytes = 0, units = 0;
    const int32_t bufferSize = int32_t(std::min<uint32_t>(read->bufferSize, 0x7FFFFFFF));
    if (read->start > 0x7FFFFFFFu)
        return VF_ERROR;
    const int32_t result = h->Riff->Read(stream, int32_t(read->start), read->count == -1 ? 1 : read->count,
                                         read->buffer, read->buffer ? bufferSize : 0, &bytes, &units);
    // Without a buffer the reader reports the counts together with "buffer too small":
    // that is the answer to a count query, not a failure.
    const bool counted = !read->buffer && result == AVIERR_BUFFERTOOSMALL;
    if (result != AVIERR_OK && !counted)
        return VF_ERROR;
    read->bytesRead = uint32_t(bytes);
    read->unitsRead = uint32_t(units);
    return VF_OK;
}

int32_t IsKeyFrame(VF_FileHandle handle, uint32_t selector, uint32_t frame)
{
    TReaderHandle *h = RiffUsable(handle);
    if (!h || frame > 0x7FFFFFFFu)
        return VF_KEYFRAME_NO;
    const int stream = Resolve(*h, selector);
    return stream >= 0 && h->Riff->IsKeyFrame(stream, int32_t(frame)) ? VF_KEYFRAME_YES : VF_KEYFRAME_NO;
}

} // namespace

extern "C" {

VF_EXPORT int32_t vfGetPluginInfo(VfPluginInfo *info)
{
    return FillPluginInfo(info, VF_STREAM_VIDEO | VF_STREAM_AUDIO, kInfoText, kFileTypes);
}

VF_EXPORT int32_t vfGetPluginFunc(VfPluginFunc *func)
{
    return FillPluginFunc(func, {sizeof(VfPluginFunc), OpenFile, CloseFile, GetFileInfo, GetStreamInfo, ReadData});
}

VF_EXPORT int32_t vfGetPluginRiffFunc(VfRiffFunc *func)
{
    if (!func || func->size != sizeof(VfRiffFunc))
        return VF_ERROR;
    func->GetRiffInfo = GetRiffInfo;
    func->SelectStream = SelectStream;
    func->GetStreamHeader = GetStreamHeader;
    func->ReadChunk = ReadChunk;
    func->ReadStreamData = ReadStreamData;
    func->IsKeyFrame = IsKeyFrame;
    return VF_OK;
}

} // extern "C"
