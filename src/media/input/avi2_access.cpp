// TAvi2Reader, part 3: descriptions, stream and file chunks, and sample access
// (locating, reading and searching samples).
#include "media/input/avi2_reader.h"

#include "media/common/byte_order.h"
#include "media/input/avi2_riff.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

using namespace avi2;

namespace {

// The kept stream header as the 56 bytes of a 'strh' chunk.
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


} // namespace

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
    TAvi2StreamRec &s = FStreams[size_t(stream)];
    int64_t wanted = std::min<int64_t>(count, int64_t(s.Header.dwStart) + s.Header.dwLength - start);
    int64_t room = std::max(bufferSize, int32_t(0));
    auto *out = static_cast<uint8_t *>(buffer);
    int64_t sampleSize = s.Header.dwSampleSize;
    if (sampleSize == 0) {
        for (;;) {
            if (out && pos.BytesLeft > 0) {
                if (pos.BytesLeft > room - bytes)
                    break;
                if (!EntryHeaderMatches(s, pos.Entry))
                    return report(AVIERR_BADFORMAT);
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
                if (!EntryHeaderMatches(s, pos.Entry))
                    return report(AVIERR_BADFORMAT);
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
