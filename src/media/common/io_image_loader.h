// Still-image loading for the frame image through a table of format handlers.
#pragma once

#include "media/common/io_image.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaly {

// Loader statuses; the media error codes translate them (0 ok, 2 not found, 3 unknown).
enum TIOLoadStatus : uint8_t {
    lsOk = 0,
    lsMemory = 1,
    lsFileNotFound = 2,
    lsUnknownFormat = 3,
    lsImageFormat = 4, // a known file format holding a picture this loader cannot keep
    lsFileOpen = 5,
};

// One still-image format: its name, file patterns (";"-separated, lower case), a probe
// of the file's first bytes, and a loader of the whole file's bytes.
struct TIOImageFormatHandler {
    const char *Name;
    const char *Patterns;
    bool (*Probe)(const uint8_t *data, size_t size);
    TIOLoadStatus (*Load)(const std::vector<uint8_t> &file, std::unique_ptr<TIOImage> &image);
};

// The handlers, in probing order: BMP, PNG, JPEG.
const std::vector<TIOImageFormatHandler> &ImageFormatHandlers();

// The patterns of every handler joined with ";" ("*.bmp;*.dib;*.png;*.jpg;*.jpeg").
std::string ImageFilePatterns();

// Loads a still image; on success image holds a new owned picture (bottom-up rows).
TIOLoadStatus LoadImageFile(const std::string &path, std::unique_ptr<TIOImage> &image);

// The individual loaders, also used by the fuzz targets.
TIOLoadStatus LoadBmp(const std::vector<uint8_t> &file, std::unique_ptr<TIOImage> &image);
TIOLoadStatus LoadPng(const std::vector<uint8_t> &file, std::unique_ptr<TIOImage> &image);
TIOLoadStatus LoadJpeg(const std::vector<uint8_t> &file, std::unique_ptr<TIOImage> &image);

} // namespace tessaly
