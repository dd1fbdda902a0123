/* The generated media served by the test reader plug-ins: what a pixel and a sample
 * hold, so that tests compute the expected bytes without the plug-in. Plain C. */
#ifndef TESSALY_TEST_PLUGIN_MEDIA_H
#define TESSALY_TEST_PLUGIN_MEDIA_H

#include <stdint.h>

/* Pixel (x, y) of frame f, y counted from the top row: blue, green, red. The fourth
 * byte of a 32-bit pixel is TP_PIXEL_PAD. */
static inline uint8_t TpBlue(uint32_t f, uint32_t x, uint32_t y) { (void)y; return (uint8_t)(f + x); }
static inline uint8_t TpGreen(uint32_t f, uint32_t x, uint32_t y) { (void)x; (void)y; return (uint8_t)(f >> 8); }
static inline uint8_t TpRed(uint32_t f, uint32_t x, uint32_t y) { (void)f; (void)x; return (uint8_t)y; }
#define TP_PIXEL_PAD 0xEE

/* Channel c of sample frame n as a 16-bit value; 8-bit streams serve its low byte.
 * 24-bit streams serve this value in their upper two bytes below a low byte of
 * TP_LOW_BYTE, 32-bit streams below two low bytes TP_LOW_BYTE. */
static inline int16_t TpSample16(int64_t n, uint32_t c) { return (int16_t)(uint16_t)((uint64_t)n * 4u + c); }
static inline uint8_t TpSample8(int64_t n, uint32_t c) { return (uint8_t)((uint64_t)n * 4u + c); }
#define TP_LOW_BYTE 0x5A

#endif /* TESSALY_TEST_PLUGIN_MEDIA_H */
