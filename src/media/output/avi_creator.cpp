// TAVICreator: frame and audio caches, the preload/interleave schedule, measured data
// rates and the header values of a result AVI.
#include "media/output/avi_creator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/common/byte_order.h"
#include "media/common/frame_timing.h"
#include "media/input/wave_format.h"
#include "media/output/avi_output_file.h"

namespace tessaly {

namespace {

// The default video format: 768 x 576, 24 bits, uncompressed.
std::vector<uint8_t> DefaultBitmapInfo()
{
    std::vector<uint8_t> b(40, 0);
    PutLE32(&b[0], 40);
    PutLE32(&b[4], 768);
    PutLE32(&b[8], 576);
    PutLE16(&b[12], 1);
    PutLE16(&b[14], 24);
    PutLE32(&b[20], 768 * 576 * 3);
    return b;
}

} // namespace

TAVICreator::TAVICreator(int mode, uint32_t blockLimit)
    : FMode(mode), FBlockLimit(blockLimit), FHandler(FourCC("DIB ")), FVideoFormat(DefaultBitmapInfo())
{
}

TAVICreator::~TAVICreator()
{
    Discard();
}

void TAVICreator::Discard()
{
    if (FOpen)
        Release();   // the output removes its unfinished temporary file
}

bool TAVICreator::SetVideoFormat(const void *bitmapInfo, int size)
{
    if (FOpen)
        return false;
    FVideoFormat.clear();
    if (size <= 0 || !bitmapInfo)
        return false;
    const uint8_t *p = static_cast<const uint8_t *>(bitmapInfo);
    FVideoFormat.assign(p, p + size);
    return true;
}

bool TAVICreator::SetVideoExtra(const void *data, int size)
{
    if (FOpen)
        return false;
    FVideoExtra.clear();
    if (size > 0 && data) {
        const uint8_t *p = static_cast<const uint8_t *>(data);
        FVideoExtra.assign(p, p + size);
    }
    return true;
}

bool TAVICreator::SetVideoTiming(uint32_t rate, uint32_t scale, uint32_t handler, uint32_t quality)
{
    if (FOpen || rate < 1 || scale < 1)
        return false;
    FRate = rate;
    FScale = scale;
    FHandler = handler;
    FQuality = quality;
    return true;
}

bool TAVICreator::SetAudioFormat(uint32_t sampleRate, uint32_t bitsPerSample, double preload, uint32_t channels)
{
    if (FOpen)
        return false;
    if (bitsPerSample < 8)
        bitsPerSample *= 8;
    uint32_t align = bitsPerSample * channels / 8;
    if (sampleRate < 1 || align < 1 || channels > 0xFFFF || bitsPerSample > 0xFFFF)
        return false;
    FSampleRate = sampleRate;
    FBits = bitsPerSample;
    FChannels = channels;
    FBlockAlign = align;
    FAvgBytes = align * sampleRate;
    FFormatTag = WAVE_FORMAT_PCM;
    FChannelMask = 0;
    FPreload = (std::isnan(preload) || preload < 0 || preload > 2) ? 0.75 : preload;
    FAudioOn = true;
    return true;
}

bool TAVICreator::SetAudioFormat(const WAVEFORMATEX &format, uint32_t channelMask, double preload)
{
    if (FOpen || !IsSupportedPcm(format))
        return false;
    if (!SetAudioFormat(format.nSamplesPerSec, format.wBitsPerSample, preload, format.nChannels))
        return false;
    FFormatTag = format.wFormatTag;
    FChannelMask = channelMask;
    return true;
}

bool TAVICreator::SetSegmentFlags(bool enabled, bool lastSegment)
{
    if (FOpen)
        return false;
    FSegmentEnabled = enabled;
    FLastSegment = lastSegment;
    return true;
}

bool TAVICreator::SetSourceLimits(uint32_t suggestedBufferSize, uint32_t maxBytesPerSec)
{
    if (!FOpen)
        return false;
    FSourceBufferSize = suggestedBufferSize;
    FSourceBytesPerSec = maxBytesPerSec;
    return true;
}

void TAVICreator::BuildHeaders(uint32_t width, uint32_t height)
{
    FMain = TAviMainHeader();
    FMain.dwMicroSecPerFrame = uint32_t(std::nearbyint((long double)FScale / FRate * 1000000.0L));
    FMain.dwFlags = 0x10;
    FMain.dwStreams = FAudioOn ? 2 : 1;
    if (FAudioOn)
        FMain.dwFlags |= 0x100;
    FMain.dwWidth = width;
    FMain.dwHeight = height;

    FVideoHeader = TAviStreamHeader();
    FVideoHeader.fccType = FourCC("vids");
    FVideoHeader.fccHandler = FHandler;
    FVideoHeader.dwScale = FScale;
    FVideoHeader.dwRate = FRate;
    FVideoHeader.dwQuality = FQuality;
    FVideoHeader.rcRight = int16_t(width);
    FVideoHeader.rcBottom = int16_t(height);
    FAudioHeader = TAviStreamHeader();
    if (FAudioOn) {
        FAudioHeader.fccType = FourCC("auds");
        FAudioHeader.dwScale = FBlockAlign;
        FAudioHeader.dwRate = FAvgBytes;
        FAudioHeader.dwQuality = 10000;
        FAudioHeader.dwSampleSize = FBlockAlign;
    }
}

bool TAVICreator::SetUpOutput(const std::string &fileName, uint32_t width, uint32_t height)
{
    FOutput = std::make_unique<TAviOutputFile>(FMode == cmResult, FBlockLimit);
    if (!FOutput->InitOutputStreams())
        return false;
    FOutput->SetMainHeader(FMain);
    if (FAudioOn) {
        TAviAudioOutputStream *a = FOutput->AudioStream();
        a->Header = FAudioHeader;
        // Up to two channels of 8 or 16 bits: the 16-byte PCM record (no extra-size field).
        WAVEFORMATEX f{};
        f.wFormatTag = FFormatTag;
        f.nChannels = uint16_t(FChannels);
        f.nSamplesPerSec = FSampleRate;
        f.nAvgBytesPerSec = FAvgBytes;
        f.nBlockAlign = uint16_t(FBlockAlign);
        f.wBitsPerSample = uint16_t(FBits);
        a->Format = ResultWaveFormat(f, FChannelMask);
    }
    TAviVideoOutputStream *v = FOutput->VideoStream();
    v->Header = FVideoHeader;
    v->ChunkId = FHandler == FourCC("DIB ") ? FourCC("00db") : FourCC("00dc");
    v->Format = FVideoFormat;
    v->Extra = FVideoExtra;
    if (FSegmentEnabled && !FOutput->SetSegmentInfo(FLastSegment, nullptr, 1))
        return false;
    return FOutput->Init(fileName, width, height, FAudioOn, FAudioOn);
}

bool TAVICreator::Open(const std::string &fileName)
{
    if (FOpen || FVideoFormat.empty()) {
        FError = FOpen ? meState : meFrameFormat;
        return false;
    }
    FErrorText.clear();
    FError = meOk;
    FFailed = false;
    long double fps = (long double)FRate / FScale;
    if (FAudioOn) {
        int preloadFrames = int(std::nearbyint(fps * (long double)FPreload));
        FVideoCountdown = preloadFrames + 1;
        FInterleaveCountdown = 2;
        FVideoCache.SetCapacity(preloadFrames + 2);
        FAudioCache.SetCapacity(3);
        FAudioBytesQueued = 0;
    }
    int32_t width = FVideoFormat.size() >= 12 ? GetLE32s(&FVideoFormat[4]) : 0;
    int32_t height = FVideoFormat.size() >= 12 ? GetLE32s(&FVideoFormat[8]) : 0;
    height = height < 0 ? -height : height;   // top-down bitmaps store a negative height
    BuildHeaders(uint32_t(width), uint32_t(height));
    if (!SetUpOutput(fileName, uint32_t(width), uint32_t(height))) {
        KeepError();
        Release();
        return false;
    }
    FFileName = fileName;
    FFramesPerSecond = uint32_t(std::nearbyint(fps));
    FFrameSizes.assign(FFramesPerSecond + 1, 0);
    FFramesWritten = 0;
    FAudioBeforeVideo = 0;
    FVideoStarted = false;
    FMaxBytesPerSec = 0;
    FSourceBufferSize = FSourceBytesPerSec = 0;
    FOpen = true;
    return true;
}

void TAVICreator::KeepError()
{
    if (FOutput && FError == meOk && FOutput->ErrorCount() > 0) {
        FErrorText = FOutput->ErrorText();
        FError = FOutput->ErrorCode();
    }
}

bool TAVICreator::WriteVideoChunk(const void *data, uint32_t size, uint32_t flags)
{
    bool ok = FOutput->VideoStream()->Write(flags & 0x10, data, 1, size);
    if (!ok) {
        FFailed = true;
        KeepError();
    }
    return ok;
}

bool TAVICreator::WriteAudioChunk(const TAVIChunkBuffer &buffer)
{
    if (buffer.Size % FBlockAlign != 0)
        return true;
    bool ok = FOutput->AudioStream()->Write(0x10, buffer.Data.get(), buffer.Size / FBlockAlign, buffer.Size);
    if (!ok) {
        FFailed = true;
        KeepError();
    }
    return ok;
}

void TAVICreator::WriteCachedPair(const TAVIChunkBuffer *video)
{
    TAVIChunkBuffer audio;
    bool haveAudio = false;
    if (!FAudioCache.IsEmpty()) {
        haveAudio = FAudioCache.Dequeue(audio);
        FAudioHeader.dwSuggestedBufferSize = std::max(FAudioHeader.dwSuggestedBufferSize, audio.Size);
    }
    if (video)
        WriteVideoChunk(video->Data.get(), video->Size, video->Flags);
    if (haveAudio)
        WriteAudioChunk(audio);
}

bool TAVICreator::Interleave()
{
    if (--FInterleaveCountdown > 0)
        return true;
    bool ok = true;
    --FVideoCountdown;
    TAVIChunkBuffer video;
    bool haveVideo = false;
    if (FVideoCountdown <= 0) {
        haveVideo = FVideoCache.Dequeue(video);
        ok = haveVideo;
        FVideoStarted = true;
        FVideoCountdown = 1;
    }
    WriteCachedPair(haveVideo ? &video : nullptr);
    if (!FVideoStarted)
        ++FAudioBeforeVideo;
    FInterleaveCountdown = 1;
    return ok;
}

bool TAVICreator::WriteFrame(const void *data, uint32_t size, bool keyFrame)
{
    if (!FOpen || (size > 0 && !data))
        return false;
    bool ok;
    if (!FAudioOn) {
        ok = WriteVideoChunk(data, size, keyFrame ? 0x10 : 0);   // straight from the caller's data
    } else {
        TAVIChunkBuffer video;
        ok = video.Allocate(size);
        video.Id = FHandler == FourCC("DIB ") ? FourCC("00db") : FourCC("00dc");
        video.Flags = keyFrame ? 0x10 : 0;
        ok = ok && FVideoCache.Enqueue(video) && (size == 0 || FVideoCache.Fill(data, size));
        if (ok) {
            FAudioCache.Pad(FBits == 8 ? 127 : 0);
            int64_t due = SamplesUpToFrame(int64_t(FFramesWritten) + 1, FRate, FScale, FSampleRate) * FBlockAlign -
                          int64_t(FAudioBytesQueued);
            TAVIChunkBuffer audio;
            ok = due >= 0 && audio.Allocate(uint32_t(due));
            audio.Id = FourCC("01wb");
            ok = ok && FAudioCache.Enqueue(audio);
            if (ok)
                FAudioBytesQueued += uint64_t(due);
            ok = ok && Interleave();
        }
    }
    if (ok) {
        NoteFrameSize(size);
        FVideoHeader.dwSuggestedBufferSize = std::max(FVideoHeader.dwSuggestedBufferSize, size);
    }
    return ok && !FFailed;
}

void TAVICreator::NoteFrameSize(uint32_t size)
{
    uint32_t slot = (FRate < FScale || FFramesPerSecond == 0) ? 0 : FFramesWritten % FFramesPerSecond;
    FFrameSizes[slot] = size;
    ++FFramesWritten;
    uint32_t n = std::min(FFramesWritten, FFramesPerSecond);
    uint64_t sum = 0;
    for (uint32_t i = 0; i < n; ++i)
        sum += FFrameSizes[i];
    FMaxBytesPerSec = std::max(FMaxBytesPerSec, sum);
}

uint32_t TAVICreator::AudioRequired() const
{
    if (!FOpen || !FAudioOn)
        return 0;
    return FAudioCache.Room() / FBlockAlign;
}

bool TAVICreator::WriteAudio(const void *data, uint32_t frames)
{
    if (!FOpen || !FAudioOn || FFailed || FAudioCache.Room() == 0)
        return false;
    uint64_t bytes = std::min<uint64_t>(uint64_t(frames) * FBlockAlign, FAudioCache.Room());
    return FAudioCache.Fill(data, uint32_t(bytes));
}

bool TAVICreator::Drain()
{
    bool ok = true, videoOk = true;
    FAudioCache.Pad(FBits == 8 ? 127 : 0);
    while (!FVideoCache.IsEmpty() || !FAudioCache.IsEmpty()) {
        TAVIChunkBuffer video;
        bool haveVideo = false;
        if (FAudioBeforeVideo > 0 && videoOk) {
            haveVideo = FVideoCache.Dequeue(video);
            if (!haveVideo)
                ok = videoOk = false;
        }
        WriteCachedPair(haveVideo ? &video : nullptr);
        if (FAudioBeforeVideo == 0)
            FAudioBeforeVideo = 1;
    }
    return ok;
}

bool TAVICreator::Close()
{
    if (!FOpen)
        return false;
    bool ok = true;
    if (FFramesWritten > 0) {
        if (FAudioOn)
            ok = Drain();
        FMain.dwTotalFrames = FFramesWritten;
        FMain.dwMaxBytesPerSec = FSourceBytesPerSec >= 1 ? FSourceBytesPerSec : uint32_t(std::min<uint64_t>(FMaxBytesPerSec, 0xFFFFFFFFu));
        if (FSourceBufferSize > 0)
            FVideoHeader.dwSuggestedBufferSize = FSourceBufferSize;
        FMain.dwSuggestedBufferSize = FVideoHeader.dwSuggestedBufferSize;
        if (FAudioOn) {
            FAudioHeader.dwInitialFrames = std::min(FAudioBeforeVideo, FFramesWritten - 1);
            if (FSourceBufferSize > 0)
                FAudioHeader.dwSuggestedBufferSize =
                    uint32_t(std::trunc((long double)FAvgBytes / FRate * FScale + 0.999999L));
            FMain.dwSuggestedBufferSize += FAudioHeader.dwSuggestedBufferSize;
            FOutput->AudioStream()->Header = FAudioHeader;
        }
        FOutput->VideoStream()->Header = FVideoHeader;
        FOutput->SetMainHeader(FMain);
        // A file whose held-back chunks could not all be written is incomplete: it is
        // removed instead of taking the target name.
        if (!ok || FFailed)
            FOutput->Abort();
        else if (!FOutput->Finalize())
            ok = false;
        KeepError();
    } else {
        ok = FOutput->Abort();
    }
    if (FFailed)
        ok = false;
    Release();
    return ok;
}

void TAVICreator::Release()
{
    FOutput.reset();
    FFrameSizes.clear();
    FVideoCache.SetCapacity(0);
    FAudioCache.SetCapacity(0);
    FOpen = false;
}

int64_t TAVICreator::FileSize() const { return FOutput ? FOutput->WrittenEnd() : 0; }

int64_t TAVICreator::SamplesUpToFrame(int64_t n, long double frameRate, uint32_t sampleRate)
{
    if (frameRate == 0)
        return 0;
    return int64_t(std::nearbyint((long double)n * sampleRate / frameRate));
}

int64_t TAVICreator::SamplesUpToFrame(int64_t n, uint32_t rate, uint32_t scale, uint32_t sampleRate)
{
    return tessaly::SamplesUpToFrame(n, TFrameRate{rate, scale}, sampleRate);
}

int64_t TAVICreator::SamplesOfFrame(int64_t n, long double frameRate, uint32_t sampleRate)
{
    return SamplesUpToFrame(n + 1, frameRate, sampleRate) - SamplesUpToFrame(n, frameRate, sampleRate);
}

int64_t TAVICreator::SamplesOfFrame(int64_t n, uint32_t rate, uint32_t scale, uint32_t sampleRate)
{
    return SamplesUpToFrame(n + 1, rate, scale, sampleRate) - SamplesUpToFrame(n, rate, scale, sampleRate);
}

} // namespace tessaly
