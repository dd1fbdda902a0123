// TChildProcess on posix_spawn, pipes, poll and waitpid.
#include "support/child_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace tessaly::test {

namespace {

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TChildProcess::~TChildProcess() {
    CloseInput();   // a program that ends at the end of its input gets to clean up
    if (FPid > 0 && Wait(2000) < 0) {
        Kill(SIGKILL);
        Wait(10000);
    }
    if (FIn >= 0)
        close(FIn);
    if (FOut >= 0)
        close(FOut);
}

bool TChildProcess::Start(const std::string &program, const std::vector<std::string> &args,
                          const std::vector<std::string> &env) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return false;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);

    std::vector<std::string> argText{program};
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText;
    for (char **e = environ; *e; ++e)
        envText.emplace_back(*e);
    envText.insert(envText.end(), env.begin(), env.end());
    std::vector<char *> envp;
    for (std::string &e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const int rc = posix_spawn(&FPid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    FIn = in[1];
    FOut = out[0];
    if (rc != 0)
        FPid = -1;
    return rc == 0;
}

bool TChildProcess::ReadLine(std::string &line, int timeoutMs) {
    const long long deadline = NowMs() + timeoutMs;
    for (;;) {
        const size_t end = FBuffer.find('\n');
        if (end != std::string::npos) {
            line = FBuffer.substr(0, end);
            FBuffer.erase(0, end + 1);
            return true;
        }
        const long long left = deadline - NowMs();
        if (FOut < 0 || left <= 0)
            return false;
        pollfd fd{FOut, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = read(FOut, buf, sizeof buf);
        if (n == 0 || (n < 0 && errno != EINTR))
            return false;
        if (n > 0)
            FBuffer.append(buf, static_cast<size_t>(n));
    }
}

void TChildProcess::CloseInput() {
    if (FIn >= 0)
        close(FIn);
    FIn = -1;
}

int TChildProcess::Wait(int timeoutMs) {
    if (FPid <= 0)
        return -1;
    const long long deadline = NowMs() + timeoutMs;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(FPid, &status, WNOHANG);
        if (r == FPid) {
            FPid = -1;
            if (WIFSIGNALED(status))
                return 128 + WTERMSIG(status);
            return WEXITSTATUS(status);
        }
        if (r < 0 || NowMs() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void TChildProcess::Kill(int signal) {
    if (FPid > 0)
        kill(FPid, signal);
}

} // namespace tessaly::test
