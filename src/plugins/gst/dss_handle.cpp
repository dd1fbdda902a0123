// The handle layer: opening sources, frame and sample reads with their conversions.
#include "dss_handle.h"

#include "dss_convert.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <new>

namespace tessaly::gst {

namespace {

std::atomic<int32_t> gLastError{0};

template <class T> bool Resize(std::vector<T> &v, size_t n)
{
    try {
        v.resize(n);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

WAVEFORMATEX MakeWaveFormat(const DssHandle &handle, const DssAudioInfo &info)
{
    WAVEFORMATEX w{};
    w.wFormatTag = WAVE_FORMAT_PCM;
    w.nChannels = uint16_t(handle.AllChannels ? handle.AllChannels : DeliveredChannels(info));
    w.nSamplesPerSec = info.SampleRate;
    w.wBitsPerSample = uint16_t(handle.WideBits ? handle.WideBits : DeliveredBits(info));
    w.nBlockAlign = uint16_t(w.wBitsPerSample * w.nChannels / 8);
    w.nAvgBytesPerSec = w.nBlockAlign * info.SampleRate;
    w.cbSize = 0;
    return w;
}

} // namespace

int32_t GetDssLastError() { return gLastError.load(); }
void SetDssLastError(int32_t code) { gLastError.store(code); }

bool ColourRequestMask(uint32_t request, uint32_t &mask)
{
    switch (request) {
    case 0: mask = 0; return true;
    case 32: mask = 56; return true;
    case 33: mask = 32; return true;
    case 34: mask = 24; return true;
    case 35: mask = 8; return true;
    case 64: mask = 7; return true;
    case 65: mask = 4; return true;
    case 66: mask = 2; return true;
    case 255: mask = 63; return true;
    default: return false;
    }
}

DssHandle *DssOpen(const char *fileName, bool wantAudio, bool wantVideo, uint32_t flags, int32_t timeout,
                   uint32_t colourRequest)
{
    SetDssLastError(0);
    if (!wantAudio && !wantVideo) {
        SetDssLastError(2);
        return nullptr;
    }
    uint32_t mask = 0;
    if (!ColourRequestMask(colourRequest, mask)) {
        SetDssLastError(4);
        return nullptr;
    }
    if (!fileName) {
        SetDssLastError(-1);
        return nullptr;
    }
    DssHandle *handle = new (std::nothrow) DssHandle;
    if (!handle) {
        SetDssLastError(1);
        return nullptr;
    }
    const int32_t seekMode = (flags & dfForwardOnly) ? smForwardOnly : (flags & dfNoSeek) ? smRestart : smSeek;
    try {
        if (wantAudio) {
            handle->Audio = std::make_unique<TAudioDSS>(fileName, timeout, mask, seekMode);
            if (!handle->Audio->Ok())
                handle->Audio.reset();
        }
        if (wantVideo) {
            handle->Video = std::make_unique<TVideoDSS>(fileName, timeout, mask, seekMode);
            if (!handle->Video->Ok())
                handle->Video.reset();
        }
    } catch (const std::bad_alloc &) {
        SetDssLastError(1);
        DssClose(handle);
        return nullptr;
    }
    if (!handle->Audio && !handle->Video) {
        if (GetDssLastError() == 0)
            SetDssLastError(3);
        DssClose(handle);
        return nullptr;
    }
    return handle;
}

DssHandle *DssOpenDefault(const char *fileName, bool wantAudio, bool wantVideo)
{
    return DssOpen(fileName, wantAudio, wantVideo, 0, 60000, 0);
}

void DssClose(DssHandle *&handle)
{
    delete handle;
    handle = nullptr;
}

int32_t DssGetInfo(DssHandle *handle, DssInfo *destination)
{
    if (!handle)
        return 0;
    if (destination) {
        std::memset(destination, 0, sizeof(DssInfo));
        if (handle->Video)
            destination->Video = handle->Video->Info();
        if (handle->Audio)
            destination->Audio = handle->Audio->Info();
    }
    return int32_t(sizeof(DssInfo));
}

int32_t DssReadFrame(DssHandle *handle, int32_t index, uint8_t **frame)
{
    if (frame)
        *frame = nullptr;
    if (!handle || !handle->Video)
        return 0;
    const uint32_t size = handle->Video->RawFrameSize();
    if (size == 0)
        return 0;
    if (handle->RawFrame.size() != size && !Resize(handle->RawFrame, size)) {
        SetDssLastError(1);
        return 0;
    }
    if (index < 0) {
        std::memset(handle->RawFrame.data(), 0, size);
        return int32_t(size);
    }
    if (!handle->Video->ReadFrame(index, handle->RawFrame.data()))
        return 0;
    if (frame)
        *frame = handle->RawFrame.data();
    return int32_t(size);
}

int32_t DssGetBitmapHeader(DssHandle *handle, int32_t pitch, BITMAPINFOHEADER *destination)
{
    if (!handle || !handle->Video)
        return 0;
    const DssVideoInfo &info = handle->Video->Info();
    BITMAPINFOHEADER &h = handle->Header;
    h = BITMAPINFOHEADER{};
    h.biSize = 40;
    h.biWidth = int32_t(info.Width);
    h.biHeight = int32_t(info.Height);
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = BI_RGB;
    const int64_t stride = pitch == 0 ? Rgb24Stride(info.Width) : pitch < 0 ? -int64_t(pitch) : pitch;
    h.biSizeImage = uint32_t(stride * info.Height);
    h.biXPelsPerMeter = 3780;
    h.biYPelsPerMeter = 3780;
    if (destination)
        *destination = h;
    return 40;
}

int32_t DssReadRgbFrame(DssHandle *handle, int32_t index, uint8_t *destination, int32_t pitch, bool reversed)
{
    uint8_t *raw = nullptr;
    const int32_t rawSize = DssReadFrame(handle, index, &raw);
    if (DssGetBitmapHeader(handle, pitch, nullptr) != 40)
        return 0;
    const int64_t imageSize = handle->Header.biSizeImage;
    if (rawSize <= 0 || imageSize > INT32_MAX)
        return 0;
    if (raw && destination && !ConvertRawToRgb24(handle->Video->Info(), raw, destination, pitch, reversed))
        return 0;
    return int32_t(imageSize);
}

int64_t DssReadAudio(DssHandle *handle, int64_t start, int32_t count, uint8_t *destination)
{
    if (!handle || !handle->Audio)
        return 0;
    TAudioDSS &audio = *handle->Audio;
    const int64_t frameSize = audio.FrameSize();
    if (count <= 0 || frameSize == 0)
        return 0;
    int64_t result = int64_t(count) * frameSize;
    if (!destination)
        return result;
    const uint8_t silence = audio.Info().SampleType == stInt8 ? 128 : 0;
    int64_t n = count;
    if (start < 0) {
        const int64_t before = std::min<int64_t>(n, -start);
        std::memset(destination, silence, size_t(before * frameSize));
        destination += before * frameSize;
        n -= before;
        start = 0;
    }
    const int64_t available = std::max<int64_t>(0, std::min<int64_t>(n, audio.Info().Length - start));
    if (available > 0 && !audio.Read(destination, available, start)) {
        result = 0;
        std::memset(destination, silence, size_t(available * frameSize));
    }
    if (n > available)
        std::memset(destination + available * frameSize, silence, size_t((n - available) * frameSize));
    return result;
}

int64_t DssReadAudioBuffered(DssHandle *handle, int64_t start, int32_t count, uint8_t **buffer)
{
    if (buffer)
        *buffer = nullptr;
    if (!handle || !handle->Audio)
        return 0;
    const int64_t bytes = int64_t(count) * handle->Audio->FrameSize();
    if (bytes <= 0) {
        SetDssLastError(5);
        return bytes;
    }
    if (handle->AudioBuffer.size() < size_t(bytes) && !Resize(handle->AudioBuffer, size_t(bytes))) {
        SetDssLastError(1);
        return 0;
    }
    const int64_t read = DssReadAudio(handle, start, count, handle->AudioBuffer.data());
    if (read > 0 && buffer)
        *buffer = handle->AudioBuffer.data();
    return read;
}

int32_t DssGetWaveFormat(DssHandle *handle, WAVEFORMATEX *destination)
{
    if (!handle || !handle->Audio || handle->Audio->Info().Valid != kDescriptionValid)
        return 0;
    if (!handle->HaveWaveFormat) {
        handle->WaveFormat = MakeWaveFormat(*handle, handle->Audio->Info());
        handle->HaveWaveFormat = true;
    }
    if (destination)
        *destination = handle->WaveFormat;
    return int32_t(sizeof(WAVEFORMATEX));
}

int64_t DssReadPcm(DssHandle *handle, int64_t start, int32_t count, uint8_t *destination)
{
    uint8_t *source = nullptr;
    if (DssReadAudioBuffered(handle, start, count, &source) <= 0 || !source)
        return 0;
    if (DssGetWaveFormat(handle, nullptr) != int32_t(sizeof(WAVEFORMATEX))) {
        SetDssLastError(1);
        return 0;
    }
    const int64_t result = int64_t(count) * handle->WaveFormat.nBlockAlign;
    if (destination && (handle->AllChannels || handle->WideBits))
        ConvertToAllChannels(handle->Audio->Info(), handle->Audio->Layout(), source, count,
                             handle->WaveFormat.wBitsPerSample, destination);
    else if (destination)
        ConvertToPcm(handle->Audio->Info(), handle->Audio->Layout(), source, count, destination);
    return result;
}

} // namespace tessaly::gst

namespace tessaly::gst {

bool DssSourceLayout(DssHandle *handle, uint32_t &channels, uint32_t &mask, uint32_t &bits, bool &floating)
{
    if (!handle || !handle->Audio || handle->Audio->Info().Valid != kDescriptionValid)
        return false;
    const DssAudioInfo &info = handle->Audio->Info();
    channels = info.Channels;
    mask = WaveChannelMask(handle->Audio->Layout());
    bits = BytesPerSample(info.SampleType) * 8;
    floating = info.SampleType == stFloat32;
    return true;
}

bool DssSelectDelivery(DssHandle *handle, bool allChannels, uint32_t bits)
{
    uint32_t channels = 0, mask = 0, sourceBits = 0;
    bool floating = false;
    if (!DssSourceLayout(handle, channels, mask, sourceBits, floating))
        return false;
    // 24 bits where the source has more than 16 (integers of 24 or 32 bits, floating point);
    // more than two channels at 16 or 24 bits only as all of them (no wide down-mix).
    if ((bits != 0 && bits != 16 && !(bits == 24 && sourceBits > 16)) || (bits != 0 && !allChannels && channels > 2))
        return false;
    handle->AllChannels = allChannels ? channels : 0;
    handle->WideBits = bits != 0 ? bits : allChannels ? 16 : 0;
    handle->HaveWaveFormat = false;
    return DssGetWaveFormat(handle, nullptr) == int32_t(sizeof(WAVEFORMATEX));
}

} // namespace tessaly::gst
