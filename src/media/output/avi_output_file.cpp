// TAviOutputFile: the header list, RIFF blocks, chunk writing with growth ahead of the
// data, and the closing work (legacy, standard and super indexes, header patches).
#include "media/output/avi_output_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/uio.h>
#include <unistd.h>

#include "media/common/byte_order.h"
#include "platform/file_system.h"

namespace tessaly {

namespace {

constexpr int64_t kGrowthStep = 0x800000;      // 8 MiB
constexpr uint32_t kPlaceholderSize = 4120;    // super index: 24 header bytes + 256 x 16
constexpr uint32_t kDmlhSize = 248;
constexpr uint64_t kFatSizeLimit = 0x100000000ull;
constexpr uint32_t kMaxChunkSize = 0x7FFFFFF0u;  // bit 31 of the size word is the key flag
constexpr uint32_t kExfatMagic = 0x2011BAB0u;

// The text at the start of the alignment filler when it has room for it (113 bytes).
constexpr char kFillerText[] =
    "Tessaly result AVI. Video chunks copied as stored, audio re-synchronised and interleaved."
    " Filler for alignment.  ";
static_assert(sizeof(kFillerText) - 1 == 113, "filler text is 113 bytes");

long double RoundEven(long double v) { return std::nearbyint(v); }

} // namespace

TAviOutputFile::TAviOutputFile(bool openDml, uint32_t blockLimit)
    : FOpenDml(openDml), FBlockLimit(blockLimit == 0 ? kDefaultBlockLimit : blockLimit),
      FHeader(kHeaderBufferSize, 0)
{
}

TAviOutputFile::~TAviOutputFile()
{
    // A file that was never finalised is incomplete: it goes away with its temporary
    // name (FSafe), and whatever the target name held before stays as it was.
    if (FFd >= 0)
        ::close(FFd);
}

bool TAviOutputFile::InitOutputStreams()
{
    FAudio = std::make_unique<TAviAudioOutputStream>(*this);
    FVideo = std::make_unique<TAviVideoOutputStream>(*this);
    return FAudio && FVideo;
}

void TAviOutputFile::SetMainHeader(const TAviMainHeader &header)
{
    uint32_t total = FMain.dwTotalFrames;
    FMain = header;
    FMain.dwTotalFrames = total;
}

bool TAviOutputFile::SetSegmentInfo(bool lastSegment, const char *text, uint32_t size)
{
    if (!FSegmentSet) {
        try {
            FSegment.assign(size, 0);
        } catch (const std::bad_alloc &) {
            Report(meMemory, "Memory overflow");
            return false;
        }
        FSegmentSet = true;
    }
    std::fill(FSegment.begin(), FSegment.end(), uint8_t(0));
    if (!FSegment.empty())
        FSegment[0] = lastSegment ? 0 : 1;
    if (text && FSegment.size() > 1)
        std::memcpy(FSegment.data() + 1, text, std::min(std::strlen(text), FSegment.size() - 1));
    return true;
}

uint64_t TAviOutputFile::VolumeSizeLimit(const std::string &fileName)
{
    size_t slash = fileName.rfind('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : fileName.substr(0, slash));
    struct statfs fs;
    if (statfs(dir.c_str(), &fs) != 0)
        return 0;
    uint32_t type = uint32_t(fs.f_type);
    return (type == MSDOS_SUPER_MAGIC || type == kExfatMagic) ? kFatSizeLimit : 0;
}

uint64_t TAviOutputFile::PlainAviSizeLimit() const { return kFatSizeLimit; }

// ---- header list -------------------------------------------------------------------

size_t TAviOutputFile::HdrList(uint32_t listId, uint32_t type)
{
    size_t pos = FHeaderLen;
    uint8_t b[12];
    PutLE32(b, listId);
    PutLE32(b + 4, 0);
    PutLE32(b + 8, type);
    HdrPatch(FHeaderLen, b, 12);
    if (!FHeaderOverflow)
        FHeaderLen += 12;
    return pos;
}

void TAviOutputFile::HdrEndList(size_t pos)
{
    if (FHeaderOverflow)
        return;
    uint8_t b[4];
    PutLE32(b, uint32_t(FHeaderLen - (pos + 8)));
    HdrPatch(pos + 4, b, 4);
}

size_t TAviOutputFile::HdrChunk(uint32_t id, const void *data, uint32_t size)
{
    size_t pos = FHeaderLen;
    size_t total = 8 + size_t(size) + (size & 1);
    if (FHeaderOverflow || total > kHeaderBufferSize - FHeaderLen) {
        FHeaderOverflow = true;
        return pos;
    }
    uint8_t *p = FHeader.data() + FHeaderLen;
    PutLE32(p, id);
    PutLE32(p + 4, size);
    if (data && size)
        std::memcpy(p + 8, data, size);
    else
        std::memset(p + 8, 0, size);
    if (size & 1)
        p[8 + size] = 0;
    FHeaderLen += total;
    return pos;
}

void TAviOutputFile::HdrPatch(size_t pos, const void *data, size_t size)
{
    if (FHeaderOverflow || pos > kHeaderBufferSize || size > kHeaderBufferSize - pos) {
        FHeaderOverflow = true;
        return;
    }
    std::memcpy(FHeader.data() + pos, data, size);
}

void TAviOutputFile::BuildHeaderList(bool hasAudio)
{
    uint8_t rec[kAviHeaderRecordSize];
    HdrList(FourCC("RIFF"), FourCC("AVI "));
    size_t hdrl = HdrList(FourCC("LIST"), FourCC("hdrl"));
    FMain.Store(rec);
    FPatch[hpAvih] = int64_t(HdrChunk(FourCC("avih"), rec, kAviHeaderRecordSize));

    TAviOutputStream *streams[2] = {FVideo.get(), hasAudio ? FAudio.get() : nullptr};
    const THeaderPatch strh[2] = {hpVideoStrh, hpAudioStrh}, strf[2] = {hpVideoStrf, hpAudioStrf},
                       indx[2] = {hpVideoIndx, hpAudioIndx};
    for (int s = 0; s < 2; ++s) {
        TAviOutputStream *st = streams[s];
        if (!st)
            continue;
        size_t strl = HdrList(FourCC("LIST"), FourCC("strl"));
        st->Header.dwSuggestedBufferSize = 0;
        st->Header.Store(rec);
        FPatch[strh[s]] = int64_t(HdrChunk(FourCC("strh"), rec, kAviHeaderRecordSize));
        FPatch[strf[s]] = int64_t(HdrChunk(FourCC("strf"), st->Format.data(), uint32_t(st->Format.size())));
        if (!st->Extra.empty())
            HdrChunk(FourCC("strd"), st->Extra.data(), uint32_t(st->Extra.size()));
        if (FOpenDml)
            FPatch[indx[s]] = int64_t(HdrChunk(FourCC("JUNK"), nullptr, kPlaceholderSize));
        HdrEndList(strl);
    }
    if (FOpenDml) {
        size_t odml = HdrList(FourCC("LIST"), FourCC("odml"));
        FPatch[hpDmlh] = int64_t(HdrChunk(FourCC("dmlh"), nullptr, kDmlhSize));
        HdrEndList(odml);
    }
    if (FSegmentSet)
        FPatch[hpSegm] = int64_t(HdrChunk(FourCC("segm"), FSegment.data(), uint32_t(FSegment.size())));
    HdrEndList(hdrl);
    WriteFiller();
}

void TAviOutputFile::WriteFiller()
{
    // The first 'movi' list starts at a multiple of 2048 after the filler chunk.
    size_t q = FHeaderLen;
    uint32_t p = uint32_t((2048 - ((q + 8) % 2048)) % 2048);
    if (p == 0)
        return;
    size_t pos = HdrChunk(FourCC("JUNK"), nullptr, p);
    if (!FHeaderOverflow && p >= 113)
        std::memcpy(FHeader.data() + pos + 8, kFillerText, 113);
}

bool TAviOutputFile::FlushHeader()
{
    struct iovec part = {FHeader.data(), FHeaderLen};
    FPosition = 0;
    return RawWrite(&part, 1, FHeaderLen);
}

bool TAviOutputFile::Init(const std::string &fileName, uint32_t width, uint32_t height, bool hasAudio,
                          bool interleaved)
{
    FFileName = fileName;
    if (FInitialised || FFd >= 0 || !FVideo)
        return false;
    if (!hasAudio)
        FAudio.reset();
    else if (!FAudio)
        return false;
    FSizeLimit = VolumeSizeLimit(fileName);
    FFormatLimit = FOpenDml ? 0 : PlainAviSizeLimit();

    FLegacyIndex = std::make_unique<TAviIndex>();
    if (FOpenDml) {
        FVideoIndex = std::make_unique<TAviIndex>();
        FAudioIndex = std::make_unique<TAviIndex>();
    }

    const TAviStreamHeader &vh = FVideo->Header;
    FMain = TAviMainHeader();
    FMain.dwWidth = width;
    FMain.dwHeight = height;
    if (vh.dwRate != 0)
        FMain.dwMicroSecPerFrame = uint32_t(RoundEven((long double)vh.dwScale / vh.dwRate * 1000000.0L));
    FMain.dwFlags = 0x10;
    FMain.dwTotalFrames = vh.dwLength;
    FMain.dwStreams = hasAudio ? 2 : 1;
    if (hasAudio && interleaved)
        FMain.dwFlags |= 0x100;

    FHeaderLen = 0;
    FHeaderOverflow = false;
    BuildHeaderList(hasAudio);
    if (FHeaderOverflow) {
        Report(meDataSize, AviMessage("Header list exceeds its buffer of %d bytes", int(kHeaderBufferSize)));
        return false;
    }

    // Written under a temporary name beside the target, renamed onto it by Finalize.
    FFd = FSafe.Create(fileName);
    if (FFd < 0) {
        Report(meFileOpen, FileErrorText("Cannot create", fileName, errno));
        return false;
    }
    FPosition = FWrittenEnd = FAllocatedEnd = 0;
    if (!FlushHeader() || !OpenRiffBlock()) {
        ::close(FFd);
        FFd = -1;
        FSafe.Discard();
        return false;
    }
    struct stat st;
    if (fstat(FFd, &st) == 0)
        FAllocatedEnd = std::max<int64_t>(FAllocatedEnd, st.st_size);
    FInitialised = true;
    return true;
}

// ---- RIFF blocks ---------------------------------------------------------------------

bool TAviOutputFile::OpenRiffBlock()
{
    if (FBlockCount >= kMaxRiffBlocks) {
        Report(meFileSize, AviMessage("Maximum number of RIFF blocks exceeded (%d)", kMaxRiffBlocks));
        return false;
    }
    uint8_t b[24];
    if (FBlockCount == 0) {
        FRiffPos[0] = 0;
        FMoviPos[0] = FPosition;
        PutLE32(b, FourCC("LIST"));
        PutLE32(b + 4, 0x7FFFFFFF);
        PutLE32(b + 8, FourCC("movi"));
        return WriteBytes(b, 12);
    }
    int i = FBlockCount;
    FRiffPos[i] = FPosition;
    PutLE32(b, FourCC("RIFF"));
    PutLE32(b + 4, 0x7F000000);
    PutLE32(b + 8, FourCC("AVIX"));
    PutLE32(b + 12, FourCC("LIST"));
    PutLE32(b + 16, 0x7F000000);
    PutLE32(b + 20, FourCC("movi"));
    bool ok = WriteBytes(b, 24);
    FMoviPos[i] = FPosition - 12;
    return ok;
}

void TAviOutputFile::CloseRiffBlock()
{
    int i = FBlockCount;
    FMoviSize[i] = FPosition - (FMoviPos[i] + 8);
    if (i == 0) {
        FMain.dwTotalFrames = uint32_t(FVideo->UnitsWritten);
        WriteLegacyIndex();
    }
    FRiffSize[i] = FPosition - (FRiffPos[i] + 8);
    ++FBlockCount;
    FBlockBytes = 0;
}

bool TAviOutputFile::WriteLegacyIndex()
{
    if (!FLegacyIndex)
        return true;
    std::vector<uint8_t> records;
    if (!FLegacyIndex->FlattenLegacy(records)) {
        Report(meMemory, "Memory overflow");
        return false;
    }
    FLegacyIndex.reset();
    uint8_t head[8];
    PutLE32(head, FourCC("idx1"));
    PutLE32(head + 4, uint32_t(records.size()));
    struct iovec parts[2] = {{head, 8}, {records.data(), records.size()}};
    return WriteData(parts, 2, 8 + records.size());
}

// ---- file growth and raw writes ---------------------------------------------------------

bool TAviOutputFile::Preallocate(int64_t target)
{
    if (FAllocatedEnd >= target)
        return true;
    int rc = posix_fallocate(FFd, FAllocatedEnd, target - FAllocatedEnd);
    if (rc == EOPNOTSUPP || rc == EINVAL || rc == ENOSYS)
        rc = ftruncate(FFd, target) == 0 ? 0 : errno;
    if (rc != 0)
        return false;
    FAllocatedEnd = target;
    return true;
}

bool TAviOutputFile::WriteData(const struct iovec *parts, int count, size_t total)
{
    if (!FGrowthOff) {
        int64_t e = FPosition + int64_t(total) + FIndexReserve;
        if (e > FAllocatedEnd - kGrowthStep) {
            int64_t target = (e + 0xFFFFFF) & ~(kGrowthStep - 1);
            if (FSizeLimit)
                target = std::min<int64_t>(target, int64_t(FSizeLimit) - 2048);
            if (!Preallocate(target))
                FGrowthOff = true;
        }
    }
    return RawWrite(parts, count, total);
}

bool TAviOutputFile::WriteBytes(const void *data, size_t size)
{
    struct iovec part = {const_cast<void *>(data), size};
    return WriteData(&part, 1, size);
}

bool TAviOutputFile::RawWrite(const struct iovec *parts, int count, size_t total)
{
    struct iovec local[4];
    count = std::min(count, 4);
    std::copy(parts, parts + count, local);
    struct iovec *cur = local;
    size_t done = 0;
    while (done < total) {
        ssize_t n = pwritev(FFd, cur, count, FPosition + int64_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Report(meFileWrite, FileErrorText("Cannot write to", FFileName, n < 0 ? errno : ENOSPC));
            return false;
        }
        done += size_t(n);
        // Skip the parts that went out completely, shorten the first partly written one.
        size_t left = size_t(n);
        while (count > 0 && left >= cur->iov_len) {
            left -= cur->iov_len;
            ++cur;
            --count;
        }
        if (count > 0) {
            cur->iov_base = static_cast<uint8_t *>(cur->iov_base) + left;
            cur->iov_len -= left;
        }
    }
    FPosition += int64_t(total);
    FWrittenEnd = std::max(FWrittenEnd, FPosition);
    return true;
}

bool TAviOutputFile::WriteAt(int64_t pos, uint32_t value)
{
    uint8_t b[4];
    PutLE32(b, value);
    struct iovec part = {b, 4};
    int64_t keep = FPosition, keepEnd = FWrittenEnd;
    FPosition = pos;
    bool ok = RawWrite(&part, 1, 4);
    FPosition = keep;
    FWrittenEnd = keepEnd;
    return ok;
}

// ---- chunks ---------------------------------------------------------------------------

uint32_t TAviOutputFile::EstimateIndexReserve(const uint32_t spacing[2], const uint32_t count[2]) const
{
    long double m = 0;
    for (int s = 0; s < 2; ++s) {
        if (spacing[s] == 0)
            continue;
        long double k = std::min<long double>(RoundEven(4294967296.0L / spacing[s]), 3072);
        k = std::max<long double>(k, 1);
        m += RoundEven((count[s] + k - 1) / k);
    }
    long double reserve = (FOpenDml ? 32 * m : 0) + 16.0L * ((long double)count[0] + count[1]) + 8;
    return uint32_t(std::min<long double>(reserve, 0xFFFFFFFFu));
}

bool TAviOutputFile::Refuse(TMediaError code, const std::string &message)
{
    Report(code, message);
    FStopped = true;
    return false;
}

bool TAviOutputFile::MakeRoom(int s, int64_t p, uint32_t size)
{
    // Index estimate with this chunk counted; committed only when the chunk may be written.
    uint32_t spacing[2] = {FLargestSpacing[0], FLargestSpacing[1]};
    uint32_t count[2] = {FChunkCount[0], FChunkCount[1]};
    spacing[s] = std::max<uint32_t>(spacing[s], uint32_t(std::min<int64_t>(p - FPrevChunkPos[s], 0xFFFFFFFF)));
    ++count[s];
    uint32_t reserve = EstimateIndexReserve(spacing, count);
    int64_t needed = (p + int64_t(size) + 23 + reserve + 4096 + 2047) & ~int64_t(2047);
    if (FSizeLimit && uint64_t(needed) >= FSizeLimit)
        return Refuse(meFileSize, "File exceeds 4 gigabytes on a FAT32 partition");
    // Without OpenDML the RIFF size and the 'idx1' offsets would wrap around.
    if (FFormatLimit && uint64_t(needed) >= FFormatLimit)
        return Refuse(meFileSize, "File exceeds 4 gigabytes without the OpenDML format");
    if (!Preallocate(needed))
        return Refuse(meFileWrite, "Not enough disk space to write additional data");
    // Both index chains get room first, so that no entry is lost after the data is written.
    TAviIndex *streamIndex = FOpenDml ? (s == 0 ? FVideoIndex.get() : FAudioIndex.get()) : nullptr;
    if (streamIndex && !streamIndex->Reserve())
        return Refuse(meMemory, s == 0 ? "Couldn't add video chunk to index" : "Couldn't add audio chunk to index");
    if (FLegacyIndex && !FLegacyIndex->Reserve())
        return Refuse(meMemory, "Couldn't add chunk to index");
    FLargestSpacing[s] = spacing[s];
    FChunkCount[s] = count[s];
    FPrevChunkPos[s] = p;
    FIndexReserve = reserve;
    return true;
}

bool TAviOutputFile::WriteChunk(uint32_t chunkId, uint32_t flags, uint32_t size, const void *data)
{
    if (!FInitialised || FFd < 0 || FStopped)
        return false;   // after a refused chunk, later ones would leave a gap in the streams
    if (size > kMaxChunkSize || (size > 0 && !data))
        return Refuse(meDataSize, "Invalid chunk size (" + std::to_string(size) + " bytes)");
    int s = (uint8_t(chunkId) == '0' && uint8_t(chunkId >> 8) == '0') ? 0 : 1;
    int64_t cost = int64_t(size) + (size & 1) + 16;
    bool newBlock = FOpenDml && FBlockBytes + cost > int64_t(FBlockLimit);
    if (newBlock && !CanOpenBlock())
        return Refuse(meFileSize, AviMessage("Maximum number of RIFF blocks exceeded (%d)", kMaxRiffBlocks));
    if (!MakeRoom(s, FPosition + (newBlock ? 24 : 0), size))
        return false;
    if (newBlock) {
        CloseRiffBlock();
        if (!OpenRiffBlock()) {
            FStopped = true;
            return false;
        }
    }

    TAviIndexEntry entry;
    entry.Offset = FPosition - (FMoviPos[0] + 8);
    entry.ChunkId = chunkId;
    entry.SizeWord = size | ((flags & kAviChunkKeyFrame) ? 0 : kAviNotKeyFrameBit);
    uint8_t head[8], pad = 0;
    PutLE32(head, chunkId);
    PutLE32(head + 4, size);
    struct iovec parts[3] = {{head, 8}, {const_cast<void *>(data), size}, {&pad, size_t(size & 1)}};
    if (!WriteData(parts, 3, 8 + size_t(size) + (size & 1))) {
        FStopped = true;
        return false;
    }
    FBlockBytes += cost;
    TAviOutputStream *st = s == 0 ? static_cast<TAviOutputStream *>(FVideo.get()) : FAudio.get();
    if (st)
        st->Header.dwSuggestedBufferSize = std::max(st->Header.dwSuggestedBufferSize, size);
    if (TAviIndex *streamIndex = FOpenDml ? (s == 0 ? FVideoIndex.get() : FAudioIndex.get()) : nullptr)
        streamIndex->Append(entry);
    if (FLegacyIndex)
        FLegacyIndex->Append(entry);
    return true;
}

// ---- OpenDML indexes -------------------------------------------------------------------

void TAviOutputFile::BuildSuperIndex(int stream)
{
    TAviIndex *index = stream == 0 ? FVideoIndex.get() : FAudioIndex.get();
    TAviOutputStream *st = stream == 0 ? static_cast<TAviOutputStream *>(FVideo.get()) : FAudio.get();
    if (!index || !st || index->Count() == 0)
        return;
    std::vector<TAviIndexEntry> entries;
    if (!index->FlattenRaw(entries)) {
        Report(meMemory, "Memory overflow");
        return;
    }
    FSuperEntries[stream].assign(256 * 16, 0);
    FSuperCount[stream] = 0;

    // A standard index entry holds (offset - base + first movi + 16) in 32 bits, so every
    // entry of a group must lie less than this span after the group's first entry.
    uint64_t span = 0x100000000ull - uint64_t(FMoviPos[0] + 16);
    auto fits = [&](size_t k) {
        for (size_t i = 0; i < entries.size(); ++i)
            if (uint64_t(entries[i].Offset - entries[(i / k) * k].Offset) >= span)
                return false;
        return true;
    };
    size_t k = 3072;
    while (k > 1 && !fits(k))
        --k;

    for (size_t i = 0; i < entries.size();) {
        if (FSuperCount[stream] >= uint32_t(kMaxStandardIndexes)) {
            Report(meFileSize, AviMessage("Maximum number of extended AVI indices exceeded (%d)", kMaxStandardIndexes));
            return;
        }
        size_t d = WriteStandardIndex(stream, entries, i, std::min(entries.size() - i, k), span);
        if (d == 0)
            return;
        i += d;
    }
}

size_t TAviOutputFile::WriteStandardIndex(int stream, const std::vector<TAviIndexEntry> &entries, size_t first,
                                          size_t limit, uint64_t span)
{
    TAviOutputStream *st = stream == 0 ? static_cast<TAviOutputStream *>(FVideo.get()) : FAudio.get();
    int64_t base = entries[first].Offset;
    size_t d = 0;
    uint64_t bytes = 0;
    while (d < limit && uint64_t(entries[first + d].Offset - base) < span) {
        bytes += entries[first + d].SizeWord & ~kAviNotKeyFrameBit;
        ++d;
    }
    if (FBlockBytes + int64_t(8 * d + 32) > int64_t(FBlockLimit) && CanOpenBlock()) {
        CloseRiffBlock();
        if (!OpenRiffBlock())
            return 0;
    }
    uint8_t *e = FSuperEntries[stream].data() + 16 * FSuperCount[stream];
    PutLE64(e, uint64_t(FPosition));
    PutLE32(e + 8, uint32_t(8 * d + 32));
    uint32_t duration = st->Header.dwSampleSize == 0
                            ? uint32_t(d)
                            : uint32_t(RoundEven((long double)bytes / st->Header.dwSampleSize));
    PutLE32(e + 12, duration);

    std::vector<uint8_t> buf(32 + 8 * d, 0);
    uint8_t *p = buf.data();
    uint32_t id = st->ChunkId;
    PutLE32(p, MakeFourCC('i', 'x', char(uint8_t(id)), char(uint8_t(id >> 8))));
    PutLE32(p + 4, uint32_t(8 * d + 24));
    PutLE16(p + 8, 2);
    p[10] = 0;   // bIndexSubType
    p[11] = 1;   // bIndexType: index of chunks
    PutLE32(p + 12, uint32_t(d));
    PutLE32(p + 16, id);
    PutLE64(p + 20, uint64_t(base));
    for (size_t j = 0; j < d; ++j) {
        const TAviIndexEntry &en = entries[first + j];
        PutLE32(p + 32 + 8 * j, uint32_t(uint64_t(en.Offset - base + FMoviPos[0] + 16)));
        PutLE32(p + 36 + 8 * j, en.SizeWord);
    }
    if (!WriteBytes(buf.data(), buf.size()))
        return 0;
    ++FSuperCount[stream];
    return d;
}

void TAviOutputFile::StoreSuperIndex(int stream, uint8_t *out) const
{
    const TAviOutputStream *st = stream == 0 ? static_cast<const TAviOutputStream *>(FVideo.get()) : FAudio.get();
    PutLE32(out, FourCC("indx"));
    PutLE32(out + 4, kPlaceholderSize);
    PutLE16(out + 8, 4);
    out[10] = 0;
    out[11] = 0;
    PutLE32(out + 12, FSuperCount[stream]);
    PutLE32(out + 16, st->ChunkId);
    std::memset(out + 20, 0, 12);
    if (FSuperEntries[stream].size() == 4096)
        std::memcpy(out + 32, FSuperEntries[stream].data(), 4096);
    else
        std::memset(out + 32, 0, 4096);
}

// ---- finishing ------------------------------------------------------------------------

bool TAviOutputFile::Finalize()
{
    if (!FInitialised)
        return true;
    FVideo->Finalize();
    if (FAudio)
        FAudio->Finalize();
    if (FOpenDml && FBlockCount >= 1) {
        BuildSuperIndex(0);
        if (FAudio)
            BuildSuperIndex(1);
    }
    CloseRiffBlock();
    if (ftruncate(FFd, FPosition) != 0)
        Report(meFileWrite, FileErrorText("Cannot write to", FFileName, errno));

    uint8_t rec[kAviHeaderRecordSize];
    FMain.Store(rec);
    HdrPatch(size_t(FPatch[hpAvih]) + 8, rec, sizeof rec);
    FVideo->Header.Store(rec);
    HdrPatch(size_t(FPatch[hpVideoStrh]) + 8, rec, sizeof rec);
    if (FAudio) {
        FAudio->Header.Store(rec);
        HdrPatch(size_t(FPatch[hpAudioStrh]) + 8, rec, sizeof rec);
        HdrPatch(size_t(FPatch[hpAudioStrf]) + 8, FAudio->Format.data(), FAudio->Format.size());
    }
    if (FOpenDml) {
        uint8_t total[4];
        PutLE32(total, FVideo->Header.dwLength);
        HdrPatch(size_t(FPatch[hpDmlh]) + 8, total, 4);
        if (FBlockCount > 1) {
            std::vector<uint8_t> indx(8 + kPlaceholderSize);
            StoreSuperIndex(0, indx.data());
            HdrPatch(size_t(FPatch[hpVideoIndx]), indx.data(), indx.size());
            if (FAudio) {
                StoreSuperIndex(1, indx.data());
                HdrPatch(size_t(FPatch[hpAudioIndx]), indx.data(), indx.size());
            }
        }
    }
    if (FSegmentSet && !FSegment.empty())
        HdrPatch(size_t(FPatch[hpSegm]) + 8, FSegment.data(), FSegment.size());

    int64_t end = FPosition;
    FlushHeader();
    FPosition = end;
    for (int i = 0; i < FBlockCount; ++i) {
        WriteAt(FRiffPos[i] + 4, uint32_t(FRiffSize[i]));
        WriteAt(FMoviPos[i] + 4, uint32_t(FMoviSize[i]));
    }
    FInitialised = false;
    int fd = FFd;
    FFd = -1;
    const bool synced = fsync(fd) == 0;
    const int syncError = errno;
    if (::close(fd) != 0 || !synced) {
        Report(meFileWrite, FileErrorText("Cannot write", FFileName, synced ? errno : syncError));
        FSafe.Discard();
        return false;
    }
    // A file that refused chunks is still consistent (what was accepted, indexed);
    // whether such a file is wanted is the caller's choice (TAVICreator aborts it).
    if (!FSafe.Commit()) {
        Report(meFileWrite, FileErrorText("Cannot rename the finished file onto", FFileName, errno));
        return false;
    }
    return ErrorCount() == 0;
}

bool TAviOutputFile::Abort()
{
    if (!FInitialised)
        return true;
    FInitialised = false;
    ::close(FFd);
    FFd = -1;
    const bool existed = FSafe.Pending();
    FSafe.Discard();
    return existed;
}

} // namespace tessaly
