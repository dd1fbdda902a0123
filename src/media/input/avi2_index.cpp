// TAvi2Reader, part 2: building the index from 'idx1' or the OpenDML indexes,
// finishing AVI and WAVE files, and the description records.
#include "media/input/avi2_reader.h"

#include "media/common/byte_order.h"
#include "media/input/avi2_riff.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

using namespace avi2;

namespace {

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

} // namespace

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

bool TAvi2Reader::ReadStandardIndexes(TAvi2StreamRec &s, std::vector<std::vector<uint8_t>> &out)
{
    TIndexHeader super = ParseIndexHeader(s.SuperIndex);
    if (super.Type == 1) {
        out.push_back(std::move(s.SuperIndex)); // the stream's only standard index
        return true;
    }
    if (super.Type != 0)
        return false;
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
        out.emplace_back();
        if (!ReadIndexChunk(GetLE32(head), int64_t(offset) + 8, size, out.back()))
            return false;
        TIndexHeader h = ParseIndexHeader(out.back());
        if (h.Type != 1 || h.ChunkId != super.ChunkId || h.SubType != super.SubType)
            return false;
        // Guard against a super index that names one standard index over and over.
        listed += h.EntriesInUse;
        if (listed > FEntryBudget)
            return false;
    }
    return duration == s.Header.dwLength;
}

bool TAvi2Reader::BuildFromOpenDml(int stream)
{
    TAvi2StreamRec &s = FStreams[size_t(stream)];
    std::vector<std::vector<uint8_t>> standard;
    if (s.SuperIndex.size() < 24 || !ReadStandardIndexes(s, standard) || standard.empty())
        return false;
    int64_t total = 0;
    for (const auto &ix : standard)
        total += ParseIndexHeader(ix).EntriesInUse;
    if (total <= 0 || total > FEntryBudget)
        return false;
    s.ChunkId = ParseIndexHeader(standard.front()).ChunkId;
    s.Entries.reserve(size_t(total));
    for (const auto &ix : standard) {
        TIndexHeader h = ParseIndexHeader(ix);
        size_t step = size_t(h.LongsPerEntry) * 4;
        for (int32_t i = 0; i < h.EntriesInUse; ++i) {
            const uint8_t *e = ix.data() + 24 + size_t(i) * step;
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

// Reads the 8-byte chunk header at headerPos and compares it; a position outside the
// file or a failed read is a mismatch (and latches nothing: the caller decides).
bool TAvi2Reader::ChunkHeaderIs(int64_t headerPos, uint32_t id, uint32_t size)
{
    uint8_t head[8];
    if (headerPos < 0 || headerPos > FFile.Size() - 8 || !FFile.SeekTo(headerPos) || !FFile.Read(head, 8) ||
        FFile.Position() != headerPos + 8)
        return false;
    return GetLE32(head) == id && GetLE32(head + 4) == size;
}

// 'idx1' offsets count from the 'movi' list type, but some muxers write absolute file
// positions. The first stream entries decide: their chunk headers are looked for at both
// places, and the absolute reading is taken only when it finds more of them.
int64_t TAvi2Reader::Idx1Base()
{
    constexpr int kProbes = 8;
    const int64_t relative = FMoviBase, absolute = 8;
    int relativeHits = 0, absoluteHits = 0, probes = 0;
    for (size_t i = 0; i < FIdx1.size() / 16 && probes < kProbes; ++i) {
        const uint8_t *e = &FIdx1[i * 16];
        if (!IsDigit(e[0]) || !IsDigit(e[1]))
            continue; // 'rec ' lists and the like
        ++probes;
        const uint32_t id = GetLE32(e), offset = GetLE32(e + 8), size = GetLE32(e + 12);
        relativeHits += ChunkHeaderIs(relative - 8 + int64_t(offset), id, size);
        absoluteHits += ChunkHeaderIs(absolute - 8 + int64_t(offset), id, size);
    }
    return absoluteHits > relativeHits ? absolute : relative;
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
    std::vector<uint32_t> ids;
    ids.reserve(matching);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *e = &FIdx1[i * 16];
        if (e[0] != tens || e[1] != units)
            continue;
        s.ChunkId = GetLE32(e);
        ids.push_back(s.ChunkId);
        if (!AddEntry(s, FIdx1Base + int64_t(GetLE32(e + 8)), GetLE32(e + 12), GetLE32(e + 4)))
            return false;
    }
    // Each entry's own id is kept only when the stream's chunks go by several ids.
    if (std::any_of(ids.begin(), ids.end(), [&](uint32_t id) { return id != s.ChunkId; }))
        s.EntryIds = std::move(ids);
    return true;
}

// The chunk header in front of an entry's data must carry the index's chunk id and
// size: otherwise the index points at other bytes, which are never handed out. Each
// entry is looked at once.
bool TAvi2Reader::EntryHeaderMatches(TAvi2StreamRec &s, int32_t entry)
{
    if (FFileKind != fkAvi)
        return true; // a WAVE file's 'data' entries come from the chunk walk itself
    if (s.HeaderChecked.size() != s.Entries.size())
        s.HeaderChecked.assign(s.Entries.size(), false);
    if (s.HeaderChecked[size_t(entry)])
        return true;
    const TAvi2IndexEntry &e = s.Entries[size_t(entry)];
    const uint32_t id = s.EntryIds.empty() ? s.ChunkId : s.EntryIds[size_t(entry)];
    if (!ChunkHeaderIs(e.Position - 8, id, uint32_t(e.Size)))
        return false;
    s.HeaderChecked[size_t(entry)] = true;
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
    if (!openDml && !FIdx1.empty() && FMoviBase > 16)
        FIdx1Base = Idx1Base();
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

void TAvi2Reader::BuildDescriptions()
{
    BuildFileInfo();
    BuildStreamInfos();
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

void TAvi2Reader::BuildFileInfo()
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

}

void TAvi2Reader::BuildStreamInfos()
{
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

} // namespace tessaly
