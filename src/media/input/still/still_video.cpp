// Still pictures as a clip.
#include "media/input/still/still_video.h"

#include "media/common/byte_order.h"
#include "media/common/io_image_loader.h"
#include "media/input/io_movie_reader.h"

#include <memory>

namespace tessaly {

bool TStillVideoSource::Open(const std::vector<std::string> &files)
{
    FFiles.clear();
    FStatus = meOk;
    if (files.empty())
        return Fail(meParam);
    std::unique_ptr<TIOImage> image;
    const TIOLoadStatus status = LoadImageFile(files[0], image);
    if (status != lsOk)
        return Fail(MediaErrorFromImageStatus(status));
    FFiles = files;
    FWidth = image->Width();
    FHeight = image->Height();
    FImageSize = image->ImageSize();
    FFormat = image->BitmapInfo();
    TVideoStreamRecord stream = PictureStreamRecord(files[0], FourCC("DIB "), 1, 1, FrameCount(), FWidth, FHeight);
    stream.Info.dwSuggestedBufferSize = FImageSize;
    stream.Info.dwSampleSize = FImageSize;
    stream.Format = FFormat;
    std::vector<TVideoStreamRecord> streams;
    streams.push_back(std::move(stream));
    const bool list = files.size() > 1;
    Describe(files[0], AVIFILEINFO{}, std::move(streams), {list ? "WrdSrcPictures" : "WrdSrcStill", ""},
             list ? "Image List" : "Still Image");
    return true;
}

bool TStillVideoSource::GetFrame(int32_t n, TIOImage &image)
{
    if (n < 0 || n >= FrameCount())
        return Fail(meParam);
    std::unique_ptr<TIOImage> still;
    const TIOLoadStatus status = LoadImageFile(FFiles[size_t(n)], still);
    if (status != lsOk)
        return Fail(MediaErrorFromImageStatus(status));
    return CopyImage(*still, image) || Fail(meFrameFormat);
}

// Pictures are no stored video packets.
bool TStillVideoSource::ReadPacket(int32_t, TVideoPacket &) { return Fail(meUnsupported); }

} // namespace tessaly
