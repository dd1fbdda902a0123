// Shared test helpers: scratch folders, external commands, file bytes.
#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <sys/wait.h>

#include <gtest/gtest.h>

namespace tessaly::test {

namespace {

// Every test program keeps the index caches of the media it opens in a folder of its own,
// removed at the end, instead of the user's cache folder.
class TCacheHome : public ::testing::Environment {
public:
    void SetUp() override
    {
        FDir = std::make_unique<TTempDir>();
        setenv("XDG_CACHE_HOME", FDir->File("cache").c_str(), 1);
    }
    void TearDown() override { FDir.reset(); }

private:
    std::unique_ptr<TTempDir> FDir;
};

[[maybe_unused]] ::testing::Environment *const kCacheHome = ::testing::AddGlobalTestEnvironment(new TCacheHome);

} // namespace

TTempDir::TTempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tessaly-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("cannot create a temporary folder");
    FPath = buf.data();
}

TTempDir::~TTempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}

std::string ShellQuote(const std::string &s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

int RunCommand(const std::string &command, std::string *stdoutText)
{
    FILE *p = popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        if (stdoutText)
            stdoutText->append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Ffmpeg(const std::string &args)
{
    return RunCommand("ffmpeg -nostdin -hide_banner -v error -y " + args + " </dev/null") == 0;
}

std::vector<uint8_t> ReadFileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

std::string SourceRoot()
{
    return std::filesystem::path(TESSALY_TEST_DATA_DIR).parent_path().parent_path().string();
}

std::map<std::string, std::string> ProgramSources()
{
    namespace fs = std::filesystem;
    const fs::path root = SourceRoot();
    std::map<std::string, std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(root / "src")) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h"))
            continue;
        const std::vector<uint8_t> bytes = ReadFileBytes(entry.path().string());
        files[fs::relative(entry.path(), root).string()] = std::string(bytes.begin(), bytes.end());
    }
    return files;
}

} // namespace tessaly::test
