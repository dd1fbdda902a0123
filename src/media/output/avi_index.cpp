// Index chains of the AVI writer: 2048-entry nodes, appended in order, flattened once.
#include "media/output/avi_index.h"

#include <new>

#include "media/common/byte_order.h"

namespace tessaly {

TAviIndexChain::~TAviIndexChain() { Clear(); }

void TAviIndexChain::Clear()
{
    while (FHead) {
        TAviIndexChainNode *next = FHead->Next;
        delete FHead;
        FHead = next;
    }
    FTail = nullptr;
    FCount = 0;
}

bool TAviIndexChain::Reserve()
{
    if (FTail && FTail->Count < kAviIndexNodeEntries)
        return true;
    auto *node = new (std::nothrow) TAviIndexChainNode;
    if (!node)
        return false;
    if (FTail)
        FTail->Next = node;
    else
        FHead = node;
    FTail = node;
    return true;
}

bool TAviIndexChain::Append(const TAviIndexEntry &entry)
{
    if (!Reserve())
        return false;
    FTail->Entries[FTail->Count++] = entry;
    ++FCount;
    return true;
}

bool TAviIndex::FlattenRaw(std::vector<TAviIndexEntry> &out)
{
    try {
        out.clear();
        out.reserve(FCount);
    } catch (const std::bad_alloc &) {
        return false;
    }
    for (TAviIndexChainNode *n = FHead; n; n = n->Next)
        out.insert(out.end(), n->Entries, n->Entries + n->Count);
    Clear();
    return true;
}

bool TAviIndex::FlattenLegacy(std::vector<uint8_t> &out)
{
    try {
        out.assign(FCount * 16, 0);
    } catch (const std::bad_alloc &) {
        return false;
    }
    uint8_t *p = out.data();
    for (TAviIndexChainNode *n = FHead; n; n = n->Next)
        for (size_t i = 0; i < n->Count; ++i, p += 16) {
            const TAviIndexEntry &e = n->Entries[i];
            PutLE32(p, e.ChunkId);
            PutLE32(p + 4, (e.SizeWord & kAviNotKeyFrameBit) ? 0 : 0x10);
            PutLE32(p + 8, uint32_t(uint64_t(e.Offset)));
            PutLE32(p + 12, e.SizeWord & ~kAviNotKeyFrameBit);
        }
    Clear();
    return true;
}

} // namespace tessaly
