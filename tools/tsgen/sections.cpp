#include "tools/tsgen/sections.h"

#include <stdexcept>

#include "tools/tsgen/crc32.h"
#include "tools/tsgen/dvb_time.h"

namespace tsgen {
namespace {

constexpr std::size_t kMaxSectionLength = 4093;

// Byte 1 high nibble: section_syntax_indicator, the private/reserved_future_use bit, reserved 11.
constexpr unsigned kLongPsi = 0xB;  // 1 0 11 (PAT, CAT, PMT)
constexpr unsigned kLongSi = 0xF;   // 1 1 11 (DVB SI)
constexpr unsigned kShortSi = 0x7;  // 0 1 11 (TDT, TOT, RST)

// Starts a section: table_id and the length field; returns the length field's position.
std::size_t openSection(ByteWriter& w, uint8_t tableId, unsigned flags) {
    w.u8(tableId);
    return w.reserveLength12(flags);
}

std::size_t openLongSection(ByteWriter& w, uint8_t tableId, unsigned flags, uint16_t extension,
                            const SectionNumbering& n) {
    const std::size_t pos = openSection(w, tableId, flags);
    w.u16(extension);
    w.u8(0xC0 | ((n.version & 0x1F) << 1) | (n.currentNext ? 1 : 0));
    w.u8(n.sectionNumber);
    w.u8(n.lastSectionNumber);
    return pos;
}

// Sets section_length (counting the CRC when there is one) and appends the CRC.
Section closeSection(Section& s, std::size_t lengthPos, bool withCrc) {
    const std::size_t length = s.size() - 3 + (withCrc ? 4 : 0);
    if (length > kMaxSectionLength) throw std::length_error("section_length above 4093");
    ByteWriter w(s);
    w.patchLength12(lengthPos, length);
    if (withCrc) w.u32(crc32Mpeg2(s.data(), s.size()));
    return std::move(s);
}

void writeTransportStreamLoop(ByteWriter& w, const std::vector<TransportStreamEntry>& list) {
    const std::size_t pos = w.reserveLength12(0xF);
    for (const TransportStreamEntry& ts : list) {
        w.u16(ts.transportStreamId);
        w.u16(ts.originalNetworkId);
        writeDescriptorLoop(w, ts.descriptors);
    }
    w.closeLength12(pos);
}

Section buildNitLike(uint8_t tableId, uint16_t extension, const SectionNumbering& n,
                     const Descriptors& first, const std::vector<TransportStreamEntry>& loop) {
    Section s;
    ByteWriter w(s);
    const std::size_t pos = openLongSection(w, tableId, kLongSi, extension, n);
    writeDescriptorLoop(w, first);
    writeTransportStreamLoop(w, loop);
    return closeSection(s, pos, true);
}

}  // namespace

Section buildPat(const PatParams& p) {
    Section s;
    ByteWriter w(s);
    const std::size_t pos =
        openLongSection(w, kTablePat, kLongPsi, p.transportStreamId, p.numbering);
    for (const PatEntry& e : p.programs) {
        w.u16(e.programNumber);
        w.u16(0xE000 | (e.pid & 0x1FFF));
    }
    return closeSection(s, pos, true);
}

Section buildCat(const CatParams& p) {
    Section s;
    ByteWriter w(s);
    const std::size_t pos = openLongSection(w, kTableCat, kLongPsi, 0xFFFF, p.numbering);
    writeDescriptors(w, p.descriptors);
    return closeSection(s, pos, true);
}

Section buildPmt(const PmtParams& p) {
    Section s;
    ByteWriter w(s);
    const std::size_t pos = openLongSection(w, kTablePmt, kLongPsi, p.programNumber, p.numbering);
    w.u16(0xE000 | (p.pcrPid & 0x1FFF));
    writeDescriptorLoop(w, p.programInfo);
    for (const PmtStream& es : p.streams) {
        w.u8(es.streamType);
        w.u16(0xE000 | (es.pid & 0x1FFF));
        writeDescriptorLoop(w, es.descriptors);
    }
    return closeSection(s, pos, true);
}

Section buildNit(const NitParams& p) {
    return buildNitLike(p.actual ? kTableNitActual : kTableNitOther, p.networkId, p.numbering,
                        p.networkDescriptors, p.transportStreams);
}

Section buildBat(const BatParams& p) {
    return buildNitLike(kTableBat, p.bouquetId, p.numbering, p.bouquetDescriptors,
                        p.transportStreams);
}

Section buildSdt(const SdtParams& p) {
    Section s;
    ByteWriter w(s);
    const std::size_t pos = openLongSection(w, p.actual ? kTableSdtActual : kTableSdtOther, kLongSi,
                                            p.transportStreamId, p.numbering);
    w.u16(p.originalNetworkId);
    w.u8(0xFF);
    for (const SdtService& sv : p.services) {
        w.u16(sv.serviceId);
        w.u8(0xFC | (sv.eitSchedule ? 2 : 0) | (sv.eitPresentFollowing ? 1 : 0));
        const std::size_t loop =
            w.reserveLength12(((sv.runningStatus & 7u) << 1) | (sv.freeCaMode ? 1 : 0));
        writeDescriptors(w, sv.descriptors);
        w.closeLength12(loop);
    }
    return closeSection(s, pos, true);
}

Section buildEit(const EitParams& p) {
    if (p.tableId < kTableEitPfActual || p.tableId > kTableEitScheduleLast)
        throw std::invalid_argument("EIT table_id must be 0x4E..0x6F");
    Section s;
    ByteWriter w(s);
    const std::size_t pos = openLongSection(w, p.tableId, kLongSi, p.serviceId, p.numbering);
    w.u16(p.transportStreamId);
    w.u16(p.originalNetworkId);
    w.u8(p.segmentLastSectionNumber);
    w.u8(p.lastTableId);
    for (const EitEvent& e : p.events) {
        w.u16(e.eventId);
        writeUtcTime(w, e.start);
        w.u24(bcdHms(e.durationSeconds));
        const std::size_t loop =
            w.reserveLength12(((e.runningStatus & 7u) << 1) | (e.freeCaMode ? 1 : 0));
        writeDescriptors(w, e.descriptors);
        w.closeLength12(loop);
    }
    return closeSection(s, pos, true);
}

Section buildTdt(int64_t utc) {
    Section s;
    ByteWriter w(s);
    const std::size_t pos = openSection(w, kTableTdt, kShortSi);
    writeUtcTime(w, utc);
    return closeSection(s, pos, false);
}

Section buildTot(const TotParams& p) {
    Section s;
    ByteWriter w(s);
    const std::size_t pos = openSection(w, kTableTot, kShortSi);
    writeUtcTime(w, p.utc);
    writeDescriptorLoop(w, p.descriptors);
    return closeSection(s, pos, true);
}

Section buildRst(const std::vector<RstEntry>& entries) {
    Section s;
    ByteWriter w(s);
    const std::size_t pos = openSection(w, kTableRst, kShortSi);
    for (const RstEntry& e : entries) {
        w.u16(e.transportStreamId);
        w.u16(e.originalNetworkId);
        w.u16(e.serviceId);
        w.u16(e.eventId);
        w.u8(0xF8 | (e.runningStatus & 7u));
    }
    return closeSection(s, pos, false);
}

int sectionLength(const Section& s) {
    if (s.size() < 3) return -1;
    return ((s[1] & 0x0F) << 8) | s[2];
}

}  // namespace tsgen
