// TSafeFile and TPrivateFolder on POSIX calls: O_TMPFILE with linkat, or O_EXCL|O_NOFOLLOW
// creation; rename, mkdtemp, and unlinkat relative to the folder's own descriptor.
#include "platform/safe_file.h"

#include "platform/file_system.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

// Six characters from [A-Za-z0-9] drawn from the system's random source.
std::string RandomSuffix() {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    uint8_t bytes[6] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        static uint32_t counter = 0;
        const uint32_t seed = static_cast<uint32_t>(getpid()) * 2654435761u + ++counter * 40503u;
        for (int i = 0; i < 6; ++i)
            bytes[i] = static_cast<uint8_t>(seed >> (i * 5));
    }
    std::string s;
    for (uint8_t b : bytes)
        s += kChars[b % (sizeof kChars - 1)];
    return s;
}

// An unnamed file in `dir` whose descriptor can be linked in through /proc/self/fd;
// -1 when the file system or the system has none (the caller makes a named file).
int CreateUnnamed(const std::string &dir) {
#ifdef O_TMPFILE
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    if (::access(("/proc/self/fd/" + std::to_string(fd)).c_str(), F_OK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
#else
    (void)dir;
    return -1;
#endif
}

void SyncFolder(const std::string &dir) {
    const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
}

} // namespace

int TSafeFile::Create(const std::string &target) {
    Discard();
    const std::string name = ExtractFileName(target);
    if (name.empty() || name == "." || name == "..") {
        errno = EISDIR;
        return -1;
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return -1;
    }
    const std::string dir = ExtractFilePath(target);
    if (const int fd = CreateUnnamed(dir); fd >= 0) {
        // The caller's descriptor and this one share the file: a second one stays open
        // after the caller closes its own, for linking the file in.
        FUnnamed = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (FUnnamed >= 0) {
            FTarget = target;
            return fd;
        }
        ::close(fd);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = dir + "." + name + "." + RandomSuffix();
        const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            FTarget = target;
            FTemp = temp;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

bool TSafeFile::Commit() {
    if (FUnnamed >= 0) {
        // linkat cannot replace a file: the finished file gets a fresh temporary name,
        // which is then renamed onto the target as a named file would be.
        const std::string source = "/proc/self/fd/" + std::to_string(FUnnamed);
        const std::string dir = ExtractFilePath(FTarget), name = ExtractFileName(FTarget);
        int error = EEXIST;
        for (int attempt = 0; attempt < 100 && FTemp.empty(); ++attempt) {
            const std::string temp = dir + "." + name + "." + RandomSuffix();
            if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0)
                FTemp = temp;
            else if ((error = errno) != EEXIST)
                break;
        }
        ::close(FUnnamed);
        FUnnamed = -1;
        if (FTemp.empty()) {
            errno = error;
            return false;
        }
    }
    if (FTemp.empty()) {
        errno = ENOENT;
        return false;
    }
    if (std::rename(FTemp.c_str(), FTarget.c_str()) != 0) {
        const int saved = errno;
        Discard();
        errno = saved;
        return false;
    }
    FTemp.clear();
    SyncFolder(ExtractFilePath(FTarget));
    return true;
}

void TSafeFile::Discard() {
    if (FUnnamed >= 0)
        ::close(FUnnamed);   // an unnamed file goes with its last descriptor
    FUnnamed = -1;
    if (!FTemp.empty())
        ::unlink(FTemp.c_str());
    FTemp.clear();
}

bool TPrivateFolder::Create(const std::string &parent) {
    Remove();
    std::string pattern = IncludeTrailingSlash(parent.empty() ? std::string(".") : parent) + "tessaly-XXXXXX";
    if (!mkdtemp(pattern.data()))
        return false;   // mkdtemp makes the folder with mode 0700
    FPath = pattern;
    FParent = parent;
    return true;
}

void TPrivateFolder::Remove() {
    if (FPath.empty())
        return;
    const int dfd = ::open(FPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dfd >= 0) {
        if (DIR *d = fdopendir(dfd)) {
            while (const dirent *e = readdir(d)) {
                const std::string n = e->d_name;
                if (n != "." && n != "..")
                    unlinkat(dirfd(d), n.c_str(), 0);
            }
            closedir(d);   // closes dfd
        } else {
            ::close(dfd);
        }
    }
    ::rmdir(FPath.c_str());
    FPath.clear();
    FParent.clear();
}

bool TPrivateFolder::StillPrivate() const {
    return !FPath.empty() && IsPrivateFolder(FPath);
}

bool IsPrivateFolder(const std::string &path, std::string *why) {
    struct stat st {};
    auto fail = [&](const std::string &text) {
        if (why)
            *why = "\"" + path + "\" " + text;
        return false;
    };
    if (::lstat(path.c_str(), &st) != 0)
        return fail("cannot be examined");
    if (!S_ISDIR(st.st_mode))
        return fail("is not a folder");
    if (st.st_uid != getuid())
        return fail("belongs to another user");
    if ((st.st_mode & 077) != 0)
        return fail("is open to other users");
    return true;
}

} // namespace tessaly
