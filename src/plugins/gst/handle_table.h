// TVfHandleTable: the plug-in's table of open files. A file handle is a non-zero 32-bit
// number (slot and a use count), never an address, so stale or invented handles are refused.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tessaly::gst {

template <class T> class TVfHandleTable {
public:
    static constexpr uint32_t kSlotBits = 12; // up to 4095 files open at once

    // Takes ownership of item; the new handle, or 0 when the table is full.
    uint32_t Add(std::unique_ptr<T> item)
    {
        std::lock_guard<std::mutex> lock(FLock);
        size_t slot = 0;
        while (slot < FSlots.size() && FSlots[slot].Item)
            ++slot;
        if (slot + 1 >= (size_t(1) << kSlotBits))
            return 0;
        if (slot == FSlots.size())
            FSlots.emplace_back();
        TSlot &s = FSlots[slot];
        s.Use = (s.Use + 1) & ((1u << (32 - kSlotBits)) - 1);
        if (s.Use == 0)
            s.Use = 1;
        s.Item = std::move(item);
        return (s.Use << kSlotBits) | uint32_t(slot + 1);
    }

    // The item of a live handle, or null (the item stays owned by the table).
    T *Find(uint32_t handle)
    {
        std::lock_guard<std::mutex> lock(FLock);
        TSlot *s = SlotOf(handle);
        return s ? s->Item.get() : nullptr;
    }

    // Hands the item of a live handle back to the caller and frees the handle.
    std::unique_ptr<T> Remove(uint32_t handle)
    {
        std::lock_guard<std::mutex> lock(FLock);
        TSlot *s = SlotOf(handle);
        return s ? std::move(s->Item) : nullptr;
    }

private:
    struct TSlot {
        uint32_t Use = 0;
        std::unique_ptr<T> Item;
    };
    TSlot *SlotOf(uint32_t handle)
    {
        const uint32_t slot = handle & ((1u << kSlotBits) - 1);
        if (slot == 0 || slot > FSlots.size())
            return nullptr;
        TSlot &s = FSlots[slot - 1];
        return s.Item && s.Use == (handle >> kSlotBits) ? &s : nullptr;
    }

    std::mutex FLock;
    std::vector<TSlot> FSlots;
};

} // namespace tessaly::gst
