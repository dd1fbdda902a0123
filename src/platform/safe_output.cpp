// TSafeOutput over TSafeFile: the descriptor is flushed and closed before the rename.
#include "platform/safe_output.h"

#include <cerrno>
#include <unistd.h>

namespace tessaly {

int TSafeOutput::Create(const std::string &target)
{
    Discard();
    FFd = FFile.Create(target);
    return FFd;
}

bool TSafeOutput::Commit()
{
    if (!FFile.Pending()) {
        errno = EBADF;
        return false;
    }
    if (FFd >= 0) {
        bool ok = ::fsync(FFd) == 0;
        int saved = errno;
        if (::close(FFd) != 0 && ok) {
            ok = false;
            saved = errno;
        }
        FFd = -1;
        if (!ok) {
            FFile.Discard();
            errno = saved;
            return false;
        }
    }
    return FFile.Commit();
}

void TSafeOutput::Discard()
{
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
    FFile.Discard();
}

} // namespace tessaly
