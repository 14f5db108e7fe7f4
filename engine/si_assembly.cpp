#include <algorithm>
#include <cstring>

#include "engine/packet_checks.h"
#include "engine/packet_header.h"
#include "engine/repetition_check.h"
#include "engine/si_handlers.h"

namespace orv {
namespace {

constexpr unsigned kPacketBytes = static_cast<unsigned>(kTsPacketSize);
constexpr int kSectionNumberByte = 6;

struct TableIdRange {
    uint8_t first, last;
};

// What each SI PID may carry, and the event when a section start carries something else.
struct SiScreen {
    unsigned pid;
    TableIdRange allowed[4];
    int rangeCount;
    Tr290ErrorKind kind;
    int slot;
    int code;
};

constexpr SiScreen kScreens[] = {
    {kPidNit, {{0x40, 0x41}, {0x72, 0x72}}, 2, Tr290ErrorKind::NitId, 0, 1120},
    {kPidSdtBat,
     {{0x42, 0x42}, {0x46, 0x46}, {0x4A, 0x4A}, {0x72, 0x72}},
     4,
     Tr290ErrorKind::SdtId,
     0,
     1170},
    {kPidEit, {{0x4E, 0x6F}, {0x72, 0x72}}, 2, Tr290ErrorKind::EitId, 0, 1180},
    {kPidRst, {{0x71, 0x72}}, 1, Tr290ErrorKind::Rst, sub::kRstTableId, 1190},
    {kPidTdtTot, {{0x70, 0x70}, {0x72, 0x73}}, 2, Tr290ErrorKind::Tdt, sub::kTdtTableId, 1200},
};

int bufferSize(unsigned pid) {
    return pid == kPidEit ? kEitBufferSize : kSiBufferSize;
}

void append(SiCollector& c, const uint8_t* from, unsigned count, int capacity) {
    const int n = std::min(static_cast<int>(count), capacity - c.length);
    if (n <= 0) return;
    std::memcpy(c.bytes.data() + c.length, from, static_cast<std::size_t>(n));
    c.length += n;
}

void dispatch(AnalysisContext& ctx, unsigned pid, std::span<const uint8_t> assembled) {
    switch (pid) {
        case kPidNit:
            OnNitSection(ctx, assembled);
            break;
        case kPidSdtBat:
            OnSdtBatSection(ctx, assembled);
            break;
        case kPidEit:
            OnEitSection(ctx, assembled);
            break;
        case kPidRst:
            OnRstSection(ctx, assembled);
            break;
        case kPidTdtTot:
            OnTdtTotSection(ctx, assembled);
            break;
        default:
            break;
    }
}

}  // namespace

bool ScreenSiTableId(AnalysisContext& ctx, unsigned pid, unsigned tableId) {
    for (const SiScreen& s : kScreens) {
        if (s.pid != pid) continue;
        for (int i = 0; i < s.rangeCount; ++i)
            if (tableId >= s.allowed[i].first && tableId <= s.allowed[i].last) return true;
        if (mayLog(ctx, s.kind, s.slot)) logEvent(ctx, s.code);
        return false;
    }
    return false;
}

bool siBaselineOnly(const AnalysisContext& ctx, unsigned pid) {
    if (pid < kPidNit || pid > kPidTdtTot || pid == kPidEit) return false;
    return !ctx.si[pid - kPidNit].firstTableAccepted;
}

void feedSiPacket(AnalysisContext& ctx, const uint8_t* packet, unsigned pid) {
    if (pid < kPidNit || pid > kPidTdtTot) return;
    const unsigned payload = payloadOffset(packet);
    if (payload >= kPacketBytes) return;
    SiCollector& c = ctx.si[pid - kPidNit].collector;
    const int capacity = bufferSize(pid);
    if (!payloadUnitStart(packet)) {
        if (c.length > 0) append(c, packet + payload, kPacketBytes - payload, capacity);
        return;
    }
    const unsigned target = payload + 1u + packet[payload];
    if (target >= kPacketBytes) return;  // the pointer_field points past the packet
    const uint8_t tableId = packet[target];
    if (!ScreenSiTableId(ctx, pid, tableId)) return;
    unsigned completedSectionNumber = 0;
    if (c.length > 0) {
        append(c, packet + payload + 1, target - payload - 1, capacity);
        const std::span<const uint8_t> assembled(c.bytes.data(),
                                                 static_cast<std::size_t>(c.length));
        dispatch(ctx, pid, assembled);
        if (c.bytes[0] >= kTableEitPfActual && c.bytes[0] <= kTableEitScheduleLast &&
            c.length > kSectionNumberByte)
            completedSectionNumber = c.bytes[kSectionNumberByte];
    }
    // After the handler, so that a first section it has just stored is measured from its start.
    measureSectionStart(ctx, tableId, completedSectionNumber);
    c.length = 0;
    append(c, packet + target, kPacketBytes - target, capacity);
}

}  // namespace orv
