// The FIFO ring of chunk buffers used by the result AVI creator.
#include "media/output/avi_creator_cache.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tessaly {

bool TAVIChunkBuffer::Allocate(uint32_t size)
{
    Data.reset(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
    Size = Data ? size : 0;
    return Data != nullptr;
}

void TAVICreatorCache::SetCapacity(int n)
{
    n = std::max(n, 0);
    for (TAVIChunkBuffer &b : FRing)
        b = TAVIChunkBuffer();
    if (size_t(n) != FRing.size()) {
        FRing.clear();
        FRing.resize(size_t(n));
    }
    FHead = FTail = FCount = 0;
    FCurrent = -1;
    FFillPos = 0;
}

bool TAVICreatorCache::Enqueue(TAVIChunkBuffer &buffer)
{
    int cap = Capacity();
    if (cap == 0 || FCount >= cap)
        return false;
    FRing[size_t(FTail)] = std::move(buffer);
    buffer = TAVIChunkBuffer();
    FCurrent = FTail;
    FFillPos = 0;
    FTail = (FTail + 1) % cap;
    ++FCount;
    return true;
}

bool TAVICreatorCache::Dequeue(TAVIChunkBuffer &out)
{
    if (FCount == 0) {
        out = TAVIChunkBuffer();
        return false;
    }
    out = std::move(FRing[size_t(FHead)]);
    FRing[size_t(FHead)] = TAVIChunkBuffer();
    if (FCurrent == FHead) {
        FCurrent = -1;
        FFillPos = 0;
    }
    FHead = (FHead + 1) % Capacity();
    --FCount;
    return true;
}

bool TAVICreatorCache::Fill(const void *data, uint32_t count)
{
    uint32_t room = Room();
    if (FCount == 0 || FCurrent < 0 || room == 0)
        return false;
    uint32_t n = std::min(count, room);
    if (data && n)
        std::memcpy(FRing[size_t(FCurrent)].Data.get() + FFillPos, data, n);
    FFillPos += n;
    return true;
}

void TAVICreatorCache::Pad(uint8_t value)
{
    if (FCount == 0 || FCurrent < 0)
        return;
    TAVIChunkBuffer &b = FRing[size_t(FCurrent)];
    if (FFillPos < b.Size)
        std::memset(b.Data.get() + FFillPos, value, b.Size - FFillPos);
    FFillPos = b.Size;
}

uint32_t TAVICreatorCache::Room() const
{
    if (FCount == 0 || FCurrent < 0)
        return 0;
    return FRing[size_t(FCurrent)].Size - FFillPos;
}

} // namespace tessaly
