// TAVICreatorCache: a fixed ring of chunk buffers (FIFO) in which the result AVI creator
// holds video frames and audio until they are due in the file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace tessaly {

// One chunk waiting for the file: owned data, its size, id and flags (0x10 = key frame).
struct TAVIChunkBuffer {
    std::unique_ptr<uint8_t[]> Data;
    uint32_t Size = 0;
    uint32_t Id = 0;
    uint32_t Flags = 0;

    // A buffer of size bytes, not initialised (Fill and Pad complete it); false when
    // memory ran out.
    bool Allocate(uint32_t size);
};

class TAVICreatorCache {
public:
    // Empties the cache and, when n differs from the capacity, resizes the ring (n < 0: 0).
    void SetCapacity(int n);
    // Stores the buffer at the tail and makes it the current entry (fill position 0);
    // false (buffer untouched) when the capacity is 0 or the cache is full.
    bool Enqueue(TAVIChunkBuffer &buffer);
    // Moves the head entry into out (ownership passes); false and out emptied when empty.
    bool Dequeue(TAVIChunkBuffer &out);
    // Copies min(count, Room()) bytes into the current entry (nothing copied for a null
    // pointer, the fill position still advances); false when empty or already full.
    bool Fill(const void *data, uint32_t count);
    // Fills the rest of the current entry with value; nothing when empty.
    void Pad(uint8_t value);
    // Bytes still missing in the current entry (0 when empty).
    uint32_t Room() const;
    int Count() const { return FCount; }
    bool IsEmpty() const { return FCount == 0; }
    int Capacity() const { return int(FRing.size()); }

private:
    std::vector<TAVIChunkBuffer> FRing;
    int FHead = 0, FTail = 0, FCount = 0;
    int FCurrent = -1;
    uint32_t FFillPos = 0;
};

} // namespace tessaly
