// The audio source front-end: opening segments by access path, the segment checks,
// stream selection, output format conversion and sample delivery through a read-ahead.
#include "media/input/wave_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/input/join/joined_audio.h"
#include "media/input/vfapi_host.h"
#include "media/input/wave_choose.h"
#include "platform/riff_check.h"

namespace tessaly {

bool DirectAudioAvailable() { return false; }

namespace {

// A stream's stored format with an extensible record resolved to its sub-format.
WAVEFORMATEX FormatOf(const std::vector<uint8_t> &bytes, uint32_t *channelMask = nullptr)
{
    WAVEFORMATEX f;
    uint32_t mask;
    ReadWaveFormat(bytes.data(), bytes.size(), f, mask);
    if (channelMask)
        *channelMask = mask;
    return f;
}

} // namespace

TWaveReader::TWaveReader() = default;
TWaveReader::~TWaveReader() { Close(); }

bool TWaveReader::Fail(TMediaError code)
{
    FStatus = code;
    FOk = false;
    return false;
}

bool TWaveReader::Err(TMediaError code)
{
    FStatus = code;
    return false;
}

void TWaveReader::Close()
{
    FSource.reset();
    FSegmentFiles.clear();
    FSegmentInfo.clear();
    FFileList.clear();
    FKind = ksNone;
    FPlugin = -1;
    FOk = FOpen = FEnd = false;
    FStreamCount = 0;
    FAudioStreams.clear();
    FSelected = -1;
    FInput = FOutput = WAVEFORMATEX{};
    FInputMask = FOutputMask = 0;
    FRatio = 1.0;
    FRateDiffers = FFormatDiffers = FPlain = false;
    FInputLength = FOutputLength = FPosition = 0;
    FLastInput = -1;
    FCache.clear();
    FCacheFirst = FCacheCount = 0;
}

bool TWaveReader::Open(const std::string &fileList, const std::string &kindString, bool allowFallback,
                       int accessLevel)
{
    Close();
    FStatus = meOk;
    FProblem = {};
    FOk = true;
    TSourceKind kind;
    int param;
    ParseKindString(kindString, kind, param);
    std::vector<std::string> files = SplitFileList(fileList);
    if (files.empty())
        return Fail(meParam);
    // Folders, pipes and devices are named as such, and a pipe is never opened (a read
    // would wait for a writer).
    for (const std::string &f : files) {
        if (TMediaError r = CheckMediaPath(f); r != meOk)
            return Fail(r);
        // Index counts no file of this size can hold would make a demuxer ask for gigabytes.
        if (!AviIndexesFit(f, FProblem))
            return Fail(meFileFormat);
    }
    // For the paths that list a file's streams, the parameter names the stream to select
    // (its number in the file); -1 selects the first audio stream.
    const bool streamParam = kind == ksAuto || kind == ksOdml || kind == ksMsvw || kind == ksLavf;
    FWantedStream = streamParam ? std::max(param, -1) : -1;
    FWantedMissing = false;
    const std::vector<TPathAttempt> order =
        AudioPathOrder(files[0], kind, param, allowFallback, accessLevel, FWantedStream);
    if (order.empty())
        return Fail(meFileFormat);
    if (OpenOnce(files, order[0], accessLevel)) {
        FFileList = fileList;
        return true;
    }
    // A file a RIFF reader found contradicting itself (a wave format with an impossible
    // block size, several sound chunks) is refused with that reason: another path would
    // read the same bytes with a guessed layout and deliver noise or the wrong chunk.
    if (FProblem.Known()) {
        const TMediaError refused = FStatus;
        Close();
        FStatus = refused;
        return false;
    }
    // Fallbacks while nothing is open; the first failure's status is kept.
    TMediaError first = FStatus;
    for (size_t i = 1; i < order.size(); ++i) {
        Close();
        FStatus = meOk;
        FOk = true;
        if (OpenOnce(files, order[i], accessLevel)) {
            FFileList = fileList;
            return true;
        }
        if (order[i].NamesMissingAudio && first == meFileFormat && FStatus == meNoAudioStream)
            first = FStatus;
    }
    Close();
    // A stream asked for by number that is no audio stream is named as such.
    FStatus = FWantedMissing ? meNoAudioStream : first;
    return false;
}

bool TWaveReader::OpenOnce(const std::vector<std::string> &files, const TPathAttempt &path, int accessLevel)
{
    FKind = path.Kind;
    FPlugin = path.Kind == ksVfap ? path.Param : -1;
    std::vector<std::unique_ptr<TAudioSource>> segments;
    for (const std::string &file : files) {
        TMediaError status = meOk;
        std::unique_ptr<TAudioSource> source = OpenAudioPath(path, file, accessLevel, FPlugin, status, FProblem);
        if (!source)
            return Fail(status);
        // The first segment fixes the stream count.
        if (!segments.empty() && source->Streams().size() != segments[0]->Streams().size())
            return Fail(meSegment);
        FSegmentFiles.push_back(file);
        FSegmentInfo.push_back(source->FileInfo());
        segments.push_back(std::move(source));
    }
    FStreamCount = int(segments[0]->Streams().size());
    if (TMediaError r = CheckAudioSegments(segments, FAudioStreams); r != meOk)
        return Fail(r);
    if (segments.size() == 1)
        FSource = std::move(segments[0]);
    else
        FSource = std::make_unique<TJoinedAudioSource>(std::move(segments));
    if (!SelectStream(WantedAudioIndex()) || !(FOk && FOpen)) {
        FOk = FOpen = FPlain = false;
        return false;
    }
    return true;
}

int TWaveReader::AudioStreamNumber(int i) const
{
    return i >= 0 && i < AudioStreamCount() ? FAudioStreams[size_t(i)] : -1;
}

int TWaveReader::AudioStreamIndex(int number) const
{
    auto it = std::find(FAudioStreams.begin(), FAudioStreams.end(), number);
    return it == FAudioStreams.end() ? -1 : int(it - FAudioStreams.begin());
}

// The audio stream the kind string asked for: the first one when none was named; a
// number that names no audio stream fails the open (meNoAudioStream).
int TWaveReader::WantedAudioIndex()
{
    if (FWantedStream < 0)
        return 0;
    int i = AudioStreamIndex(FWantedStream);
    if (i < 0)
        FWantedMissing = true;
    return i;
}

bool TWaveReader::SelectStream(int i)
{
    if (!FOk || !FSource)
        return Err(meState);
    if (i < 0 || i >= AudioStreamCount())
        return Err(FOpen ? meParam : meNoAudioStream);
    int n = FAudioStreams[size_t(i)];
    if (FOpen && n == FSelected)
        return true;
    uint32_t mask = 0;
    WAVEFORMATEX in = FormatOf(FSource->Streams()[size_t(n)].Format, &mask);
    if (!IsSupportedPcm(in))
        return Err(meAudioFormat);
    FOpen = FPlain = false;
    FSelected = n;
    FInput = in;
    FInputMask = mask;
    FInputLength = FSource->Length(n);
    FillDisplayInfo();
    FCacheCount = 0;
    FCache.assign(std::max<size_t>(kReadAheadBytes / FInput.nBlockAlign, 1) * FInput.nBlockAlign, 0);
    FOpen = true;
    FPosition = 0;
    if (!SetOutputFormat(nullptr, 0))
        return FOpen = FPlain = false;
    if (FOutputLength == 0) {
        FOpen = FPlain = false;
        return Err(meNoData);
    }
    return true;
}

// Descriptions shown to the user: for plug-in sources the file description is made up
// from the streams; every segment takes the selected stream's size, rate and length.
void TWaveReader::FillDisplayInfo()
{
    for (int k = 0; k < SegmentCount(); ++k) {
        AVIFILEINFO &fi = FSegmentInfo[size_t(k)];
        const std::vector<TAudioStreamRecord> &streams = FSource->Segment(k).Streams();
        if (FKind == ksVfap || FKind == ksMsds) {
            uint64_t maxBytes = 0, suggested = 0;
            for (const TAudioStreamRecord &s : streams) {
                if (s.Info.dwScale)
                    maxBytes += uint64_t(std::llround(double(s.Info.dwRate) * s.Info.dwSampleSize / s.Info.dwScale));
                suggested += s.Info.dwSuggestedBufferSize;
            }
            fi.dwMaxBytesPerSec = uint32_t(std::min<uint64_t>(maxBytes, UINT32_MAX));
            fi.dwFlags = 0;
            fi.dwCaps = 0x11;
            fi.dwStreams = uint32_t(streams.size());
            fi.dwSuggestedBufferSize = uint32_t(std::min<uint64_t>(suggested, UINT32_MAX));
            std::string label = FKind == ksMsds ? "DirectShow" : "VFAPI (" + PluginInfoText(FPlugin) + ")";
            SetSourceName(fi.szFileType, FSegmentFiles[size_t(k)], label);
        }
        const AVISTREAMINFO &si = streams[size_t(FSelected)].Info;
        fi.dwWidth = uint32_t(std::max(si.rcFrame.right - si.rcFrame.left, 0));
        fi.dwHeight = uint32_t(std::max(si.rcFrame.bottom - si.rcFrame.top, 0));
        fi.dwScale = si.dwScale;
        fi.dwRate = si.dwRate;
        fi.dwLength = si.dwLength;
    }
}

bool TWaveReader::SetOutputFormat(const WAVEFORMATEX *format, uint32_t formatLength)
{
    if (!FOpen)
        return Err(meState);
    WAVEFORMATEX out = FInput;
    uint32_t mask = FInputMask;
    if (format) {
        if (formatLength < 16)
            return Err(meParam);
        ReadWaveFormat(reinterpret_cast<const uint8_t *>(format), formatLength, out, mask);
        // A record without a mask keeps the source's speakers when the channels stay.
        if (mask == 0 && out.nChannels == FInput.nChannels)
            mask = FInputMask;
    }
    if (!SameFormat(out, FInput) && !AreConvertible(FInput, out))
        return Err(meAudioFormat);
    FOutput = out;
    FOutputMask = mask;
    FRateDiffers = FOutput.nSamplesPerSec != FInput.nSamplesPerSec;
    FFormatDiffers = FOutput.wBitsPerSample != FInput.wBitsPerSample || FOutput.nChannels != FInput.nChannels;
    FRatio = FRateDiffers ? double(FInput.nSamplesPerSec) / double(FOutput.nSamplesPerSec) : 1.0;
    FOutputLength = FRateDiffers ? int64_t(std::trunc(double(FInputLength) / FRatio)) : FInputLength;
    FPlain = !FRateDiffers && !FFormatDiffers;
    Seek(FPosition);
    return true;
}

int32_t TWaveReader::SampleRate() const { return FOpen ? int32_t(FOutput.nSamplesPerSec) : -1; }
int32_t TWaveReader::BlockAlign() const { return FOpen ? FOutput.nBlockAlign : 0; }

double TWaveReader::Duration() const
{
    return FOpen && FOutput.nSamplesPerSec ? double(FOutputLength) / FOutput.nSamplesPerSec : 0.0;
}

int TWaveReader::SegmentCount() const { return int(FSegmentInfo.size()); }

AVIFILEINFO TWaveReader::SegmentFileInfo(int segment) const
{
    return segment >= 0 && segment < SegmentCount() ? FSegmentInfo[size_t(segment)] : AVIFILEINFO{};
}

AVISTREAMINFO TWaveReader::SegmentStreamInfo(int segment, int stream) const
{
    if (!FSource || segment < 0 || segment >= FSource->SegmentCount() || stream < 0 || stream >= FStreamCount)
        return AVISTREAMINFO{};
    return FSource->Segment(segment).Streams()[size_t(stream)].Info;
}

std::string TWaveReader::KindString() const
{
    if (!FOpen)
        return std::string();
    if (FKind == ksVfap)
        return MakeKindString(FKind, FPlugin);
    // A stream other than the first audio stream is named by its number in the file.
    const bool first = FAudioStreams.empty() || FSelected == FAudioStreams[0];
    return MakeKindString(FKind, first || FKind == ksMsds ? -1 : FSelected);
}

TSourceDescription TWaveReader::Description() const
{
    if (!FOpen)
        return {"WrdSrcNone", ""};
    switch (FKind) {
    case ksMsvw: return {"WrdSrcAudio", "VfW"};
    case ksOdml: return {"WrdSrcAudio", "OpenDML"};
    case ksMsds: return {"WrdSrcAudio", "DirectShow"};
    case ksVfap: return {"WrdSrcPlugin", PluginInfoText(FPlugin)};
    case ksLavf: return {"WrdSrcAudio", "FFmpeg"};
    default: return {"WrdSrcUnknown", ""};
    }
}

void TWaveReader::Seek(int64_t position)
{
    FPosition = position;
    FEnd = position < 0 || position >= FOutputLength;
    int64_t p = std::clamp<int64_t>(position, 0, FOutputLength);
    FLastInput = (FRateDiffers ? int64_t(double(p) * FRatio) : p) - 1;
    std::memset(FOneSample, FInput.wBitsPerSample == 8 ? 128 : 0, sizeof FOneSample);
}

bool TWaveReader::Silence(void *buffer, int32_t count)
{
    if (!FOpen)
        return Err(meState);
    if (count > 0)
        std::memset(buffer, FOutput.wBitsPerSample == 8 ? 128 : 0, size_t(count) * FOutput.nBlockAlign);
    return true;
}

bool TWaveReader::ReadSamples(void *buffer, int32_t count)
{
    // The mixer's common case: unconverted samples already in the read-ahead.
    if (FPlain && count > 0 && FPosition >= FCacheFirst && FPosition < FCacheFirst + FCacheCount &&
        count <= FCacheFirst + FCacheCount - FPosition) {
        const uint32_t block = FOutput.nBlockAlign;
        std::memcpy(buffer, FCache.data() + size_t(FPosition - FCacheFirst) * block, size_t(count) * block);
        FPosition += count;
        FEnd = false;
        return true;
    }
    if (!FOpen)
        return Err(meState);
    if (count <= 0)
        return Err(meParam);
    uint8_t *out = static_cast<uint8_t *>(buffer);
    const uint32_t outBlock = FOutput.nBlockAlign;
    FEnd = FPosition < 0 || FPosition >= FOutputLength;
    std::memset(out, FOutput.wBitsPerSample == 8 ? 128 : 0, size_t(count) * outBlock);
    // Output samples before 0 stay silent; the end flag set by Seek still reports them.
    int64_t from = std::max<int64_t>(FPosition, 0);
    int64_t n = FPosition >= FOutputLength ? 0 : std::min<int64_t>(FPosition + count, FOutputLength) - from;
    bool ok = true;
    if (n <= 0) {
        FEnd = true;
    } else if (!FRateDiffers && !FFormatDiffers) {
        ok = ReadInput(from, n, out + (from - FPosition) * outBlock);
    } else {
        uint8_t *dst = out + (from - FPosition) * outBlock;
        for (int64_t k = 0; k < n; ++k, dst += outBlock) {
            int64_t c = FRateDiffers ? int64_t(double(from + k) * FRatio) : from + k;
            c = std::min(c, FInputLength - 1);
            if (c > FLastInput) {
                if (!ReadInput(c, 1, FOneSample)) {
                    ok = false;
                    break;
                }
                FLastInput = c;
            }
            ConvertSampleFrame(FInput, FOneSample, FOutput, dst);
        }
    }
    FPosition = FPosition > INT64_MAX - count ? INT64_MAX : FPosition + count;
    if (!ok)
        return Err(FStatus == meOk ? meFileRead : FStatus);
    if (FEnd) {
        FStatus = meFileRead;
        return false;
    }
    return true;
}

// Serves input samples from the read-ahead, refilling it in large blocks; requests larger
// than the read-ahead go straight to the file.
bool TWaveReader::ReadInput(int64_t first, int64_t count, uint8_t *out)
{
    const uint32_t block = FInput.nBlockAlign;
    const int64_t capacity = int64_t(FCache.size() / block);
    while (count > 0) {
        if (first >= FCacheFirst && first < FCacheFirst + FCacheCount) {
            int64_t k = std::min(count, FCacheFirst + FCacheCount - first);
            std::memcpy(out, FCache.data() + (first - FCacheFirst) * block, size_t(k * block));
            first += k;
            count -= k;
            out += k * block;
            continue;
        }
        if (count >= capacity)
            return ReadDirect(first, count, out);
        int64_t fill = std::min(capacity, FInputLength - first);
        FCacheCount = 0;
        if (fill <= 0)
            return false;
        if (!ReadDirect(first, fill, FCache.data())) {
            // The read-ahead reached something unreadable (a damaged chunk): the samples
            // asked for may still be fine, so only they are read.
            if (fill <= count || !ReadDirect(first, count, out))
                return false;
            FStatus = meOk;
            return true;
        }
        FCacheFirst = first;
        FCacheCount = fill;
    }
    return true;
}

// Reads input samples through the access path (a joined track reads across its segments).
bool TWaveReader::ReadDirect(int64_t first, int64_t count, uint8_t *out)
{
    if (first < 0 || first + count > FInputLength)
        return Err(meFileRead);
    const int64_t start = FSource->Streams()[size_t(FSelected)].Start;
    if (TMediaError r = FSource->Read(FSelected, first + start, int32_t(count), out); r != meOk)
        return Err(r);
    return true;
}

} // namespace tessaly
