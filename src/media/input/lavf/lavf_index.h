// TLavfIndex: every packet of one video stream of a container read through libavformat
// (no decoding), its frames in presentation order, and the on-disk cache that makes
// reopening a long file instant.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;

namespace tessaly {

class TByteReader;
class TByteWriter;

// One packet in decode order. Timestamps are in the stream's time base; a missing pts
// is kNoTimestamp.
struct TLavfPacket {
    int64_t Pts = 0, Dts = 0, Pos = -1, Duration = 0;
    uint32_t Size = 0;
    uint32_t Flags = 0; // lpKey, lpDiscard
};

enum : uint32_t {
    lpKey = 1,     // decoding may start here
    lpDiscard = 2, // decoded for reference only, never shown (edit lists)
};

constexpr int64_t kNoTimestamp = INT64_MIN;

// The identity of a file as the cache sees it: its absolute name, size and modification time.
struct TLavfFileKey {
    std::string Path;
    uint64_t Size = 0;
    int64_t ModifiedNs = 0;
};

class TLavfIndex {
public:
    int Stream = -1;
    int TimeBaseNum = 1, TimeBaseDen = 1;
    std::vector<TLavfPacket> Packets; // decode order

    // Reads every packet of `stream` from the context's current position (other streams
    // are discarded while reading). False when reading fails before the end or no frame
    // is found.
    bool Build(AVFormatContext *context, int stream);
    // Orders the shown packets by presentation time; true when there is at least one.
    // Called by Build and after a cache load.
    bool Finish();

    // Frames in presentation order: the packet index of frame i.
    const std::vector<int32_t> &Frames() const { return FFrames; }
    int32_t FrameCount() const { return int32_t(FFrames.size()); }
    const TLavfPacket &Frame(int32_t i) const { return Packets[size_t(FFrames[size_t(i)])]; }
    // The packet where decoding for frame i starts: the last key packet in decode order,
    // at or before frame i's packet, whose pts is not later than frame i's (so a leading
    // picture of an open group starts at the key frame before its own). -1 when none.
    int32_t StartPacket(int32_t i) const;
    // The earlier key packet before packet p in decode order, -1 when none.
    int32_t PreviousKey(int32_t p) const;

    // The cache file's bytes and their reading (bounds-checked, versioned); Parse fails on
    // any damage or when the key or the stream differ.
    std::string Serialize(const TLavfFileKey &key) const;
    bool Parse(const uint8_t *data, size_t size, const TLavfFileKey &key);

private:
    void FillMissingPts();
    std::vector<int32_t> FFrames;
    std::vector<int32_t> FKeys; // key packet indices in decode order
};

// The key of a file (absolute name, size, modification time); false when it cannot be read.
bool LavfFileKey(const std::string &fileName, TLavfFileKey &key);
// The cache folder: $XDG_CACHE_HOME/tessaly/index/ (default ~/.cache/tessaly/index/).
std::string LavfIndexCacheDir();
// The cache file of a file name in that folder; each kind of index has its own suffix
// (".idx" the video packets, ".aidx" the audio).
std::string LavfIndexCacheFile(const std::string &absolutePath, const char *suffix = ".idx");
// Loads an index from its cache; false when there is none or it does not fit the file.
bool LoadLavfIndex(const TLavfFileKey &key, int stream, TLavfIndex &index);
// Stores an index in its cache (temporary file, then rename); false on failure.
bool SaveLavfIndex(const TLavfFileKey &key, const TLavfIndex &index);

// What every cache file shares: the checksum that ends it, the file key after its magic and
// version, and the writing beside the final name followed by a rename.
uint64_t LavfCacheChecksum(const void *data, size_t size);
void WriteLavfCacheKey(TByteWriter &w, const TLavfFileKey &key);
// False when the stored key is damaged or is not `key`.
bool ReadLavfCacheKey(TByteReader &r, const TLavfFileKey &key);
bool WriteLavfCacheFile(const std::string &target, const std::string &bytes);
// A cache file's bytes, false when there is none or it is too large to be one.
bool ReadLavfCacheFile(const std::string &target, std::string &bytes);

} // namespace tessaly
