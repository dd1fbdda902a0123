// The audio source front-end: opening segments by access path, the segment checks,
// stream selection, output format conversion and sample delivery through a read-ahead.
#include "media/input/wave_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/input/lavf/lavf_audio.h"
#include "media/input/riff/riff_audio.h"
#include "media/input/vfap/vfap_audio.h"
#include "media/input/vfapi_host.h"
#include "platform/avisynth.h"
#include "platform/riff_check.h"

namespace tessaly {

bool DirectAudioAvailable() { return false; }

namespace {

// One stream of one segment, placed in the track.
struct TStreamRec : TAudioStreamRecord {
    int64_t First = 0, Last = -1; // global input sample numbers covered
};

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

// Segments of one track carry equal formats, channel masks included.
bool SameSegmentFormat(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    uint32_t maskA, maskB;
    WAVEFORMATEX fa = FormatOf(a, &maskA), fb = FormatOf(b, &maskB);
    return SameFormat(fa, fb) && maskA == maskB;
}

// Opens file through the access path TSource; the source in `out` on success, else what
// the path found wrong with the file in `problem`.
template <class TSource>
TMediaError OpenPath(const std::string &file, std::unique_ptr<TAudioSource> &out, TMediaProblem &problem)
{
    auto source = std::make_unique<TSource>();
    const TMediaError r = source->Open(file);
    if (r == meOk)
        out = std::move(source);
    else
        problem = source->Problem();
    return r;
}

} // namespace

struct TWaveReader::TSegment {
    std::string File;
    std::unique_ptr<TAudioSource> Source; // the access path's reader of this file
    AVIFILEINFO FileInfo{};
    std::vector<TStreamRec> Streams;

    // Takes the source's file description and streams.
    void Adopt(std::unique_ptr<TAudioSource> source)
    {
        FileInfo = source->FileInfo();
        for (const TAudioStreamRecord &r : source->Streams()) {
            TStreamRec s;
            static_cast<TAudioStreamRecord &>(s) = r;
            Streams.push_back(std::move(s));
        }
        Source = std::move(source);
    }
};

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
    FSegments.clear();
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
    FCurrentSegment = -1;
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
    const bool detected = kind == ksAuto;
    if (detected) {
        std::string ext = UpperExtension(files[0]);
        param = -1;
        if (ext == ".AVI")
            kind = ksOdml;
        else if (ext == ".WAV")
            kind = ksMsvw;
        else if (ext == ".AVS" && AviSynthPresent() && accessLevel <= 1)
            kind = ksMsvw;
        else if (accessLevel < 2)
            kind = ksLavf;
        else
            kind = DetectPluginKind(files[0], accessLevel, param);
    }
    if (kind == ksNone || kind == ksAuto || kind == ksDumy)
        return Fail(meFileFormat);
    if (OpenOnce(files, kind, param, allowFallback, accessLevel)) {
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
    auto retry = [&](TSourceKind k, int p) {
        Close();
        FStatus = meOk;
        FOk = true;
        return OpenOnce(files, k, p, false, accessLevel);
    };
    bool opened = kind == ksOdml && retry(ksMsvw, -1);
    // What the own reader and the system media layer cannot decode (MP3 in WAV, AC-3 in
    // AVI), FFmpeg decodes.
    if (!opened && (kind == ksOdml || kind == ksMsvw) && (detected || allowFallback) && accessLevel < 2)
        opened = retry(ksLavf, -1);
    // A detected file that FFmpeg cannot read goes where the extension points.
    int triedPlugin = -1; // a plug-in that failed is not asked a second time
    if (!opened && detected && kind == ksLavf) {
        int p = -1;
        TSourceKind k = DetectPluginKind(files[0], accessLevel, p);
        if (k != ksNone) {
            opened = retry(k, p);
            if (k == ksVfap)
                triedPlugin = p;
            // A file FFmpeg does not know, which the plug-in claiming it finds without
            // audio, is named as such.
            if (!opened && first == meFileFormat && FStatus == meNoAudioStream)
                first = FStatus;
        }
    }
    // The plug-ins and direct access offer one stream: none of them stands in for a stream
    // asked for by number.
    if (!opened && allowFallback && FWantedStream < 0 && (kind == ksMsvw || kind == ksOdml || kind == ksLavf)) {
        for (int i = 0; i < PluginCount() && !opened; ++i)
            if (i != triedPlugin && PluginClaimsFile(i, files[0], VF_STREAM_AUDIO, accessLevel))
                opened = retry(ksVfap, i);
        if (!opened && DirectAudioAvailable() && accessLevel < 2)
            opened = retry(ksMsds, -1);
    }
    if (opened) {
        FFileList = fileList;
        return true;
    }
    Close();
    // A stream asked for by number that is no audio stream is named as such.
    FStatus = FWantedMissing ? meNoAudioStream : first;
    return false;
}

// The kind the file's extension points to when no container reader takes it: the first
// reader plug-in claiming it (param set to its index), else direct access, else NONE.
TSourceKind TWaveReader::DetectPluginKind(const std::string &file, int accessLevel, int &param)
{
    if ((param = FindPlugin(file, VF_STREAM_AUDIO, accessLevel)) >= 0)
        return ksVfap;
    param = -1;
    if (DirectAudioAvailable() && accessLevel < 2)
        return ksMsds;
    return ksNone;
}

bool TWaveReader::OpenOnce(const std::vector<std::string> &files, TSourceKind kind, int param, bool allowFallback,
                           int accessLevel)
{
    FKind = kind;
    FPlugin = kind == ksVfap ? param : -1;
    for (size_t i = 0; i < files.size(); ++i) {
        auto seg = std::make_unique<TSegment>();
        seg->File = files[i];
        if (!OpenSegment(*seg, files[i], kind, param, allowFallback, accessLevel))
            return false;
        if (i == 0)
            FStreamCount = int(seg->Streams.size());
        else if (int(seg->Streams.size()) != FStreamCount)
            return Fail(meSegment);
        FSegments.push_back(std::move(seg));
    }
    if (!CheckSegments() || !SelectStream(WantedAudioIndex()) || !(FOk && FOpen)) {
        FOk = FOpen = FPlain = false;
        return false;
    }
    return true;
}

bool TWaveReader::OpenSegment(TSegment &seg, const std::string &file, TSourceKind kind, int param,
                              bool allowFallback, int accessLevel)
{
    std::unique_ptr<TAudioSource> source;
    TMediaError r;
    switch (kind) {
    case ksMsvw: r = OpenPath<TMsvwAudio>(file, source, FProblem); break;
    case ksOdml: r = OpenPath<TOdmlAudio>(file, source, FProblem); break;
    case ksLavf: r = OpenPath<TLavfAudio>(file, source, FProblem); break;
    case ksVfap: return OpenVfap(seg, file, param, allowFallback, accessLevel);
    case ksMsds: return Fail(meFileHandler); // no direct media-framework component is bound
    default: return Fail(meFileFormat);
    }
    if (r != meOk)
        return Fail(r);
    seg.Adopt(std::move(source));
    return true;
}

bool TWaveReader::OpenVfap(TSegment &seg, const std::string &file, int param, bool allowFallback, int accessLevel)
{
    if (param < 0 && !allowFallback)
        return Fail(meFileHandler);
    int plugin = param >= 0 ? param : FindPlugin(file, VF_STREAM_AUDIO, accessLevel);
    if (plugin < 0 || plugin >= PluginCount())
        return Fail(meFileHandler);
    FPlugin = plugin;
    auto source = std::make_unique<TVfapAudio>();
    if (TMediaError r = source->Open(plugin, file); r != meOk)
        return Fail(r);
    seg.Adopt(std::move(source));
    return true;
}

bool TWaveReader::CheckSegments()
{
    if (FStreamCount <= 0)
        return Fail(meNoAudioStream);
    auto audioCount = [](const TSegment &seg) {
        return int(std::count_if(seg.Streams.begin(), seg.Streams.end(),
                                 [](const TStreamRec &s) { return s.Info.fccType == streamtypeAUDIO; }));
    };
    int audios = audioCount(*FSegments[0]);
    if (audios < 1)
        return Fail(meNoAudioStream);
    for (auto &seg : FSegments)
        if (audioCount(*seg) != audios)
            return Fail(meSegment);
    for (const TStreamRec &s : FSegments[0]->Streams)
        if (s.Info.fccType == streamtypeAUDIO)
            FAudioStreams.push_back(s.Stream);
    for (int n : FAudioStreams) {
        const TStreamRec &first = FSegments[0]->Streams[size_t(n)];
        if (first.Format.size() < 16)
            return Fail(meStreamFormat);
        for (size_t i = 1; i < FSegments.size(); ++i) {
            const TStreamRec &s = FSegments[i]->Streams[size_t(n)];
            if (s.Info.fccType != streamtypeAUDIO || s.Format.size() != first.Format.size() ||
                s.Info.fccHandler != first.Info.fccHandler || s.Info.dwScale != first.Info.dwScale ||
                s.Info.dwRate != first.Info.dwRate || s.Info.dwSampleSize != first.Info.dwSampleSize ||
                !SameSegmentFormat(s.Format, first.Format))
                return Fail(meSegment);
        }
    }
    // Global sample numbers: each segment continues where the previous one ended.
    for (int n = 0; n < FStreamCount; ++n) {
        int64_t next = 0;
        for (auto &seg : FSegments) {
            TStreamRec &s = seg->Streams[size_t(n)];
            s.First = next;
            s.Last = next + int64_t(s.Info.dwLength) - 1;
            next = s.Last + 1;
        }
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
    if (!FOk || FSegments.empty())
        return Err(meState);
    if (i < 0 || i >= AudioStreamCount())
        return Err(FOpen ? meParam : meNoAudioStream);
    int n = FAudioStreams[size_t(i)];
    if (FOpen && n == FSelected)
        return true;
    uint32_t mask = 0;
    WAVEFORMATEX in = FormatOf(FSegments[0]->Streams[size_t(n)].Format, &mask);
    if (!IsSupportedPcm(in))
        return Err(meAudioFormat);
    FOpen = FPlain = false;
    FSelected = n;
    FInput = in;
    FInputMask = mask;
    FInputLength = 0;
    for (auto &seg : FSegments)
        FInputLength += seg->Streams[size_t(n)].Info.dwLength;
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
    for (auto &seg : FSegments) {
        AVIFILEINFO &fi = seg->FileInfo;
        if (FKind == ksVfap || FKind == ksMsds) {
            uint64_t maxBytes = 0, suggested = 0;
            for (const TStreamRec &s : seg->Streams) {
                if (s.Info.dwScale)
                    maxBytes += uint64_t(std::llround(double(s.Info.dwRate) * s.Info.dwSampleSize / s.Info.dwScale));
                suggested += s.Info.dwSuggestedBufferSize;
            }
            fi.dwMaxBytesPerSec = uint32_t(std::min<uint64_t>(maxBytes, UINT32_MAX));
            fi.dwFlags = 0;
            fi.dwCaps = 0x11;
            fi.dwStreams = uint32_t(seg->Streams.size());
            fi.dwSuggestedBufferSize = uint32_t(std::min<uint64_t>(suggested, UINT32_MAX));
            std::string label = FKind == ksMsds ? "DirectShow" : "VFAPI (" + PluginInfoText(FPlugin) + ")";
            SetSourceName(fi.szFileType, seg->File, label);
        }
        const AVISTREAMINFO &si = seg->Streams[size_t(FSelected)].Info;
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

int TWaveReader::SegmentCount() const { return int(FSegments.size()); }

AVIFILEINFO TWaveReader::SegmentFileInfo(int segment) const
{
    return segment >= 0 && segment < SegmentCount() ? FSegments[size_t(segment)]->FileInfo : AVIFILEINFO{};
}

AVISTREAMINFO TWaveReader::SegmentStreamInfo(int segment, int stream) const
{
    if (segment < 0 || segment >= SegmentCount() || stream < 0 || stream >= FStreamCount)
        return AVISTREAMINFO{};
    return FSegments[size_t(segment)]->Streams[size_t(stream)].Info;
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
    FCurrentSegment = -1;
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

// Reads input samples through the access path, segment by segment.
bool TWaveReader::ReadDirect(int64_t first, int64_t count, uint8_t *out)
{
    if (first < 0 || first + count > FInputLength)
        return Err(meFileRead);
    const uint32_t block = FInput.nBlockAlign;
    while (count > 0) {
        int segIndex = FCurrentSegment;
        auto covers = [&](int i) {
            const TStreamRec &s = FSegments[size_t(i)]->Streams[size_t(FSelected)];
            return first >= s.First && first <= s.Last;
        };
        if (segIndex < 0 || !covers(segIndex)) {
            segIndex = -1;
            for (int i = 0; i < SegmentCount() && segIndex < 0; ++i)
                if (covers(i))
                    segIndex = i;
            if (segIndex < 0)
                return Err(meFileRead);
        }
        FCurrentSegment = segIndex;
        TSegment &seg = *FSegments[size_t(segIndex)];
        const TStreamRec &s = seg.Streams[size_t(FSelected)];
        int64_t k = std::min(count, s.Last - first + 1);
        if (!ReadFromSegment(seg, first - s.First + s.Start, int32_t(k), out))
            return false;
        first += k;
        count -= k;
        out += k * block;
    }
    return true;
}

bool TWaveReader::ReadFromSegment(TSegment &seg, int64_t filePos, int32_t count, uint8_t *out)
{
    if (TMediaError r = seg.Source->Read(seg.Streams[size_t(FSelected)].Stream, filePos, count, out); r != meOk)
        return Err(r);
    return true;
}

} // namespace tessaly
