// TIOMovieReader: opening through the access paths in their order, stream selection and
// the source facts.
#include "media/input/io_movie_reader.h"

#include "media/common/byte_order.h"
#include "media/common/io_image_loader.h"
#include "media/input/io_movie_choose.h"
#include "media/input/join/joined_video.h"
#include "media/input/lavf/lavf_video.h"
#include "media/input/phantom/phantom_video.h"
#include "platform/riff_check.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace tessaly {
namespace {

int FormatBits(const std::vector<uint8_t> &f) { return f.size() >= 16 ? GetLE16(f.data() + 14) : 0; }
uint32_t FormatCompression(const std::vector<uint8_t> &f) { return f.size() >= 20 ? GetLE32(f.data() + 16) : 0; }

} // namespace

TIOMovieReader::TIOMovieReader() = default;
TIOMovieReader::~TIOMovieReader() { Close(); }

void TIOMovieReader::Close()
{
    FSource.reset();
    FFileList.clear();
    FKind = ksNone;
    FPlugin = -1;
    FStreamCount = 0;
    FVideoStreams.clear();
    FAudioStreams.clear();
    FSelected = -1;
    FInputFormat.clear();
    FOutputFormat.clear();
    FConvert = FIndeo = false;
    FFrameCount = 0;
    FRaw.clear();
}

bool TIOMovieReader::IsOpen() const { return FOk && FSource && FSelected >= 0; }

bool TIOMovieReader::Fail(TMediaError code)
{
    FStatus = code;
    return false;
}

std::string TIOMovieReader::KindString() const
{
    if (!FSource)
        return std::string();
    return MakeKindString(FKind, FKind == ksVfap ? FPlugin : -1);
}

bool TIOMovieReader::Open(const std::string &fileList, const std::string &kindString, bool allowFallback,
                          bool withAudio, bool prefer24, int accessLevel)
{
    Close();
    FOk = true;
    FStatus = meOk;
    FProblem = {};
    TSourceKind kind;
    int param;
    ParseKindString(kindString, kind, param);
    const std::vector<std::string> files = SplitFileList(fileList);
    FOk = false;
    if (files.empty())
        return Fail(meParam);
    // Folders, pipes and devices are named as such, and a pipe is never opened.
    for (const std::string &f : files) {
        if (TMediaError r = CheckMediaPath(f); r != meOk)
            return Fail(r);
        // Index counts no file of this size can hold would make a demuxer ask for gigabytes.
        if (!AviIndexesFit(f, FProblem))
            return Fail(meFileFormat);
    }
    FOk = true;
    const std::vector<TPathAttempt> order = VideoPathOrder(fileList, kind, param, allowFallback, withAudio, accessLevel);
    if (order.empty()) {
        FOk = false;
        return Fail(meFileFormat);
    }
    bool ok = false;
    for (size_t i = 0; i < order.size() && !ok; ++i)
        ok = OpenKind(files, order[i], withAudio, prefer24, accessLevel);
    if (ok) {
        // A fallback that opened the file leaves no failure behind.
        FFileList = fileList;
        FStatus = meOk;
    }
    return ok;
}

bool TIOMovieReader::OpenKind(const std::vector<std::string> &files, const TPathAttempt &path, bool withAudio,
                              bool prefer24, int accessLevel)
{
    Close();
    FOk = true;
    FKind = path.Kind;
    std::vector<std::unique_ptr<TVideoSource>> segments;
    // Still images form one clip of the whole list; other paths open one segment per file.
    const size_t count = path.Kind == ksStil ? 1 : files.size();
    for (size_t i = 0; i < count; ++i) {
        TMediaError status = meOk;
        std::unique_ptr<TVideoSource> source = OpenVideoPath(path, files, i, withAudio, accessLevel, FPlugin, status);
        bool ok = source || Fail(status);
        // The first segment fixes the stream count.
        if (ok && !segments.empty() && source->Streams().size() != segments[0]->Streams().size())
            ok = Fail(meSegment);
        if (!ok) {
            Close();
            FOk = false;
            return false;
        }
        segments.push_back(std::move(source));
    }
    return Adopt(std::move(segments), withAudio, prefer24);
}

bool TIOMovieReader::Adopt(std::vector<std::unique_ptr<TVideoSource>> segments, bool withAudio, bool prefer24)
{
    FStreamCount = int(segments[0]->Streams().size());
    bool ok = true;
    if (TMediaError r = CheckVideoSegments(segments, withAudio, FVideoStreams, FAudioStreams); r != meOk)
        ok = Fail(r);
    else if (segments.size() == 1)
        FSource = std::move(segments[0]);
    else
        FSource = std::make_unique<TJoinedVideoSource>(std::move(segments));
    ok = ok && SelectVideoStream(0, prefer24);
    if (ok && !EnsureRaw(MaxBufferSize()))
        ok = Fail(meMemory);
    if (!ok) {
        Close();
        FOk = false;
    }
    return ok;
}

const TLavfVideoSource *TIOMovieReader::LavfVideo(int segment) const
{
    if (segment < 0 || segment >= SegmentCount())
        return nullptr;
    return dynamic_cast<const TLavfVideoSource *>(&FSource->Segment(segment));
}

TLavfVideoSource *TIOMovieReader::LavfVideo(int segment)
{
    return const_cast<TLavfVideoSource *>(std::as_const(*this).LavfVideo(segment));
}

bool IsImageFileName(const std::string &fileName)
{
    std::string ext = UpperExtension(fileName);
    if (ext.empty())
        return false;
    for (char &c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    const std::string patterns = ";" + ImageFilePatterns() + ";";
    return patterns.find(";*" + ext + ";") != std::string::npos;
}

bool TIOMovieReader::OpenPhantom(uint32_t width, uint32_t height, int32_t length, int32_t scale, int32_t rate,
                                 TIOPixelFormat format)
{
    Close();
    FOk = true;
    FStatus = meOk;
    auto source = std::make_unique<TPhantomVideoSource>();
    if (!source->Create(width, height, length, scale, rate, format)) {
        FOk = false;
        return Fail(source->Status());
    }
    FKind = ksDumy;
    FFileList = "(*)";
    std::vector<std::unique_ptr<TVideoSource>> segments;
    segments.push_back(std::move(source));
    if (!Adopt(std::move(segments), false, true))
        return Fail(FStatus == meOk ? meMemory : FStatus);
    return true;
}

int TIOMovieReader::VideoStreamNumber(int i) const
{
    return i >= 0 && i < VideoStreamCount() ? FVideoStreams[size_t(i)] : -1;
}

int TIOMovieReader::AudioStreamNumber(int i) const
{
    return i >= 0 && i < AudioStreamCount() ? FAudioStreams[size_t(i)] : -1;
}

bool TIOMovieReader::SelectVideoStream(int i, bool prefer24)
{
    if (!FOk || !FSource)
        return Fail(meState);
    if (i < 0 || i >= VideoStreamCount())
        return Fail(meParam);
    if (i == FSelected)
        return true;
    FSelected = -1;
    FInputFormat.clear();
    FOutputFormat.clear();
    FConvert = FIndeo = false;
    FFrameCount = 0;
    if (!FSource->SelectStream(FVideoStreams[size_t(i)], prefer24, nullptr))
        return Fail(FSource->Status());
    const TVideoOutput &out = FSource->Output();
    FInputFormat = out.Input;
    FOutputFormat = out.Output;
    FConvert = out.Convert;
    FIndeo = out.Indeo;
    FSelected = i;
    FFrameCount = FSource->FrameCount();
    return true;
}

bool TIOMovieReader::EnsureRaw(size_t bytes)
{
    if (FRaw.size() >= bytes)
        return true;
    try {
        FRaw.resize(bytes);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

// The selected stream's description (of the first segment: rate, handler and quality
// agree in every segment; buffer sizes are the largest of them).
const AVISTREAMINFO *TIOMovieReader::SelectedInfo() const
{
    if (FSelected < 0 || !FSource)
        return nullptr;
    return &FSource->Streams()[size_t(FVideoStreams[size_t(FSelected)])].Info;
}

AVISTREAMINFO TIOMovieReader::GetStreamInfo(int stream) const
{
    if (!FSource || stream < 0 || stream >= FStreamCount)
        return AVISTREAMINFO{};
    return FSource->Streams()[size_t(stream)].Info;
}

AVISTREAMINFO TIOMovieReader::GetVideoStreamInfo(int i) const { return GetStreamInfo(VideoStreamNumber(i)); }

AVIFILEINFO TIOMovieReader::FileInfo(int segment) const
{
    if (segment < 0 || segment >= SegmentCount())
        return AVIFILEINFO{};
    return FSource->Segment(segment).FileInfo();
}

uint32_t TIOMovieReader::Width() const
{
    return FOutputFormat.size() >= 40 ? uint32_t(GetLE32s(FOutputFormat.data() + 4)) : 0;
}

uint32_t TIOMovieReader::Height() const
{
    if (FOutputFormat.size() < 40)
        return 0;
    const int32_t h = GetLE32s(FOutputFormat.data() + 8);
    return uint32_t(h < 0 ? -h : h);
}

TIOPixelFormat TIOMovieReader::PixelFormat() const
{
    return FOutputFormat.size() >= 40 ? PixelFormatOfBits(FormatBits(FOutputFormat)) : pf24Bit;
}

int TIOMovieReader::BitCount() const
{
    return FInputFormat.size() >= 16 ? FormatBits(FInputFormat) : FormatBits(FOutputFormat);
}

int32_t TIOMovieReader::Scale() const
{
    const AVISTREAMINFO *st = SelectedInfo();
    return st && int32_t(st->dwScale) > 0 ? int32_t(st->dwScale) : 1;
}

int32_t TIOMovieReader::Rate() const
{
    const AVISTREAMINFO *st = SelectedInfo();
    return st && int32_t(st->dwRate) > 0 ? int32_t(st->dwRate) : -1;
}

uint32_t TIOMovieReader::Handler() const
{
    const AVISTREAMINFO *st = SelectedInfo();
    return st ? st->fccHandler : 0;
}

uint32_t TIOMovieReader::Compression() const
{
    return FInputFormat.size() >= 40 ? FormatCompression(FInputFormat) : 0;
}

int32_t TIOMovieReader::Quality() const
{
    const AVISTREAMINFO *st = SelectedInfo();
    return st ? int32_t(st->dwQuality) : 0;
}

uint32_t TIOMovieReader::MaxBufferSize() const
{
    const AVISTREAMINFO *st = SelectedInfo();
    return st ? st->dwSuggestedBufferSize : 0;
}

uint32_t TIOMovieReader::MaxBytesPerSec() const
{
    uint32_t m = 0;
    for (int k = 0; k < SegmentCount(); ++k)
        m = std::max(m, FSource->Segment(k).FileInfo().dwMaxBytesPerSec);
    return m;
}

std::unique_ptr<TIOImage> TIOMovieReader::NewFrameImage() const
{
    if (FOutputFormat.size() < 40)
        return nullptr;
    return TIOImage::CreateFromBitmapInfo(FOutputFormat.data(), FOutputFormat.size());
}

TSourceDescription TIOMovieReader::Description() const
{
    return FSource ? FSource->Description() : TSourceDescription{"WrdSrcNone", ""};
}

} // namespace tessaly
