// TFrameCache: decoded pictures of one video by frame number, bounded in memory. When a
// picture does not fit, the one farthest from the frame being looked at goes first;
// pictures after it count their distance three times, because going forwards only costs
// one more decode while going backwards costs a decode from the key frame. Every member
// may be called from any thread: the decoding worker fills the cache while the one asking
// for pictures looks up the frames already kept.
#pragma once

#include "media/common/io_image.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace tessaly {

using TFramePicture = std::shared_ptr<const TIOImage>;

class TFrameCache {
public:
    explicit TFrameCache(uint64_t budgetBytes) : FBudget(budgetBytes) {}

    // The memory the pictures may take; a smaller one evicts at once.
    void SetBudget(uint64_t bytes);
    uint64_t Budget() const;
    uint64_t Bytes() const;
    size_t Count() const;
    // The frame being looked at; eviction keeps the pictures around it.
    void SetFocus(int32_t frame);
    int32_t Focus() const;
    // The picture of a frame, null when it is not kept.
    TFramePicture Find(int32_t frame) const;
    bool Contains(int32_t frame) const;
    // Whether a picture of `bytes` for `frame` would stay after insertion (it would not
    // be the first to go, and it fits into the budget at all).
    bool WouldKeep(int32_t frame, uint64_t bytes) const;
    // Keeps a picture (replacing one of the same frame) and evicts what no longer fits,
    // the new one included; false when the new one was not kept.
    bool Insert(int32_t frame, TFramePicture picture);
    void Clear();

    // The first frame of the unbroken run of kept frames that ends at `frame`; frame + 1
    // when `frame` itself is not kept.
    int32_t RunStart(int32_t frame) const;
    // The last frame of the unbroken run that starts at `frame`; frame - 1 when not kept.
    int32_t RunEnd(int32_t frame) const;

    // The memory counted for a picture: its pixels, the image record and bookkeeping.
    static uint64_t PictureBytes(const TIOImage &picture);

private:
    // How far a frame is from the focus for eviction (see the class comment).
    uint64_t Distance(int32_t frame) const;
    // Evicts the farthest pictures until the memory fits the budget.
    void Trim();

    struct TEntry {
        TFramePicture Picture;
        uint64_t Bytes = 0;
    };
    mutable std::mutex FMutex;
    std::map<int32_t, TEntry> FPictures;
    uint64_t FBudget = 0, FBytes = 0;
    int32_t FFocus = 0;
};

} // namespace tessaly
