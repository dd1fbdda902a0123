// TChildProcess: a program run by a test with pipes on its standard input and output,
// so that several real processes can be started, read, stopped and killed.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace tessaly::test {

class TChildProcess {
public:
    TChildProcess() = default;
    // Closes the program's input, gives it 2 s to end, then kills (SIGKILL) and reaps it.
    ~TChildProcess();
    TChildProcess(const TChildProcess &) = delete;
    TChildProcess &operator=(const TChildProcess &) = delete;

    // Starts `program` with `args` (without the program name) and the test's
    // environment plus the "NAME=VALUE" entries of `env`.
    bool Start(const std::string &program, const std::vector<std::string> &args,
               const std::vector<std::string> &env = {});
    // One line of standard output without its line feed, waiting at most `timeoutMs`;
    // false on time-out or at the end of the output.
    bool ReadLine(std::string &line, int timeoutMs);
    // Closes the program's standard input (it sees the end of its input).
    void CloseInput();
    // Waits at most `timeoutMs` for the end: the exit status, 128 + signal number for
    // a killed program, or -1 when it still runs.
    int Wait(int timeoutMs);
    void Kill(int signal);
    pid_t Pid() const { return FPid; }

private:
    pid_t FPid = -1;
    int FIn = -1;
    int FOut = -1;
    std::string FBuffer;
};

} // namespace tessaly::test
