// Section assembly of the SI PIDs. A packet that starts sections may carry the tail of the
// section under way (before the pointer target) and then several sections back to back, each
// ending where its section_length says, until a 0xFF stuffing byte or the packet's end. A section
// is handed to its handler in the packet that brings its last byte. One that is not whole when
// the next start arrives on its PID cannot be checked and is counted as cut short.
#include <algorithm>
#include <cstring>

#include "engine/packet_checks.h"
#include "engine/packet_header.h"
#include "engine/repetition_check.h"
#include "engine/section_fields.h"
#include "engine/si_handlers.h"

namespace orv {
namespace {

constexpr unsigned kPacketBytes = static_cast<unsigned>(kTsPacketSize);
constexpr int kSectionNumberByte = 6;
constexpr int kSectionLengthEnd = 3;  // table_id and section_length: what a length needs
constexpr uint8_t kStuffingByte = 0xFF;

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

// The per-table slot of ctx.sectionsCutShort for an SI section, or -1 for the tables without a
// CRC_32 (TDT, RST, stuffing); a PSI table_id on an SI PID counts for no table.
int cutShortSlot(unsigned tableId) {
    return tableId <= 0x02 ? -1 : crcTableOfTableId(tableId);
}

int bufferSize(unsigned pid) {
    return pid == kPidEit ? kEitBufferSize : kSiBufferSize;
}

int sectionTotal(const uint8_t* section) {
    return kSectionLengthEnd + static_cast<int>(read12(section + 1));
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

class SiPacketFeed {
  public:
    SiPacketFeed(AnalysisContext& ctx, unsigned pid)
        : ctx_(ctx), pid_(pid), c_(ctx.si[pid - kPidNit].collector), capacity_(bufferSize(pid)) {}

    // Payload bytes of the section under way; it is handled once whole, or once it fills the
    // buffer (a section longer than the buffer then fails its CRC).
    void continueSection(const uint8_t* from, unsigned count) {
        const int n = std::min(static_cast<int>(count), capacity_ - c_.length);
        if (n > 0) {
            std::memcpy(c_.bytes.data() + c_.length, from, static_cast<std::size_t>(n));
            c_.length += n;
        }
        const std::span<const uint8_t> collected(c_.bytes.data(),
                                                 static_cast<std::size_t>(c_.length));
        if (c_.subTablePending) measurePendingSubTable(collected);
        if (c_.length >= kSectionLengthEnd &&
            (c_.length >= sectionTotal(c_.bytes.data()) || c_.length >= capacity_))
            complete(collected);
    }

    // A section start arrived while the section under way is not whole.
    void cutShort() {
        const int slot = cutShortSlot(c_.bytes[0]);
        if (slot >= 0) ++ctx_.sectionsCutShort[static_cast<std::size_t>(slot)];
        ended(std::span<const uint8_t>(c_.bytes.data(), static_cast<std::size_t>(c_.length)));
    }

    bool inProgress() const { return c_.length > 0; }

    // The sections that start at `pos` and follow each other to the end of the packet, up to
    // stuffing or a table_id the PID may not carry.
    void startSections(const uint8_t* packet, unsigned pos) {
        bool first = true;
        while (pos < kPacketBytes && (first || packet[pos] != kStuffingByte)) {
            first = false;
            const uint8_t tableId = packet[pos];
            if (!ScreenSiTableId(ctx_, pid_, tableId)) return;
            measureSectionStart(ctx_, tableId, c_.endedSectionNumber);
            const unsigned room = kPacketBytes - pos;
            const std::span<const uint8_t> rest(packet + pos, room);
            const bool lengthHere = room >= static_cast<unsigned>(kSectionLengthEnd);
            const int total = lengthHere ? sectionTotal(packet + pos) : 0;
            if (!lengthHere || static_cast<unsigned>(total) > room) {
                c_.startPacket = ctx_.packetCounter;
                c_.subTablePending = true;
                c_.length = 0;
                continueSection(packet + pos, room);
                return;
            }
            const auto section = rest.first(static_cast<std::size_t>(total));
            measureSubTableStart(ctx_, section, ctx_.packetCounter);
            // The handler sees the packet's bytes behind the section too, as it would in the
            // buffer (a TDT record keeps the two bytes after the section).
            c_.endedSectionNumber = sectionNumberOf(section);
            dispatch(ctx_, pid_, rest);
            pos += static_cast<unsigned>(total);
        }
    }

  private:
    static uint8_t sectionNumberOf(std::span<const uint8_t> s) {
        const bool eit = s[0] >= kTableEitPfActual && s[0] <= kTableEitScheduleLast;
        return eit && s.size() > kSectionNumberByte ? s[kSectionNumberByte] : 0;
    }

    // The sub_table of the section under way, once its header bytes are in (within the section).
    void measurePendingSubTable(std::span<const uint8_t> collected) {
        std::size_t known = collected.size();
        if (known >= kSectionLengthEnd)
            known = std::min(known, static_cast<std::size_t>(sectionTotal(collected.data())));
        const std::size_t needed = static_cast<std::size_t>(subTableKeyBytes(collected[0]));
        if (known < needed) return;
        c_.subTablePending = false;
        if (needed > 0) measureSubTableStart(ctx_, collected.first(known), c_.startPacket);
    }

    void complete(std::span<const uint8_t> collected) {
        dispatch(ctx_, pid_, collected);
        ended(collected);
    }

    void ended(std::span<const uint8_t> collected) {
        c_.endedSectionNumber = sectionNumberOf(collected);
        c_.length = 0;
        c_.subTablePending = false;
    }

    AnalysisContext& ctx_;
    unsigned pid_;
    SiCollector& c_;
    int capacity_;
};

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
    SiPacketFeed feed(ctx, pid);
    if (!payloadUnitStart(packet)) {
        // After a section that ends here only stuffing may follow: a start needs a pointer_field.
        if (feed.inProgress()) feed.continueSection(packet + payload, kPacketBytes - payload);
        return;
    }
    // A pointer_field that points past the packet announces a start that is not there: what
    // follows it is the tail of the section under way.
    const unsigned target = std::min(payload + 1u + packet[payload], kPacketBytes);
    if (feed.inProgress()) {
        feed.continueSection(packet + payload + 1, target - payload - 1);
        if (feed.inProgress()) feed.cutShort();
    }
    feed.startSections(packet, target);
}

}  // namespace orv
