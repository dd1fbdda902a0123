// libFuzzer target of the still-image loaders: any bytes as a BMP, PNG or JPEG file must
// give a status or a picture, never a crash or a read outside the input.
#include "media/common/io_image_loader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<uint8_t> file(data, data + size);
    for (const tessaly::TIOImageFormatHandler &h : tessaly::ImageFormatHandlers()) {
        std::unique_ptr<tessaly::TIOImage> image;
        if (h.Load(file, image) == tessaly::lsOk && image) {
            // Touch every row of the result.
            volatile uint8_t sum = 0;
            for (uint32_t y = 0; y < image->Height(); ++y)
                sum = uint8_t(sum + image->Row(y)[image->Stride() - 1]);
        }
    }
    return 0;
}
