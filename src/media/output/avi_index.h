// Index entries of the AVI writer, collected in a chain of 2048-entry nodes and
// flattened once when the index is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessaly {

// One chunk of the file as the writer remembers it (16 bytes).
struct TAviIndexEntry {
    int64_t Offset = 0;      // chunk header position minus (first 'movi' list position + 8)
    uint32_t ChunkId = 0;    // four-character code
    uint32_t SizeWord = 0;   // data size in bits 0..30; bit 31 set: not a key frame
};
static_assert(sizeof(TAviIndexEntry) == 16, "index entry is 16 bytes");

constexpr uint32_t kAviNotKeyFrameBit = 0x80000000u;
constexpr size_t kAviIndexNodeEntries = 2048;

// A block of up to 2048 entries and the link to the next block.
struct TAviIndexChainNode {
    TAviIndexEntry Entries[kAviIndexNodeEntries];
    size_t Count = 0;
    TAviIndexChainNode *Next = nullptr;
};

// Singly linked list of nodes; appending opens a new node when the tail is full.
class TAviIndexChain {
public:
    TAviIndexChain() = default;
    ~TAviIndexChain();
    TAviIndexChain(const TAviIndexChain &) = delete;
    TAviIndexChain &operator=(const TAviIndexChain &) = delete;

    // Makes sure the next Append needs no allocation; false when memory ran out.
    bool Reserve();
    // Appends one entry; false when a new node could not be allocated.
    bool Append(const TAviIndexEntry &entry);
    size_t Count() const { return FCount; }
    // Frees every node; the chain is empty afterwards.
    void Clear();

protected:
    TAviIndexChainNode *FHead = nullptr;
    TAviIndexChainNode *FTail = nullptr;
    size_t FCount = 0;
};

// The chain with its two flattened forms; flattening frees the nodes.
class TAviIndex : public TAviIndexChain {
public:
    // Moves every entry into out (raw form); false when memory ran out (chain kept).
    bool FlattenRaw(std::vector<TAviIndexEntry> &out);
    // Builds the 16-byte 'idx1' records (chunk id, flags 0x10 for a key frame, low 32
    // bits of the offset, size) into out; false when memory ran out (chain kept).
    bool FlattenLegacy(std::vector<uint8_t> &out);
};

} // namespace tessaly
