// Benchmark of project-file style ini writes: key by key (one durable replacement per
// key) against one gathered update, and of reads from a large section.
#include "platform/ini_file.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace tessaly;

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void WriteMarkers(TIniFile &ini, int count) {
    ini.EraseSection("Markers");
    ini.WriteInteger("Markers", "Count", count);
    for (int i = 0; i < count; ++i)
        ini.WriteString("Markers", std::to_string(i), "Spl   " + std::to_string(1000 + i) + "      +5");
}

} // namespace

int main(int argc, char **argv) {
    int count = argc > 1 ? std::atoi(argv[1]) : 500;
    const char *base = std::getenv("TMPDIR");
    std::string path = std::string(base && *base ? base : "/tmp") + "/bench_ini_" + std::to_string(getpid()) + ".tsp";

    TIniFile ini(path);
    auto start = std::chrono::steady_clock::now();
    WriteMarkers(ini, count);
    double perKey = Seconds(start);

    start = std::chrono::steady_clock::now();
    ini.BeginUpdate();
    WriteMarkers(ini, count);
    bool ok = ini.EndUpdate();
    double gathered = Seconds(start);

    start = std::chrono::steady_clock::now();
    long sum = 0;
    for (int i = 0; i < count; ++i)
        sum += static_cast<long>(ini.ReadString("Markers", std::to_string(i), "").size());
    double reads = Seconds(start);

    std::printf("%d markers: key by key %.3f s, one update %.4f s (%s), %d reads %.3f s (%ld bytes)\n", count,
                perKey, gathered, ok ? "ok" : "failed", count, reads, sum);
    std::remove(path.c_str());
    return ok ? 0 : 1;
}
