// The floor an analysis of a file can reach on this machine: reads the file in large blocks, tests
// the sync byte of every packet and counts packets per PID, nothing else. Prints its own rate and
// the share of null packets, so the bench can quote the analysis as a ratio to it.
// Usage: raw_scan FILE [PACKET_LENGTH]   (188 unless given)
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kBlockBytes = std::size_t{4} << 20;

struct Counts {
    uint64_t bytes = 0;
    uint64_t packets = 0;
    uint64_t badSync = 0;
    std::array<uint64_t, 8192> perPid{};
};

// Scans the whole packets of [data, data + n); returns how many bytes it used.
std::size_t scan(const uint8_t* data, std::size_t n, std::size_t packetLength, Counts& c) {
    std::size_t p = 0;
    for (; p + packetLength <= n; p += packetLength) {
        const uint8_t* pkt = data + p;
        if (pkt[0] != 0x47) {
            ++c.badSync;
            continue;
        }
        ++c.perPid[(unsigned(pkt[1] & 0x1F) << 8) | pkt[2]];
    }
    c.packets += p / packetLength;
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: raw_scan FILE [PACKET_LENGTH]\n");
        return 2;
    }
    const std::size_t packetLength = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 188;
    if (packetLength != 188 && packetLength != 204) {
        std::fprintf(stderr, "raw_scan: the packet length is 188 or 204\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 2;
    }
    std::vector<uint8_t> buffer(kBlockBytes + packetLength);
    Counts c;
    std::size_t carried = 0;  // bytes of a packet cut by the block end, moved to the front
    const auto t0 = std::chrono::steady_clock::now();
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data() + carried, kBlockBytes);
        if (got < 0) {
            std::perror(argv[1]);
            ::close(fd);
            return 2;
        }
        if (got == 0) break;
        c.bytes += static_cast<uint64_t>(got);
        const std::size_t have = carried + static_cast<std::size_t>(got);
        const std::size_t used = scan(buffer.data(), have, packetLength, c);
        carried = have - used;
        std::memmove(buffer.data(), buffer.data() + used, carried);
    }
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ::close(fd);
    unsigned pids = 0;
    for (uint64_t n : c.perPid)
        pids += n != 0;
    const double nullShare =
        c.packets ? 100.0 * static_cast<double>(c.perPid[0x1FFF]) / static_cast<double>(c.packets)
                  : 0.0;
    std::printf("bytes %llu packets %llu bad-sync %llu pids %u null %.2f %% seconds %.6f\n",
                static_cast<unsigned long long>(c.bytes),
                static_cast<unsigned long long>(c.packets),
                static_cast<unsigned long long>(c.badSync), pids, nullShare, secs);
    return 0;
}
