// TFrameCache: pictures by frame number, evicted by their distance from the focus.
#include "project/frame_cache.h"

namespace tessaly {

namespace {
// Pictures after the focus are cheaper to decode again (see the header).
constexpr uint64_t kAheadWeight = 3;
constexpr uint64_t kEntryOverhead = 256;
} // namespace

uint64_t TFrameCache::PictureBytes(const TIOImage &picture)
{
    return uint64_t(picture.ImageSize()) + sizeof(TIOImage) + kEntryOverhead;
}

void TFrameCache::SetBudget(uint64_t bytes)
{
    std::lock_guard lock(FMutex);
    FBudget = bytes;
    Trim();
}

uint64_t TFrameCache::Budget() const
{
    std::lock_guard lock(FMutex);
    return FBudget;
}

uint64_t TFrameCache::Bytes() const
{
    std::lock_guard lock(FMutex);
    return FBytes;
}

size_t TFrameCache::Count() const
{
    std::lock_guard lock(FMutex);
    return FPictures.size();
}

void TFrameCache::SetFocus(int32_t frame)
{
    std::lock_guard lock(FMutex);
    FFocus = frame;
}

int32_t TFrameCache::Focus() const
{
    std::lock_guard lock(FMutex);
    return FFocus;
}

bool TFrameCache::Contains(int32_t frame) const
{
    std::lock_guard lock(FMutex);
    return FPictures.count(frame) != 0;
}

TFramePicture TFrameCache::Find(int32_t frame) const
{
    std::lock_guard lock(FMutex);
    const auto it = FPictures.find(frame);
    return it == FPictures.end() ? nullptr : it->second.Picture;
}

uint64_t TFrameCache::Distance(int32_t frame) const
{
    const int64_t d = int64_t(frame) - FFocus;
    return d < 0 ? uint64_t(-d) : uint64_t(d) * kAheadWeight;
}

bool TFrameCache::WouldKeep(int32_t frame, uint64_t bytes) const
{
    std::lock_guard lock(FMutex);
    if (bytes > FBudget)
        return false;
    const auto same = FPictures.find(frame);
    uint64_t need = FBytes + bytes - (same == FPictures.end() ? 0 : same->second.Bytes);
    if (need <= FBudget)
        return true;
    // Eviction takes the farthest first: the new picture stays when enough memory lies
    // in pictures farther away than it.
    const uint64_t mine = Distance(frame);
    auto low = FPictures.begin();
    auto high = FPictures.end();
    while (need > FBudget && low != high) {
        auto last = std::prev(high);
        const bool takeLow = Distance(low->first) >= Distance(last->first);
        auto victim = takeLow ? low : last;
        if (Distance(victim->first) <= mine)
            return false;
        if (victim->first != frame)
            need -= victim->second.Bytes;
        if (takeLow)
            ++low;
        else
            high = last;
    }
    return need <= FBudget;
}

bool TFrameCache::Insert(int32_t frame, TFramePicture picture)
{
    if (!picture)
        return false;
    const uint64_t bytes = PictureBytes(*picture);
    std::lock_guard lock(FMutex);
    auto [it, added] = FPictures.try_emplace(frame);
    if (!added)
        FBytes -= it->second.Bytes;
    it->second = TEntry{std::move(picture), bytes};
    FBytes += bytes;
    Trim();
    return FPictures.count(frame) != 0;
}

void TFrameCache::Trim()
{
    while (FBytes > FBudget && !FPictures.empty()) {
        auto low = FPictures.begin();
        auto high = std::prev(FPictures.end());
        auto victim = Distance(low->first) >= Distance(high->first) ? low : high;
        FBytes -= victim->second.Bytes;
        FPictures.erase(victim);
    }
}

void TFrameCache::Clear()
{
    std::lock_guard lock(FMutex);
    FPictures.clear();
    FBytes = 0;
}

int32_t TFrameCache::RunStart(int32_t frame) const
{
    std::lock_guard lock(FMutex);
    auto it = FPictures.find(frame);
    if (it == FPictures.end())
        return frame + 1;
    int32_t start = frame;
    while (it != FPictures.begin()) {
        --it;
        if (it->first != start - 1)
            break;
        start = it->first;
    }
    return start;
}

int32_t TFrameCache::RunEnd(int32_t frame) const
{
    std::lock_guard lock(FMutex);
    auto it = FPictures.find(frame);
    if (it == FPictures.end())
        return frame - 1;
    int32_t end = frame;
    for (++it; it != FPictures.end() && it->first == end + 1; ++it)
        end = it->first;
    return end;
}

} // namespace tessaly
