// TAvi2Reader: the RIFF chunk walk, index building and sample access for AVI,
// OpenDML AVI and WAVE files. Every size and offset taken from the file is checked
// against the file size and the enclosing chunk before it is used.
#include "media/input/avi2_reader.h"

#include "media/common/byte_order.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tessaly {

namespace {

constexpr uint32_t ckRIFF = FourCC("RIFF"), ckLIST = FourCC("LIST"), ckAVI = FourCC("AVI "),
                   ckAVIX = FourCC("AVIX"), ckWAVE = FourCC("WAVE"), ckHdrl = FourCC("hdrl"),
                   ckStrl = FourCC("strl"), ckOdml = FourCC("odml"), ckMovi = FourCC("movi"),
                   ckAvih = FourCC("avih"), ckStrh = FourCC("strh"), ckStrf = FourCC("strf"),
                   ckIdx1 = FourCC("idx1"), ckDmlh = FourCC("dmlh"), ckIndx = FourCC("indx"),
                   ckFmt = FourCC("fmt "), ckData = FourCC("data"), ckJunk = FourCC("JUNK");

const std::string PathAvi = "RIFFAVI ";
const std::string PathHdrl = "RIFFAVI LISThdrl";
const std::string PathStrl = "RIFFAVI LISThdrlLISTstrl";
const std::string PathOdml = "RIFFAVI LISThdrlLISTodml";
const std::string PathWave = "RIFFWAVE";

// Lists nest at most RIFF / hdrl / strl (or odml) in a proper file; deeper nesting
// is refused so that a hostile file cannot drive the walk into a deep recursion.
constexpr int MaxListDepth = 8;

// Offsets inside the 24-byte OpenDML index header.
struct TIndexHeader {
    uint16_t LongsPerEntry;
    uint8_t SubType;
    uint8_t Type;
    int32_t EntriesInUse;
    uint32_t ChunkId;
    uint64_t BaseOffset;
};

TIndexHeader ParseIndexHeader(const std::vector<uint8_t> &b)
{
    TIndexHeader h;
    h.LongsPerEntry = GetLE16(&b[0]);
    h.SubType = b[2];
    h.Type = b[3];
    h.EntriesInUse = GetLE32s(&b[4]);
    h.ChunkId = GetLE32(&b[8]);
    h.BaseOffset = GetLE64(&b[12]);
    return h;
}

void SerializeStreamHeader(const TAvi2StreamHeader &h, uint8_t *p)
{
    std::memset(p, 0, 56);
    PutLE32(p + 0, h.fccType);
    PutLE32(p + 4, h.fccHandler);
    PutLE32(p + 8, h.dwFlags);
    PutLE16(p + 12, h.wPriority);
    PutLE16(p + 14, h.wLanguage);
    PutLE32(p + 16, h.dwInitialFrames);
    PutLE32(p + 20, h.dwScale);
    PutLE32(p + 24, h.dwRate);
    PutLE32(p + 28, h.dwStart);
    PutLE32(p + 32, h.dwLength);
    PutLE32(p + 36, h.dwSuggestedBufferSize);
    PutLE32(p + 40, h.dwQuality);
    PutLE32(p + 44, h.dwSampleSize);
    PutLE16(p + 48, uint16_t(h.rcLeft));
    PutLE16(p + 50, uint16_t(h.rcTop));
    PutLE16(p + 52, uint16_t(h.rcRight));
    PutLE16(p + 54, uint16_t(h.rcBottom));
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

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
    if (result != 0)
        Close();
    return result;
}

void TAvi2Reader::Close()
{
    FFile.Close();
    FReadFailed = FMemoryFailed = FValidCache = FOpenDmlCache = false;
    FFileKind = fkNone;
    FRiffCount = 0;
    FCurrentStream = -1;
    FErrorCount = 0;
    FEntryBudget = 0;
    std::memset(FMainHeader, 0, sizeof FMainHeader);
    FHasAvih = false;
    std::vector<uint8_t>().swap(FIdx1);
    FMoviBase = 0;
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
        if (GetLE32(&f[0]) < 40 || GetLE32s(&f[4]) <= 0 || GetLE32s(&f[8]) <= 0 || GetLE16(&f[12]) == 0 ||
            GetLE16(&f[14]) == 0)
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

// ---------------------------------------------------------------- index building

bool TAvi2Reader::AddEntry(TAvi2StreamRec &s, int64_t position, uint32_t size, uint32_t flags)
{
    // Every chunk must lie inside the file and fit a 32-bit size.
    if (size > 0x7FFFFFFF || position < 0 || position > FFile.Size() - int64_t(size))
        return false;
    if (--FEntryBudget < 0)
        return false;
    int32_t sampleSize = int32_t(s.Header.dwSampleSize);
    int32_t count = 1;
    if (sampleSize > 0) {
        if (size % uint32_t(sampleSize) != 0)
            return false;
        count = int32_t(size / uint32_t(sampleSize));
    }
    int64_t first = int64_t(s.Header.dwStart) + s.TotalSamples;
    if (first + count > INT32_MAX)
        return false; // sample numbers are 32-bit
    s.Entries.push_back({position, int32_t(size), int32_t(first), count, flags});
    s.TotalSamples += count;
    s.LargestChunk = std::max(s.LargestChunk, int32_t(size));
    s.FewestSamples = std::min(s.FewestSamples, count);
    s.MostSamples = std::max(s.MostSamples, count);
    return true;
}

bool TAvi2Reader::BuildFromOpenDml(int stream)
{
    TAvi2StreamRec &s = FStreams[size_t(stream)];
    if (s.SuperIndex.size() < 24)
        return false;
    TIndexHeader super = ParseIndexHeader(s.SuperIndex);
    std::vector<std::vector<uint8_t>> owned;
    std::vector<const std::vector<uint8_t> *> standard;
    if (super.Type == 0) {
        uint64_t duration = 0;
        int64_t listed = 0;
        for (int32_t i = 0; i < super.EntriesInUse; ++i) {
            const uint8_t *e = &s.SuperIndex[24 + size_t(i) * 16];
            uint64_t offset = GetLE64(e);
            duration += GetLE32(e + 12);
            uint8_t head[8];
            if (offset > uint64_t(FFile.Size()) || FFile.Size() - int64_t(offset) < 8)
                return false;
            if (!ReadBlock(int64_t(offset), head, 8))
                return false;
            uint32_t size = GetLE32(head + 4);
            if (head[0] != 'i' || head[1] != 'x' || !IsDigit(head[2]) || !IsDigit(head[3]) ||
                int64_t(size) > FFile.Size() - int64_t(offset) - 8)
                return false;
            owned.emplace_back();
            if (!ReadIndexChunk(GetLE32(head), int64_t(offset) + 8, size, owned.back()))
                return false;
            TIndexHeader h = ParseIndexHeader(owned.back());
            if (h.Type != 1 || h.ChunkId != super.ChunkId || h.SubType != super.SubType)
                return false;
            // Guard against a super index that names one standard index over and over.
            listed += h.EntriesInUse;
            if (listed > FEntryBudget)
                return false;
        }
        if (duration != s.Header.dwLength)
            return false;
        for (const auto &o : owned)
            standard.push_back(&o);
    } else if (super.Type == 1) {
        standard.push_back(&s.SuperIndex);
    } else {
        return false;
    }
    int64_t total = 0;
    for (const auto *ix : standard)
        total += ParseIndexHeader(*ix).EntriesInUse;
    if (total <= 0 || total > FEntryBudget)
        return false;
    s.ChunkId = ParseIndexHeader(*standard.front()).ChunkId;
    s.Entries.reserve(size_t(total));
    for (const auto *ix : standard) {
        TIndexHeader h = ParseIndexHeader(*ix);
        size_t step = size_t(h.LongsPerEntry) * 4;
        for (int32_t i = 0; i < h.EntriesInUse; ++i) {
            const uint8_t *e = ix->data() + 24 + size_t(i) * step;
            uint64_t position = h.BaseOffset + GetLE32(e);
            uint32_t size = GetLE32(e + 4);
            if (position < h.BaseOffset || position > uint64_t(INT64_MAX))
                return false;
            if (!AddEntry(s, int64_t(position), size & 0x7FFFFFFF, (size & 0x80000000u) ? 0 : AVIIF_KEYFRAME))
                return false;
        }
    }
    return true;
}

bool TAvi2Reader::BuildFromIdx1(int stream)
{
    TAvi2StreamRec &s = FStreams[size_t(stream)];
    if (FMoviBase <= 16)
        return false;
    const uint8_t tens = uint8_t('0' + stream / 10), units = uint8_t('0' + stream % 10);
    size_t count = FIdx1.size() / 16;
    size_t matching = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *e = &FIdx1[i * 16];
        if (e[0] == tens && e[1] == units)
            ++matching;
    }
    if (matching == 0)
        return false;
    s.Entries.reserve(matching);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *e = &FIdx1[i * 16];
        if (e[0] != tens || e[1] != units)
            continue;
        s.ChunkId = GetLE32(e);
        if (!AddEntry(s, FMoviBase + int64_t(GetLE32(e + 8)), GetLE32(e + 12), GetLE32(e + 4)))
            return false;
    }
    return true;
}

int32_t TAvi2Reader::FinishAvi()
{
    int errors = 0;
    if (FStreams.empty())
        ++errors;
    for (size_t i = 0; i < FStreams.size(); ++i) {
        const TAvi2StreamRec &s = FStreams[i];
        if (s.Header.fccType == 0 || s.Format.empty())
            ++errors;
        // Sample numbers are 32-bit signed: the stream must end below 2^31.
        else if (int64_t(s.Header.dwStart) + s.Header.dwLength > INT32_MAX)
            ++errors;
        if (s.Kind == skVideo)
            FVideoStreams.push_back(uint8_t(i));
        else if (s.Kind == skAudio)
            FAudioStreams.push_back(uint8_t(i));
    }
    if (FVideoStreams.size() + FAudioStreams.size() == 0)
        ++errors;
    bool openDml = OpenDmlComplete();
    if (FRiffCount > 1 && !openDml)
        ++errors;
    if (errors > 0)
        return AVIERR_BADFORMAT;
    bool built = true;
    for (size_t i = 0; i < FStreams.size() && built; ++i) {
        if (openDml)
            built = BuildFromOpenDml(int(i));
        else if (!FIdx1.empty())
            built = BuildFromIdx1(int(i));
        else
            built = false;
        if (built && FStreams[i].LargestChunk <= 0)
            built = false;
    }
    std::vector<uint8_t>().swap(FIdx1);
    for (TAvi2StreamRec &s : FStreams)
        std::vector<uint8_t>().swap(s.SuperIndex);
    for (TAvi2StreamRec &s : FStreams) {
        if (!built)
            break;
        if (s.Header.dwSampleSize == 0 && (int64_t(s.Entries.size()) < int64_t(s.Header.dwLength) ||
                                           s.FewestSamples != 1 || s.MostSamples != 1))
            built = false;
        bool anyKey = std::any_of(s.Entries.begin(), s.Entries.end(),
                                  [](const TAvi2IndexEntry &e) { return e.Flags & AVIIF_KEYFRAME; });
        if (!anyKey)
            for (TAvi2IndexEntry &e : s.Entries)
                e.Flags |= AVIIF_KEYFRAME;
    }
    if (built && IsValid())
        BuildDescriptions();
    if (FReadFailed)
        return AVIERR_FILEREAD;
    if (FMemoryFailed)
        return AVIERR_MEMORY;
    return built && FValidCache ? 0 : AVIERR_BADFORMAT;
}

int32_t TAvi2Reader::FinishWave()
{
    if (FErrorCount > 0 || FRiffCount != 1 || FStreams.size() != 1 || FStreams[0].Kind != skAudio ||
        GetLE32(FMainHeader + 24) != 1)
        return AVIERR_BADFORMAT;
    TAvi2StreamRec &s = FStreams[0];
    if (s.Header.fccType != 0 || s.Format.size() < 16 || s.Entries.empty())
        return AVIERR_BADFORMAT;
    const uint8_t *f = s.Format.data();
    uint16_t blockAlign = GetLE16(f + 12);
    uint32_t samplesPerSec = GetLE32(f + 4), avgBytesPerSec = GetLE32(f + 8);
    // A zero block size, sample rate or byte rate makes every position meaningless
    // (and would be a division by zero for every user of the stream header).
    if (blockAlign == 0 || samplesPerSec == 0 || avgBytesPerSec == 0 || GetLE16(f + 2) == 0)
        return AVIERR_BADFORMAT;
    FAudioStreams.assign(1, 0);
    PutLE32(FMainHeader + 4, samplesPerSec);
    PutLE32(FMainHeader + 28, samplesPerSec);
    s.ChunkId = FourCC("00wb");
    int64_t total = 0;
    for (TAvi2IndexEntry &e : s.Entries) {
        int32_t count = e.Size / blockAlign;
        if (total + count > INT32_MAX)
            return AVIERR_BADFORMAT;
        e.FirstSample = int32_t(total);
        e.SampleCount = count;
        total += count;
        s.LargestChunk = std::max(s.LargestChunk, e.Size);
        s.FewestSamples = std::min(s.FewestSamples, count);
        s.MostSamples = std::max(s.MostSamples, count);
    }
    s.TotalSamples = total;
    TAvi2StreamHeader &h = s.Header;
    h = TAvi2StreamHeader();
    h.fccType = streamtypeAUDIO;
    h.dwScale = blockAlign;
    h.dwRate = avgBytesPerSec;
    h.dwLength = uint32_t(total);
    h.dwSuggestedBufferSize = avgBytesPerSec;
    h.dwQuality = 0xFFFFFFFFu;
    h.dwSampleSize = blockAlign;
    if (!IsValid())
        return AVIERR_BADFORMAT;
    BuildDescriptions();
    return 0;
}

bool TAvi2Reader::IsValid()
{
    if (FValidCache)
        return true;
    if (!FFile.IsOpen() || FStreams.empty() || FVideoStreams.size() + FAudioStreams.size() == 0)
        return false;
    for (const TAvi2StreamRec &s : FStreams)
        if (s.Header.fccType == 0 || s.Format.empty() || s.Entries.empty() || s.ChunkId == 0 ||
            s.LargestChunk <= 0 || s.TotalSamples < int64_t(s.Header.dwLength))
            return false;
    if (FRiffCount > 1 && !OpenDmlComplete())
        return false;
    FValidCache = true;
    return true;
}

void TAvi2Reader::BuildDescriptions()
{
    const uint8_t *m = FMainHeader;
    AVIFILEINFO &fi = FFileInfo;
    fi = {};
    fi.dwMaxBytesPerSec = GetLE32(m + 4);
    fi.dwFlags = GetLE32(m + 12) & (AVIF_HASINDEX | AVIF_MUSTUSEINDEX | AVIF_ISINTERLEAVED |
                                     AVIF_WASCAPTUREFILE | AVIF_COPYRIGHTED);
    bool allKey = !FVideoStreams.empty();
    bool noCompression = true;
    for (const TAvi2StreamRec &s : FStreams) {
        if (s.Kind == skVideo) {
            for (const TAvi2IndexEntry &e : s.Entries)
                allKey = allKey && (e.Flags & AVIIF_KEYFRAME);
            noCompression = noCompression && GetLE32(&s.Format[16]) == 0;
        } else if (s.Kind == skAudio) {
            noCompression = noCompression && GetLE16(&s.Format[0]) == 1;
        }
    }
    fi.dwCaps = AVIFILECAPS_CANREAD | (allKey ? AVIFILECAPS_ALLKEYFRAMES : 0) |
                (noCompression ? AVIFILECAPS_NOCOMPRESSION : 0);
    fi.dwStreams = GetLE32(m + 24);
    fi.dwSuggestedBufferSize = GetLE32(m + 28);
    fi.dwWidth = GetLE32(m + 32);
    fi.dwHeight = GetLE32(m + 36);
    const TAvi2StreamRec &rateStream = FStreams[FVideoStreams.empty() ? 0 : FVideoStreams[0]];
    if (GetLE32(m) != 0) {
        fi.dwScale = GetLE32(m);
        fi.dwRate = 1000000;
    } else {
        fi.dwScale = rateStream.Header.dwScale;
        fi.dwRate = rateStream.Header.dwRate;
    }
    if (!FVideoStreams.empty())
        fi.dwLength = FDmlh.size() >= 4 ? GetLE32(FDmlh.data()) : GetLE32(m + 16);
    else
        fi.dwLength = FStreams[0].Header.dwLength;
    std::strncpy(fi.szFileType, "AVI File Handler Module", sizeof fi.szFileType - 1);

    std::string base = FFile.FileName();
    size_t slash = base.find_last_of('/');
    if (slash != std::string::npos)
        base.erase(0, slash + 1);
    if (base.size() > 51)
        base = base.substr(0, 48) + "...";
    int numbers[3] = {0, 0, 0};
    static const char *const kindNames[3] = {" Other #", " Video #", " Audio #"};
    for (TAvi2StreamRec &s : FStreams) {
        const TAvi2StreamHeader &h = s.Header;
        AVISTREAMINFO &si = s.Info;
        si = {};
        si.fccType = h.fccType;
        si.fccHandler = h.fccHandler;
        si.dwFlags = h.dwFlags & (AVISF_DISABLED | AVISF_VIDEO_PALCHANGES);
        si.wPriority = h.wPriority;
        si.wLanguage = h.wLanguage;
        si.dwScale = h.dwScale;
        si.dwRate = h.dwRate;
        si.dwStart = h.dwStart;
        si.dwLength = h.dwLength;
        si.dwInitialFrames = h.dwInitialFrames;
        si.dwSuggestedBufferSize = h.dwSuggestedBufferSize;
        si.dwQuality = h.dwQuality;
        si.dwSampleSize = h.dwSampleSize;
        si.rcFrame = {h.rcLeft, h.rcTop, h.rcRight, h.rcBottom};
        std::string name = base + kindNames[s.Kind] + std::to_string(++numbers[s.Kind]);
        std::strncpy(si.szName, name.c_str(), sizeof si.szName - 1);
    }
}

// ---------------------------------------------------------------- descriptions and chunks

void TAvi2Reader::GetFileInfo(AVIFILEINFO &info)
{
    info = IsValid() ? FFileInfo : AVIFILEINFO{};
}

void TAvi2Reader::GetStreamInfo(int stream, AVISTREAMINFO &info)
{
    const TAvi2StreamRec *s = StreamRecord(stream);
    info = s ? s->Info : AVISTREAMINFO{};
}

const TAvi2StreamRec *TAvi2Reader::StreamRecord(int stream)
{
    if (!IsValid() || stream < 0 || stream >= int(FStreams.size()))
        return nullptr;
    return &FStreams[size_t(stream)];
}

int TAvi2Reader::StreamCount() { return IsValid() ? int(FStreams.size()) : 0; }
int TAvi2Reader::VideoStreamCount() { return IsValid() ? int(FVideoStreams.size()) : 0; }
int TAvi2Reader::AudioStreamCount() { return IsValid() ? int(FAudioStreams.size()) : 0; }

int TAvi2Reader::VideoStream(int i)
{
    return i >= 0 && i < VideoStreamCount() ? FVideoStreams[size_t(i)] : -1;
}

int TAvi2Reader::AudioStream(int i)
{
    return i >= 0 && i < AudioStreamCount() ? FAudioStreams[size_t(i)] : -1;
}

TAvi2StreamKind TAvi2Reader::StreamKind(int stream)
{
    const TAvi2StreamRec *s = StreamRecord(stream);
    return s ? s->Kind : skOther;
}

int32_t TAvi2Reader::ReadFormat(int stream, int32_t &size, void *buffer)
{
    if (!IsValid())
        return AVIERR_BADHANDLE;
    const TAvi2StreamRec *s = StreamRecord(stream);
    if (!s)
        return AVIERR_BADPARAM;
    int32_t length = int32_t(s->Format.size());
    int32_t result = 0;
    if (buffer) {
        int32_t n = std::max(size, int32_t(0));
        if (n < length)
            result = AVIERR_BUFFERTOOSMALL;
        std::memcpy(buffer, s->Format.data(), size_t(std::min(n, length)));
    }
    size = length;
    return result;
}

// Copies a fixed record the AVIStreamReadData way: size cut to the record's length.
static int32_t CopyRecord(const uint8_t *record, int32_t length, int32_t &size, void *buffer)
{
    if (!buffer) {
        size = length;
        return 0;
    }
    size = std::clamp(size, int32_t(0), length);
    std::memcpy(buffer, record, size_t(size));
    return size == length ? 0 : AVIERR_BUFFERTOOSMALL;
}

int32_t TAvi2Reader::ChunkRead(const TAvi2ChunkRef *ref, int32_t &size, void *buffer)
{
    if (!ref)
        return AVIERR_NODATA;
    int32_t length = int32_t(std::min<uint32_t>(ref->Length, INT32_MAX));
    if (!buffer) {
        size = length;
        return 0;
    }
    int32_t wanted = std::max(size, int32_t(0));
    size = std::min(wanted, length);
    if (size > 0 && !ReadBlock(ref->Position, buffer, size_t(size)))
        return AVIERR_FILEREAD;
    return wanted >= length ? 0 : AVIERR_BUFFERTOOSMALL;
}

int32_t TAvi2Reader::ReadData(int stream, uint32_t chunkId, int32_t &size, void *buffer)
{
    if (!IsValid())
        return AVIERR_BADHANDLE;
    const TAvi2StreamRec *s = StreamRecord(stream);
    if (!s)
        return AVIERR_BADPARAM;
    if (chunkId == ckStrh) {
        uint8_t h[56];
        SerializeStreamHeader(s->Header, h);
        return CopyRecord(h, 56, size, buffer);
    }
    if (chunkId == ckStrf)
        return ReadFormat(stream, size, buffer);
    for (const TAvi2ChunkRef &ref : s->Chunks)
        if (ref.Id == chunkId)
            return ChunkRead(&ref, size, buffer);
    return AVIERR_NODATA;
}

int32_t TAvi2Reader::ReadFileData(uint32_t chunkId, int32_t &size, void *buffer)
{
    if (!IsValid())
        return AVIERR_BADHANDLE;
    if (chunkId == ckAvih)
        return CopyRecord(FMainHeader, 56, size, buffer);
    for (const TAvi2ChunkRef &ref : FFileChunks)
        if (ref.Id == chunkId)
            return ChunkRead(&ref, size, buffer);
    return AVIERR_NODATA;
}

// ---------------------------------------------------------------- sample access

int32_t TAvi2Reader::FindEntry(const TAvi2StreamRec &s, int32_t sample, int32_t guess) const
{
    const auto &e = s.Entries;
    int32_t n = int32_t(e.size());
    int32_t i = std::clamp(guess, int32_t(0), n - 1);
    // A good guess is a few steps away; a stream with very uneven chunks falls back
    // to a binary search, which finds the same (only) entry holding the sample.
    for (int steps = 0; steps < 64; ++steps) {
        if (sample < e[size_t(i)].FirstSample) {
            if (i == 0)
                return -1;
            --i;
        } else if (sample - e[size_t(i)].FirstSample < e[size_t(i)].SampleCount) {
            return i;
        } else {
            if (i == n - 1)
                return -1;
            ++i;
        }
    }
    auto it = std::upper_bound(e.begin(), e.end(), sample,
                               [](int32_t v, const TAvi2IndexEntry &x) { return v < x.FirstSample; });
    if (it == e.begin())
        return -1;
    --it;
    if (sample - it->FirstSample >= it->SampleCount)
        return -1;
    return int32_t(it - e.begin());
}

bool TAvi2Reader::LocateSample(int stream, int32_t sample, TAvi2SamplePos &pos)
{
    const TAvi2StreamRec *s = StreamRecord(stream);
    if (!s)
        return false;
    int64_t offset = int64_t(sample) - s->Header.dwStart;
    if (offset < 0 || offset >= int64_t(s->Header.dwLength))
        return false;
    int32_t guess;
    if (s->Header.dwSampleSize == 0)
        guess = int32_t(offset);
    else
        guess = int32_t(std::min<long double>(
            (long double)offset / (long double)s->Header.dwLength * (long double)s->Entries.size(),
            (long double)INT32_MAX));
    int32_t i = FindEntry(*s, sample, guess);
    if (i < 0)
        return false;
    const TAvi2IndexEntry &e = s->Entries[size_t(i)];
    int64_t sampleSize = s->Header.dwSampleSize;
    pos.Stream = stream;
    pos.Sample = sample;
    pos.Entry = i;
    pos.OffsetInChunk = sample - e.FirstSample;
    pos.FilePos = e.Position + pos.OffsetInChunk * sampleSize;
    pos.SamplesLeft = e.SampleCount - pos.OffsetInChunk;
    pos.BytesLeft = int32_t(e.Size - pos.OffsetInChunk * sampleSize);
    pos.Flags = e.Flags;
    return true;
}

bool TAvi2Reader::NextChunk(TAvi2SamplePos &pos)
{
    const TAvi2StreamRec *s = StreamRecord(pos.Stream);
    if (!s || pos.Entry < 0 || size_t(pos.Entry) + 1 >= s->Entries.size())
        return false;
    const TAvi2IndexEntry &e = s->Entries[size_t(++pos.Entry)];
    pos.Sample = e.FirstSample;
    pos.OffsetInChunk = 0;
    pos.FilePos = e.Position;
    pos.SamplesLeft = e.SampleCount;
    pos.BytesLeft = e.Size;
    pos.Flags = e.Flags;
    return true;
}

int32_t TAvi2Reader::Read(int stream, int32_t start, int32_t count, void *buffer, int32_t bufferSize,
                          int32_t *bytesRead, int32_t *samplesRead)
{
    int64_t bytes = 0, samples = 0;
    auto report = [&](int32_t result) {
        if (bytesRead)
            *bytesRead = int32_t(std::min<int64_t>(bytes, INT32_MAX));
        if (samplesRead)
            *samplesRead = int32_t(samples);
        return result;
    };
    TAvi2SamplePos pos;
    if (!LocateSample(stream, start, pos))
        return report(AVIERR_BADHANDLE);
    if (count == -1)
        count = 1;
    else if (count <= 0)
        return report(AVIERR_BADHANDLE);
    const TAvi2StreamRec &s = FStreams[size_t(stream)];
    int64_t wanted = std::min<int64_t>(count, int64_t(s.Header.dwStart) + s.Header.dwLength - start);
    int64_t room = std::max(bufferSize, int32_t(0));
    auto *out = static_cast<uint8_t *>(buffer);
    int64_t sampleSize = s.Header.dwSampleSize;
    if (sampleSize == 0) {
        for (;;) {
            if (out && pos.BytesLeft > 0) {
                if (pos.BytesLeft > room - bytes)
                    break;
                if (!ReadBlock(pos.FilePos, out + bytes, size_t(pos.BytesLeft)))
                    return report(AVIERR_FILEREAD);
            }
            bytes += pos.BytesLeft;
            ++samples;
            if (samples >= wanted || !NextChunk(pos))
                break;
        }
    } else if (out) {
        for (;;) {
            int64_t n = std::min<int64_t>(pos.SamplesLeft, wanted - samples);
            bool cut = false;
            if (n * sampleSize > room - bytes) {
                n = (room - bytes) / sampleSize;
                cut = true;
            }
            if (n > 0) {
                if (!ReadBlock(pos.FilePos, out + bytes, size_t(n * sampleSize)))
                    return report(AVIERR_FILEREAD);
                bytes += n * sampleSize;
                samples += n;
            }
            if (cut || samples >= wanted || !NextChunk(pos))
                break;
        }
    } else {
        samples = wanted;
        bytes = wanted * sampleSize;
    }
    // Only samples copied into a buffer count as delivered: a size query reports the
    // totals together with AVIERR_BUFFERTOOSMALL.
    return report(samples == 0 || !out ? AVIERR_BUFFERTOOSMALL : 0);
}

int32_t TAvi2Reader::FindSample(int stream, int32_t position, uint32_t flags)
{
    uint32_t dir = (flags & FIND_FROM_START) ? (flags & 0x0E) : (flags & 0x0F);
    uint32_t type = flags & 0xF0, ret = flags & 0xF000;
    if ((dir != FIND_NEXT && dir != FIND_PREV && dir != FIND_FROM_START) ||
        (type != FIND_KEY && type != FIND_ANY) ||
        (ret != FIND_POS && ret != FIND_LENGTH && ret != FIND_OFFSET && ret != FIND_SIZE && ret != FIND_INDEX))
        return -1;
    const TAvi2StreamRec *s = StreamRecord(stream);
    if (!s || s->Header.dwLength == 0 || s->Entries.empty())
        return -1;
    int64_t first = s->Header.dwStart, last = first + int64_t(s->Header.dwLength) - 1;
    int64_t p = position;
    if (dir == FIND_FROM_START) {
        p = first;
        dir = FIND_NEXT;
    }
    if (p < first) {
        if (dir != FIND_NEXT)
            return -1;
        p = first;
    }
    if (p > last) {
        if (dir != FIND_PREV)
            return -1;
        p = last;
    }
    TAvi2SamplePos pos;
    if (s->Header.dwSampleSize == 0) {
        // One sample per chunk: walk the entries from the position.
        if (!LocateSample(stream, int32_t(p), pos))
            return -1;
        int32_t i = pos.Entry;
        const int32_t step = dir == FIND_NEXT ? 1 : -1;
        for (;; i += step) {
            if (i < 0 || size_t(i) >= s->Entries.size())
                return -1;
            const TAvi2IndexEntry &e = s->Entries[size_t(i)];
            if (e.FirstSample < first || e.FirstSample > last)
                return -1;
            if (e.SampleCount > 0 && (type == FIND_ANY || (e.Flags & AVIIF_KEYFRAME)))
                break;
        }
        p = s->Entries[size_t(i)].FirstSample;
    }
    if (ret == FIND_POS)
        return int32_t(p);
    if (!LocateSample(stream, int32_t(p), pos) || pos.SamplesLeft <= 0)
        return -1;
    switch (ret) {
    case FIND_LENGTH: return pos.SamplesLeft;
    case FIND_SIZE: return pos.BytesLeft;
    case FIND_INDEX: return pos.Entry;
    default: return -1;
    }
}

bool TAvi2Reader::IsKeyFrame(int stream, int32_t sample)
{
    TAvi2SamplePos pos;
    return FFileKind == fkAvi && LocateSample(stream, sample, pos) && (pos.Flags & AVIIF_KEYFRAME);
}

} // namespace tessaly
