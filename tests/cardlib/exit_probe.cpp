// A program that uses libZelcard.so as the analyzer does, up to a chosen stage, and then simply
// ends: the exit test runs it in a fresh process for each stage and device and checks that the
// process ends normally. The device comes from ORV_SIM_DEVICE.
//   zelcard_exit_probe open|fifo|receive|read [stop]
// Exit status: 0 when every step of the stage succeeded, 3 when one failed (the step is named on
// stderr), 2 for bad arguments.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

#include "cardlib/zelcard.h"

namespace {

int failed(const char* step, long long result) {
    std::fprintf(stderr, "%s: %lld\n", step, result);
    return 3;
}

// Reads until a block arrives (the device plays in real time), at most for two seconds.
long long readSomeBlocks() {
    std::vector<unsigned char> buffer(5 * 8160);
    std::uint32_t rates[5] = {};
    ExtraDataInTs records[5] = {};
    long long n = 0;
    for (int attempt = 0; attempt < 200 && n <= 0; ++attempt) {
        unsigned count = 0;
        n = ZelReadData2(buffer.data(), rates, records, count, 5, 0);
        if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string_view stage = argv[1];
    const bool stop = argc > 2 && std::strcmp(argv[2], "stop") == 0;
    const int depth = stage == "open"      ? 1
                      : stage == "fifo"    ? 2
                      : stage == "receive" ? 3
                      : stage == "read"    ? 4
                                           : 0;
    if (depth == 0) return 2;
    ZelSetMessageHook([](const char* text) { std::fprintf(stderr, "message: %s\n", text); });

    if (long r = ZelInitCard(0, 0, 0, 1, 6000000, 474000, 6875, 2, 0); r != 0) {
        return failed("ZelInitCard", r);
    }
    if (depth >= 2) {
        if (long r = ZelInitFifo(100, 10, 50, 0, 0); r != 0) return failed("ZelInitFifo", r);
    }
    if (depth >= 3) {
        if (long r = ZelStartReceive(0); r != 0) return failed("ZelStartReceive", r);
    }
    if (depth >= 4) {
        if (long long n = readSomeBlocks(); n <= 0) return failed("ZelReadData2", n);
    }
    if (stop) {
        if (long r = ZelStopReTran(0); r != 0) return failed("ZelStopReTran", r);
    }
    return 0;
}
