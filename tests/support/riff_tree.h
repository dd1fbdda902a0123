// A small RIFF walker for tests: parses a whole file into a tree of chunks and lists
// (independently of the project's reader) so tests can check the exact layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

struct TRiffNode {
    std::string Id;      // "RIFF", "LIST" or the chunk id
    std::string Type;    // form or list type for RIFF/LIST, empty for chunks
    int64_t Pos = 0;     // position of the chunk header
    uint32_t Size = 0;   // size field as stored
    std::vector<TRiffNode> Children;

    int64_t DataPos() const { return Pos + 8; }
    bool IsList() const { return Id == "RIFF" || Id == "LIST"; }
    // First child with this id (or list type for lists); null when none.
    const TRiffNode *Find(const std::string &idOrType) const;
    // Every child with this id.
    std::vector<const TRiffNode *> FindAll(const std::string &id) const;
};

// Parses every top-level chunk of the bytes; false (with a reason) on any structural
// error: a size running past its parent, a missing pad byte or trailing garbage.
bool ParseRiff(const std::vector<uint8_t> &bytes, std::vector<TRiffNode> &top, std::string *error = nullptr);

// The data bytes of a chunk.
std::vector<uint8_t> ChunkData(const std::vector<uint8_t> &bytes, const TRiffNode &node);

uint32_t Le32(const std::vector<uint8_t> &bytes, int64_t pos);
uint16_t Le16(const std::vector<uint8_t> &bytes, int64_t pos);
uint64_t Le64(const std::vector<uint8_t> &bytes, int64_t pos);

} // namespace tessaly::test
