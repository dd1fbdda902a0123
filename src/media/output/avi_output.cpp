// The AVI writer's base and stream objects.
#include "media/output/avi_output.h"

#include <cstdio>

#include "media/common/byte_order.h"

namespace tessaly {

std::string AviMessage(const char *format, int value)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

void TAviOutput::ReportError(const std::string &) {}

void TAviOutput::Report(TMediaError code, const std::string &message)
{
    if (FErrorCount++ == 0) {
        FErrorText = message;
        FErrorCode = code;
    }
    ReportError(message);
}

bool TAviOutputStream::Finalize()
{
    Header.dwLength = UnitsWritten == 0 ? 1 : uint32_t(UnitsWritten);
    return true;
}

TAviVideoOutputStream::TAviVideoOutputStream(TAviOutput &owner) : TAviOutputStream(owner, FourCC("00db")) {}

bool TAviVideoOutputStream::Write(uint32_t flags, const void *data, uint32_t units, uint32_t bytes)
{
    if (!FOwner.WriteChunk(ChunkId, flags, bytes, data))
        return false;
    UnitsWritten += units;
    return true;
}

bool TAviVideoOutputStream::Finalize() { return TAviOutputStream::Finalize(); }

TAviAudioOutputStream::TAviAudioOutputStream(TAviOutput &owner) : TAviOutputStream(owner, FourCC("01wb")) {}

bool TAviAudioOutputStream::Write(uint32_t flags, const void *data, uint32_t units, uint32_t bytes)
{
    if (!FOwner.WriteChunk(FourCC("01wb"), flags, bytes, data))
        return false;
    UnitsWritten += units;
    return true;
}

bool TAviAudioOutputStream::Finalize() { return TAviOutputStream::Finalize(); }

} // namespace tessaly
