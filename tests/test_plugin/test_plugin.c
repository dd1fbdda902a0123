/* A reader plug-in built only for the tests: it serves a generated video and audio
 * stream described by a small "key=value" text file, optionally with the RIFF
 * extension, and in deliberately broken variants (chosen by TP_* definitions). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "plugins/vfapi/vfapi.h"
#include "test_plugin_media.h"

/* TP_VARIANT 1: video and audio, no RIFF extension; 2: the same with the RIFF
 * extension; 3: audio only; 4: no vfGetPluginFunc export; 5: vfGetPluginInfo fails;
 * 6: a table entry is missing. */
#if TP_VARIANT == 1
#define TP_INFO "Tessaly Test Reader 1.0"
#define TP_TYPES "Test media (*.tpv;*.MPG;*.vob)|*.tpv;*.MPG;*.vob"
#elif TP_VARIANT == 2
#define TP_INFO "Tessaly Test RIFF Reader 1.0"
#define TP_TYPES "Test RIFF media (*.tpv;*.tpr)|*.tpv;*.tpr"
#define TP_RIFF 1
#elif TP_VARIANT == 3
#define TP_INFO "Tessaly Test Audio Reader 1.0"
#define TP_TYPES "Test audio (*.tpa;*.tpv)|*.tpa;*.tpv"
#define TP_STREAMS 2
#else
#define TP_INFO "Tessaly Broken Reader"
#define TP_TYPES "Broken (*.tpv)|*.tpv"
#define TP_BROKEN (TP_VARIANT - 3)
#endif
#ifndef TP_STREAMS
#define TP_STREAMS 3
#endif
#ifndef TP_RIFF
#define TP_RIFF 0
#endif
#ifndef TP_BROKEN
#define TP_BROKEN 0
#endif

#define TP_MAX_FILES 64

/* One open file: the medium described by its text file. Numbers may be set to
 * nonsense on purpose (keys named after the info fields) to test the host's checks. */
typedef struct TpFile {
    int used;
    int video, audio;
    uint32_t frames, width, height, rate, scale, vbits, lengthHighV;
    int64_t samples;
    uint32_t srate, channels, abits, block, arate, ascale, lengthHighA;
    int failInfo, failStreamInfo, failRead, overRead, failRiff, keyEvery;
} TpFile;

static TpFile files[TP_MAX_FILES];

static TpFile *Lookup(VF_FileHandle h)
{
    if (h == 0 || h > TP_MAX_FILES || !files[h - 1].used)
        return NULL;
    return &files[h - 1];
}

static void SetDefaults(TpFile *f)
{
    memset(f, 0, sizeof *f);
    f->video = 1; f->frames = 100; f->width = 16; f->height = 8; f->rate = 25; f->scale = 1; f->vbits = 24;
    f->audio = 1; f->samples = 48000; f->srate = 48000; f->channels = 2; f->abits = 16;
    f->keyEvery = 10;
    f->block = f->arate = f->ascale = UINT32_MAX; /* derived unless given */
}

static int ParseLine(TpFile *f, const char *key, long long v)
{
    struct { const char *name; int kind; void *field; } keys[] = {
        {"video", 0, &f->video}, {"audio", 0, &f->audio}, {"frames", 1, &f->frames},
        {"width", 1, &f->width}, {"height", 1, &f->height}, {"rate", 1, &f->rate},
        {"scale", 1, &f->scale}, {"vbits", 1, &f->vbits}, {"vlenhigh", 1, &f->lengthHighV},
        {"samples", 2, &f->samples}, {"srate", 1, &f->srate}, {"channels", 1, &f->channels},
        {"abits", 1, &f->abits}, {"ablock", 1, &f->block}, {"arate", 1, &f->arate},
        {"ascale", 1, &f->ascale}, {"alenhigh", 1, &f->lengthHighA},
        {"failinfo", 0, &f->failInfo}, {"failstreaminfo", 0, &f->failStreamInfo},
        {"failread", 0, &f->failRead}, {"overread", 0, &f->overRead},
        {"failriff", 0, &f->failRiff}, {"keyevery", 0, &f->keyEvery},
    };
    for (size_t i = 0; i < sizeof keys / sizeof keys[0]; ++i) {
        if (strcmp(keys[i].name, key) != 0)
            continue;
        if (keys[i].kind == 0) *(int *)keys[i].field = (int)v;
        else if (keys[i].kind == 1) *(uint32_t *)keys[i].field = (uint32_t)v;
        else *(int64_t *)keys[i].field = (int64_t)v;
        return 1;
    }
    return strcmp(key, "openfail") == 0 && v ? -1 : 0;
}

/* Reads the description; returns 0 when the file is missing or asks to fail. */
static int LoadDescription(TpFile *f, const char *name)
{
    FILE *in = fopen(name, "r");
    if (!in)
        return 0;
    SetDefaults(f);
    char line[256];
    int ok = 1;
    while (fgets(line, sizeof line, in)) {
        char key[64];
        long long v;
        if (sscanf(line, " %63[a-z] = %lld", key, &v) == 2 && ParseLine(f, key, v) < 0)
            ok = 0;
    }
    fclose(in);
    if (f->block == UINT32_MAX) f->block = f->channels * f->abits / 8;
    if (f->ascale == UINT32_MAX) f->ascale = f->block;
    if (f->arate == UINT32_MAX) f->arate = f->srate * f->block;
    return ok;
}

static int32_t OpenFile(const char *name, VF_FileHandle *handle)
{
    if (!name || !handle)
        return VF_ERROR;
    for (uint32_t i = 0; i < TP_MAX_FILES; ++i) {
        if (files[i].used)
            continue;
        if (!LoadDescription(&files[i], name))
            return VF_ERROR;
        files[i].used = 1;
        *handle = i + 1;
        return VF_OK;
    }
    return VF_ERROR;
}

static int32_t CloseFile(VF_FileHandle h)
{
    TpFile *f = Lookup(h);
    if (f)
        f->used = 0;
    return VF_OK;
}

static int32_t GetFileInfo(VF_FileHandle h, VfFileInfo *info)
{
    TpFile *f = Lookup(h);
    if (!f || !info || info->size != sizeof(VfFileInfo) || f->failInfo)
        return VF_ERROR;
    info->hasStreams = (f->video ? VF_STREAM_VIDEO : 0) | (f->audio ? VF_STREAM_AUDIO : 0);
    return VF_OK;
}

static int32_t GetStreamInfo(VF_FileHandle h, uint32_t stream, void *record)
{
    TpFile *f = Lookup(h);
    if (!f || !record || f->failStreamInfo)
        return VF_ERROR;
    if (stream == VF_STREAM_VIDEO && f->video) {
        VfVideoStreamInfo *v = (VfVideoStreamInfo *)record;
        if (v->size != sizeof *v)
            return VF_ERROR;
        v->lengthLow = f->frames; v->lengthHigh = f->lengthHighV;
        v->rate = f->rate; v->scale = f->scale;
        v->width = f->width; v->height = f->height; v->bitCount = f->vbits;
        return VF_OK;
    }
    if (stream == VF_STREAM_AUDIO && f->audio) {
        VfAudioStreamInfo *a = (VfAudioStreamInfo *)record;
        if (a->size != sizeof *a)
            return VF_ERROR;
        a->lengthLow = (uint32_t)f->samples;
        a->lengthHigh = f->lengthHighA ? f->lengthHighA : (uint32_t)((uint64_t)f->samples >> 32) & 0x7FFFFFFFu;
        a->rate = f->arate; a->scale = f->ascale;
        a->channels = f->channels; a->bitsPerSample = f->abits; a->blockAlign = f->block;
        return VF_OK;
    }
    return VF_ERROR;
}

/* Writes one top-down frame: row y lands at data + y * pitch. */
static void DrawFrame(const TpFile *f, uint32_t frame, uint8_t *data, int64_t pitch)
{
    uint32_t bytes = f->vbits / 8;
    for (uint32_t y = 0; y < f->height; ++y) {
        uint8_t *row = data + (int64_t)y * pitch;
        for (uint32_t x = 0; x < f->width; ++x) {
            uint8_t *p = row + (size_t)x * bytes;
            p[0] = TpBlue(frame, x, y);
            if (bytes >= 2) p[1] = TpGreen(frame, x, y);
            if (bytes >= 3) p[2] = TpRed(frame, x, y);
            if (bytes >= 4) p[3] = TP_PIXEL_PAD;
        }
    }
}

/* Writes count sample frames from sample first in the stream's own sample size. */
static void FillSamples(const TpFile *f, int64_t first, uint32_t count, uint8_t *out)
{
    uint32_t bytes = f->abits / 8;
    for (uint32_t i = 0; i < count; ++i)
        for (uint32_t c = 0; c < f->channels; ++c) {
            uint8_t *p = out + ((size_t)i * f->channels + c) * bytes;
            uint16_t v = (uint16_t)TpSample16(first + i, c);
            if (bytes == 1) { p[0] = TpSample8(first + i, c); continue; }
            for (uint32_t b = 0; b + 2 < bytes; ++b) p[b] = TP_LOW_BYTE;
            p[bytes - 2] = (uint8_t)v;
            p[bytes - 1] = (uint8_t)(v >> 8);
        }
}

static int32_t ReadData(VF_FileHandle h, uint32_t stream, void *record)
{
    TpFile *f = Lookup(h);
    if (!f || !record || f->failRead)
        return VF_ERROR;
    if (stream == VF_STREAM_VIDEO && f->video) {
        VfVideoReadData *r = (VfVideoReadData *)record;
        if (r->size != sizeof *r || !r->data || r->frameLow >= f->frames)
            return VF_ERROR;
        DrawFrame(f, r->frameLow, (uint8_t *)r->data, r->pitch ? r->pitch : (int64_t)(((f->width * 24 - 1) / 8) & ~3u) + 4);
        return VF_OK;
    }
    if (stream == VF_STREAM_AUDIO && f->audio) {
        VfAudioReadData *r = (VfAudioReadData *)record;
        if (r->size != sizeof *r || !r->buffer)
            return VF_ERROR;
        int64_t first = (int64_t)(((uint64_t)r->firstHigh << 32) | r->firstLow);
        if (first < 0 || first >= f->samples || r->sampleCount == 0)
            return VF_ERROR;
        uint32_t n = r->sampleCount;
        if ((int64_t)n > f->samples - first) n = (uint32_t)(f->samples - first);
        if ((uint64_t)n * f->block > r->bufferSize)
            return VF_ERROR;
        FillSamples(f, first, n, (uint8_t *)r->buffer);
        r->samplesRead = f->overRead ? r->sampleCount + 1 : n;
        return VF_OK;
    }
    return VF_ERROR;
}

#if TP_RIFF
/* Streams in file order: video (when present) is stream 0, then audio. */
static uint32_t StreamCount(const TpFile *f) { return (uint32_t)(f->video != 0) + (uint32_t)(f->audio != 0); }

/* Resolves a selector; returns 1 for video, 2 for audio, 0 when invalid. */
static int Resolve(const TpFile *f, uint32_t selector, uint32_t *number)
{
    int kind;
    if (selector == VF_RIFF_SELECT_VIDEO) kind = f->video ? 1 : 0;
    else if (selector == VF_RIFF_SELECT_AUDIO) kind = f->audio ? 2 : 0;
    else if (selector >= StreamCount(f)) kind = 0;
    else kind = (selector == 0 && f->video) ? 1 : 2;
    if (number) *number = kind == 1 ? 0 : (uint32_t)(f->video != 0);
    return kind;
}

static uint32_t FrameBytes24(const TpFile *f) { return (((f->width * 24) + 31) / 32) * 4 * f->height; }

static TpFile *RiffLookup(VF_FileHandle h)
{
    TpFile *f = Lookup(h);
    return f && !f->failRiff ? f : NULL;
}

static int32_t GetRiffInfo(VF_FileHandle h, VfRiffInfo *info)
{
    TpFile *f = RiffLookup(h);
    if (!f || !info || info->size != sizeof *info)
        return VF_ERROR;
    memset((uint8_t *)info + 4, 0, sizeof *info - 4);
    info->fileKind = f->video ? VF_RIFF_KIND_AVI : VF_RIFF_KIND_WAVE;
    info->streamFlags = (f->video ? VF_RIFF_HAS_VIDEO : 0) | (f->audio ? VF_RIFF_HAS_AUDIO : 0);
    info->fileSizeLow = 4096;
    info->riffSegments = 1;
    info->videoStreams = f->video ? 1 : 0;
    info->audioStreams = f->audio ? 1 : 0;
    info->fileInfo.dwStreams = StreamCount(f);
    info->fileInfo.dwWidth = f->width;
    info->fileInfo.dwHeight = f->height;
    info->fileInfo.dwLength = f->frames;
    strcpy(info->fileInfo.szFileType, "Test RIFF");
    return VF_OK;
}

static int32_t SelectStream(VF_FileHandle h, uint32_t kind, uint32_t index)
{
    TpFile *f = RiffLookup(h);
    if (!f || index != 0)
        return VF_ERROR;
    return (kind == VF_RIFF_SELECT_VIDEO && f->video) || (kind == VF_RIFF_SELECT_AUDIO && f->audio) ? VF_OK : VF_ERROR;
}

static int32_t GetStreamHeader(VF_FileHandle h, uint32_t selector, VfRiffStreamHeader *hdr)
{
    TpFile *f = RiffLookup(h);
    uint32_t number;
    int kind = f ? Resolve(f, selector, &number) : 0;
    if (!kind || !hdr || hdr->size != sizeof *hdr)
        return VF_ERROR;
    memset(&hdr->streamInfo, 0, sizeof hdr->streamInfo);
    hdr->streamNumber = number;
    AVISTREAMINFO *s = &hdr->streamInfo;
    if (kind == 1) {
        s->fccType = streamtypeVIDEO;
        s->dwScale = f->scale; s->dwRate = f->rate; s->dwLength = f->frames;
        s->dwSuggestedBufferSize = FrameBytes24(f);
        s->rcFrame.right = (int32_t)f->width; s->rcFrame.bottom = (int32_t)f->height;
        strcpy(s->szName, "test Video #1");
    } else {
        s->fccType = streamtypeAUDIO;
        s->dwScale = f->block; s->dwRate = f->block * f->srate; s->dwLength = (uint32_t)f->samples;
        s->dwSampleSize = f->block;
        strcpy(s->szName, "test Audio #1");
    }
    s->dwQuality = 0xFFFFFFFFu;
    return VF_OK;
}

/* The bytes of a chunk, built into out (at least 64 bytes); returns its length or 0. */
static uint32_t ChunkBytes(const TpFile *f, int kind, uint32_t id, uint8_t *out)
{
    memset(out, 0, 64);
    if (kind == 1 && id == TESSALY_FCC('s', 't', 'r', 'f')) {
        uint32_t v[10] = {40, f->width, f->height, 1u | (24u << 16), BI_RGB, FrameBytes24(f), 0, 0, 0, 0};
        for (int i = 0; i < 10; ++i)
            for (int b = 0; b < 4; ++b) out[i * 4 + b] = (uint8_t)(v[i] >> (8 * b));
        return 40;
    }
    if (kind == 1 && id == TESSALY_FCC('s', 't', 'r', 'd')) {
        memcpy(out, "test codec data", 15);
        return 15;
    }
    if (kind == 2 && id == TESSALY_FCC('s', 't', 'r', 'f')) {
        uint32_t rate = f->srate, bytes = f->srate * f->block;
        uint8_t w[18] = {1, 0, (uint8_t)f->channels, 0, (uint8_t)rate, (uint8_t)(rate >> 8), (uint8_t)(rate >> 16),
                         (uint8_t)(rate >> 24), (uint8_t)bytes, (uint8_t)(bytes >> 8), (uint8_t)(bytes >> 16),
                         (uint8_t)(bytes >> 24), (uint8_t)f->block, 0, (uint8_t)f->abits, 0, 0, 0};
        memcpy(out, w, sizeof w);
        return 18;
    }
    return 0;
}

static int32_t ReadChunk(VF_FileHandle h, uint32_t selector, VfRiffChunk *chunk)
{
    TpFile *f = RiffLookup(h);
    if (!f || !chunk || chunk->size != sizeof *chunk)
        return VF_ERROR;
    int kind = selector == VF_RIFF_SELECT_FILE ? 3 : Resolve(f, selector, NULL);
    uint8_t bytes[64];
    uint32_t n = kind ? ChunkBytes(f, kind, chunk->chunkId, bytes) : 0;
    if (!n)
        return VF_ERROR;
    if (chunk->buffer) {
        if (n > chunk->bufferSize) n = chunk->bufferSize;
        memcpy(chunk->buffer, bytes, n);
    }
    chunk->length = n;
    return VF_OK;
}

static int32_t ReadStreamData(VF_FileHandle h, uint32_t selector, VfRiffRead *rd)
{
    TpFile *f = RiffLookup(h);
    int kind = f ? Resolve(f, selector, NULL) : 0;
    if (!kind || !rd || rd->size != sizeof *rd)
        return VF_ERROR;
    uint32_t length = kind == 1 ? f->frames : (uint32_t)f->samples;
    uint32_t unit = kind == 1 ? FrameBytes24(f) : f->block;
    uint32_t count = rd->count == -1 ? 1u : (uint32_t)rd->count;
    if (rd->count == 0 || rd->count < -1 || rd->start >= length)
        return VF_ERROR;
    if (count > length - rd->start) count = length - rd->start;
    if (rd->buffer && (uint64_t)count * unit > rd->bufferSize) count = rd->bufferSize / unit;
    if (rd->buffer && count == 0)
        return VF_ERROR;
    if (rd->buffer) {
        uint8_t *out = (uint8_t *)rd->buffer;
        for (uint32_t i = 0; i < count; ++i) {
            if (kind == 1) {
                uint32_t stride = FrameBytes24(f) / f->height;
                memset(out + (size_t)i * unit, 0, unit);
                DrawFrame(f, rd->start + i, out + (size_t)i * unit + (size_t)stride * (f->height - 1), -(int64_t)stride);
            } else {
                FillSamples(f, rd->start + i, 1, out + (size_t)i * unit);
            }
        }
    }
    rd->unitsRead = count;
    rd->bytesRead = count * unit;
    return VF_OK;
}

static int32_t IsKeyFrame(VF_FileHandle h, uint32_t selector, uint32_t frame)
{
    TpFile *f = RiffLookup(h);
    int kind = f ? Resolve(f, selector, NULL) : 0;
    if (kind == 1)
        return frame < f->frames && f->keyEvery > 0 && frame % (uint32_t)f->keyEvery == 0 ? VF_KEYFRAME_YES : VF_KEYFRAME_NO;
    return kind == 2 && frame < (uint64_t)f->samples ? VF_KEYFRAME_YES : VF_KEYFRAME_NO;
}

VF_EXPORT int32_t vfGetPluginRiffFunc(VfRiffFunc *func)
{
    if (!func || func->size != sizeof *func)
        return VF_ERROR;
    func->GetRiffInfo = GetRiffInfo;
    func->SelectStream = SelectStream;
    func->GetStreamHeader = GetStreamHeader;
    func->ReadChunk = ReadChunk;
    func->ReadStreamData = ReadStreamData;
    func->IsKeyFrame = IsKeyFrame;
    return VF_OK;
}
#endif /* TP_RIFF */

VF_EXPORT int32_t vfGetPluginInfo(VfPluginInfo *info)
{
    if (!info || info->size != sizeof *info || TP_BROKEN == 2)
        return VF_ERROR;
    info->apiVersion = VF_API_VERSION;
    info->pluginVersion = 1;
    info->streamTypes = TP_STREAMS;
    memset(info->infoText, 0, sizeof info->infoText);
    memset(info->fileTypes, 0, sizeof info->fileTypes);
    strncpy(info->infoText, TP_INFO, sizeof info->infoText - 1);
    strncpy(info->fileTypes, TP_TYPES, sizeof info->fileTypes - 1);
    return VF_OK;
}

#if TP_BROKEN == 1
/* The table export under a name the host does not look for. */
#define TP_FUNC_EXPORT tpGetPluginFuncElsewhere
int32_t tpGetPluginFuncElsewhere(VfPluginFunc *func);
#else
#define TP_FUNC_EXPORT vfGetPluginFunc
#endif
VF_EXPORT int32_t TP_FUNC_EXPORT(VfPluginFunc *func)
{
    if (!func || func->size != sizeof *func)
        return VF_ERROR;
    func->OpenFile = OpenFile;
    func->CloseFile = CloseFile;
    func->GetFileInfo = GetFileInfo;
    func->GetStreamInfo = GetStreamInfo;
    func->ReadData = TP_BROKEN == 3 ? NULL : ReadData;
    return VF_OK;
}
