#include "presentation/timing_replay.h"

#include <fstream>
#include <mutex>
#include <vector>

#include "engine/block_walk.h"
#include "engine/packet_header.h"
#include "engine/pcr_analysis.h"
#include "engine/pes_timing.h"

namespace orv {
namespace {

// The fields of a PCR track that the page shows; the histograms, packet count and continuity
// stay as the main pass left them.
void copyTrack(PcrTrack& to, const PcrTrack& from) {
    to.pcr = from.pcr;
    to.position = from.position;
    to.discontinuity = from.discontinuity;
    to.intervalMs = from.intervalMs;
    to.jitterNs = from.jitterNs;
    to.ringIndex = from.ringIndex;
    to.currentIntervalMs = from.currentIntervalMs;
    to.longestIntervalMs = from.longestIntervalMs;
    to.shortestIntervalMs = from.shortestIntervalMs;
    to.currentJitterNs = from.currentJitterNs;
    to.largestJitterNs = from.largestJitterNs;
    to.smallestJitterNs = from.smallestJitterNs;
}

void clearTrack(PcrTrack& t) {
    PcrTrack empty;
    copyTrack(t, empty);
    t.hasData = 0;
}

// The time stamp records of a component: everything of the PesTiming but the buffer model's
// counts since the last PES start, which belong to the main pass.
void copyPes(PesTiming& to, const PesTiming& from) {
    const uint32_t packets = to.packetsSincePesStart, bytes = to.bytesSincePesStart,
                   headerBytes = to.headerBytesSincePesStart;
    to = from;
    to.packetsSincePesStart = packets;
    to.bytesSincePesStart = bytes;
    to.headerBytesSincePesStart = headerBytes;
}

void copyVbv(VideoEsFields& to, const VideoEsFields& from) {
    to.vbvDelayMs = from.vbvDelayMs;
    to.vbvIndex = from.vbvIndex;
    to.vbvCount = from.vbvCount;
    if (from.lastPictureTallyValid) {
        to.lastPictureTally = from.lastPictureTally;
        to.lastPictureTallyValid = true;
    }
}

}  // namespace

TimingReplay::TimingReplay(AnalysisContext& ctx, WaitClock& waits, ReplayKind kind)
    : ctx_(ctx), waits_(waits), kind_(kind) {}

TimingReplay::~TimingReplay() {
    stop();
}

void TimingReplay::start(const ReplayFile& file, int programIndex) {
    stop();
    if (programIndex != program_) resume_ = 0;
    program_ = programIndex;
    stop_.store(false);
    finished_.store(false);
    waits_.threadStarting();
    try {
        thread_ = std::thread([this, file, programIndex] { run(file, programIndex); });
    } catch (...) {
        waits_.threadEnding();
        finished_.store(true);
        throw;
    }
}

void TimingReplay::stop() {
    if (!thread_.joinable()) return;
    stop_.store(true);
    waits_.notify();
    thread_.join();
}

void TimingReplay::rewind() {
    stop();
    resume_ = 0;
    scratch_.reset();
}

bool TimingReplay::prepare(int index) {
    const std::lock_guard<std::mutex> lock(ctx_.mutex);
    if (ctx_.analysisMode != AnalysisMode::Offline || !ctx_.initDone) return false;
    if (index < 0 || index >= ctx_.programCount() ||
        index >= static_cast<int>(ctx_.timing.pcrTracks.size()))
        return false;
    ProgramEntry& prog = ctx_.programs[static_cast<std::size_t>(index)];
    if (resume_ != 0 && scratch_) return true;  // carries on where it stopped
    resume_ = 0;
    if (kind_ == ReplayKind::Pcr && prog.pcrPid == 0) return false;
    if (kind_ == ReplayKind::Pes && !prog.video.present && prog.audioCount == 0) return false;

    scratch_ = std::make_unique<AnalysisContext>();
    AnalysisContext& s = *scratch_;
    s.analysisMode = AnalysisMode::Offline;
    s.initDone = true;
    s.packetLength = ctx_.packetLength;
    s.streamBitrate = ctx_.streamBitrate;
    s.programs.push_back(prog);
    s.programs[0].timing = ProgramTiming{};
    s.timing.pcrTracks.resize(1);
    s.timing.pcrTracks[0].pcrPid = prog.pcrPid;

    if (kind_ == ReplayKind::Pcr) {
        clearTrack(ctx_.timing.pcrTracks[static_cast<std::size_t>(index)]);
    } else {
        copyPes(prog.timing.video.pes, PesTiming{});
        copyVbv(prog.timing.video.es, VideoEsFields{});
        for (AudioTiming& a : prog.timing.audio)
            copyPes(a.pes, PesTiming{});
    }
    return true;
}

void TimingReplay::measure(const uint8_t* p, uint64_t& measurements) {
    AnalysisContext& s = *scratch_;
    const ProgramEntry& prog = s.programs[0];
    const unsigned pid = packetPid(p);
    ++s.packetCounter;
    // The order of the block driver: the video PES step, the PCR step, the audio PES steps.
    const bool pes = kind_ == ReplayKind::Pes;
    auto measured = [](const PesTiming& t) { return t.measured; };
    if (pes && prog.video.present && prog.video.pid == pid) {
        const uint64_t before = measured(prog.timing.video.pes);
        AnalysePesPacket(s, 0, PesClass::Video, 0, p);
        measurements += measured(prog.timing.video.pes) - before;
    }
    if (prog.pcrPid == pid) {
        const int before = s.timing.pcrTracks[0].ringIndex;
        const bool carries = packetPcr(p) >= 0;
        AnalysePcrPacket(s, p, pid, 0, {});
        if (!pes && carries && s.timing.pcrTracks[0].ringIndex != before) ++measurements;
    }
    for (int a = 0; pes && a < prog.audioCount && a < kMaxAudioComponents; ++a) {
        if (prog.audio[static_cast<std::size_t>(a)].pid != pid) continue;
        const PesTiming& t = prog.timing.audio[static_cast<std::size_t>(a)].pes;
        const uint64_t before = measured(t);
        AnalysePesPacket(s, 0, PesClass::Audio, a, p);
        measurements += measured(t) - before;
    }
}

void TimingReplay::copyBack(int index, bool anyNew) {
    const std::lock_guard<std::mutex> lock(ctx_.mutex);
    if (index >= ctx_.programCount() || index >= static_cast<int>(ctx_.timing.pcrTracks.size()))
        return;
    const ProgramEntry& from = scratch_->programs[0];
    if (kind_ == ReplayKind::Pcr) {
        PcrTrack& t = ctx_.timing.pcrTracks[static_cast<std::size_t>(index)];
        copyTrack(t, scratch_->timing.pcrTracks[0]);
        if (anyNew) t.hasData = 1;
        return;
    }
    ProgramEntry& to = ctx_.programs[static_cast<std::size_t>(index)];
    copyPes(to.timing.video.pes, from.timing.video.pes);
    copyVbv(to.timing.video.es, from.timing.video.es);
    for (std::size_t a = 0; a < to.timing.audio.size(); ++a)
        copyPes(to.timing.audio[a].pes, from.timing.audio[a].pes);
}

void TimingReplay::run(ReplayFile file, int index) {
    struct Leaving {
        TimingReplay& r;
        ~Leaving() {
            r.finished_.store(true);
            r.waits_.threadEnding();
        }
    };

    std::ifstream in(file.path, std::ios::binary);
    if (!in || !prepare(index)) {
        const Leaving leaving{*this};
        return;
    }
    const auto len = static_cast<std::size_t>(scratch_->packetLength);
    std::vector<uint8_t> block(kReplayBlockPackets * len);
    in.seekg(static_cast<std::streamoff>(file.startOffset + resume_ * len));

    uint64_t sincePause = 0;
    bool atEnd = false;
    while (!stop_.load()) {
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        uint64_t measurements = 0;
        struct Visitor {
            TimingReplay& r;
            uint64_t& n;
            WalkStep packet(const uint8_t* p, std::size_t) {
                r.measure(p, n);
                return WalkStep::Continue;
            }
            void syncByteError(std::size_t) {}
            void syncLoss(std::size_t, bool) {}
        } visitor{*this, measurements};
        walkBlock(block.data(), got, len, true, visitor);
        copyBack(index, measurements > 0);
        resume_ += got / len;
        if (got < block.size()) {
            atEnd = true;
            break;
        }
        sincePause += measurements;
        if (sincePause >= kReplayPaceCount) {
            const auto waits = static_cast<int>(sincePause / kReplayPaceCount);
            sincePause %= kReplayPaceCount;
            waits_.waitFor(stop_, kReplayPaceWait * waits);
        }
    }
    if (atEnd) {
        resume_ = 0;
        scratch_.reset();
    }
    const Leaving leaving{*this};
}

}  // namespace orv
