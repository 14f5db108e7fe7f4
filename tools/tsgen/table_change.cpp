#include "tools/tsgen/table_change.h"

#include <algorithm>
#include <cstring>

#include "tools/tsgen/fault_injector.h"

namespace tsgen {
namespace {

constexpr std::size_t kCrcBytes = 4;
constexpr std::size_t kLongHeader = 8;  // table_id .. last_section_number
constexpr std::size_t kPmtFixed = 12;   // long header, PCR_PID, program_info_length
constexpr std::size_t kEsEntry = 5;     // stream_type, elementary_PID, ES_info_length

unsigned u12(const uint8_t* p) {
    return ((p[0] & 0x0Fu) << 8) | p[1];
}
uint16_t u13(const uint8_t* p) {
    return static_cast<uint16_t>(((p[0] & 0x1Fu) << 8) | p[1]);
}
uint16_t u16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

bool wholeLongSection(const uint8_t* s, std::size_t size, uint8_t tableId, std::size_t minSize) {
    return size >= minSize && s[0] == tableId && 3 + u12(s + 1) == size;
}

// The numbering of the next version: version_number + 1, everything else as it was.
SectionNumbering nextNumbering(const uint8_t* s) {
    SectionNumbering n;
    n.version = static_cast<uint8_t>(((s[5] >> 1) + 1) & 0x1F);
    n.currentNext = (s[5] & 0x01) != 0;
    n.sectionNumber = s[6];
    n.lastSectionNumber = s[7];
    return n;
}

// The descriptors of [from, to); false when one runs past `to`.
bool readDescriptors(const uint8_t* s, std::size_t from, std::size_t to, Descriptors& out) {
    while (from + 2 <= to) {
        const std::size_t length = s[from + 1];
        if (from + 2 + length > to) return false;
        out.push_back({s[from], std::vector<uint8_t>(s + from + 2, s + from + 2 + length)});
        from += 2 + length;
    }
    return from == to;
}

void setPid(uint8_t* p, uint16_t pid) {
    p[1] = static_cast<uint8_t>((p[1] & 0xE0) | ((pid >> 8) & 0x1F));
    p[2] = static_cast<uint8_t>(pid & 0xFF);
}

}  // namespace

std::optional<Section> nextPatVersion(const uint8_t* s, std::size_t size, uint16_t leaveOut) {
    if (!wholeLongSection(s, size, kTablePat, kLongHeader + kCrcBytes)) return std::nullopt;
    const std::size_t end = size - kCrcBytes;
    if ((end - kLongHeader) % 4 != 0) return std::nullopt;
    PatParams p;
    p.transportStreamId = u16(s + 3);
    p.numbering = nextNumbering(s);
    for (std::size_t pos = kLongHeader; pos < end; pos += 4) {
        const uint16_t number = u16(s + pos);
        if (leaveOut != 0 && number == leaveOut) continue;
        p.programs.push_back({number, u13(s + pos + 2)});
    }
    return buildPat(p);
}

std::optional<Section> nextPmtVersion(const uint8_t* s, std::size_t size, uint16_t esPid,
                                      uint16_t newPid) {
    if (!wholeLongSection(s, size, kTablePmt, kPmtFixed + kCrcBytes)) return std::nullopt;
    const std::size_t end = size - kCrcBytes;
    const std::size_t infoEnd = kPmtFixed + u12(s + 10);
    PmtParams p;
    p.programNumber = u16(s + 3);
    p.numbering = nextNumbering(s);
    p.pcrPid = u13(s + 8);
    if (infoEnd > end || !readDescriptors(s, kPmtFixed, infoEnd, p.programInfo))
        return std::nullopt;
    bool listed = false;
    for (std::size_t pos = infoEnd; pos < end;) {
        if (pos + kEsEntry > end) return std::nullopt;
        const std::size_t esEnd = pos + kEsEntry + u12(s + pos + 3);
        if (esEnd > end) return std::nullopt;
        PmtStream es;
        es.streamType = s[pos];
        es.pid = u13(s + pos + 1);
        if (!readDescriptors(s, pos + kEsEntry, esEnd, es.descriptors)) return std::nullopt;
        pos = esEnd;
        if (es.pid == esPid) {
            listed = true;
            if (newPid == 0) continue;
            es.pid = newPid;
        }
        p.streams.push_back(std::move(es));
    }
    if (!listed) return std::nullopt;
    // A moved stream that carries the PCR takes it along; a stream left out keeps sending it.
    if (p.pcrPid == esPid && newPid != 0) p.pcrPid = newPid;
    return buildPmt(p);
}

std::optional<SectionInPacket> wholeSectionIn(const uint8_t* p) {
    if (!pusiOf(p)) return std::nullopt;
    const std::size_t ps = payloadStart(p);
    if (ps >= kPacketSize) return std::nullopt;
    const std::size_t at = ps + 1 + p[ps];
    if (at + 3 > kPacketSize || p[at] == 0xFF) return std::nullopt;
    const std::size_t size = 3 + u12(p + at + 1);
    if (at + size > kPacketSize) return std::nullopt;
    return SectionInPacket{at, size};
}

std::vector<SectionInPacket> wholeSectionsIn(const uint8_t* p) {
    std::vector<SectionInPacket> out;
    std::optional<SectionInPacket> s = wholeSectionIn(p);
    while (s) {
        out.push_back(*s);
        const std::size_t at = s->at + s->size;
        s.reset();
        if (at + 3 > kPacketSize || p[at] == 0xFF) break;
        const std::size_t size = 3 + u12(p + at + 1);
        if (at + size <= kPacketSize) s = SectionInPacket{at, size};
    }
    return out;
}

bool replaceSectionInPacket(uint8_t* p, SectionInPacket old, const Section& replacement) {
    if (replacement.size() != old.size) {
        const uint8_t* after = p + old.at + old.size;
        if (old.at + replacement.size() > kPacketSize ||
            !std::all_of(after, static_cast<const uint8_t*>(p + kPacketSize),
                         [](uint8_t b) { return b == 0xFF; }))
            return false;
        std::memset(p + old.at, 0xFF, kPacketSize - old.at);
    }
    std::memcpy(p + old.at, replacement.data(), replacement.size());
    return true;
}

// pat-change and pmt-change (see faults.h). They act on the clean packet before any other fault,
// so that the other faults can still damage, drop or stray around the changed tables.
void FaultInjector::applyTableChanges(uint64_t index) {
    for (std::size_t i = 0; i < faults_.size(); ++i) {
        Entry& e = faults_[i];
        const Fault& f = e.fault;
        const bool pmt = f.kind == FaultKind::PmtChange;
        if ((!pmt && f.kind != FaultKind::PatChange) || index < f.at) continue;
        const uint16_t esPid = pmt ? *f.pid : 0;
        const auto value = static_cast<uint16_t>(e.value);
        // Once the new PMT is out, a moved elementary stream is sent on its new PID.
        if (pmt && e.state == State::Active && value != 0 && value != esPid && cur_.pid == esPid) {
            setPid(cur_.bytes, value);
            cur_.pid = value;
            continue;
        }
        if (cur_.pid == kNullPid) continue;
        for (const SectionInPacket& where : wholeSectionsIn(cur_.bytes)) {
            const uint8_t* s = cur_.bytes + where.at;
            std::optional<Section> next;
            if (pmt && s[0] == kTablePmt)
                next = nextPmtVersion(s, where.size, esPid, value);
            else if (!pmt && cur_.pid == 0 && s[0] == kTablePat)
                next = nextPatVersion(s, where.size, value);
            if (!next || !replaceSectionInPacket(cur_.bytes, where, *next)) continue;
            if (e.state == State::Waiting) {
                e.state = State::Active;
                record(i, index, cur_.pid, index);
            } else {
                extendRecord(i, index);
            }
        }
    }
}

}  // namespace tsgen
