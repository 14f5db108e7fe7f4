#include "tools/tsgen/fault_injector.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace tsgen {
namespace {

constexpr std::size_t kReorderLookahead = 65536;
constexpr unsigned kDiscontinuityCcStep = 8;

uint64_t splitmix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Nanoseconds to 27 MHz ticks, rounded to nearest.
int64_t nsToTicks(int64_t ns) {
    const int64_t t = ns * 27;
    return t >= 0 ? (t + 500) / 1000 : -((-t + 500) / 1000);
}

void makeNull(SlotPacket& p) {
    writeHeader(p.bytes, kNullPid, false, kPayloadOnly, 0);
    std::memset(p.bytes + 4, 0xFF, kPayloadSize);
    p.pid = kNullPid;
    p.pcr = false;
}

// Position of the table_id of the section that starts in the packet, or 0 when none does.
std::size_t sectionStartOf(const uint8_t* p) {
    if (!pusiOf(p)) return 0;
    const std::size_t ps = payloadStart(p);
    if (ps >= kPacketSize) return 0;
    const std::size_t at = ps + 1 + p[ps];
    return at < kPacketSize ? at : 0;
}

// Position of the PTS field of a PES header that starts in the packet, or 0.
std::size_t ptsFieldOf(const uint8_t* p) {
    if (!pusiOf(p)) return 0;
    const std::size_t ps = payloadStart(p);
    if (ps + 14 > kPacketSize) return 0;
    const uint8_t* h = p + ps;
    if (h[0] != 0 || h[1] != 0 || h[2] != 1 || (h[7] & 0x80) == 0) return 0;
    return ps + 9;
}

}  // namespace

FaultInjector::FaultInjector(const StreamConfig& cfg, std::vector<Fault> faults)
    : cfg_(cfg), mux_(cfg), jitterState_(cfg.seed) {
    for (std::size_t i = 0; i < faults.size(); ++i) {
        const Fault& f = faults[i];
        const FaultKindInfo& info = faultKindInfo(f.kind);
        const std::string name(info.name);
        Entry e;
        e.fault = f;
        if (info.needsPid && !f.pid) throw std::invalid_argument(name + " needs a PID");
        if (f.pid && *f.pid > kNullPid) throw std::invalid_argument(name + ": PID above 0x1FFF");
        if (info.range && f.until <= f.at) throw std::invalid_argument(name + ": empty range");
        if (f.count == 0) throw std::invalid_argument(name + ": count must be at least 1");
        if (!f.value && !info.defaultValue) throw std::invalid_argument(name + " needs a value");
        e.value = f.value ? *f.value : *info.defaultValue;
        if (f.value && (e.value < info.minValue || e.value > info.maxValue))
            throw std::invalid_argument(name + ": value out of range");
        if (f.kind == FaultKind::SyncByte && e.value == kSync)
            throw std::invalid_argument(name + ": value 0x47 would leave the sync byte intact");
        e.remaining = f.count;
        faults_.push_back(e);
    }
}

std::vector<std::size_t> FaultInjector::missed() const {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < faults_.size(); ++i)
        if (!faults_[i].hit) out.push_back(i);
    return out;
}

void FaultInjector::record(std::size_t i, uint64_t packet, uint16_t pid, uint64_t other) {
    faults_[i].hit = true;
    applied_.push_back({i, faults_[i].fault.kind, packet, pid, other});
}

void FaultInjector::extendRecord(std::size_t i, uint64_t other) {
    for (auto it = applied_.rbegin(); it != applied_.rend(); ++it)
        if (it->fault == i) {
            it->other = other;
            return;
        }
}

void FaultInjector::pull() {
    for (;;) {
        if (ahead_.empty()) {
            mux_.next(cur_);
        } else {
            cur_ = ahead_.front();
            ahead_.pop_front();
        }
        if (nullsToDrop_ > 0 && cur_.pid == kNullPid) {
            --nullsToDrop_;
            continue;
        }
        return;
    }
}

bool FaultInjector::qualifies(FaultKind kind, const SlotPacket& p) const {
    switch (kind) {
        case FaultKind::CcSkip:
        case FaultKind::CcRepeat:
        case FaultKind::CcReorder:
            return hasPayloadBit(p.bytes);
        case FaultKind::CrcDamage:
        case FaultKind::WrongTableId:
            return sectionStartOf(p.bytes) != 0;
        case FaultKind::PcrJitter:
        case FaultKind::PcrDiscontinuity:
            return p.pcr;
        case FaultKind::PtsGap:
            return ptsFieldOf(p.bytes) != 0;
        case FaultKind::SectionCut:
            return hasPayloadBit(p.bytes) && !pusiOf(p.bytes);
        default:
            return true;
    }
}

void FaultInjector::applyRanges(uint64_t index) {
    for (std::size_t i = 0; i < faults_.size(); ++i) {
        Entry& e = faults_[i];
        const Fault& f = e.fault;
        if (e.state == State::Done) continue;
        switch (f.kind) {
            case FaultKind::TableGap: {
                if (cur_.pid != *f.pid) break;
                const bool start = pusiOf(cur_.bytes);
                if (e.state == State::Waiting) {
                    if (index >= f.until) e.state = State::Done;
                    if (index < f.at || index >= f.until || !start) break;
                    e.state = State::Active;
                } else if (index >= f.until && start) {
                    e.state = State::Done;
                    break;
                }
                if (hasPayloadBit(cur_.bytes)) ccShift_[*f.pid] = (ccShift_[*f.pid] + 15) & 0x0F;
                if (e.hit)
                    extendRecord(i, index);
                else
                    record(i, index, *f.pid, index);
                makeNull(cur_);
                break;
            }
            case FaultKind::PcrGap: {
                if (index >= f.until) {
                    e.state = State::Done;
                    break;
                }
                if (index < f.at || !cur_.pcr || (f.pid && cur_.pid != *f.pid)) break;
                if (e.hit)
                    extendRecord(i, index);
                else
                    record(i, index, cur_.pid, index);
                if (!hasPayloadBit(cur_.bytes)) {
                    makeNull(cur_);
                } else {
                    cur_.bytes[5] &= static_cast<uint8_t>(~0x10);
                    std::memset(cur_.bytes + 6, 0xFF, 6);
                    cur_.pcr = false;
                }
                break;
            }
            case FaultKind::StrayPid:
                if (index < f.at || cur_.pid != kNullPid) break;
                writeHeader(cur_.bytes, *f.pid, false, kPayloadOnly, strayCc_[*f.pid]);
                strayCc_[*f.pid] = (strayCc_[*f.pid] + 1) & 0x0F;
                cur_.pid = *f.pid;
                record(i, index, *f.pid, index);
                if (--e.remaining == 0) e.state = State::Done;
                break;
            default:
                break;
        }
    }
}

void FaultInjector::applyPoint(std::size_t i, uint64_t index) {
    Entry& e = faults_[i];
    const Fault& f = e.fault;
    if (e.state == State::Done) return;
    if (f.kind == FaultKind::PcrJitter && e.state == State::Active) {
        if (cur_.pid != *f.pid || !cur_.pcr) return;
    } else if (f.pid) {
        if (cur_.pid != *f.pid || index < f.at || !qualifies(f.kind, cur_)) return;
    } else {
        if (index != f.at) return;
        if (!qualifies(f.kind, cur_)) {
            e.state = State::Done;  // the named packet cannot take this fault: it stays missed
            return;
        }
    }
    uint8_t* p = cur_.bytes;
    const uint16_t pid = cur_.pid;
    e.state = State::Done;
    switch (f.kind) {
        case FaultKind::CcSkip:
            ccShift_[pid] = static_cast<uint8_t>((ccShift_[pid] + e.value) & 0x0F);
            record(i, index, pid, index);
            break;
        case FaultKind::CcRepeat:
            copiesPending_ = f.count;  // the copy is taken once the packet is final
            nullsToDrop_ += f.count;
            record(i, index, pid, index + f.count);
            break;
        case FaultKind::CcReorder: {
            std::size_t j = 0;
            for (;; ++j) {
                if (j == ahead_.size()) {
                    if (ahead_.size() >= kReorderLookahead) return;  // stays missed
                    ahead_.emplace_back();
                    mux_.next(ahead_.back());
                }
                if (ahead_[j].pid == pid && hasPayloadBit(ahead_[j].bytes)) break;
            }
            std::swap(cur_, ahead_[j]);
            ahead_[j].tag = static_cast<int32_t>(i);
            record(i, index, pid, index);
            break;
        }
        case FaultKind::SyncByte:
            p[0] = static_cast<uint8_t>(e.value);
            record(i, index, pid, index);
            break;
        case FaultKind::TransportError:
            p[1] |= 0x80;
            record(i, index, pid, index);
            break;
        case FaultKind::Scrambling:
            p[3] = static_cast<uint8_t>((p[3] & 0x3F) | (e.value << 6));
            record(i, index, pid, index);
            break;
        case FaultKind::CrcDamage: {
            const std::size_t start = sectionStartOf(p);
            std::size_t at = start + static_cast<std::size_t>(e.value);
            if (start + 3 <= kPacketSize) {
                const std::size_t length = ((p[start + 1] & 0x0F) << 8) | p[start + 2];
                if (length >= 5) at = std::min(at, start + 3 + length - 5);
            }
            at = std::min(at, kPacketSize - 1);
            p[at] ^= 0x01;
            record(i, index, pid, index);
            break;
        }
        case FaultKind::WrongTableId:
            p[sectionStartOf(p)] = static_cast<uint8_t>(e.value);
            record(i, index, pid, index);
            break;
        case FaultKind::PcrJitter:
            // Handled while stamping; follow this PID for the remaining PCRs.
            e.fault.pid = pid;
            e.state = --e.remaining > 0 ? State::Active : State::Done;
            cur_.tag = -2 - static_cast<int32_t>(i);
            record(i, index, pid, index);
            break;
        case FaultKind::PtsGap:
            ptsShift_[pid] += e.value * 90;
            record(i, index, pid, index);
            break;
        case FaultKind::PcrDiscontinuity:
            p[5] |= 0x80;  // a PCR packet's adaptation field is at least 7 bytes long
            pcrShift_[pid] += e.value * 27'000;
            ccShift_[pid] = static_cast<uint8_t>((ccShift_[pid] + kDiscontinuityCcStep) & 0x0F);
            record(i, index, pid, index);
            break;
        case FaultKind::SectionCut:
            ccShift_[pid] = static_cast<uint8_t>((ccShift_[pid] + 15) & 0x0F);
            makeNull(cur_);
            record(i, index, pid, index);
            break;
        default:
            break;
    }
}

void FaultInjector::stampPcr(uint64_t index) {
    int64_t offset = 0;
    if (cfg_.pcrJitterNs > 0) {
        const int64_t span = 2 * int64_t{cfg_.pcrJitterNs} + 1;
        offset += nsToTicks(static_cast<int64_t>(splitmix(jitterState_) % span) - cfg_.pcrJitterNs);
    }
    if (cur_.tag <= -2) offset += nsToTicks(faults_[static_cast<std::size_t>(-2 - cur_.tag)].value);
    offset += pcrShift_[cur_.pid];
    const int64_t m = static_cast<int64_t>(kPcrModulus);
    int64_t v =
        static_cast<int64_t>((cfg_.pcrInitial + ticksAt(cfg_, index)) % kPcrModulus) + offset;
    v = ((v % m) + m) % m;
    writePcr(cur_.bytes + 6, static_cast<uint64_t>(v));
}

void FaultInjector::shiftPts(uint8_t* p, int64_t shift) const {
    const std::size_t at = ptsFieldOf(p);
    if (at == 0) return;
    const int64_t m = static_cast<int64_t>(kPtsModulus);
    auto move = [&](uint8_t* field) {
        const int64_t v = static_cast<int64_t>(readTimestamp(field)) + shift;
        writeTimestamp(field, field[0] >> 4, static_cast<uint64_t>(((v % m) + m) % m));
    };
    move(p + at);
    if ((p[at - 2] & 0xC0) == 0xC0 && at + 10 <= kPacketSize) move(p + at + 5);
}

void FaultInjector::next(uint64_t index, uint8_t* out) {
    if (copiesPending_ > 0) {
        --copiesPending_;
        std::memcpy(out, copy_.bytes, kPacketSize);
        return;
    }
    pull();
    applyTableChanges(index);
    applyRanges(index);
    for (std::size_t i = 0; i < faults_.size(); ++i) {
        const FaultKind k = faults_[i].fault.kind;
        if (k != FaultKind::TableGap && k != FaultKind::PcrGap && k != FaultKind::StrayPid &&
            k != FaultKind::PatChange && k != FaultKind::PmtChange)
            applyPoint(i, index);
    }
    if (cur_.pcr) stampPcr(index);
    if (ptsShift_[cur_.pid] != 0) shiftPts(cur_.bytes, ptsShift_[cur_.pid]);
    if (ccShift_[cur_.pid] != 0 && cur_.pid != kNullPid)
        setCc(cur_.bytes, ccOf(cur_.bytes) + ccShift_[cur_.pid]);
    if (cur_.tag >= 0) extendRecord(static_cast<std::size_t>(cur_.tag), index);  // reordered
    std::memcpy(out, cur_.bytes, kPacketSize);
    if (copiesPending_ > 0) copy_ = cur_;
}

}  // namespace tsgen
