// File-system helpers on POSIX calls: stat, statfs, /proc/self/exe, rename.
#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace tessaly {

namespace {

// File-system magic numbers as the kernel reports them in statfs f_type.
constexpr long kMsdosMagic = 0x4d44;
constexpr long kExfatMagic = 0x2011BAB0;
constexpr long kExt4Magic = 0xEF53;
constexpr long kTmpfsMagic = 0x01021994;
constexpr long kBtrfsMagic = 0x9123683E;
constexpr long kXfsMagic = 0x58465342;
constexpr long kOverlayMagic = 0x794c7630;
constexpr long kNtfsMagic = 0x5346544e;
constexpr long kFuseMagic = 0x65735546;

std::mutex gProgramDirMutex;
std::string gProgramDirOverride;

// statfs of `path`, or of its folder when the path does not exist yet.
bool StatVolume(const std::string &path, struct statfs &info) {
    if (statfs(path.c_str(), &info) == 0)
        return true;
    std::string dir = ExtractFilePath(path);
    if (dir.empty())
        dir = ".";
    return statfs(dir.c_str(), &info) == 0;
}

std::string ErrorText(const std::string &what, const std::string &path, int err) {
    return what + " \"" + path + "\": " + std::strerror(err);
}

// The umask of this process without changing it (read from /proc; 022 when unknown).
mode_t CurrentUmask() {
    FILE *f = std::fopen("/proc/self/status", "r");
    mode_t mask = 022;
    if (!f)
        return mask;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "Umask:", 6) == 0) {
            mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
            break;
        }
    }
    std::fclose(f);
    return mask;
}

bool WriteAll(int fd, const std::string &data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool FileExists(const std::string &path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string &path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ExpandFileName(const std::string &path) {
    if (path.empty())
        return {};
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec)
        return path;
    return p.lexically_normal().string();
}

std::string ExtractFilePath(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileExt(const std::string &path) {
    size_t dot = path.rfind('.');
    size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return path.substr(dot);
}

std::string ChangeFileExt(const std::string &path, const std::string &ext) {
    std::string old = ExtractFileExt(path);
    return path.substr(0, path.size() - old.size()) + ext;
}

std::string IncludeTrailingSlash(const std::string &dir) {
    if (dir.empty() || dir.back() == '/')
        return dir;
    return dir + "/";
}

TVolumeKind VolumeKind(const std::string &path) {
    struct statfs info;
    if (!StatVolume(path, info))
        return vkUnknown;
    long type = static_cast<long>(info.f_type);
    if (type == kMsdosMagic)
        return vkFat;
    if (type == kExfatMagic)
        return vkExFat;
    return vkOther;
}

std::string FileSystemName(const std::string &path) {
    struct statfs info;
    if (!StatVolume(path, info))
        return {};
    switch (static_cast<long>(info.f_type)) {
    case kMsdosMagic: return "FAT32";
    case kExfatMagic: return "exFAT";
    case kExt4Magic: return "ext4";
    case kTmpfsMagic: return "tmpfs";
    case kBtrfsMagic: return "btrfs";
    case kXfsMagic: return "xfs";
    case kOverlayMagic: return "overlay";
    case kNtfsMagic: return "NTFS";
    case kFuseMagic: return "fuse";
    default: break;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%lx", static_cast<unsigned long>(info.f_type));
    return buf;
}

bool IsFatVolume(const std::string &path) {
    return VolumeKind(path) == vkFat;
}

std::string ProgramDir() {
    {
        std::lock_guard<std::mutex> lock(gProgramDirMutex);
        if (!gProgramDirOverride.empty())
            return gProgramDirOverride;
    }
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "./";
    std::string dir = ExtractFilePath(std::string(buf, static_cast<size_t>(n)));
    return dir.empty() ? "./" : dir;
}

void SetProgramDirOverride(const std::string &dir) {
    std::lock_guard<std::mutex> lock(gProgramDirMutex);
    gProgramDirOverride = IncludeTrailingSlash(dir);
}

std::string SystemTempDir() {
    const char *env = std::getenv("TMPDIR");
    if (env && *env && DirectoryExists(env))
        return IncludeTrailingSlash(env);
    return "/tmp/";
}

std::string UserConfigDir() {
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return IncludeTrailingSlash(xdg);
    std::string home;
    const char *env = std::getenv("HOME");
    if (env && *env) {
        home = env;
    } else if (const struct passwd *pw = getpwuid(getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    }
    if (home.empty())
        home = "/tmp";
    return IncludeTrailingSlash(home) + ".config/";
}

bool ForceDirectories(const std::string &dir) {
    if (dir.empty())
        return false;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return DirectoryExists(dir);
}

std::string FileErrorText(const std::string &what, const std::string &path, int err) {
    return ErrorText(what, path, err);
}

bool ReadWholeFile(const std::string &path, std::string &contents, int *err, size_t maxBytes) {
    contents.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (err)
            *err = errno;
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        if (err)
            *err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return false;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (err)
                *err = errno;
            ::close(fd);
            contents.clear();
            return false;
        }
        if (n == 0)
            break;
        if (contents.size() + static_cast<size_t>(n) > maxBytes) {
            if (err)
                *err = EFBIG;
            ::close(fd);
            contents.clear();
            return false;
        }
        contents.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    if (err)
        *err = 0;
    return true;
}

bool WriteFileAtomic(const std::string &path, const std::string &contents, std::string *error) {
    auto fail = [&](const std::string &what, int err) {
        if (error)
            *error = ErrorText(what, path, err);
        return false;
    };
    if (path.empty())
        return fail("Cannot write file", ENOENT);
    // Write beside the real file when the name is a link, so the link stays a link.
    std::string target = path;
    struct stat lst;
    if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char *real = realpath(path.c_str(), nullptr);
        if (real) {
            target = real;
            std::free(real);
        }
    }
    struct stat st;
    bool exists = stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return fail("Cannot write file", EISDIR);
    mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~CurrentUmask());

    std::string dir = ExtractFilePath(target);
    std::string temp = dir + "." + ExtractFileName(target) + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return fail("Cannot create a temporary file for", errno);
    int err = 0;
    if (!WriteAll(fd, contents))
        err = errno;
    else if (fchmod(fd, mode) != 0 && errno != EPERM)
        err = errno;
    else if (fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && rename(temp.c_str(), target.c_str()) != 0)
        err = errno;
    if (err != 0) {
        unlink(temp.c_str());
        return fail("Cannot write file", err);
    }
    // Make the rename itself durable.
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
    return true;
}

} // namespace tessaly
