/* The reader plug-in interface: every record, function table and exported entry point
 * that crosses between a plug-in library (*.vfp) and its host, in the 64-bit form.
 *
 * Layout rules on a 64-bit system: every record is a plain C struct with native
 * pointer fields; its size field holds sizeof of that struct and a callee compares
 * with exactly that value. A file handle is a 32-bit number handed out by the
 * plug-in; it indexes the plug-in's own table of open files (never an address), so a
 * stale or invented handle is refused instead of followed. Results are 0 for success
 * and VF_ERROR for every failure; CloseFile always answers 0 and IsKeyFrame a truth
 * value (-1 key frame, 0 not). Plain C, included by the host and by the plug-ins. */
#ifndef TESSALY_VFAPI_H
#define TESSALY_VFAPI_H

#include <stdint.h>

#include "media/common/vfw_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define VF_OK 0
#define VF_ERROR TESSALY_E_FAIL

/* Interface version announced in VfPluginInfo.apiVersion. */
#define VF_API_VERSION 1

/* Stream numbers of GetStreamInfo and ReadData; also the bits of stream types and
 * of VfFileInfo.hasStreams (bit 0 video, bit 1 audio). */
#define VF_STREAM_VIDEO 1u
#define VF_STREAM_AUDIO 2u

/* Stream selectors of the RIFF extension. Any other selector value is a stream number
 * in file order (0 .. all streams - 1). */
#define VF_RIFF_SELECT_VIDEO 0x00010001u /* the selected video stream; also a SelectStream kind */
#define VF_RIFF_SELECT_AUDIO 0x00020002u /* the selected audio stream; also a SelectStream kind */
#define VF_RIFF_SELECT_FILE 0x00080000u  /* ReadChunk only: chunks of the file level */

/* VfRiffInfo.fileKind. */
#define VF_RIFF_KIND_NONE 0u
#define VF_RIFF_KIND_WAVE 1u
#define VF_RIFF_KIND_AVI 2u
#define VF_RIFF_KIND_ODML 3u /* AVI that passes the extended (OpenDML) index test */

/* VfRiffInfo.streamFlags. */
#define VF_RIFF_HAS_VIDEO 0x00010001u
#define VF_RIFF_HAS_AUDIO 0x00020002u
#define VF_RIFF_HAS_OTHER 0x00040000u /* video plus audio streams are fewer than all */

/* IsKeyFrame answers. */
#define VF_KEYFRAME_YES (-1)
#define VF_KEYFRAME_NO 0

/* A plug-in's file handle: non-zero, an index into the plug-in's table of open files. */
typedef uint32_t VF_FileHandle;

/* Filled by vfGetPluginInfo. Texts are zero-filled, then written, so always terminated.
 * fileTypes is "description|pattern;pattern;...". */
typedef struct VfPluginInfo {
    uint32_t size;              /* sizeof(VfPluginInfo), set by the caller */
    uint32_t apiVersion;        /* VF_API_VERSION */
    uint32_t pluginVersion;     /* the plug-in's own version */
    uint32_t streamTypes;       /* bit 0 video, bit 1 audio */
    char infoText[256];
    char fileTypes[256];
} VfPluginInfo;

typedef struct VfFileInfo {
    uint32_t size;              /* sizeof(VfFileInfo) */
    uint32_t hasStreams;        /* bit 0 usable video stream, bit 1 usable audio stream */
} VfFileInfo;

typedef struct VfVideoStreamInfo {
    uint32_t size;              /* sizeof(VfVideoStreamInfo) */
    uint32_t lengthLow;         /* number of frames */
    uint32_t lengthHigh;        /* 0 */
    uint32_t rate;              /* frames per second = rate / scale */
    uint32_t scale;
    uint32_t width;             /* pixels */
    uint32_t height;            /* pixels */
    uint32_t bitCount;          /* bits per pixel of the frames delivered (24 or 32) */
} VfVideoStreamInfo;

typedef struct VfAudioStreamInfo {
    uint32_t size;              /* sizeof(VfAudioStreamInfo) */
    uint32_t lengthLow;         /* sample frames, low 32 bits */
    uint32_t lengthHigh;        /* high 32 bits, bit 31 clear */
    uint32_t rate;              /* bytes per second of the delivered PCM */
    uint32_t scale;             /* block align: rate / scale = sample frames per second */
    uint32_t channels;
    uint32_t bitsPerSample;
    uint32_t blockAlign;        /* channels * bitsPerSample / 8 */
} VfAudioStreamInfo;

/* ReadData(video): the plug-in writes its top row at data and steps pitch bytes
 * to the next row; a negative pitch with data at the last row yields a bottom-up
 * picture. Pitch 0 means the 4-byte-aligned stride of a 24-bit row. */
typedef struct VfVideoReadData {
    uint32_t size;              /* sizeof(VfVideoReadData) */
    uint32_t frameLow;          /* frame number; only the low half selects the frame */
    uint32_t frameHigh;         /* ignored */
    void *data;                 /* caller's picture buffer, not zero */
    int32_t pitch;              /* bytes from one row to the next, may be negative */
} VfVideoReadData;

/* ReadData(audio): first sample = (int64_t)((uint64_t)firstHigh << 32 | firstLow). */
typedef struct VfAudioReadData {
    uint32_t size;              /* sizeof(VfAudioReadData) */
    uint32_t firstLow;
    uint32_t firstHigh;
    uint32_t sampleCount;       /* sample frames wanted */
    uint32_t samplesRead;       /* written by the plug-in */
    uint32_t bufferSize;        /* bytes available at buffer */
    void *buffer;               /* caller's buffer, not zero */
} VfAudioReadData;

/* RIFF extension records. */
typedef struct VfRiffInfo {
    uint32_t size;              /* sizeof(VfRiffInfo) */
    uint32_t fileKind;          /* VF_RIFF_KIND_* */
    uint32_t streamFlags;       /* VF_RIFF_HAS_* ORed */
    uint32_t fileSizeLow;       /* file size in bytes */
    uint32_t fileSizeHigh;
    uint32_t riffSegments;      /* number of RIFF segments */
    uint32_t videoStreams;
    uint32_t audioStreams;
    AVIFILEINFO fileInfo;       /* the reader's file description; dwStreams = all streams */
} VfRiffInfo;

typedef struct VfRiffStreamHeader {
    uint32_t size;              /* sizeof(VfRiffStreamHeader) */
    uint32_t streamNumber;      /* written: the resolved stream number in file order */
    AVISTREAMINFO streamInfo;   /* the reader's description of that stream */
} VfRiffStreamHeader;

typedef struct VfRiffChunk {
    uint32_t size;              /* sizeof(VfRiffChunk) */
    uint32_t chunkId;           /* four-character code as stored in the file */
    uint32_t bufferSize;        /* bytes available at buffer */
    uint32_t length;            /* written: bytes copied, or without buffer the chunk length */
    void *buffer;               /* may be zero to ask for the length only */
} VfRiffChunk;

typedef struct VfRiffRead {
    uint32_t size;              /* sizeof(VfRiffRead) */
    uint32_t start;             /* first frame or block of the stream */
    uint32_t reserved;          /* not read */
    int32_t count;              /* units wanted; -1 means 1 */
    uint32_t bytesRead;         /* written */
    uint32_t unitsRead;         /* written */
    uint32_t bufferSize;        /* bytes available at buffer */
    void *buffer;               /* may be zero to ask for counts only */
} VfRiffRead;

/* The function table entries. Records are owned by the caller. */
typedef int32_t (*VfOpenFileProc)(const char *fileName, VF_FileHandle *handle);
typedef int32_t (*VfCloseFileProc)(VF_FileHandle handle);
typedef int32_t (*VfGetFileInfoProc)(VF_FileHandle handle, VfFileInfo *info);
/* info is a VfVideoStreamInfo (stream 1) or a VfAudioStreamInfo (stream 2). */
typedef int32_t (*VfGetStreamInfoProc)(VF_FileHandle handle, uint32_t stream, void *info);
/* data is a VfVideoReadData (stream 1) or a VfAudioReadData (stream 2). */
typedef int32_t (*VfReadDataProc)(VF_FileHandle handle, uint32_t stream, void *data);

typedef int32_t (*VfGetRiffInfoProc)(VF_FileHandle handle, VfRiffInfo *info);
typedef int32_t (*VfSelectStreamProc)(VF_FileHandle handle, uint32_t kind, uint32_t index);
typedef int32_t (*VfGetStreamHeaderProc)(VF_FileHandle handle, uint32_t selector, VfRiffStreamHeader *header);
typedef int32_t (*VfReadChunkProc)(VF_FileHandle handle, uint32_t selector, VfRiffChunk *chunk);
typedef int32_t (*VfReadStreamDataProc)(VF_FileHandle handle, uint32_t selector, VfRiffRead *read);
typedef int32_t (*VfIsKeyFrameProc)(VF_FileHandle handle, uint32_t selector, uint32_t frame);

/* Filled by vfGetPluginFunc, entries in this order. */
typedef struct VfPluginFunc {
    uint32_t size;              /* sizeof(VfPluginFunc) */
    VfOpenFileProc OpenFile;
    VfCloseFileProc CloseFile;
    VfGetFileInfoProc GetFileInfo;
    VfGetStreamInfoProc GetStreamInfo;
    VfReadDataProc ReadData;
} VfPluginFunc;

/* Filled by vfGetPluginRiffFunc, entries in this order. */
typedef struct VfRiffFunc {
    uint32_t size;              /* sizeof(VfRiffFunc) */
    VfGetRiffInfoProc GetRiffInfo;
    VfSelectStreamProc SelectStream;
    VfGetStreamHeaderProc GetStreamHeader;
    VfReadChunkProc ReadChunk;
    VfReadStreamDataProc ReadStreamData;
    VfIsKeyFrameProc IsKeyFrame;
} VfRiffFunc;

/* Optional audio extension (vfGetPluginAudioFunc). Without it, or until the host selects
 * another delivery, audio is delivered as VfAudioStreamInfo says: 1 or 2 channels (more are
 * mixed down) of 8 or 16 bits. GetSourceLayout tells what the medium itself holds;
 * SelectDelivery asks for every source channel and/or 24 bits instead. After it succeeded,
 * GetStreamInfo(audio) reports the selected format and ReadData delivers it, the channels
 * in the order of the bits of channelMask (the WAVE speaker order). */
typedef struct VfAudioLayout {
    uint32_t size;              /* sizeof(VfAudioLayout) */
    uint32_t channels;
    uint32_t channelMask;       /* WAVE speaker mask (1 front left, 2 front right, 4 front
                                   centre, 8 LFE ...); 0 when not every channel has a place */
    uint32_t bitsPerSample;     /* source: 8, 16, 24 or 32; selection: 8 or 16 (plain), 16 or 24 */
    uint32_t floatingPoint;     /* source only: 1 when the decoder delivers floating point */
} VfAudioLayout;

typedef int32_t (*VfGetAudioLayoutProc)(VF_FileHandle handle, VfAudioLayout *layout);
/* wanted->channels is the source's count (all channels) or the plain delivery's; 24 bits
 * are offered only for sources of more than 16 bits. Fails, changing nothing, otherwise. */
typedef int32_t (*VfSelectDeliveryProc)(VF_FileHandle handle, const VfAudioLayout *wanted);

typedef struct VfAudioFunc {
    uint32_t size;              /* sizeof(VfAudioFunc) */
    VfGetAudioLayoutProc GetSourceLayout;
    VfSelectDeliveryProc SelectDelivery;
} VfAudioFunc;

typedef int32_t (*VfGetPluginAudioFuncProc)(VfAudioFunc *func);
#define VF_EXPORT_PLUGIN_AUDIO_FUNC "vfGetPluginAudioFunc"

/* The exported entry points, looked up by these names. vfGetPluginRiffFunc is
 * optional: its absence means the plug-in has no RIFF extension. */
typedef int32_t (*VfGetPluginInfoProc)(VfPluginInfo *info);
typedef int32_t (*VfGetPluginFuncProc)(VfPluginFunc *func);
typedef int32_t (*VfGetPluginRiffFuncProc)(VfRiffFunc *func);

#define VF_EXPORT_PLUGIN_INFO "vfGetPluginInfo"
#define VF_EXPORT_PLUGIN_FUNC "vfGetPluginFunc"
#define VF_EXPORT_PLUGIN_RIFF_FUNC "vfGetPluginRiffFunc"

#if defined(__GNUC__)
#define VF_EXPORT __attribute__((visibility("default")))
#else
#define VF_EXPORT
#endif

/* Declarations a plug-in defines (with VF_EXPORT) and a host looks up by name. */
VF_EXPORT int32_t vfGetPluginInfo(VfPluginInfo *info);
VF_EXPORT int32_t vfGetPluginFunc(VfPluginFunc *func);
VF_EXPORT int32_t vfGetPluginRiffFunc(VfRiffFunc *func);
VF_EXPORT int32_t vfGetPluginAudioFunc(VfAudioFunc *func);

#ifdef __cplusplus
} /* extern "C" */
#define VF_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define VF_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Records without pointers keep their published sizes; the embedded platform
 * records sit at their published offsets. */
VF_STATIC_ASSERT(sizeof(VfPluginInfo) == 528, "VfPluginInfo layout");
VF_STATIC_ASSERT(sizeof(VfFileInfo) == 8, "VfFileInfo layout");
VF_STATIC_ASSERT(sizeof(VfVideoStreamInfo) == 32, "VfVideoStreamInfo layout");
VF_STATIC_ASSERT(sizeof(VfAudioStreamInfo) == 32, "VfAudioStreamInfo layout");
VF_STATIC_ASSERT(sizeof(VfRiffInfo) == 140, "VfRiffInfo layout");
VF_STATIC_ASSERT(sizeof(VfRiffStreamHeader) == 148, "VfRiffStreamHeader layout");
VF_STATIC_ASSERT(sizeof(VfAudioLayout) == 20, "VfAudioLayout layout");

#endif /* TESSALY_VFAPI_H */
