// TIOMovieReader: opening by kind, segment checks, stream selection and the source facts.
#include "media/input/io_movie_segment.h"

#include "media/common/byte_order.h"
#include "media/common/io_image_loader.h"
#include "platform/avisynth.h"
#include "platform/riff_check.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <cmath>
#include <sys/stat.h>

namespace tessaly {
namespace {

constexpr uint32_t kDibHandler = FourCC("DIB ");

int FormatBits(const std::vector<uint8_t> &f) { return f.size() >= 16 ? GetLE16(f.data() + 14) : 0; }
uint32_t FormatCompression(const std::vector<uint8_t> &f) { return f.size() >= 20 ? GetLE32(f.data() + 16) : 0; }

bool UncompressedDisplayable(const std::vector<uint8_t> &f)
{
    const int bits = FormatBits(f);
    return f.size() >= 40 && FormatCompression(f) == BI_RGB && GetLE16(f.data() + 12) == 1 &&
           (bits == 1 || bits == 4 || bits == 8 || bits == 24);
}

// The decoder's output header with its palette: what frames of this source look like.
std::vector<uint8_t> DecoderHeader(TFrameWalker &walker)
{
    const TFrameDecompressor &d = walker.Decompressor();
    return std::vector<uint8_t>(d.Output(), d.Output() + d.OutputHeaderSize());
}

} // namespace

std::string MovieStreamName(const std::string &fileName, const std::string &label)
{
    std::string base = fileName.substr(fileName.find_last_of('/') + 1);
    const size_t limit = label.size() < 61 ? 61 - label.size() : 0;
    if (base.size() > limit)
        base = base.substr(0, label.size() < 58 ? 58 - label.size() : 0) + "...";
    return base + " " + label;
}

void SetNameField(char (&field)[64], const std::string &text)
{
    std::fill(std::begin(field), std::end(field), '\0');
    std::copy_n(text.begin(), std::min<size_t>(text.size(), 63), field);
}

TIOMovieReader::TIOMovieReader() = default;
TIOMovieReader::~TIOMovieReader() { Close(); }

void TIOMovieReader::Close()
{
    // Decoder instances first, then the files they read.
    for (auto &seg : FSegments)
        seg->Streams.clear();
    FSegments.clear();
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
    FStoredPicture.reset();
}

bool TIOMovieReader::IsOpen() const { return FOk && !FSegments.empty() && FSelected >= 0; }

bool TIOMovieReader::Fail(TMediaError code)
{
    FStatus = code;
    return false;
}

std::string TIOMovieReader::KindString() const
{
    if (FSegments.empty())
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
    const uint32_t mask = withAudio ? 3u : 1u;
    // Detection: the own reader for AVI, still images by their extension, FFmpeg for any
    // other container with a video stream, and for what FFmpeg cannot read the first
    // video plug-in claiming the extension, else direct media-framework access.
    bool detected = false;
    if (kind == ksAuto) {
        const std::string ext = UpperExtension(files[0]);
        if (ext == ".AVI") {
            kind = ksOdml;
        } else if (ext == ".AVS" && AviSynthPresent() && accessLevel < 2) {
            kind = ksMsvw;
        } else if (IsImageFileName(files[0]) && accessLevel < 2) {
            kind = ksStil;
        } else if (accessLevel < 2) {
            kind = ksLavf;
            detected = true;
        } else {
            param = FindPlugin(fileList, 1u, accessLevel);
            kind = param >= 0 ? ksVfap : ksNone;
        }
    }
    if (kind == ksNone || kind == ksAuto || kind == ksDumy) {
        FOk = false;
        return Fail(meFileFormat);
    }
    bool ok = OpenKind(files, kind, param, withAudio, prefer24, accessLevel, allowFallback);
    if (!ok && detected) {
        param = FindPlugin(fileList, 1u, accessLevel);
        if (param >= 0)
            ok = OpenKind(files, ksVfap, param, withAudio, prefer24, accessLevel, allowFallback);
        else if (DirectVideoAvailable())
            ok = OpenKind(files, ksMsds, -1, withAudio, prefer24, accessLevel, allowFallback);
    }
    // Fallbacks while nothing is open: the system layer for AVI files the own reader
    // rejects, then every plug-in that claims the file.
    if (!ok && kind == ksOdml)
        ok = OpenKind(files, ksMsvw, -1, withAudio, prefer24, accessLevel, false);
    if (!ok && allowFallback && (kind == ksMsvw || kind == ksOdml))
        for (int i = 0; i < PluginCount() && !ok; ++i)
            if (PluginClaimsFile(i, fileList, mask, accessLevel))
                ok = OpenKind(files, ksVfap, i, withAudio, prefer24, accessLevel, false);
    if (!ok && allowFallback && (kind == ksMsvw || kind == ksOdml) && DirectVideoAvailable())
        ok = OpenKind(files, ksMsds, -1, withAudio, prefer24, accessLevel, false);
    if (ok) {
        // A fallback that opened the file leaves no failure behind.
        FFileList = fileList;
        FStatus = meOk;
    }
    return ok;
}

bool TIOMovieReader::OpenKind(const std::vector<std::string> &files, TSourceKind kind, int param, bool withAudio,
                              bool prefer24, int accessLevel, bool allowFallback)
{
    Close();
    FOk = true;
    FKind = kind;
    bool ok = true;
    if (kind == ksStil) {
        auto seg = std::make_unique<TSegment>();
        ok = OpenStill(files, *seg);
        FSegments.push_back(std::move(seg));
    } else {
        for (const std::string &file : files) {
            auto seg = std::make_unique<TSegment>();
            seg->FileName = file;
            switch (kind) {
            case ksMsvw: ok = OpenMsvw(file, *seg); break;
            case ksOdml: ok = OpenOdml(file, *seg); break;
            case ksVfap: ok = OpenVfap(file, param, allowFallback, withAudio, accessLevel, *seg); break;
            case ksLavf: ok = OpenLavf(file, *seg); break;
            default: ok = Fail(meFileHandler); break; // MSDS: no media-framework access is bound
            }
            if (ok && FSegments.empty())
                FStreamCount = int(seg->Streams.size());
            else if (ok && int(seg->Streams.size()) != FStreamCount)
                ok = Fail(meSegment);
            FSegments.push_back(std::move(seg));
            if (!ok)
                break;
        }
    }
    if (ok)
        FStreamCount = int(FSegments[0]->Streams.size());
    ok = ok && CheckSegments(withAudio) && SelectVideoStream(0, prefer24);
    if (ok && !EnsureRaw(MaxBufferSize()))
        ok = Fail(meMemory);
    if (!ok) {
        Close();
        FOk = false;
    }
    return ok;
}

bool TIOMovieReader::OpenMsvw(const std::string &file, TSegment &seg)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return Fail(meFileNotFound);
    // No 2 GB limit: FFmpeg's demuxers read files of any size.
    if (st.st_size <= 0)
        return Fail(meFileSize);
    seg.Msvw = std::make_unique<TAviFile>();
    const int32_t r = seg.Msvw->Open(file);
    if (r != AVIERR_OK)
        return Fail(MediaErrorFromAviErr(r));
    seg.Msvw->GetFileInfo(seg.FileInfo);
    const int count = seg.Msvw->StreamCount();
    if (count < 1)
        return Fail(meFileFormat);
    for (int s = 0; s < count; ++s) {
        TStream stream;
        if (seg.Msvw->GetStreamInfo(s, stream.Info) != AVIERR_OK)
            return Fail(meStreamFormat);
        stream.Start = seg.Msvw->StreamStart(s);
        if (stream.Start < 0)
            return Fail(meStreamFormat);
        int32_t size = 0;
        if (seg.Msvw->ReadFormat(s, size, nullptr) == AVIERR_OK && size > 0) {
            stream.Format.resize(size_t(size));
            if (seg.Msvw->ReadFormat(s, size, stream.Format.data()) != AVIERR_OK)
                return Fail(meStreamFormat);
        }
        seg.Streams.push_back(std::move(stream));
    }
    return true;
}

bool TIOMovieReader::OpenOdml(const std::string &file, TSegment &seg)
{
    seg.Odml = std::make_unique<TAvi2Decoder>();
    const int32_t r = seg.Odml->Open(file);
    if (r != AVIERR_OK)
        return Fail(MediaErrorFromAviErr(r));
    seg.Odml->GetFileInfo(seg.FileInfo);
    const int count = seg.Odml->StreamCount();
    for (int s = 0; s < count; ++s) {
        TStream stream;
        seg.Odml->GetStreamInfo(s, stream.Info);
        stream.Start = int32_t(stream.Info.dwStart);
        if (stream.Start < 0)
            return Fail(meStreamFormat);
        int32_t size = 0;
        if (seg.Odml->ReadFormat(s, size, nullptr) == AVIERR_OK && size > 0) {
            stream.Format.resize(size_t(size));
            if (seg.Odml->ReadFormat(s, size, stream.Format.data()) != AVIERR_OK)
                return Fail(meStreamFormat);
        }
        seg.Streams.push_back(std::move(stream));
    }
    return true;
}

bool TIOMovieReader::OpenStill(const std::vector<std::string> &files, TSegment &seg)
{
    seg.FileName = files[0];
    auto source = std::make_unique<TStillVideoSource>();
    if (!source->Open(files))
        return Fail(source->Status());
    TStream stream;
    AVISTREAMINFO &info = stream.Info;
    info.fccType = streamtypeVIDEO;
    info.fccHandler = kDibHandler;
    info.dwScale = 1;
    info.dwRate = 1;
    info.dwLength = uint32_t(source->FrameCount());
    info.dwSuggestedBufferSize = source->ImageSize();
    info.dwSampleSize = source->ImageSize();
    info.dwQuality = 0xFFFFFFFFu;
    info.rcFrame = TESSALY_RECT{0, 0, int32_t(source->Width()), int32_t(source->Height())};
    SetNameField(info.szName, MovieStreamName(files[0], "Video #1"));
    stream.Format = source->Format();
    seg.Streams.push_back(std::move(stream));
    seg.Source = std::move(source);
    FStreamCount = 1;
    return true;
}

bool TIOMovieReader::OpenLavf(const std::string &file, TSegment &seg)
{
    auto owned = std::make_unique<TLavfVideoSource>();
    TLavfVideoSource &source = *owned;
    seg.Lavf = owned.get();
    seg.Source = std::move(owned);
    if (!source.Open(file))
        return Fail(source.Status());
    // The stream as the front-end sees it: decoded 24-bit pictures on the source's frame
    // grid; the stored packets stay with the source.
    TIOImage picture(source.Width(), source.Height(), pf24Bit);
    TStream stream;
    AVISTREAMINFO &info = stream.Info;
    info.fccType = streamtypeVIDEO;
    const AVCodecParameters *par = source.CodecParameters();
    info.fccHandler = par ? LavfCodecTag(par) : 0;
    info.dwScale = uint32_t(source.Scale());
    info.dwRate = uint32_t(source.Rate());
    info.dwLength = uint32_t(source.FrameCount());
    info.dwSuggestedBufferSize = std::max(source.MaxPacketSize(), picture.ImageSize());
    info.dwQuality = 0xFFFFFFFFu;
    info.rcFrame = TESSALY_RECT{0, 0, int32_t(source.Width()), int32_t(source.Height())};
    SetNameField(info.szName, MovieStreamName(file, "Video #1"));
    stream.Format = picture.BitmapInfo();
    seg.Streams.push_back(std::move(stream));
    return true;
}

const TLavfVideoSource *TIOMovieReader::LavfVideo(int segment) const
{
    if (segment < 0 || segment >= SegmentCount())
        return nullptr;
    return FSegments[size_t(segment)]->Lavf;
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
    auto seg = std::make_unique<TSegment>();
    seg->FileName = FFileList;
    TStream stream;
    AVISTREAMINFO &info = stream.Info;
    info.fccType = streamtypeVIDEO;
    info.fccHandler = kDibHandler;
    info.dwScale = uint32_t(scale);
    info.dwRate = uint32_t(rate);
    info.dwLength = uint32_t(length);
    info.dwSuggestedBufferSize = source->ImageSize();
    info.dwSampleSize = source->ImageSize();
    info.dwQuality = 0xFFFFFFFFu;
    info.rcFrame = TESSALY_RECT{0, 0, int32_t(width), int32_t(height)};
    SetNameField(info.szName, MovieStreamName(FFileList, "Video #1"));
    stream.Format = source->Format();
    seg->Streams.push_back(std::move(stream));
    seg->Source = std::move(source);
    FSegments.push_back(std::move(seg));
    FStreamCount = 1;
    if (!CheckSegments(false) || !SelectVideoStream(0, true) || !EnsureRaw(MaxBufferSize())) {
        const TMediaError status = FStatus == meOk ? meMemory : FStatus;
        Close();
        FOk = false;
        return Fail(status);
    }
    return true;
}

bool TIOMovieReader::CheckSegments(bool withAudio)
{
    if (FStreamCount <= 0)
        return Fail(meNoVideoStream);
    size_t videos0 = 0, audios0 = 0;
    for (size_t k = 0; k < FSegments.size(); ++k) {
        size_t videos = 0, audios = 0;
        for (const TStream &s : FSegments[k]->Streams) {
            videos += s.Info.fccType == streamtypeVIDEO;
            audios += s.Info.fccType == streamtypeAUDIO;
        }
        if (videos == 0)
            return Fail(meNoVideoStream);
        if (k == 0) {
            videos0 = videos;
            audios0 = audios;
        } else if (videos != videos0 || (withAudio && audios != audios0)) {
            return Fail(meSegment);
        }
    }
    const TSegment &first = *FSegments[0];
    for (int s = 0; s < FStreamCount; ++s) {
        const TStream &st = first.Streams[size_t(s)];
        if (st.Info.fccType == streamtypeVIDEO) {
            if (st.Format.size() <= 23)
                return Fail(meStreamFormat);
            FVideoStreams.push_back(s);
        } else if (withAudio && st.Info.fccType == streamtypeAUDIO) {
            if (st.Format.size() <= 15)
                return Fail(meStreamFormat);
            FAudioStreams.push_back(s);
        }
    }
    for (size_t k = 1; k < FSegments.size(); ++k)
        for (int s : FVideoStreams)
            if (!SameVideoStream(first.Streams[size_t(s)], FSegments[k]->Streams[size_t(s)]))
                return Fail(meSegment);
    for (size_t k = 1; k < FSegments.size(); ++k)
        for (int s : FAudioStreams)
            if (!SameAudioStream(first.Streams[size_t(s)], FSegments[k]->Streams[size_t(s)]))
                return Fail(meSegment);
    // Global frame numbers run on from segment to segment.
    for (int s = 0; s < FStreamCount; ++s) {
        int32_t next = 0;
        for (auto &seg : FSegments) {
            TStream &st = seg->Streams[size_t(s)];
            st.First = next;
            st.Last = int32_t(std::min<int64_t>(int64_t(next) + st.Info.dwLength - 1, INT32_MAX - 1));
            next = st.Last + 1;
        }
    }
    return true;
}

bool TIOMovieReader::SameVideoStream(const TStream &a, const TStream &b)
{
    if (b.Info.fccType != streamtypeVIDEO || a.Format.size() != b.Format.size() || a.Format.size() < 24)
        return false;
    const auto rw = [](const AVISTREAMINFO &i) { return i.rcFrame.right - i.rcFrame.left; };
    const auto rh = [](const AVISTREAMINFO &i) { return i.rcFrame.bottom - i.rcFrame.top; };
    if (a.Info.fccHandler != b.Info.fccHandler || a.Info.dwScale != b.Info.dwScale ||
        a.Info.dwRate != b.Info.dwRate || rw(a.Info) != rw(b.Info) || rh(a.Info) != rh(b.Info))
        return false;
    // biWidth, biHeight, biPlanes, biBitCount and biCompression: bytes 4 to 19.
    return std::equal(a.Format.begin() + 4, a.Format.begin() + 20, b.Format.begin() + 4);
}

bool TIOMovieReader::SameAudioStream(const TStream &a, const TStream &b)
{
    if (b.Info.fccType != streamtypeAUDIO || a.Format.size() != b.Format.size() || a.Format.size() < 16)
        return false;
    if (a.Info.fccHandler != b.Info.fccHandler || a.Info.dwScale != b.Info.dwScale ||
        a.Info.dwRate != b.Info.dwRate || a.Info.dwSampleSize != b.Info.dwSampleSize)
        return false;
    // wFormatTag, nChannels, nSamplesPerSec (bytes 0 to 7) and nBlockAlign (12 to 13).
    return std::equal(a.Format.begin(), a.Format.begin() + 8, b.Format.begin()) &&
           std::equal(a.Format.begin() + 12, a.Format.begin() + 14, b.Format.begin() + 12);
}

int TIOMovieReader::VideoStreamNumber(int i) const
{
    return i >= 0 && i < VideoStreamCount() ? FVideoStreams[size_t(i)] : -1;
}

int TIOMovieReader::AudioStreamNumber(int i) const
{
    return i >= 0 && i < AudioStreamCount() ? FAudioStreams[size_t(i)] : -1;
}

void TIOMovieReader::CloseDecoders()
{
    for (auto &seg : FSegments)
        for (TStream &st : seg->Streams) {
            st.MsvwDecoder.reset();
            if (st.OdmlDecoder && seg->Odml)
                seg->Odml->GetFrameClose(st.OdmlDecoder);
            st.OdmlDecoder = nullptr;
        }
}

bool TIOMovieReader::SelectVideoStream(int i, bool prefer24)
{
    if (!FOk || FSegments.empty())
        return Fail(meState);
    if (i < 0 || i >= VideoStreamCount())
        return Fail(meParam);
    if (i == FSelected)
        return true;
    CloseDecoders();
    FSelected = -1;
    FInputFormat.clear();
    FOutputFormat.clear();
    FConvert = FIndeo = false;
    FFrameCount = 0;
    const int stream = FVideoStreams[size_t(i)];
    int64_t frames = 0;
    for (size_t k = 0; k < FSegments.size(); ++k) {
        if (!SelectSegment(k, stream, prefer24)) {
            CloseDecoders();
            FInputFormat.clear();
            FOutputFormat.clear();
            return false;
        }
        frames += FSegments[k]->Streams[size_t(stream)].Info.dwLength;
    }
    FSelected = i;
    FFrameCount = int32_t(std::min<int64_t>(frames, INT32_MAX));
    return true;
}

// Opens a decoder instance of the segment's stream delivering bits per pixel.
bool TIOMovieReader::OpenDecoder(TSegment &seg, int stream, int bits)
{
    TStream &st = seg.Streams[size_t(stream)];
    if (seg.Msvw) {
        st.MsvwDecoder = TAviFileFrameDecoder::Open(*seg.Msvw, stream, bits);
        return st.MsvwDecoder != nullptr;
    }
    if (seg.Odml) {
        BITMAPINFOHEADER wanted{};
        wanted.biSize = 40;
        wanted.biBitCount = uint16_t(bits);
        st.OdmlDecoder = seg.Odml->GetFrameOpen(stream, &wanted);
        return st.OdmlDecoder != nullptr;
    }
    return false;
}

std::vector<uint8_t> TIOMovieReader::DecoderOutput(TSegment &seg, int stream)
{
    TStream &st = seg.Streams[size_t(stream)];
    if (st.MsvwDecoder)
        return DecoderHeader(*st.MsvwDecoder);
    if (st.OdmlDecoder)
        return DecoderHeader(*st.OdmlDecoder);
    return {};
}

bool TIOMovieReader::SelectSegment(size_t k, int stream, bool prefer24)
{
    TSegment &seg = *FSegments[k];
    TStream &st = seg.Streams[size_t(stream)];
    switch (FKind) {
    case ksMsvw:
    case ksOdml: {
        if (k > 0) {
            if (!OpenDecoder(seg, stream, FormatBits(FOutputFormat)))
                return Fail(meFrameFormat);
            return true;
        }
        FInputFormat = st.Format;
        const int bits = FormatBits(FInputFormat);
        const uint32_t c = FormatCompression(FInputFormat);
        const auto up = [](uint32_t ch) { return ch >= 'a' && ch <= 'z' ? ch - 32 : ch; };
        FIndeo = FKind == ksOdml && bits == 24 && up(c & 0xFF) == 'I' && up((c >> 8) & 0xFF) == 'V';
        FConvert = !(bits == 1 || bits == 4 || bits == 8 || bits == 24);
        bool opened = false;
        if (FConvert && prefer24 && OpenDecoder(seg, stream, 24)) {
            FConvert = false;
            opened = true;
        }
        if (!opened)
            opened = OpenDecoder(seg, stream, bits);
        // Depths the pixel conversion cannot take (12-bit planar codes and the like)
        // are asked as 24 bits rather than refused.
        if (!opened && FConvert && bits != 16 && bits != 32 && OpenDecoder(seg, stream, 24)) {
            FConvert = false;
            opened = true;
        }
        if (!opened)
            return Fail(meFrameFormat);
        FOutputFormat = DecoderOutput(seg, stream);
        return true;
    }
    case ksVfap:
        return SelectVfapSegment(k, stream);
    default:
        if (k == 0) {
            if (!UncompressedDisplayable(st.Format))
                return Fail(meFrameFormat);
            FOutputFormat = st.Format;
        }
        FillDisplayInfo(seg, stream);
        return true;
    }
}

void TIOMovieReader::FillDisplayInfo(TSegment &seg, int stream)
{
    AVIFILEINFO &fi = seg.FileInfo;
    long double bytesPerSec = 0;
    uint32_t buffers = 0;
    for (const TStream &s : seg.Streams) {
        if (s.Info.dwScale != 0)
            bytesPerSec += (long double)s.Info.dwRate * s.Info.dwSampleSize / s.Info.dwScale;
        buffers += s.Info.dwSuggestedBufferSize;
    }
    fi.dwMaxBytesPerSec = uint32_t(std::nearbyint(std::min<long double>(bytesPerSec, UINT32_MAX)));
    fi.dwFlags = 0;
    fi.dwCaps = 0x11;
    fi.dwStreams = uint32_t(seg.Streams.size());
    fi.dwSuggestedBufferSize = buffers;
    const AVISTREAMINFO &v = seg.Streams[size_t(stream)].Info;
    fi.dwWidth = uint32_t(v.rcFrame.right - v.rcFrame.left);
    fi.dwHeight = uint32_t(v.rcFrame.bottom - v.rcFrame.top);
    fi.dwScale = v.dwScale;
    fi.dwRate = v.dwRate;
    fi.dwLength = v.dwLength;
    std::string label;
    switch (FKind) {
    case ksDumy: label = "Dummy clip"; break;
    case ksStil: label = v.dwLength > 1 ? "Image List" : "Still Image"; break;
    case ksMsds: label = "DirectShow"; break;
    case ksLavf: label = FSegments.empty() || !seg.Lavf ? "FFmpeg" : seg.Lavf->Facts().Container; break;
    default: label = "VFAPI (" + PluginInfoText(FPlugin) + ")"; break;
    }
    SetNameField(fi.szFileType, MovieStreamName(seg.FileName, label));
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

const TIOMovieReader::TStream *TIOMovieReader::Selected(size_t segment) const
{
    if (FSelected < 0 || segment >= FSegments.size())
        return nullptr;
    return &FSegments[segment]->Streams[size_t(FVideoStreams[size_t(FSelected)])];
}

AVISTREAMINFO TIOMovieReader::GetStreamInfo(int stream) const
{
    AVISTREAMINFO info{};
    if (FSegments.empty() || stream < 0 || stream >= FStreamCount)
        return info;
    info = FSegments[0]->Streams[size_t(stream)].Info;
    for (size_t k = 1; k < FSegments.size(); ++k) {
        const AVISTREAMINFO &o = FSegments[k]->Streams[size_t(stream)].Info;
        info.dwFlags |= o.dwFlags;
        info.dwCaps &= o.dwCaps;
        info.dwLength += o.dwLength;
        info.dwSuggestedBufferSize = std::max(info.dwSuggestedBufferSize, o.dwSuggestedBufferSize);
    }
    if (FSegments.size() > 1) {
        const char *word = info.fccType == streamtypeVIDEO   ? "Video"
                           : info.fccType == streamtypeAUDIO ? "Audio"
                           : info.fccType == streamtypeMIDI  ? "Midi"
                           : info.fccType == streamtypeTEXT  ? "Text"
                                                             : "(unknown)";
        SetNameField(info.szName, MovieStreamName(FSegments[0]->FileName,
                                                  std::string(word) + " #" + std::to_string(stream)));
    }
    return info;
}

AVISTREAMINFO TIOMovieReader::GetVideoStreamInfo(int i) const { return GetStreamInfo(VideoStreamNumber(i)); }

AVIFILEINFO TIOMovieReader::FileInfo(int segment) const
{
    if (segment < 0 || segment >= SegmentCount())
        return AVIFILEINFO{};
    return FSegments[size_t(segment)]->FileInfo;
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
    const TStream *st = Selected(0);
    return st && int32_t(st->Info.dwScale) > 0 ? int32_t(st->Info.dwScale) : 1;
}

int32_t TIOMovieReader::Rate() const
{
    const TStream *st = Selected(0);
    return st && int32_t(st->Info.dwRate) > 0 ? int32_t(st->Info.dwRate) : -1;
}

uint32_t TIOMovieReader::Handler() const
{
    const TStream *st = Selected(0);
    return st ? st->Info.fccHandler : 0;
}

uint32_t TIOMovieReader::Compression() const
{
    return FInputFormat.size() >= 40 ? FormatCompression(FInputFormat) : 0;
}

int32_t TIOMovieReader::Quality() const
{
    const TStream *st = Selected(0);
    return st ? int32_t(st->Info.dwQuality) : 0;
}

uint32_t TIOMovieReader::MaxBufferSize() const
{
    uint32_t m = 0;
    for (size_t k = 0; k < FSegments.size(); ++k)
        if (const TStream *st = Selected(k))
            m = std::max(m, st->Info.dwSuggestedBufferSize);
    return m;
}

uint32_t TIOMovieReader::MaxBytesPerSec() const
{
    uint32_t m = 0;
    for (const auto &seg : FSegments)
        m = std::max(m, seg->FileInfo.dwMaxBytesPerSec);
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
    if (FSegments.empty())
        return {"WrdSrcNone", ""};
    switch (FKind) {
    case ksDumy: return {"WrdSrcPhantom", ""};
    case ksMsvw: return {"WrdSrcVideo", "VfW"};
    case ksOdml: return {"WrdSrcVideo", UsesOpenDmlIndex() ? "OpenDML" : "VfW"};
    case ksStil: return {FFrameCount < 2 ? "WrdSrcStill" : "WrdSrcPictures", ""};
    case ksMsds: return {"WrdSrcVideo", "DirectShow"};
    case ksVfap: return {"WrdSrcPlugin", PluginInfoText(FPlugin)};
    case ksLavf: return {"WrdSrcVideo", FSegments[0]->Lavf ? FSegments[0]->Lavf->Facts().Container : "FFmpeg"};
    default: return {"WrdSrcUnknown", ""};
    }
}

// The own reader takes its index from the OpenDML indexes when the file has the
// extended header and every stream a super index (always so with several RIFF blocks).
bool TIOMovieReader::UsesOpenDmlIndex() const
{
    if (FSegments.empty() || !FSegments[0]->Odml)
        return false;
    TAvi2Decoder &r = *FSegments[0]->Odml;
    if (r.RiffCount() > 1)
        return true;
    int32_t size = 0;
    if (r.ReadFileData(FourCC("dmlh"), size, nullptr) != AVIERR_OK)
        return false;
    for (int s = 0; s < r.StreamCount(); ++s) {
        size = 0;
        if (r.ReadData(s, FourCC("indx"), size, nullptr) != AVIERR_OK)
            return false;
    }
    return true;
}

} // namespace tessaly
