#include "tools/tsgen/multiplexer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <stdexcept>

namespace tsgen {
namespace {

using u128 = unsigned __int128;

constexpr uint64_t kTicksPerMs = 27'000;
constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();
constexpr uint8_t kVideoStreamId = 0xE0, kAudioStreamId = 0xC0;
constexpr uint8_t kStreamTypeMpeg2Video = 0x02, kStreamTypeMpeg1Audio = 0x03;

struct TableState {
    const TableSource* src = nullptr;
    std::size_t queue = 0;  // index of the PID queue
    uint64_t cycle = 0;
    std::size_t section = 0;
    uint64_t due = 0;
};

struct PidQueue {
    SectionPacketizer packetizer;
    unsigned cc = 0;
    uint64_t since = kNever;  // due time of the content that made it non-empty
};

struct EsState {
    std::size_t program = 0;
    uint16_t pid = 0;
    unsigned cc = 0;
    std::optional<VideoEs> video;
    std::optional<AudioEs> audio;
    unsigned framesPerPes = 1;
    std::vector<uint8_t> pes, scratch;
    std::size_t sent = 0;
    uint64_t nextUnit = 0;
    uint64_t startTicks = 0, unitTicks = 0, baseTicks = 0;  // baseTicks: pcrInitial + start + delay
    uint64_t spacing = 1, nextAllowed = 0;
};

struct PcrState {
    uint16_t pid = kNullPid;
    uint64_t interval = 0, due = 0;
    int es = -1;  // elementary stream on the PCR PID, if any
};

}  // namespace

struct Multiplexer::Impl {
    StreamConfig cfg;
    std::vector<TableState> tables;
    std::vector<PidQueue> queues;
    std::vector<EsState> es;
    std::vector<PcrState> pcrs;

    void buildNextPes(EsState& s);
    bool esReady(EsState& s, uint64_t now);
    void writeEsPacket(EsState& s, SlotPacket& out, bool withPcr, uint64_t now);
    void writePcrOnly(const PcrState& p, SlotPacket& out);
};

uint64_t ticksAt(const StreamConfig& cfg, uint64_t slot) {
    return static_cast<uint64_t>(u128{slot} * cfg.packetSize * 8 * kSystemClock / cfg.bitrate);
}

uint64_t packetsForMs(uint64_t ms, uint64_t bitrate, unsigned packetSize) {
    return static_cast<uint64_t>(u128{ms} * bitrate / (u128{1000} * packetSize * 8));
}

uint64_t slotAtMs(const StreamConfig& cfg, uint64_t ms) {
    const u128 bits = u128{ms} * cfg.bitrate, per = u128{1000} * cfg.packetSize * 8;
    return static_cast<uint64_t>((bits + per - 1) / per);
}

Section pmtSectionFor(const ProgramConfig& program, uint8_t version) {
    PmtParams p;
    p.programNumber = program.programNumber;
    p.numbering.version = version;
    p.pcrPid = program.pcrPid;
    p.programInfo = program.programInfo;
    if (program.video) p.streams.push_back({kStreamTypeMpeg2Video, program.video->pid, {}});
    for (const AudioParams& a : program.audios)
        p.streams.push_back({kStreamTypeMpeg1Audio, a.pid, {iso639LanguageDescriptor("eng")}});
    p.streams.insert(p.streams.end(), program.extraStreams.begin(), program.extraStreams.end());
    return buildPmt(p);
}

Section patSectionFor(uint16_t transportStreamId, const std::vector<ProgramConfig>& programs,
                      std::optional<uint16_t> networkPid) {
    PatParams p;
    p.transportStreamId = transportStreamId;
    if (networkPid) p.programs.push_back({0, *networkPid});
    for (const ProgramConfig& pr : programs)
        p.programs.push_back({pr.programNumber, pr.pmtPid});
    return buildPat(p);
}

Multiplexer::Multiplexer(const StreamConfig& cfg) : impl_(std::make_unique<Impl>()) {
    Impl& m = *impl_;
    m.cfg = cfg;
    if (cfg.packetSize != 188 && cfg.packetSize != 204)
        throw std::invalid_argument("packet size must be 188 or 204");
    if (cfg.bitrate < 100'000) throw std::invalid_argument("bitrate below 0.1 Mbit/s");

    std::set<uint16_t> esPids;
    uint64_t esLoad = 0;  // bit/s at transport level, roughly
    for (std::size_t pi = 0; pi < cfg.programs.size(); ++pi) {
        const ProgramConfig& pr = cfg.programs[pi];
        auto addEs = [&](EsState s) {
            if (s.pid == 0 || s.pid >= kNullPid || !esPids.insert(s.pid).second)
                throw std::invalid_argument("elementary stream PIDs must be distinct and valid");
            s.program = pi;
            m.es.push_back(std::move(s));
        };
        if (pr.video) {
            const VideoParams& v = *pr.video;
            EsState s;
            s.pid = v.pid;
            s.video.emplace(v);
            s.unitTicks = kVideoFrameTicks;
            s.startTicks = uint64_t{v.startMs} * kTicksPerMs;
            s.baseTicks = cfg.pcrInitial + s.startTicks + uint64_t{v.delayMs} * kTicksPerMs;
            // 184-byte packets at 1.5 times the nominal rate.
            s.spacing =
                std::max<uint64_t>(1, kSystemClock * 184 * 8 * 2 / (3 * uint64_t{v.bitrate}));
            esLoad += uint64_t{v.bitrate} * 188 / 170;
            addEs(std::move(s));
        }
        for (const AudioParams& a : pr.audios) {
            EsState s;
            s.pid = a.pid;
            s.audio.emplace(a);
            s.framesPerPes = a.framesPerPes;
            s.unitTicks = kAudioFrameTicks * a.framesPerPes;
            s.startTicks = uint64_t{a.startMs} * kTicksPerMs;
            s.baseTicks = cfg.pcrInitial + s.startTicks + uint64_t{a.delayMs} * kTicksPerMs;
            const std::size_t pesBytes = s.audio->frameSize() * a.framesPerPes + 14;
            s.spacing = s.unitTicks / (pesBytes / 176 + 2);
            esLoad += uint64_t{a.bitrate} * 188 / 160;
            addEs(std::move(s));
        }
        if (pr.pcrPid != kNullPid) {
            PcrState p;
            p.pid = pr.pcrPid;
            p.interval = std::max<uint64_t>(1, uint64_t{pr.pcrIntervalMs} * kTicksPerMs);
            p.due = uint64_t{pr.pcrOffsetMs} * kTicksPerMs;
            m.pcrs.push_back(p);
        }
    }
    if (esLoad * 10 > cfg.bitrate * 9)
        throw std::invalid_argument("elementary streams need more than 90 % of the bitrate");
    for (PcrState& p : m.pcrs)
        for (std::size_t i = 0; i < m.es.size(); ++i)
            if (m.es[i].pid == p.pid) p.es = static_cast<int>(i);

    for (std::size_t ti = 0; ti < m.cfg.tables.size(); ++ti) {
        const TableSource& t = m.cfg.tables[ti];
        if (t.pid >= kNullPid || esPids.count(t.pid))
            throw std::invalid_argument("table PID clashes with an elementary stream");
        if (t.sections.empty() && !t.timed) throw std::invalid_argument("table without sections");
        if (t.intervalMs == 0) throw std::invalid_argument("table interval must be positive");
        std::size_t q = 0;
        while (q < m.queues.size() && m.queues[q].packetizer.pid() != t.pid)
            ++q;
        if (q == m.queues.size())
            m.queues.push_back({SectionPacketizer(t.pid, t.pack, t.continuous), 0, kNever});
        TableState st;
        st.src = &t;
        st.queue = q;
        st.due = uint64_t{t.offsetMs} * kTicksPerMs;
        m.tables.push_back(st);
    }
}

Multiplexer::~Multiplexer() = default;

void Multiplexer::Impl::buildNextPes(EsState& s) {
    s.pes.clear();
    s.scratch.clear();
    s.sent = 0;
    const uint64_t n = s.nextUnit++;
    if (s.video) {
        s.video->appendPicture(n, s.scratch);
        const uint64_t dts = (s.baseTicks + n * kVideoFrameTicks) / 300;
        const uint64_t pts =
            (s.baseTicks + (s.video->displayIndex(n) + 1) * kVideoFrameTicks) / 300;
        appendPesHeader(s.pes, kVideoStreamId, s.scratch.size(), pts, pts != dts, dts);
    } else {
        for (unsigned f = 0; f < s.framesPerPes; ++f)
            s.audio->appendFrame(n * s.framesPerPes + f, s.scratch);
        const uint64_t pts = (s.baseTicks + n * s.unitTicks) / 300;
        appendPesHeader(s.pes, kAudioStreamId, s.scratch.size(), pts, false, 0);
    }
    s.pes.insert(s.pes.end(), s.scratch.begin(), s.scratch.end());
}

bool Multiplexer::Impl::esReady(EsState& s, uint64_t now) {
    if (s.sent == s.pes.size()) {
        if (s.startTicks + s.nextUnit * s.unitTicks > now) return false;
        buildNextPes(s);
    }
    return s.nextAllowed <= now;
}

void Multiplexer::Impl::writeEsPacket(EsState& s, SlotPacket& out, bool withPcr, uint64_t now) {
    uint8_t* p = out.bytes;
    const std::size_t rem = s.pes.size() - s.sent;
    const std::size_t cap = kPayloadSize - (withPcr ? 8 : 0);
    const std::size_t n = std::min(rem, cap);
    const std::size_t af = kPayloadSize - n;  // adaptation field bytes incl. its length byte
    writeHeader(p, s.pid, s.sent == 0, af ? kAdaptationAndPayload : kPayloadOnly, s.cc);
    if (af > 0) {
        p[4] = static_cast<uint8_t>(af - 1);
        if (af > 1) {
            p[5] = withPcr ? 0x10 : 0x00;
            std::memset(p + 6, 0xFF, af - 2);
            if (withPcr) std::memset(p + 6, 0, 6);
        }
    }
    std::memcpy(p + 4 + af, s.pes.data() + s.sent, n);
    s.sent += n;
    s.cc = (s.cc + 1) & 0x0F;
    s.nextAllowed = std::max(s.nextAllowed, now > s.spacing ? now - s.spacing : 0) + s.spacing;
    out.pid = s.pid;
    out.pcr = withPcr;
}

void Multiplexer::Impl::writePcrOnly(const PcrState& pc, SlotPacket& out) {
    uint8_t* p = out.bytes;
    // Without payload the counter stays at that of the PID's last payload packet.
    const unsigned cc = pc.es >= 0 ? (es[static_cast<std::size_t>(pc.es)].cc + 15) & 0x0F : 15;
    writeHeader(p, pc.pid, false, kAdaptationOnly, cc);
    p[4] = 183;
    p[5] = 0x10;
    std::memset(p + 6, 0, 6);
    std::memset(p + 12, 0xFF, kPacketSize - 12);
    out.pid = pc.pid;
    out.pcr = true;
}

void Multiplexer::next(SlotPacket& out) {
    Impl& m = *impl_;
    const uint64_t now = ticksAt(m.cfg, slot_++);
    out.tag = -1;
    out.pcr = false;

    for (TableState& t : m.tables) {
        const TableSource& src = *t.src;
        const uint64_t interval = uint64_t{src.intervalMs} * kTicksPerMs;
        const std::size_t count = src.timed ? 1 : src.sections.size();
        while (t.due <= now) {
            PidQueue& q = m.queues[t.queue];
            if (q.packetizer.empty()) q.since = t.due;
            if (src.timed) {
                const int64_t utc = m.cfg.startUtc + static_cast<int64_t>(t.due / kSystemClock);
                q.packetizer.push(src.timed(utc));
            } else {
                q.packetizer.push(src.sections[t.section]);
            }
            if (++t.section == count) {
                t.section = 0;
                ++t.cycle;
            }
            const std::size_t burst = std::max<std::size_t>(1, src.burst);
            const std::size_t groups = (count + burst - 1) / burst;
            t.due = uint64_t{src.offsetMs} * kTicksPerMs + t.cycle * interval +
                    interval * (t.section / burst) / groups;
        }
    }

    PcrState* pcr = nullptr;
    for (PcrState& p : m.pcrs)
        if (p.due <= now && (!pcr || p.due < pcr->due)) pcr = &p;
    if (pcr) {
        pcr->due += pcr->interval;
        if (pcr->due <= now) pcr->due = now + pcr->interval;
        if (pcr->es >= 0 && m.esReady(m.es[static_cast<std::size_t>(pcr->es)], now))
            m.writeEsPacket(m.es[static_cast<std::size_t>(pcr->es)], out, true, now);
        else
            m.writePcrOnly(*pcr, out);
        return;
    }

    PidQueue* table = nullptr;
    for (PidQueue& q : m.queues)
        if (!q.packetizer.empty() && (!table || q.since < table->since)) table = &q;
    if (table) {
        table->packetizer.nextPacket(out.bytes, table->cc);
        table->cc = (table->cc + 1) & 0x0F;
        out.pid = table->packetizer.pid();
        if (table->packetizer.empty()) table->since = kNever;
        return;
    }

    EsState* best = nullptr;
    for (EsState& s : m.es)
        if (m.esReady(s, now) && (!best || s.nextAllowed < best->nextAllowed)) best = &s;
    if (best) {
        m.writeEsPacket(*best, out, false, now);
        return;
    }

    writeHeader(out.bytes, kNullPid, false, kPayloadOnly, 0);
    std::memset(out.bytes + 4, 0xFF, kPayloadSize);
    out.pid = kNullPid;
}

}  // namespace tsgen
