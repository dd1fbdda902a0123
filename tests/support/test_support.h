// Helpers shared by the test suites: scratch folders, external commands, file bytes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tessaly::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir &) = delete;
    TTempDir &operator=(const TTempDir &) = delete;
    const std::string &Path() const { return FPath; }
    // Path of a file name inside the folder.
    std::string File(const std::string &name) const { return FPath + "/" + name; }

private:
    std::string FPath;
};

// Runs a shell command; returns its exit status (or -1) and its standard output.
int RunCommand(const std::string &command, std::string *stdoutText = nullptr);

// Runs ffmpeg quietly with the given arguments (after "-nostdin -v error -y");
// true on exit status 0.
bool Ffmpeg(const std::string &args);

// Quotes a text for the shell.
std::string ShellQuote(const std::string &s);

std::vector<uint8_t> ReadFileBytes(const std::string &path);
bool WriteFileBytes(const std::string &path, const std::vector<uint8_t> &bytes);

// The checkout's top folder (the one holding src/, tests/ and lang/).
std::string SourceRoot();
// Every .cpp and .h file under src/ with its text, by its path relative to SourceRoot().
std::map<std::string, std::string> ProgramSources();

} // namespace tessaly::test
