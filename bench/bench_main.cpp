// ventora-bench: the tool's response times and running costs, each printed next
// to the limit it is measured against. Everything runs against the software
// transmitter on a pty, emitting at the line rate (10 bits per byte).
//
//   ventora-bench            the full run (about two minutes, and 40 more for the long watch
//                            of cli_long_watch.cpp; VENTORA_BENCH_WATCH_ROUNDS=N shortens it)
//   ventora-bench --smoke    a few iterations of everything, to keep it building and running
//   ventora-bench idle ...   only the named sections: latency, peer, detection, idle,
//                            allocations, startup, cli, service, mqtt (only
//                            cli's watch --mqtt figures)

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/figures.h"

using namespace std::chrono_literals;

int main(int argc, char** argv) {
    bool smoke = false;
    std::vector<std::string> only; // sections named on the command line; none = all
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else
            only.emplace_back(argv[i]);
    }
    const auto wanted = [&](const char* section) {
        return only.empty() || std::find(only.begin(), only.end(), section) != only.end();
    };
    const int iterations = smoke ? 5 : 200;
    std::fprintf(stderr, "ventora-bench%s on %u cores\n", smoke ? " --smoke" : "", std::thread::hardware_concurrency());

    double ours9600 = 0;
    if (wanted("latency")) releaseDelay(smoke ? 5 : 100);
    if (wanted("latency") || wanted("peer")) {
        for (const std::uint32_t baud :
             smoke ? std::vector<std::uint32_t>{9600} : std::vector<std::uint32_t>{2400, 4800, 9600})
            ours9600 = latencyAt(baud, iterations);
    }
    if (wanted("peer")) peer(ours9600, smoke ? 2 : 50);
    if (wanted("detection")) detection(smoke);
    if (wanted("idle")) idle(smoke ? 200ms : 10000ms);
    if (wanted("allocations")) allocations(smoke ? 5 : 200);
    if (wanted("startup")) startup(smoke ? 1 : 5);
    if (wanted("cli")) cliFigures(smoke);
    if (wanted("service")) cliServiceFigures(smoke);
    // cli includes them
    if (wanted("mqtt") && !wanted("cli")) cliMqttFigures(smoke);

    printTable();
    std::printf("\n(%u cores; latencies are from click to answer, wire time assumes 10 bits per byte)\n",
                std::thread::hardware_concurrency());
    return 0;
}
