// Result files written under a temporary name and renamed onto their target when complete.
#include "platform/safe_output.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

std::string FolderOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void SyncFolder(const std::string &folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

int TSafeOutput::Create(const std::string &target)
{
    Discard();
    struct stat st {};
    if (target.empty() || target.back() == '/' || (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        errno = EISDIR;
        return -1;
    }
    const std::string folder = FolderOf(target);
    const std::string base = BaseOf(target);
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 6; ++i)
            suffix += kLetters[random() % (sizeof(kLetters) - 1)];
        std::string temp = folder + "/." + base + "." + suffix + ".part";
        int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            FTarget = target;
            FTemp = temp;
            FFd = fd;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

bool TSafeOutput::Commit()
{
    if (FTemp.empty()) {
        errno = EBADF;
        return false;
    }
    bool ok = FFd < 0 || ::fsync(FFd) == 0;
    int saved = errno;
    if (FFd >= 0 && ::close(FFd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    FFd = -1;
    if (ok && ::rename(FTemp.c_str(), FTarget.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        Discard();
        errno = saved;
        return false;
    }
    FTemp.clear();
    SyncFolder(FolderOf(FTarget));
    return true;
}

void TSafeOutput::Discard()
{
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
    if (!FTemp.empty())
        ::unlink(FTemp.c_str());
    FTemp.clear();
}

} // namespace tessaly
