// soundpull: the reader plug-in that delivers the audio of any medium GStreamer can play,
// as 8- or 16-bit PCM of one or two channels, or on request every channel at 16 or 24 bits.
#include "plugins/gst/dss_convert.h"
#include "plugins/gst/dss_handle.h"
#include "plugins/soundpull/file_types.h"
#include "plugins/gst/handle_table.h"
#include "plugins/gst/plugin_entry.h"
#include "plugins/vfapi/vfapi.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

using namespace tessaly::gst;

namespace {

const char kInfoText[] = "Tessaly DirectShow Audio Reader 1.0";
// Built once from the table; the record field holds at most 255 characters.
const std::string kFileTypesText = tessaly::soundpull::FileTypesText();

struct TReaderHandle {
    DssHandle *Source = nullptr;
    DssAudioInfo Info{};
    VfAudioStreamInfo Audio{};

    ~TReaderHandle() { DssClose(Source); }
};

TVfHandleTable<TReaderHandle> gHandles;

TReaderHandle *Usable(VF_FileHandle handle)
{
    return FindUsable(gHandles, handle);
}

int32_t OpenFile(const char *fileName, VF_FileHandle *handle)
{
    if (!fileName || !handle)
        return VF_ERROR;
    auto h = std::make_unique<TReaderHandle>();
    h->Source = DssOpenDefault(fileName, true, false);
    if (!h->Source || !h->Source->Audio)
        return VF_ERROR;
    h->Info = h->Source->Audio->Info();
    if (h->Info.Valid != kDescriptionValid)
        return VF_ERROR;
    if (!FillAudioStreamInfo(h->Source, h->Info, h->Audio))
        return VF_ERROR;
    return AddHandle(gHandles, std::move(h), handle);
}

int32_t CloseFile(VF_FileHandle handle)
{
    if (handle)
        gHandles.Remove(handle);
    return VF_OK;
}

int32_t GetFileInfo(VF_FileHandle handle, VfFileInfo *info)
{
    TReaderHandle *h = Usable(handle);
    if (!h || !info || info->size != sizeof(VfFileInfo))
        return VF_ERROR;
    info->hasStreams = h->Source->Audio ? VF_STREAM_AUDIO : 0;
    return VF_OK;
}

int32_t GetStreamInfo(VF_FileHandle handle, uint32_t stream, void *info)
{
    TReaderHandle *h = Usable(handle);
    if (!h || !info || stream != VF_STREAM_AUDIO)
        return VF_ERROR;
    uint32_t size;
    std::memcpy(&size, info, sizeof size);
    if (size != sizeof(VfAudioStreamInfo) || h->Audio.size != sizeof(VfAudioStreamInfo))
        return VF_ERROR;
    std::memcpy(info, &h->Audio, sizeof(VfAudioStreamInfo));
    return VF_OK;
}

int32_t ReadData(VF_FileHandle handle, uint32_t stream, void *data)
{
    TReaderHandle *h = Usable(handle);
    if (!h || stream != VF_STREAM_AUDIO)
        return VF_ERROR;
    if (!h->Source->Audio)
        return VF_OK;
    auto *r = static_cast<VfAudioReadData *>(data);
    const uint32_t blockAlign = h->Audio.blockAlign;
    if (!r || r->size != sizeof(VfAudioReadData) || !r->buffer || blockAlign == 0)
        return VF_ERROR;
    uint64_t count = r->sampleCount;
    if (count * blockAlign > r->bufferSize)
        count = r->bufferSize / blockAlign;
    count = std::min<uint64_t>(count, 0x7FFFFFFF / blockAlign);
    const int64_t first = int64_t((uint64_t(r->firstHigh) << 32) | r->firstLow);
    const int64_t bytes = count ? DssReadPcm(h->Source, first, int32_t(count), static_cast<uint8_t *>(r->buffer)) : 0;
    r->samplesRead = bytes > 0 ? uint32_t(count) : 0;
    return VF_OK;
}

int32_t GetSourceLayout(VF_FileHandle handle, VfAudioLayout *layout)
{
    TReaderHandle *h = Usable(handle);
    uint32_t channels = 0, mask = 0, bits = 0;
    bool floating = false;
    if (!h || !layout || layout->size != sizeof(VfAudioLayout) ||
        !DssSourceLayout(h->Source, channels, mask, bits, floating))
        return VF_ERROR;
    layout->channels = channels;
    layout->channelMask = mask;
    layout->bitsPerSample = bits;
    layout->floatingPoint = floating ? 1 : 0;
    return VF_OK;
}

int32_t SelectDelivery(VF_FileHandle handle, const VfAudioLayout *wanted)
{
    TReaderHandle *h = Usable(handle);
    if (!h || !wanted || wanted->size != sizeof(VfAudioLayout))
        return VF_ERROR;
    const bool all = wanted->channels == h->Info.Channels && wanted->channels > 2;
    if (!all && wanted->channels != DeliveredChannels(h->Info))
        return VF_ERROR;
    const uint32_t bits = wanted->bitsPerSample == DeliveredBits(h->Info) && !all ? 0 : wanted->bitsPerSample;
    VfAudioStreamInfo audio{};
    if (!DssSelectDelivery(h->Source, all, bits) || !FillAudioStreamInfo(h->Source, h->Info, audio))
        return VF_ERROR;
    h->Audio = audio;
    return VF_OK;
}

} // namespace

extern "C" {

VF_EXPORT int32_t vfGetPluginInfo(VfPluginInfo *info)
{
    return FillPluginInfo(info, VF_STREAM_AUDIO, kInfoText, kFileTypesText.c_str());
}

VF_EXPORT int32_t vfGetPluginFunc(VfPluginFunc *func)
{
    return FillPluginFunc(func, {sizeof(VfPluginFunc), OpenFile, CloseFile, GetFileInfo, GetStreamInfo, ReadData});
}

VF_EXPORT int32_t vfGetPluginAudioFunc(VfAudioFunc *func)
{
    if (!func || func->size != sizeof(VfAudioFunc))
        return VF_ERROR;
    func->GetSourceLayout = GetSourceLayout;
    func->SelectDelivery = SelectDelivery;
    return VF_OK;
}

} // extern "C"
