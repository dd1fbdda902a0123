// Entry-point helpers shared by the reader plug-ins.
#include "plugin_entry.h"

#include <cstring>

namespace tessaly::gst {

void PutText(char *field, size_t size, const char *text)
{
    std::memset(field, 0, size);
    std::strncpy(field, text, size - 1);
}

int32_t FillPluginInfo(VfPluginInfo *info, uint32_t streamTypes, const char *infoText, const char *fileTypes)
{
    if (!info || info->size != sizeof(VfPluginInfo))
        return VF_ERROR;
    info->apiVersion = VF_API_VERSION;
    info->pluginVersion = 1;
    info->streamTypes = streamTypes;
    PutText(info->infoText, sizeof info->infoText, infoText);
    PutText(info->fileTypes, sizeof info->fileTypes, fileTypes);
    return VF_OK;
}

int32_t FillPluginFunc(VfPluginFunc *func, const VfPluginFunc &entries)
{
    if (!func || func->size != sizeof(VfPluginFunc))
        return VF_ERROR;
    func->OpenFile = entries.OpenFile;
    func->CloseFile = entries.CloseFile;
    func->GetFileInfo = entries.GetFileInfo;
    func->GetStreamInfo = entries.GetStreamInfo;
    func->ReadData = entries.ReadData;
    return VF_OK;
}

bool FillAudioStreamInfo(DssHandle *source, const DssAudioInfo &info, VfAudioStreamInfo &a)
{
    WAVEFORMATEX w{};
    const int32_t length = DssGetWaveFormat(source, nullptr);
    if (length != int32_t(sizeof(WAVEFORMATEX)) || DssGetWaveFormat(source, &w) != length)
        return false;
    a.size = sizeof(VfAudioStreamInfo);
    a.lengthLow = uint32_t(uint64_t(info.Length));
    a.lengthHigh = uint32_t(uint64_t(info.Length) >> 32) & 0x7FFFFFFFu;
    a.rate = w.nAvgBytesPerSec;
    a.scale = w.nBlockAlign;
    a.channels = w.nChannels;
    a.bitsPerSample = w.wBitsPerSample;
    a.blockAlign = w.nBlockAlign;
    return a.lengthLow && a.rate && a.scale && a.channels && a.bitsPerSample && a.blockAlign;
}

} // namespace tessaly::gst
