// The session's sources read through the system media layer, and the phantom clip.
#include "project/session_media.h"

#include <algorithm>
#include <cstring>

#include "media/common/vfw_types.h"
#include "platform/avi_file.h"
#include "platform/file_system.h"

namespace tessaly {

namespace {

constexpr const char *kSystemKind = "MSVW|-1";

int FindStream(TAviFile &file, uint32_t type)
{
    for (int i = 0; i < file.StreamCount(); ++i) {
        AVISTREAMINFO info{};
        if (file.GetStreamInfo(i, info) == AVIERR_OK && info.fccType == type)
            return i;
    }
    return -1;
}

bool ReadFormatBytes(TAviFile &file, int stream, std::vector<uint8_t> &format)
{
    int32_t size = 0;
    if (file.ReadFormat(stream, size, nullptr) != AVIERR_OK || size <= 0)
        return false;
    format.assign(size_t(size), 0);
    return file.ReadFormat(stream, size, format.data()) == AVIERR_OK;
}

// A video stream of a file opened through the system media layer.
class TSystemVideo : public TSessionVideo {
public:
    TSystemVideo(std::string fileName, std::unique_ptr<TAviFile> file, int stream)
        : FFileName(std::move(fileName)), FFile(std::move(file)), FStream(stream)
    {
        FFile->GetStreamInfo(stream, FInfo);
        ReadFormatBytes(*FFile, stream, FFormat);
        if (FFormat.size() >= sizeof(BITMAPINFOHEADER))
            std::memcpy(&FHeader, FFormat.data(), sizeof FHeader);
    }
    std::string FileList() const override { return FFileName; }
    std::string KindString() const override { return kSystemKind; }
    std::vector<std::string> Files() const override { return {FFileName}; }
    std::string Description() const override { return "System media layer"; }
    int32_t FrameCount() const override { return int32_t(FInfo.dwLength); }
    int32_t Rate() const override { return FInfo.dwRate > 0 ? int32_t(FInfo.dwRate) : -1; }
    int32_t Scale() const override { return FInfo.dwScale > 0 ? int32_t(FInfo.dwScale) : 1; }
    int32_t Width() const override { return FHeader.biWidth; }
    int32_t Height() const override { return FHeader.biHeight < 0 ? -FHeader.biHeight : FHeader.biHeight; }
    int32_t BitCount() const override { return FHeader.biBitCount; }
    uint32_t Handler() const override { return FInfo.fccHandler; }
    uint32_t Compression() const override { return FFormat.size() >= 40 ? FHeader.biCompression : 0; }
    int32_t Quality() const override { return int32_t(FInfo.dwQuality); }
    uint32_t MaxBufferSize() const override { return FInfo.dwSuggestedBufferSize; }
    uint32_t MaxBytesPerSec() const override { return 0; }
    bool CanSmartRender() const override { return !FFormat.empty(); }
    bool CanReadStored() const override { return !FFormat.empty(); }
    bool GetStoredFormat(std::vector<uint8_t> &format) override
    {
        format = FFormat;
        return !format.empty();
    }
    void ReadCodecData(std::vector<uint8_t> &data) override
    {
        data.clear();
        // The system media layer answers 'strd' with the codec's extra data, which the
        // stored format already carries behind its header: written twice, readers
        // would take the second copy for a separate chunk.
        int32_t size = 0;
        if (FFile->ReadData(FStream, TESSALY_FCC('s', 't', 'r', 'd'), size, nullptr) != AVIERR_OK || size <= 0)
            return;
        data.assign(size_t(size), 0);
        if (FFile->ReadData(FStream, TESSALY_FCC('s', 't', 'r', 'd'), size, data.data()) != AVIERR_OK)
            data.clear();
        if (FFormat.size() >= sizeof(BITMAPINFOHEADER) + data.size() &&
            std::equal(data.begin(), data.end(), FFormat.end() - std::ptrdiff_t(data.size())))
            data.clear();
    }
    bool ReadStored(int32_t frame, std::vector<uint8_t> &data, bool &keyFrame) override
    {
        int32_t sample = frame + int32_t(FInfo.dwStart);
        int32_t bytes = 0, samples = 0;
        if (frame < 0 || frame >= FrameCount() ||
            FFile->Read(FStream, sample, 1, nullptr, 0, &bytes, &samples) != AVIERR_OK)
            return false;
        data.resize(size_t(bytes));
        keyFrame = FFile->IsKeyFrame(FStream, sample);
        if (bytes == 0)
            return true;
        return FFile->Read(FStream, sample, 1, data.data(), bytes, &bytes, &samples) == AVIERR_OK &&
               samples == 1 && size_t(bytes) == data.size();
    }
    bool IsKeyFrame(int32_t frame) override
    {
        return FFile->IsKeyFrame(FStream, frame + int32_t(FInfo.dwStart));
    }

private:
    std::string FFileName;
    std::unique_ptr<TAviFile> FFile;
    int FStream;
    AVISTREAMINFO FInfo{};
    std::vector<uint8_t> FFormat;
    BITMAPINFOHEADER FHeader{};
};

// Blank uncompressed frames of a chosen size, length and rate.
class TPhantomVideo : public TSessionVideo {
public:
    TPhantomVideo(int32_t w, int32_t h, int32_t frames, int32_t scale, int32_t rate, int32_t bits)
        : FWidth(w), FHeight(h), FFrames(frames), FScale(scale), FRate(rate), FBits(bits)
    {
        int64_t stride = ((int64_t(w) * bits + 31) / 32) * 4;
        FFrameBytes = stride * h;
    }
    std::string FileList() const override { return {}; }
    std::string KindString() const override { return "DUMY|-1"; }
    std::vector<std::string> Files() const override { return {}; }
    std::string Description() const override { return "Phantom clip"; }
    bool IsPhantom() const override { return true; }
    int32_t FrameCount() const override { return FFrames; }
    int32_t Rate() const override { return FRate; }
    int32_t Scale() const override { return FScale; }
    int32_t Width() const override { return FWidth; }
    int32_t Height() const override { return FHeight; }
    int32_t BitCount() const override { return FBits; }
    uint32_t Handler() const override { return TESSALY_FCC('D', 'I', 'B', ' '); }
    uint32_t Compression() const override { return 0; }
    int32_t Quality() const override { return -1; }
    uint32_t MaxBufferSize() const override { return uint32_t(std::min<int64_t>(FFrameBytes, 0xFFFFFFFFLL)); }
    uint32_t MaxBytesPerSec() const override { return 0; }
    bool CanSmartRender() const override { return false; }
    bool CanReadStored() const override { return false; }
    bool GetStoredFormat(std::vector<uint8_t> &format) override
    {
        int colours = FBits <= 8 ? 1 << FBits : 0;
        format.assign(sizeof(BITMAPINFOHEADER) + size_t(colours) * 4, 0);
        BITMAPINFOHEADER h{};
        h.biSize = sizeof h;
        h.biWidth = FWidth;
        h.biHeight = FHeight;
        h.biPlanes = 1;
        h.biBitCount = uint16_t(FBits);
        h.biSizeImage = uint32_t(std::min<int64_t>(FFrameBytes, 0xFFFFFFFFLL));
        h.biClrUsed = uint32_t(colours);
        std::memcpy(format.data(), &h, sizeof h);
        // Grey ramp palette for the paletted forms.
        for (int i = 0; i < colours; ++i) {
            uint8_t v = uint8_t(colours > 1 ? i * 255 / (colours - 1) : 0);
            uint8_t *p = format.data() + sizeof h + size_t(i) * 4;
            p[0] = p[1] = p[2] = v;
        }
        return true;
    }
    void ReadCodecData(std::vector<uint8_t> &data) override { data.clear(); }
    bool ReadStored(int32_t frame, std::vector<uint8_t> &data, bool &keyFrame) override
    {
        if (frame < 0 || frame >= FFrames || FFrameBytes > 0x7FFFFFFF)
            return false;
        data.assign(size_t(FFrameBytes), 0);
        keyFrame = true;
        return true;
    }
    bool IsKeyFrame(int32_t frame) override { return frame >= 0 && frame < FFrames; }

private:
    int32_t FWidth, FHeight, FFrames, FScale, FRate, FBits;
    int64_t FFrameBytes = 0;
};

// The first PCM audio stream of a file, read in blocks of about a second. Only the
// input format can be delivered (no conversion).
class TSystemAudio : public TSessionAudio {
public:
    TSystemAudio(std::string fileName, std::unique_ptr<TAviFile> file, int stream, std::vector<uint8_t> format)
        : FFileName(std::move(fileName)), FFile(std::move(file)), FStream(stream), FFormat(std::move(format))
    {
        std::memcpy(&FWave, FFormat.data(), 16);
        FStart = FFile->StreamStart(stream);
        FLength = FFile->StreamLength(stream);
    }
    std::string FileList() const override { return FFileName; }
    std::string KindString() const override { return kSystemKind; }
    std::vector<std::string> Files() const override { return {FFileName}; }
    std::string Description() const override { return "System media layer"; }
    const std::vector<uint8_t> &InputFormat() const override { return FFormat; }
    uint32_t SampleRate() const override { return FWave.nSamplesPerSec; }
    int32_t BlockAlign() const override { return FWave.nBlockAlign; }

    bool SetOutputFormat(const WAVEFORMATEX *format, int32_t formatSize) override
    {
        if (!format)
            return true;
        if (formatSize < 16)
            return false;
        const WAVEFORMATEX &w = *format;
        return w.wFormatTag == FWave.wFormatTag && w.nChannels == FWave.nChannels &&
               w.nSamplesPerSec == FWave.nSamplesPerSec && w.nBlockAlign == FWave.nBlockAlign &&
               w.wBitsPerSample == FWave.wBitsPerSample;
    }
    void OutputFormat(WAVEFORMATEX &format, int32_t &formatSize) const override
    {
        format = WAVEFORMATEX{};
        formatSize = int32_t(std::min<size_t>(FFormat.size(), sizeof format));
        std::memcpy(&format, FFormat.data(), size_t(formatSize));
    }
    int64_t OutputLength() const override { return FLength; }
    int64_t OutputPosition() const override { return FPosition; }
    void Seek(int64_t sample) override { FPosition = sample; }
    bool ReadSamples(uint8_t *out, int32_t count) override
    {
        const int32_t block = FWave.nBlockAlign;
        bool ok = true;
        while (count > 0) {
            if (FPosition < 0 || FPosition >= FLength) {
                int32_t n = FPosition < 0 ? int32_t(std::min<int64_t>(count, -FPosition)) : count;
                Silence(out, n);
                out += int64_t(n) * block;
                count -= n;
                FPosition += n;
                ok = false;
                continue;
            }
            if (FPosition < FBufStart || FPosition >= FBufStart + FBufCount) {
                if (!Fill(FPosition)) {
                    Silence(out, count);
                    FPosition += count;
                    return false;
                }
            }
            int32_t n = int32_t(std::min<int64_t>(count, FBufStart + FBufCount - FPosition));
            std::memcpy(out, FBuffer.data() + (FPosition - FBufStart) * block, size_t(n) * size_t(block));
            out += int64_t(n) * block;
            count -= n;
            FPosition += n;
        }
        return ok;
    }
    bool Silence(uint8_t *buffer, int32_t count) override
    {
        if (count > 0)
            std::memset(buffer, FWave.wBitsPerSample == 8 ? 128 : 0, size_t(count) * FWave.nBlockAlign);
        return true;
    }

private:
    bool Fill(int64_t position)
    {
        const int32_t block = FWave.nBlockAlign;
        int32_t want = int32_t(std::min<int64_t>(std::max<uint32_t>(FWave.nSamplesPerSec, 4096), FLength - position));
        FBuffer.resize(size_t(want) * size_t(block));
        int32_t bytes = 0, samples = 0;
        FBufStart = position;
        FBufCount = 0;
        if (FFile->Read(FStream, FStart + int32_t(position), want, FBuffer.data(), int32_t(FBuffer.size()), &bytes,
                        &samples) != AVIERR_OK ||
            samples <= 0)
            return false;
        FBufCount = samples;
        return true;
    }

    std::string FFileName;
    std::unique_ptr<TAviFile> FFile;
    int FStream;
    std::vector<uint8_t> FFormat;
    WAVEFORMATEX FWave{};
    int64_t FStart = 0, FLength = 0, FPosition = 0;
    std::vector<uint8_t> FBuffer;
    int64_t FBufStart = 0, FBufCount = 0;
};

std::unique_ptr<TAviFile> OpenFile(const std::string &fileName, TMediaError &error)
{
    if (fileName.empty()) {
        error = meParam;
        return nullptr;
    }
    if (!FileExists(fileName)) {
        error = meFileNotFound;
        return nullptr;
    }
    auto file = std::make_unique<TAviFile>();
    int32_t r = file->Open(fileName);
    if (r != AVIERR_OK) {
        error = r == AVIERR_BADFORMAT ? meFileFormat : MediaErrorFromAviErr(r);
        return nullptr;
    }
    return file;
}

} // namespace

std::unique_ptr<TSessionVideo> OpenSessionVideo(const std::string &fileName, TMediaError &error)
{
    error = meOk;
    auto file = OpenFile(fileName, error);
    if (!file)
        return nullptr;
    int stream = FindStream(*file, streamtypeVIDEO);
    AVISTREAMINFO info{};
    if (stream < 0 || file->GetStreamInfo(stream, info) != AVIERR_OK || info.dwLength == 0) {
        error = meNoVideoStream;
        return nullptr;
    }
    return std::make_unique<TSystemVideo>(fileName, std::move(file), stream);
}

std::unique_ptr<TSessionVideo> OpenPhantomVideo(int32_t width, int32_t height, int32_t frames, int32_t scale,
                                                int32_t rate, int32_t pixelFormat, TMediaError &error)
{
    static const int32_t bits[4] = {1, 4, 8, 24};
    if (width < 1 || height < 1 || frames < 1 || scale < 1 || rate < 1 || pixelFormat < 0 || pixelFormat > 3) {
        error = meParam;
        return nullptr;
    }
    error = meOk;
    return std::make_unique<TPhantomVideo>(width, height, frames, scale, rate, bits[pixelFormat]);
}

std::unique_ptr<TSessionAudio> OpenSessionAudio(const std::string &fileName, TMediaError &error)
{
    error = meOk;
    auto file = OpenFile(fileName, error);
    if (!file)
        return nullptr;
    int stream = FindStream(*file, streamtypeAUDIO);
    std::vector<uint8_t> format;
    if (stream < 0 || file->StreamLength(stream) <= 0 || !ReadFormatBytes(*file, stream, format)) {
        error = meNoAudioStream;
        return nullptr;
    }
    WAVEFORMATEX w{};
    if (format.size() < 16) {
        error = meAudioFormat;
        return nullptr;
    }
    std::memcpy(&w, format.data(), 16);
    if (w.wFormatTag != 1 || w.nChannels == 0 || w.nSamplesPerSec == 0 ||
        (w.wBitsPerSample != 8 && w.wBitsPerSample != 16) || w.nBlockAlign != w.wBitsPerSample * w.nChannels / 8) {
        error = meAudioFormat;
        return nullptr;
    }
    return std::make_unique<TSystemAudio>(fileName, std::move(file), stream, std::move(format));
}

} // namespace tessaly
