// TWaveWriter: RIFF WAVE output with placeholder sizes patched on finalising.
#include "media/output/wave_writer.h"

#include "media/common/byte_order.h"

#include <new>

namespace tessaly {

bool IsPlainPcmFormat(const void *format, int32_t length)
{
    if (!format || length < 16)
        return false;
    const auto *f = static_cast<const uint8_t *>(format);
    uint16_t channels = GetLE16(f + 2), align = GetLE16(f + 12), bits = GetLE16(f + 14);
    return GetLE16(f) == 1 && channels != 0 && GetLE32s(f + 4) > 0 && (bits == 8 || bits == 16) &&
           align == bits * channels / 8;
}

TWaveWriter::TWaveWriter() = default;

TWaveWriter::~TWaveWriter() { Discard(); }

void TWaveWriter::Discard()
{
    if (FOpen)
        FFile.Close();
    FOpen = false;
    FDataChunkPos = 0;
    FSafe.Discard();
}

int32_t TWaveWriter::BlockAlign() const { return FFormat.size() >= 16 ? GetLE16(&FFormat[12]) : 0; }

std::string TWaveWriter::FileName() const { return FTarget; }

TMediaError TWaveWriter::SetFormat(const void *format, int32_t length)
{
    if (FOpen)
        return meState;
    if (!format || length < 16)
        return meParam;
    std::vector<uint8_t>().swap(FFormat);
    try {
        const auto *f = static_cast<const uint8_t *>(format);
        FFormat.assign(f, f + length);
    } catch (const std::bad_alloc &) {
        return meMemory;
    }
    return meOk;
}

TMediaError TWaveWriter::Open(const std::string &fileName)
{
    Finalise();
    FError = false;
    FWriteFailed = false;
    if (FFormat.size() < 16)
        return meAudioFormat;
    // The extension (after the last dot of the last path element) becomes ".wav".
    std::string name = fileName;
    size_t slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        name.erase(dot);
    name += ".wav";
    // Written under a temporary name beside the target, renamed onto it by Close.
    FTarget = name;
    if (!FFile.Adopt(FSafe.Create(name), name, true)) {
        FOpenErrno = errno;
        FSafe.Discard();
        return meFileOpen;
    }
    int32_t length = IsPlainPcmFormat(FFormat.data(), int32_t(FFormat.size())) ? 16 : int32_t(FFormat.size());
    std::string head(8, '\0');
    TByteWriter w(head);
    w.U32(FourCC("WAVE"));
    w.U32(FourCC("fmt "));
    w.U32(uint32_t(length));
    w.Bytes(FFormat.data(), size_t(length));
    if (length & 1)
        w.U8(0);
    FDataChunkPos = int32_t(head.size());
    w.U32(FourCC("data"));
    w.U32(0);
    FTotalBlocks = 0;
    if (!FFile.WriteAll(head.data(), int32_t(head.size())) || !FFile.Flush()) {
        FError = true;
        FFile.Close();
        FSafe.Discard();
        return meFileWrite;
    }
    FOpen = true;
    return meOk;
}

TMediaError TWaveWriter::Write(const void *data, int32_t blocks)
{
    if (!FOpen)
        return meState;
    if (FError)
        return meFileWrite;
    int64_t bytes = int64_t(blocks) * BlockAlign();
    if (bytes < 1 || !data)
        return meParam;
    // The file must stay below 2 GiB: at most 2^31 - 5 bytes, so that the pad byte
    // and the RIFF size still fit.
    if (bytes > INT32_MAX || uint32_t(int64_t(FFile.Size()) + bytes + 4) / 65536 >= FSizeLimit) {
        FError = true;
        return meFileExceeds2GB;
    }
    if (!FFile.WriteAll(data, int32_t(bytes))) {
        FError = FWriteFailed = true;
        return meFileWrite;
    }
    FTotalBlocks += blocks;
    return meOk;
}

bool TWaveWriter::Finalise()
{
    if (!FOpen)
        return true;
    bool ok = true;
    uint32_t dataSize = uint32_t(int64_t(FTotalBlocks) * BlockAlign());
    if (dataSize & 1) {
        uint8_t pad = 0;
        ok = FFile.WriteByte(pad) && ok;
    }
    uint8_t field[8];
    FFile.Seek(FDataChunkPos + 4);
    PutLE32(field, dataSize);
    ok = FFile.WriteAll(field, 4) && ok;
    FFile.Seek(0);
    PutLE32(field, FourCC("RIFF"));
    PutLE32(field + 4, uint32_t(FFile.Size() - 8));
    ok = FFile.WriteAll(field, 8) && ok;
    // Close always reports success; flushing first tells whether the last bytes arrived.
    ok = !FWriteFailed && FFile.Sync() && ok;
    FFile.Close();
    FDataChunkPos = 0;
    FOpen = false;
    if (!ok) {
        FSafe.Discard();
        return false;
    }
    return FSafe.Commit();
}

TMediaError TWaveWriter::Close()
{
    if (!FOpen)
        return meOk;
    bool ok = Finalise();
    FError = false;
    return ok ? meOk : meFileWrite;
}

} // namespace tessaly
