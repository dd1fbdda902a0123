/* The Video for Windows records, result codes and flags, laid out as that platform
 * publishes them (8-bit text variants), for the AVI reader, the writers, the system
 * media layer and the plug-in interface. Plain C so the plug-in header can use it.
 * These are in-memory records: files are parsed and written field by field
 * (media/common/byte_order.h), never by casting bytes onto them. */
#ifndef TESSALY_VFW_TYPES_H
#define TESSALY_VFW_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* AVIERR result codes: MAKE_SCODE(SEVERITY_ERROR, FACILITY_ITF, 0x4000 + n). */
#define AVIERR_OK 0
#define TESSALY_MAKE_AVIERR(n) ((int32_t)(0x80044000u + (uint32_t)(n)))
#define AVIERR_UNSUPPORTED TESSALY_MAKE_AVIERR(101)
#define AVIERR_BADFORMAT TESSALY_MAKE_AVIERR(102)
#define AVIERR_MEMORY TESSALY_MAKE_AVIERR(103)
#define AVIERR_INTERNAL TESSALY_MAKE_AVIERR(104)
#define AVIERR_BADFLAGS TESSALY_MAKE_AVIERR(105)
#define AVIERR_BADPARAM TESSALY_MAKE_AVIERR(106)
#define AVIERR_BADSIZE TESSALY_MAKE_AVIERR(107)
#define AVIERR_BADHANDLE TESSALY_MAKE_AVIERR(108)
#define AVIERR_FILEREAD TESSALY_MAKE_AVIERR(109)
#define AVIERR_FILEWRITE TESSALY_MAKE_AVIERR(110)
#define AVIERR_FILEOPEN TESSALY_MAKE_AVIERR(111)
#define AVIERR_COMPRESSOR TESSALY_MAKE_AVIERR(112)
#define AVIERR_NOCOMPRESSOR TESSALY_MAKE_AVIERR(113)
#define AVIERR_READONLY TESSALY_MAKE_AVIERR(114)
#define AVIERR_NODATA TESSALY_MAKE_AVIERR(115)
#define AVIERR_BUFFERTOOSMALL TESSALY_MAKE_AVIERR(116)
#define AVIERR_CANTCOMPRESS TESSALY_MAKE_AVIERR(117)
#define AVIERR_USERABORT TESSALY_MAKE_AVIERR(198)
#define AVIERR_ERROR TESSALY_MAKE_AVIERR(199)

/* The platform's generic failure status. */
#define TESSALY_E_FAIL ((int32_t)0x80004005u)

/* FindSample flags. */
#define FIND_DIR 0x0000000F
#define FIND_NEXT 0x00000001
#define FIND_PREV 0x00000004
#define FIND_FROM_START 0x00000008
#define FIND_TYPE 0x000000F0
#define FIND_KEY 0x00000010
#define FIND_ANY 0x00000020
#define FIND_FORMAT 0x00000040
#define FIND_RET 0x0000F000
#define FIND_POS 0x00000000
#define FIND_LENGTH 0x00001000
#define FIND_OFFSET 0x00002000
#define FIND_SIZE 0x00003000
#define FIND_INDEX 0x00004000

/* AVIStreamRead: read as many samples as fit. */
#define AVISTREAMREAD_CONVENIENT (-1)

/* Index entry flags ('idx1' and the description records). */
#define AVIIF_LIST 0x00000001
#define AVIIF_KEYFRAME 0x00000010
#define AVIIF_NO_TIME 0x00000100

/* Main header flags ('avih' dwFlags) and AVIFILEINFO flags and caps. */
#define AVIF_HASINDEX 0x00000010
#define AVIF_MUSTUSEINDEX 0x00000020
#define AVIF_ISINTERLEAVED 0x00000100
#define AVIF_TRUSTCKTYPE 0x00000800
#define AVIF_WASCAPTUREFILE 0x00010000
#define AVIF_COPYRIGHTED 0x00020000
#define AVIFILEINFO_HASINDEX 0x00000010
#define AVIFILEINFO_MUSTUSEINDEX 0x00000020
#define AVIFILEINFO_ISINTERLEAVED 0x00000100
#define AVIFILEINFO_WASCAPTUREFILE 0x00010000
#define AVIFILEINFO_COPYRIGHTED 0x00020000
#define AVIFILECAPS_CANREAD 0x00000001
#define AVIFILECAPS_CANWRITE 0x00000002
#define AVIFILECAPS_ALLKEYFRAMES 0x00000010
#define AVIFILECAPS_NOCOMPRESSION 0x00000020

/* Stream header flags. */
#define AVISF_DISABLED 0x00000001
#define AVISF_VIDEO_PALCHANGES 0x00010000

/* Bitmap compressions. */
#define BI_RGB 0
#define BI_RLE8 1
#define BI_RLE4 2
#define BI_BITFIELDS 3

/* Wave format tags. */
#define WAVE_FORMAT_PCM 0x0001
#define WAVE_FORMAT_IEEE_FLOAT 0x0003
#define WAVE_FORMAT_EXTENSIBLE 0xFFFE

typedef struct TESSALY_RECT {
    int32_t left, top, right, bottom;
} TESSALY_RECT;

/* AVIFILEINFO (8-bit text variant): 108 bytes. */
typedef struct AVIFILEINFO {
    uint32_t dwMaxBytesPerSec;
    uint32_t dwFlags;
    uint32_t dwCaps;
    uint32_t dwStreams;
    uint32_t dwSuggestedBufferSize;
    uint32_t dwWidth;
    uint32_t dwHeight;
    uint32_t dwScale;
    uint32_t dwRate;
    uint32_t dwLength;
    uint32_t dwEditCount;
    char szFileType[64];
} AVIFILEINFO;

/* AVISTREAMINFO (8-bit text variant): 140 bytes. */
typedef struct AVISTREAMINFO {
    uint32_t fccType;
    uint32_t fccHandler;
    uint32_t dwFlags;
    uint32_t dwCaps;
    uint16_t wPriority;
    uint16_t wLanguage;
    uint32_t dwScale;
    uint32_t dwRate;
    uint32_t dwStart;
    uint32_t dwLength;
    uint32_t dwInitialFrames;
    uint32_t dwSuggestedBufferSize;
    uint32_t dwQuality;
    uint32_t dwSampleSize;
    TESSALY_RECT rcFrame;
    uint32_t dwEditCount;
    uint32_t dwFormatChangeCount;
    char szName[64];
} AVISTREAMINFO;

/* BITMAPINFOHEADER: 40 bytes. */
typedef struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} BITMAPINFOHEADER;

/* WAVEFORMATEX: 18 bytes as stored; cbSize extra bytes follow it in a file. */
#pragma pack(push, 1)
typedef struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
} WAVEFORMATEX;
#pragma pack(pop)

/* Four-character codes, first character in the lowest byte. */
#define TESSALY_FCC(a, b, c, d) \
    ((uint32_t)(uint8_t)(a) | ((uint32_t)(uint8_t)(b) << 8) | ((uint32_t)(uint8_t)(c) << 16) | ((uint32_t)(uint8_t)(d) << 24))
#define streamtypeVIDEO TESSALY_FCC('v', 'i', 'd', 's')
#define streamtypeAUDIO TESSALY_FCC('a', 'u', 'd', 's')
#define streamtypeMIDI TESSALY_FCC('m', 'i', 'd', 's')
#define streamtypeTEXT TESSALY_FCC('t', 'x', 't', 's')

#ifdef __cplusplus
} /* extern "C" */
static_assert(sizeof(AVIFILEINFO) == 108, "AVIFILEINFO layout");
static_assert(sizeof(AVISTREAMINFO) == 140, "AVISTREAMINFO layout");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER layout");
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX layout");
#endif

#endif /* TESSALY_VFW_TYPES_H */
