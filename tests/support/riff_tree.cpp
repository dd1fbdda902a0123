// The test-side RIFF walker.
#include "support/riff_tree.h"

namespace tessaly::test {

uint32_t Le32(const std::vector<uint8_t> &b, int64_t p)
{
    if (p < 0 || size_t(p) + 4 > b.size())
        return 0;
    return uint32_t(b[size_t(p)]) | (uint32_t(b[size_t(p) + 1]) << 8) | (uint32_t(b[size_t(p) + 2]) << 16) |
           (uint32_t(b[size_t(p) + 3]) << 24);
}
uint16_t Le16(const std::vector<uint8_t> &b, int64_t p)
{
    if (p < 0 || size_t(p) + 2 > b.size())
        return 0;
    return uint16_t(b[size_t(p)] | (b[size_t(p) + 1] << 8));
}
uint64_t Le64(const std::vector<uint8_t> &b, int64_t p) { return Le32(b, p) | (uint64_t(Le32(b, p + 4)) << 32); }

const TRiffNode *TRiffNode::Find(const std::string &key) const
{
    for (const TRiffNode &c : Children)
        if (c.IsList() ? c.Type == key : c.Id == key)
            return &c;
    return nullptr;
}

std::vector<const TRiffNode *> TRiffNode::FindAll(const std::string &id) const
{
    std::vector<const TRiffNode *> out;
    for (const TRiffNode &c : Children)
        if (c.Id == id)
            out.push_back(&c);
    return out;
}

static std::string Fcc(const std::vector<uint8_t> &b, int64_t p)
{
    return std::string(reinterpret_cast<const char *>(b.data() + p), 4);
}

static bool ParseRange(const std::vector<uint8_t> &b, int64_t start, int64_t end, std::vector<TRiffNode> &out,
                       std::string *error)
{
    int64_t p = start;
    while (p < end) {
        if (end - p < 8) {
            if (error)
                *error = "truncated chunk header at " + std::to_string(p);
            return false;
        }
        TRiffNode n;
        n.Id = Fcc(b, p);
        n.Pos = p;
        n.Size = Le32(b, p + 4);
        int64_t dataEnd = p + 8 + int64_t(n.Size);
        if (dataEnd > end) {
            if (error)
                *error = "chunk " + n.Id + " at " + std::to_string(p) + " runs past its parent";
            return false;
        }
        if (n.IsList()) {
            if (n.Size < 4) {
                if (error)
                    *error = "list too short at " + std::to_string(p);
                return false;
            }
            n.Type = Fcc(b, p + 8);
            if (!ParseRange(b, p + 12, dataEnd, n.Children, error))
                return false;
        }
        if (n.Size & 1) {
            if (dataEnd >= end || b[size_t(dataEnd)] != 0) {
                if (error)
                    *error = "missing zero pad byte after " + n.Id + " at " + std::to_string(p);
                return false;
            }
            ++dataEnd;
        }
        out.push_back(std::move(n));
        p = dataEnd;
    }
    return true;
}

bool ParseRiff(const std::vector<uint8_t> &bytes, std::vector<TRiffNode> &top, std::string *error)
{
    top.clear();
    return ParseRange(bytes, 0, int64_t(bytes.size()), top, error);
}

std::vector<uint8_t> ChunkData(const std::vector<uint8_t> &bytes, const TRiffNode &node)
{
    auto first = bytes.begin() + node.DataPos();
    return std::vector<uint8_t>(first, first + node.Size);
}

} // namespace tessaly::test
