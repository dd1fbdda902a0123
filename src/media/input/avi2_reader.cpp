// TAvi2Reader, part 1: opening, closing and the RIFF chunk walk with its placement
// rules. Every size and offset taken from the file is checked against the file size
// and the enclosing chunk before it is used.
#include "media/input/avi2_reader.h"
#include "media/input/wave_format.h"

#include "media/common/byte_order.h"
#include "media/input/avi2_riff.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tessaly {

using namespace avi2;

namespace {

const std::string PathAvi = "RIFFAVI ";
const std::string PathHdrl = "RIFFAVI LISThdrl";
const std::string PathStrl = "RIFFAVI LISThdrlLISTstrl";
const std::string PathOdml = "RIFFAVI LISThdrlLISTodml";
const std::string PathWave = "RIFFWAVE";

// Lists nest at most RIFF / hdrl / strl (or odml) in a proper file; deeper nesting
// is refused so that a hostile file cannot drive the walk into a deep recursion.
constexpr int MaxListDepth = 8;

} // namespace

struct TAvi2Reader::TParseState {
    std::string Path;
    bool TopLevel = false;
    int Depth = 0;
};

TAvi2Reader::TAvi2Reader() = default;

TAvi2Reader::~TAvi2Reader() { Close(); }

int32_t TAvi2Reader::Open(const std::string &fileName)
{
    Close();
    if (!FFile.Open(fileName, TFile64::fmRead))
        return AVIERR_FILEOPEN;
    FReadFailed = false;
    int32_t result;
    try {
        result = Parse();
    } catch (const std::bad_alloc &) {
        result = AVIERR_MEMORY;
    }
    if (result != 0) {
        TMediaProblem problem = std::move(FProblem);
        Close();
        FProblem = std::move(problem);   // kept to say why the file was refused
    }
    return result;
}

void TAvi2Reader::Close()
{
    FFile.Close();
    FReadFailed = FMemoryFailed = FValidCache = FOpenDmlCache = false;
    FProblem = {};
    FFileKind = fkNone;
    FRiffCount = 0;
    FCurrentStream = -1;
    FErrorCount = 0;
    FEntryBudget = 0;
    std::memset(FMainHeader, 0, sizeof FMainHeader);
    FHasAvih = false;
    std::vector<uint8_t>().swap(FIdx1);
    FMoviBase = FIdx1Base = 0;
    std::vector<uint8_t>().swap(FDmlh);
    std::vector<TAvi2ChunkRef>().swap(FFileChunks);
    FVideoStreams.clear();
    FAudioStreams.clear();
    std::vector<TAvi2StreamRec>().swap(FStreams);
    FFileInfo = {};
}

bool TAvi2Reader::ReadBlock(int64_t position, void *buffer, size_t count)
{
    if ((FFile.Position() != position && !FFile.SeekTo(position)) || !FFile.Read(buffer, count) ||
        FFile.Position() != position + int64_t(count)) {
        FReadFailed = true;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- chunk walk

int32_t TAvi2Reader::Parse()
{
    if (!FFile.Rewind())
        return AVIERR_FILEREAD;
    // Every index entry stands for a chunk of at least 8 bytes in the file; more
    // entries than that can only come from an index that points at chunks twice.
    FEntryBudget = FFile.Size() / 8 + 1;
    TParseState ps;
    ps.TopLevel = true;
    int64_t pos = 0;
    for (;;) {
        int64_t n = ReadChunk(ps, pos, FFile.Size());
        if (n < 8)
            break;
        pos += n;
    }
    ps.TopLevel = false;
    if (FReadFailed)
        return AVIERR_FILEREAD;
    if (FMemoryFailed)
        return AVIERR_MEMORY;
    if (FErrorCount > 0)
        return AVIERR_BADFORMAT;
    if (FFileKind == fkAvi)
        return FinishAvi();
    if (FFileKind == fkWave)
        return FinishWave();
    return AVIERR_BADFORMAT;
}

int64_t TAvi2Reader::ReadChunk(TParseState &ps, int64_t pos, int64_t end)
{
    uint8_t head[8];
    if (pos + 8 > FFile.Size() || pos + 8 > end)
        return 0;
    if (!ReadBlock(pos, head, 8))
        return 0;
    uint32_t id = GetLE32(head);
    uint32_t size = GetLE32(head + 4);
    if (ps.TopLevel && ps.Path.empty() && id != ckRIFF)
        return 0; // bytes after the last RIFF block
    int64_t dataPos = pos + 8;
    if (dataPos + int64_t(size) > FFile.Size() || dataPos + int64_t(size) > end) {
        ++FErrorCount;
        return 0;
    }
    if (!HandleChunk(ps, id, dataPos, size)) {
        ++FErrorCount;
        return 0;
    }
    if (FReadFailed)
        return 0;
    return int64_t(size) + (size & 1) + 8;
}

bool TAvi2Reader::ReadSubChunks(TParseState &ps, int64_t start, int64_t end, const std::string &pathAdd)
{
    if (ps.Depth >= MaxListDepth)
        return false;
    std::string saved = ps.Path;
    ps.Path += pathAdd;
    ++ps.Depth;
    int64_t pos = start;
    while (end - pos > 7) {
        int64_t n = ReadChunk(ps, pos, end);
        if (n < 8)
            break;
        pos += n;
    }
    --ps.Depth;
    ps.Path = saved;
    return true;
}

bool TAvi2Reader::HandleChunk(TParseState &ps, uint32_t id, int64_t dataPos, uint32_t size)
{
    switch (id) {
    case ckRIFF: return HandleRiff(ps, dataPos, size);
    case ckLIST: return HandleList(ps, dataPos, size);
    case ckAvih: return FFileKind != fkAvi || HandleAvih(ps, dataPos, size);
    case ckStrh: return FFileKind != fkAvi || HandleStrh(ps, dataPos, size);
    case ckStrf: return FFileKind != fkAvi || HandleStrf(ps, dataPos, size);
    case ckIdx1: return FFileKind != fkAvi || OpenDmlComplete() || HandleIdx1(ps, dataPos, size);
    case ckDmlh: return FFileKind != fkAvi || HandleDmlh(ps, dataPos, size);
    case ckIndx: return FFileKind != fkAvi || HandleIndx(ps, dataPos, size);
    case ckFmt:
        if (FFileKind == fkWave)
            return HandleFmt(ps, dataPos, size);
        break;
    case ckData:
        if (FFileKind == fkWave)
            return size == 0 || HandleData(ps, dataPos, size);
        break;
    default: break;
    }
    return HandleOther(ps, id, dataPos, size);
}

bool TAvi2Reader::HandleRiff(TParseState &ps, int64_t dataPos, uint32_t size)
{
    uint8_t form[4];
    if (size < 4 || !ReadBlock(dataPos, form, 4))
        return false;
    uint32_t type = GetLE32(form);
    if (FFileKind == fkNone) {
        if (type == ckAVI)
            FFileKind = fkAvi;
        else if (type == ckWAVE)
            FFileKind = fkWave;
        else
            return false;
    }
    ++FRiffCount;
    if (FFileKind == fkAvi) {
        if (type != (FRiffCount == 1 ? ckAVI : ckAVIX))
            return false;
    } else if (FRiffCount != 1 || type != ckWAVE) {
        return false;
    }
    if (type == ckAVIX)
        return true; // passed over whole: its contents are reached through the indexes
    return ReadSubChunks(ps, dataPos + 4, dataPos + int64_t(size), "RIFF" + FourCCText(type));
}

bool TAvi2Reader::HandleList(TParseState &ps, int64_t dataPos, uint32_t size)
{
    if (FFileKind == fkWave)
        return true;
    uint8_t t[4];
    if (size < 4 || !ReadBlock(dataPos, t, 4))
        return false;
    uint32_t type = GetLE32(t);
    if (type == ckHdrl || type == ckStrl || type == ckOdml) {
        std::string add = "LIST" + FourCCText(type);
        if (ps.Path + add == PathStrl && ++FCurrentStream >= MaxStreams)
            return false;
        return ReadSubChunks(ps, dataPos + 4, dataPos + int64_t(size), add);
    }
    if (type == ckMovi && FMoviBase == 0 && ps.Path == PathAvi)
        FMoviBase = dataPos + 4 + 4;
    return true;
}

bool TAvi2Reader::HandleAvih(TParseState &ps, int64_t dataPos, uint32_t size)
{
    if (size < 56 || FHasAvih || ps.Path != PathHdrl)
        return false;
    FFileChunks.push_back({ckAvih, dataPos, size});
    uint8_t h[56];
    if (!ReadBlock(dataPos, h, 56))
        return false;
    uint32_t streams = GetLE32(h + 24);
    if (streams < 1 || streams > uint32_t(MaxStreams) || GetLE32(h + 16) == 0 || GetLE32(h + 32) == 0 ||
        GetLE32(h + 36) == 0)
        return false;
    FStreams.assign(streams, TAvi2StreamRec());
    std::memcpy(FMainHeader, h, 56);
    FHasAvih = true;
    return true;
}

bool TAvi2Reader::HandleStrh(TParseState &ps, int64_t dataPos, uint32_t size)
{
    if (size < 56 || FCurrentStream < 0 || FCurrentStream >= int(FStreams.size()) || ps.Path != PathStrl)
        return false;
    TAvi2StreamRec &s = FStreams[size_t(FCurrentStream)];
    if (s.Header.fccType != 0)
        return false;
    s.Chunks.push_back({ckStrh, dataPos, size});
    uint8_t b[64];
    size_t n = std::min<uint32_t>(size, 64);
    if (!ReadBlock(dataPos, b, n))
        return false;
    TAvi2StreamHeader h;
    h.fccType = GetLE32(b);
    h.fccHandler = GetLE32(b + 4);
    h.dwFlags = GetLE32(b + 8);
    h.wPriority = GetLE16(b + 12);
    h.wLanguage = GetLE16(b + 14);
    h.dwInitialFrames = GetLE32(b + 16);
    h.dwScale = GetLE32(b + 20);
    h.dwRate = GetLE32(b + 24);
    h.dwStart = FStartAtZero ? 0 : GetLE32(b + 28);
    h.dwLength = GetLE32(b + 32);
    h.dwSuggestedBufferSize = GetLE32(b + 36);
    h.dwQuality = GetLE32(b + 40);
    h.dwSampleSize = GetLE32(b + 44);
    if (n >= 64 && GetLE16(b + 54) == 0) {
        h.rcLeft = int16_t(GetLE32(b + 48));
        h.rcTop = int16_t(GetLE32(b + 52));
        h.rcRight = int16_t(GetLE32(b + 56));
        h.rcBottom = int16_t(GetLE32(b + 60));
    } else {
        h.rcLeft = GetLE16s(b + 48);
        h.rcTop = GetLE16s(b + 50);
        h.rcRight = GetLE16s(b + 52);
        h.rcBottom = GetLE16s(b + 54);
    }
    s.Kind = h.fccType == streamtypeVIDEO ? skVideo : h.fccType == streamtypeAUDIO ? skAudio : skOther;
    if (h.dwScale > 0 && h.dwRate > 0 && h.dwLength > 0)
        s.Header = h;
    return true;
}

bool TAvi2Reader::HandleStrf(TParseState &ps, int64_t dataPos, uint32_t size)
{
    if (size == 0 || FCurrentStream < 0 || FCurrentStream >= int(FStreams.size()) || ps.Path != PathStrl)
        return false;
    TAvi2StreamRec &s = FStreams[size_t(FCurrentStream)];
    if (s.Header.fccType == 0 || !s.Format.empty())
        return false;
    s.Chunks.push_back({ckStrf, dataPos, size});
    if ((s.Kind == skVideo && size < 40) || (s.Kind == skAudio && size < 16))
        return false;
    std::vector<uint8_t> f(size);
    if (!ReadBlock(dataPos, f.data(), size))
        return false;
    if (s.Kind == skVideo) {
        // Uncompressed RGB may be stored top-down, which a negative height says.
        const int32_t height = GetLE32s(&f[8]);
        const uint32_t compression = GetLE32(&f[16]);
        const bool topDownOk = compression == BI_RGB || compression == BI_BITFIELDS;
        if (GetLE32(&f[0]) < 40 || GetLE32s(&f[4]) <= 0 || height == 0 || height == INT32_MIN ||
            (height < 0 && !topDownOk) || GetLE16(&f[12]) == 0 || GetLE16(&f[14]) == 0)
            return false;
    } else if (s.Kind == skAudio) {
        if (GetLE16(&f[2]) == 0 || GetLE32s(&f[4]) <= 0 || GetLE16(&f[12]) != s.Header.dwSampleSize)
            return false;
    }
    s.Format = std::move(f);
    return true;
}

bool TAvi2Reader::HandleIdx1(TParseState &ps, int64_t dataPos, uint32_t size)
{
    if (size < 16 || !FIdx1.empty() || ps.Path != PathAvi)
        return false;
    FIdx1.resize(size);
    return ReadBlock(dataPos, FIdx1.data(), size);
}

bool TAvi2Reader::HandleDmlh(TParseState &ps, int64_t dataPos, uint32_t size)
{
    if (size < 4 || !FDmlh.empty() || ps.Path != PathOdml)
        return false;
    FFileChunks.push_back({ckDmlh, dataPos, size});
    std::vector<uint8_t> d(size);
    if (!ReadBlock(dataPos, d.data(), size) || GetLE32(d.data()) == 0)
        return false;
    FDmlh = std::move(d);
    return true;
}

bool TAvi2Reader::HandleIndx(TParseState &ps, int64_t dataPos, uint32_t size)
{
    if (FCurrentStream < 0 || FCurrentStream >= int(FStreams.size()) || ps.Path != PathStrl)
        return false;
    TAvi2StreamRec &s = FStreams[size_t(FCurrentStream)];
    if (s.Header.fccType == 0 || s.HasIndx)
        return false;
    s.Chunks.push_back({ckIndx, dataPos, size});
    if (!ReadIndexChunk(ckIndx, dataPos, size, s.SuperIndex))
        return false;
    s.HasIndx = true;
    return true;
}

bool TAvi2Reader::ReadIndexChunk(uint32_t id, int64_t dataPos, uint32_t size, std::vector<uint8_t> &out)
{
    if (size < 24)
        return false;
    out.resize(24);
    if (!ReadBlock(dataPos, out.data(), 24))
        return false;
    TIndexHeader h = ParseIndexHeader(out);
    bool ok = (h.Type == 0 && h.LongsPerEntry == 4) || (h.Type == 1 && h.SubType == 0 && h.LongsPerEntry == 2) ||
              (h.Type == 1 && h.SubType == 1 && h.LongsPerEntry == 3);
    if (!ok || h.EntriesInUse < 0 || (h.Type == 0 && id != ckIndx))
        return false;
    uint64_t bytes = uint64_t(h.EntriesInUse) * h.LongsPerEntry * 4;
    if (bytes > size - 24u)
        return false;
    out.resize(24 + size_t(bytes));
    return ReadBlock(dataPos + 24, out.data() + 24, size_t(bytes));
}

bool TAvi2Reader::HandleFmt(TParseState &ps, int64_t dataPos, uint32_t size)
{
    if (size < 16 || !FStreams.empty() || ps.Path != PathWave)
        return false;
    FStreams.assign(1, TAvi2StreamRec());
    PutLE32(FMainHeader + 24, 1);
    FCurrentStream = 0;
    TAvi2StreamRec &s = FStreams[0];
    s.Kind = skAudio;
    s.Chunks.push_back({ckFmt, dataPos, size});
    s.Format.resize(size);
    if (!ReadBlock(dataPos, s.Format.data(), size)) {
        FStreams.clear();
        return false;
    }
    // A PCM header that contradicts itself would be read with a wrong sample size (noise).
    WAVEFORMATEX format{};
    uint32_t mask = 0;
    if (!ReadWaveFormat(s.Format.data(), s.Format.size(), format, mask) || !PcmHeaderConsistent(format, &FProblem)) {
        FStreams.clear();
        return false;
    }
    return true;
}

bool TAvi2Reader::HandleData(TParseState &ps, int64_t dataPos, uint32_t size)
{
    if (FStreams.size() != 1 || FCurrentStream != 0 || ps.Path != PathWave)
        return false;
    // A 'data' chunk of 2 GiB or more cannot be described by a 32-bit entry size.
    if (size > 0x7FFFFFFF || int64_t(FStreams[0].Entries.size()) >= FEntryBudget)
        return false;
    FStreams[0].Entries.push_back({dataPos, int32_t(size), 0, 0, 0});
    return true;
}

bool TAvi2Reader::HandleOther(TParseState &ps, uint32_t id, int64_t dataPos, uint32_t size)
{
    if (FFileKind == fkNone)
        return false;
    if (id == ckJunk || FFileKind == fkWave || size < 1)
        return true;
    if (ps.Path == PathHdrl)
        FFileChunks.push_back({id, dataPos, size});
    else if (ps.Path == PathStrl && FCurrentStream >= 0 && FCurrentStream < int(FStreams.size()))
        FStreams[size_t(FCurrentStream)].Chunks.push_back({id, dataPos, size});
    return true;
}

bool TAvi2Reader::OpenDmlComplete()
{
    if (FOpenDmlCache)
        return true;
    if (FFileKind != fkAvi || !FFile.IsOpen() || FStreams.empty() || FDmlh.size() < 4)
        return false;
    for (const TAvi2StreamRec &s : FStreams)
        if (!s.HasIndx)
            return false;
    FOpenDmlCache = true;
    return true;
}

} // namespace tessaly
