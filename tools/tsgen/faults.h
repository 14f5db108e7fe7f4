// Faults the generator can inject, each with exact semantics so a test can predict the events an
// analyzer must report. Faults act when a packet is emitted: apart from what a fault changes,
// the faulty stream is the clean stream packet for packet.
//
// Target: with `pid` unset, the packet at output index `at`; with `pid` set, the first packet of
// that PID at or after output index `at` that qualifies for the kind (column "qualifies" below).
// Range kinds work on [at, until) instead.
//
//   kind          qualifies          effect
//   cc-skip       payload            continuity_counter of the target and of every later packet of
//                                    its PID advanced by `value` (default 1), as after lost packets
//   cc-repeat     payload            the target is followed by `count` (default 1) copies of
//                                    itself, byte for byte (same CC, same PCR if it has one); to
//                                    keep the packet count and the timing, as many of the next
//                                    null packets of the clean stream are dropped
//   cc-reorder    payload            the target is swapped with the next payload packet of its
//                                    PID (searched up to 65536 packets ahead)
//   sync          any                sync byte replaced by `value` (default 0x46)
//   tei           any                transport_error_indicator set
//   scramble      any                transport_scrambling_control set to `value` (1..3, default 2)
//   crc           section start      the byte at offset `value` (default 8, at least 3) of the
//                                    section that starts in the packet has its lowest bit flipped;
//                                    the offset is clamped to the last byte before the CRC_32 and
//                                    to the packet; the CRC_32 is left as it was (a TDT has no
//                                    CRC_32, so there the change goes unnoticed)
//   table-id      section start      the table_id of the section that starts in the packet is set
//                                    to `value` (required)
//   table-gap     (range, pid)       no packets of the PID from its first section start at or
//                                    after `at` up to (not including) its first section start at
//                                    or after `until`: they become null packets, and later packets
//                                    of the PID carry on with the counter the dropped ones had
//   pcr-gap       (range)            packets in [at, until) on `pid` (any PID when unset) lose
//                                    their PCR: adaptation-only PCR packets become null packets,
//                                    others keep their adaptation field as stuffing
//   pcr-jitter    PCR                `value` ns (default 1000) added to the PCR of the target and
//                                    of the next `count` - 1 PCRs of its PID
//   pts-gap       PES header         `value` ms (default 1000) added to PTS and DTS of the target's
//                                    PES header and of every later PES header of its PID
//   stray         (pid)              the first `count` null packets at or after `at` become packets
//                                    of the PID (payload 0xFF, counters 0, 1, 2, ...)
//   pcr-discontinuity  PCR           a new time base: the target's discontinuity_indicator is set,
//                                    `value` ms (default 1000) is added to its PCR and to every
//                                    later PCR of its PID, and the continuity_counter of the target
//                                    and of every later packet of its PID is advanced by 8, as a
//                                    splice would leave them (the indicator covers both)
//   pat-change    PAT section        a program change: from the first PAT section at or after `at`
//                                    on, every PAT section is sent as its next version
//                                    (version_number + 1, new CRC_32), without the entry of
//                                    program `value` when that is not 0 (default 0); the left-out
//                                    program's PMT and streams go on as before. `pid` is not used
//   pmt-change    PMT section        a program change: from the first PMT section at or after `at`
//                                    that lists elementary PID `pid` on, every PMT section that
//                                    lists it is sent as its next version, with that entry moved to
//                                    PID `value` (the stream's packets, and its PCR, follow from
//                                    the next packet on), left out when `value` is 0 (the default;
//                                    its packets keep coming), or kept when `value` equals `pid`
//                                    (a new version_number only)
//   Both act on every section that starts and ends inside one packet (as the generator sends
//   PAT and PMT, one or several back to back); a section that is shorter after the change
//   leaves stuffing in its packet, which it may do only as the last section of the packet.
//   section-cut   continuation       a section cut short, as a multiplexer that cuts it leaves it:
//                 (pid)              the target (a packet of the PID with payload that continues a
//                                    section: payload_unit_start_indicator 0) becomes a null
//                                    packet, and later packets of the PID carry on with the
//                                    counter it had, so no packet seems lost
//
// Output indices count emitted packets from 0. Every PCR is stamped from the output index of its
// packet: pcrInitial + ticksAt(index) (+ the configured seeded jitter, + pcr-jitter faults).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tsgen {

enum class FaultKind : uint8_t {
    CcSkip,
    CcRepeat,
    CcReorder,
    SyncByte,
    TransportError,
    Scrambling,
    CrcDamage,
    WrongTableId,
    TableGap,
    PcrGap,
    PcrJitter,
    PtsGap,
    StrayPid,
    PcrDiscontinuity,
    PatChange,
    PmtChange,
    SectionCut,
};

struct Fault {
    FaultKind kind = FaultKind::CcSkip;
    uint64_t at = 0;
    uint64_t until = 0;  // range kinds: end of the range, exclusive
    std::optional<uint16_t> pid;
    std::optional<int64_t> value;  // unset: the kind's default
    uint32_t count = 1;
};

// Where a fault landed. For cc-repeat `other` is the last copy's index, for cc-reorder the index
// the target went to, for table-gap and pcr-gap the last packet affected; otherwise `other` =
// packet. pcr-jitter and stray give one record per packet.
struct AppliedFault {
    std::size_t fault = 0;  // index in the fault list
    FaultKind kind = FaultKind::CcSkip;
    uint64_t packet = 0;
    uint16_t pid = 0;
    uint64_t other = 0;
};

struct FaultKindInfo {
    FaultKind kind;
    std::string_view name;
    bool range;  // uses [at, until)
    bool needsPid;
    std::optional<int64_t> defaultValue;  // unset: a value is required
    int64_t minValue, maxValue;
    std::string_view help;
};

extern const std::array<FaultKindInfo, 17> kFaultKinds;

const FaultKindInfo& faultKindInfo(FaultKind kind);
std::optional<FaultKind> faultKindByName(std::string_view name);

}  // namespace tsgen
