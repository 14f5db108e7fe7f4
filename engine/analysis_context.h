// AnalysisContext: everything one analysis run knows about the stream — run control, framing, the
// PAT/CAT/PMT model, the program table, continuity records, switches, counters and the event log.
// A plain record with fixed arrays; the operations live in the files of their concerns.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/capture_hooks.h"
#include "engine/event_log.h"
#include "engine/guide_records.h"
#include "engine/init_hooks.h"
#include "engine/limits.h"
#include "engine/measurement_observer.h"
#include "engine/program_change_record.h"
#include "engine/program_timing.h"
#include "engine/section_collector.h"
#include "engine/si_tables.h"
#include "engine/sub_table_starts.h"

namespace orv {

// Continuity state of one tracked PID: the last continuity counter and the packets seen.
struct CcRecord {
    uint8_t lastCc = 0;
    uint8_t repeats = 0;  // arrivals of lastCc after the first in a row (kept at most 2)
    // Packets out of order on this PID (every cause), for the pages that list components.
    uint32_t errors = 0;
    uint64_t packetCount = 0;
};

// A PID outside the program table, with its continuity record.
struct PidEntry {
    uint16_t pid = 0;
    CcRecord cc;
};

// Repetition of a table measured from packet positions; 0 seconds means not yet measured.
struct IntervalStats {
    uint64_t lastPacket = 0;
    double last = 0.0;
    double max = 0.0;
    double min = 0.0;
};

struct PsiHeader {
    uint8_t tableId = 0;
    uint8_t sectionSyntaxIndicator = 0;
    uint16_t sectionLength = 0;
    uint16_t tableIdExtension = 0;  // transport_stream_id (PAT), program_number (PMT)
    uint8_t versionNumber = 0;
    uint8_t currentNextIndicator = 0;
    uint8_t sectionNumber = 0;
    uint8_t lastSectionNumber = 0;
    uint32_t crc32 = 0;  // the CRC_32 field as stored in the section
};

struct PatProgram {
    uint16_t programNumber = 0;
    uint16_t pmtPid = 0;
};

struct PatModel {
    SectionCollector first;  // until the first valid PAT has been analysed
    SectionCollector later;
    bool patFound = false;
    PsiHeader header;
    uint16_t networkPid = 0;
    std::array<PatProgram, kMaxPrograms> programs{};
    int programCount = 0;
    std::vector<uint8_t> section;  // the section the model was read from (the report dumps it)
    CcRecord cc;
    IntervalStats interval;
};

struct CaEntry {
    uint16_t caSystemId = 0;
    PidEntry caPid;  // EMM PID in the CAT, ECM PID in a PMT
};

struct CatModel {
    SectionCollector collector;
    bool catPresent = false;  // a CAT with a good CRC has been seen
    PsiHeader header;
    std::array<CaEntry, kMaxEmmEntries> emm{};
    int emmCount = 0;
    std::vector<uint8_t> section;  // the first CAT with a good CRC, as received
    CcRecord cc;
    IntervalStats interval;
};

// Continuity state of one of the five SI PIDs 0x0010..0x0014.
struct SiPidState {
    CcRecord cc;
    // Set once the PID's table model has accepted its first table; until then every packet only
    // renews the continuity baseline. The EIT PID has no such rule (see siBaselineOnly).
    bool firstTableAccepted = false;
    SiCollector collector;
};
inline constexpr int kSiPidCount = 5;

struct RateTrack {
    uint64_t windowStartCount = 0;  // packet count at the start of the rate window
    float rate = 0.f;               // Mbit/s
    float maxRate = 0.f;
    float minRate = 0.f;
};

struct VideoComponent {
    bool present = false;
    uint8_t streamType = 0;
    uint16_t pid = 0;
    CcRecord cc;
    int ccErrors = 0;
    RateTrack rate;
    bool scrambled = false;  // of the last packet
    uint64_t unscrambledPackets = 0;
    uint64_t payloadBytes = 0;  // sum over unscrambled packets of 188 - payload offset
};

struct AudioComponent {
    uint8_t streamType = 0;
    uint16_t pid = 0;
    CcRecord cc;
    RateTrack rate;
};

struct ComponentList {
    int count = 0;
    std::array<PidEntry, kMaxOtherListPids> pids{};
    // The stream_type of each entry: the reserved and user private lists hold many types.
    std::array<uint8_t, kMaxOtherListPids> streamTypes{};
};

struct ProgramEntry {
    bool pmtReceived = false;
    uint16_t programNumber = 0;
    uint16_t pmtPid = 0;
    PsiHeader pmtHeader;
    std::vector<uint8_t> pmtSection;  // the PMT section in use, as received
    uint16_t pcrPid = 0;
    SectionCollector firstPmt;  // until this program's first valid PMT has been analysed
    SectionCollector laterPmt;
    CcRecord pmtCc;
    IntervalStats pmtInterval;
    // PMT sections of this program cut short (also counted in sectionsCutShort).
    uint64_t pmtCutShort = 0;
    int componentCount = 0;
    VideoComponent video;
    std::array<AudioComponent, kMaxAudioComponents> audio{};
    int audioCount = 0;
    // stream_type 5..14 at index type - 5, reserved types at 10, user private at 11
    std::array<ComponentList, kOtherListCount> other{};
    std::array<CaEntry, kMaxCaEntries> ca{};
    int caCount = 0;
    // Continuity of a PCR PID that carries neither the video nor an audio component.
    CcRecord pcrCc;
    // PES time stamps, elementary stream headers and buffer model of the components.
    ProgramTiming timing;
};

struct BitrateMbps {
    double current = 0.0;
    double max = 0.0;
    double min = 0.0;
    double mean = 0.0;
};

struct InitPidList {
    std::array<uint16_t, kMaxInitPids> pids{};
    std::array<uint64_t, kMaxInitPids> counts{};
    int count = 0;
};

// Saving of the event list to the error log; fixed values at every program start.
struct LogSettings {
    bool saveLogEnabled = true;    // periodic save of the event list
    bool logPathIsDefault = true;  // the default path is used
    std::string errorLogPath = "c:\\ERROR.log";
    int saveIntervalMinutes = 30;
};

enum class AnalysisMode : int { Idle = 0, Online = 1, Offline = 2 };
enum class RunState : int { Running = 0, Interrupted = 1, ProgramChange = 2, InterfaceFailure = 3 };

struct AnalysisContext {
    AnalysisContext() = default;
    AnalysisContext(const AnalysisContext&) = delete;
    AnalysisContext& operator=(const AnalysisContext&) = delete;

    // Whoever feeds a block holds this for the block; readers take it for a consistent view.
    std::mutex mutex;

    // Run control
    AnalysisMode analysisMode = AnalysisMode::Idle;
    RunState runState = RunState::Running;
    bool interruptSeen = false;
    bool initDone = false;
    bool analysisActive = false;
    int initProgress = 0;
    bool tablesChangedSummary = false;  // the multiplex summary must be rebuilt
    bool tablesChangedTree = false;     // the PSI/SI table tree must be rebuilt
    ProgramChanges programChanges;      // new PATs and PMTs applied during the run

    // Framing and time base
    int packetLength = static_cast<int>(kTsPacketSize);
    uint64_t packetCounter = 0;
    int rateWindowCount = 0;
    BitrateMbps streamBitrate;

    InitPidList initPids;
    PatModel pat;
    CatModel cat;
    std::array<SiPidState, kSiPidCount> si{};
    SiSectionStore siStore;  // stored SI sections and their repetition statistics
    ProgrammeGuide guide;

    // One entry per PAT program (program_number 0 excluded), allocated when the first valid PAT
    // is analysed and released by the teardown.
    std::vector<ProgramEntry> programs;
    int pmtFoundCount = 0;
    int distinctPcrPidCount = 0;

    std::array<PidEntry, kMaxUnreferencedPids> unreferenced{};
    int unreferencedCount = 0;
    // Continuity of the reserved and DVB SI PIDs no table model claims (0x0002..0x000F,
    // 0x0015..0x001F, e.g. a SIT on 0x001F), indexed by PID; never unreferenced.
    std::array<CcRecord, kFirstUnreservedPid> reservedPids{};
    uint64_t nullPacketCount = 0;
    // Sections dropped because the next section start on their PID came before they were whole
    // (a lost packet, or a multiplexer that cut them): their CRC cannot be checked, so they are
    // counted here, per table as the CRC counters are, and not as CRC errors. The TDT and RST,
    // which carry no CRC_32, have no slot and are not counted.
    std::array<uint64_t, kCrcTableCount> sectionsCutShort{};
    // The last start of each sub_table whose table has a lower repetition limit.
    SubTableStarts subTableStarts;

    // Monitoring
    std::array<int, kKindCount> monitorEnabled{};
    EventLog log;
    LogSettings logSettings;

    // PCR tracks and system buffers of the run.
    RunTiming timing;

    CaptureRequest capture;
    CaptureSink* captureSink = nullptr;
    // Timers and dialog of the online initialisation phase; null when nobody listens.
    InitHooks* initHooks = nullptr;
    // Every PCR and PES timing measurement of the run; null when nobody listens.
    MeasurementObserver* measurementObserver = nullptr;

    bool enabled(Tr290ErrorKind k) const { return monitorEnabled[kindIndex(k)] != 0; }
    int programCount() const { return static_cast<int>(programs.size()); }
};

// Seconds between two packet positions at the current stream bitrate; 0 when no bitrate is known.
double packetSpanSeconds(const AnalysisContext& ctx, uint64_t fromPacket, uint64_t toPacket);

// The resets, all called in this order by resetAll: general, PAT model, CAT model and the three
// SI collectors. The general reset closes the event log and leaves runState alone.
void resetGeneral(AnalysisContext& ctx);
void resetPatModel(AnalysisContext& ctx);
void resetCatModel(AnalysisContext& ctx);
void resetNitSdtBatModel(AnalysisContext& ctx);
void resetEitModel(AnalysisContext& ctx);
void resetTimeTableModel(AnalysisContext& ctx);  // RST and TDT/TOT
void resetAll(AnalysisContext& ctx);

// End of a run: releases the program table and the stored SI sections.
void teardownRun(AnalysisContext& ctx);

// Switches all 32 kinds on (the default set of a fresh installation).
void enableAllMonitoring(AnalysisContext& ctx);

}  // namespace orv
