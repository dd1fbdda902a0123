// Entry-point helpers shared by the reader plug-ins: filling the plug-in record, the
// function table and the audio stream record, and keeping open-file records.
#pragma once

#include "dss_handle.h"
#include "handle_table.h"
#include "plugins/vfapi/vfapi.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace tessaly::gst {

// Copies text into a fixed-size record field, cut to fit and always zero-terminated
// (the rest of the field is zeroed). size is the field's size in bytes, at least 1.
void PutText(char *field, size_t size, const char *text);

// Fills the plug-in record for vfGetPluginInfo (version 1 of this plug-in, streamTypes a
// VF_STREAM_* mask); VF_ERROR when info is null or its size field is wrong.
int32_t FillPluginInfo(VfPluginInfo *info, uint32_t streamTypes, const char *infoText, const char *fileTypes);

// Fills the function table for vfGetPluginFunc from entries (whose size field is ignored);
// VF_ERROR when func is null or its size field is wrong.
int32_t FillPluginFunc(VfPluginFunc *func, const VfPluginFunc &entries);

// Fills the plug-in's audio stream record from the source's PCM format and its length in
// sample frames; false when the format cannot be read or a field would be zero.
bool FillAudioStreamInfo(DssHandle *source, const DssAudioInfo &info, VfAudioStreamInfo &a);

// Puts an opened file's record into the table and hands its new handle to *handle;
// VF_ERROR (the record is then destroyed) when the table is full.
template <class T> int32_t AddHandle(TVfHandleTable<T> &table, std::unique_ptr<T> item, VF_FileHandle *handle)
{
    const VF_FileHandle id = table.Add(std::move(item));
    if (!id)
        return VF_ERROR;
    *handle = id;
    return VF_OK;
}

// The record of a live handle when it has a source-layer handle (a non-null Source
// member), else null. The record stays owned by the table.
template <class T> T *FindUsable(TVfHandleTable<T> &table, VF_FileHandle handle)
{
    T *h = handle ? table.Find(handle) : nullptr;
    return h && h->Source ? h : nullptr;
}

} // namespace tessaly::gst
