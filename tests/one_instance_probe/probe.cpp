// Stand-in for the window program in the single-instance tests: runs the start-up check
// on its own file name with its parameters and reports on standard output.
//
// Output: the role ("first", "handed-over", "independent"); then, for a first copy, per
// hand-over a line "received N" and N lines "LENGTH:TEXT". A first or independent copy
// runs until its standard input ends; a copy that handed over ends at once with status 0.
// Environment: TESSALY_PROBE_TIMEOUT_MS (wait for each answer, default 10000),
// TESSALY_PROBE_MUTE=1 (a first copy never reads hand-overs, as if it hung).
#include "shell/one_instance.h"

#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tessaly;

namespace {

const char *RoleText(TInstanceRole role) {
    switch (role) {
    case irFirst:
        return "first";
    case irHandedOver:
        return "handed-over";
    default:
        return "independent";
    }
}

void Report(const std::vector<std::string> &params) {
    std::printf("received %zu\n", params.size());
    for (const std::string &p : params)
        std::printf("%zu:%s\n", p.size(), p.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv) {
    const char *timeoutText = std::getenv("TESSALY_PROBE_TIMEOUT_MS");
    const int timeoutMs = timeoutText ? std::atoi(timeoutText) : kHandOverTimeoutMs;
    const char *muteText = std::getenv("TESSALY_PROBE_MUTE");
    const bool mute = muteText && std::string(muteText) == "1";

    TOneInstance one(std::string(), timeoutMs);
    const TInstanceRole role = one.Start(std::vector<std::string>(argv + 1, argv + argc));
    std::printf("%s\n", RoleText(role));
    std::fflush(stdout);
    if (role == irHandedOver)
        return 0;

    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {one.NotifyFd(), POLLIN, 0}};
        const nfds_t count = one.IsFirst() && !mute ? 2 : 1;
        if (poll(fds, count, -1) < 0)
            continue;
        if (fds[0].revents) {
            char buf[256];
            if (read(STDIN_FILENO, buf, sizeof buf) <= 0)
                break;
        }
        if (count == 2 && (fds[1].revents & POLLIN)) {
            std::vector<std::string> params;
            if (one.ReceiveHandOver(params))
                Report(params);
        }
    }
    return 0;
}
