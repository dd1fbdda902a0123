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

} // namespace tessaly::gst
