#include "acquisition/capture_request.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "engine/si_section_view.h"
#include "engine/si_tables.h"

namespace orv {
namespace {

// The constant formats of the type list lines (never data).
std::string line(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string line(const char* format, ...) {
    char text[96];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return std::string(
        text, n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1));
}

CaptureChoice section(std::string text, int trigger, int tableId = -1) {
    return {std::move(text),
            CaptureTarget{.page = CapturePage::Section, .trigger = trigger, .tableId = tableId}};
}

CaptureChoice pidLine(std::string text, int trigger, unsigned pid,
                      CapturePage page = CapturePage::Pid) {
    return {std::move(text), CaptureTarget{.page = page, .trigger = trigger, .pid = pid}};
}

struct ErrorLine {
    const char* text;
    int trigger;
};
constexpr ErrorLine kErrorLines[] = {
    {"同步丢失错", kCaptureSyncLoss},
    {"同步字节错", kCaptureSyncByte},
    {"连续计数错", kCaptureContinuity},
    {"传送错", kCaptureTransportError},
    {"PAT错  (table_id错 加扰错)", kCapturePatError},
    {"PMT错  (table_id错 加扰错)", kCapturePmtScrambled},
    {"CRC错", kCaptureCrcError},
};

struct TriggerName {
    int trigger;
    std::string_view name;
    std::string_view table;  // the name in the unseen-table question; empty: never asked
};
constexpr TriggerName kTriggerNames[] = {
    {kCaptureSyncLoss, "sync loss", ""},
    {kCaptureSyncByte, "sync byte error", ""},
    {kCaptureContinuity, "continuity error", ""},
    {kCaptureTransportError, "transport error", ""},
    {kCapturePatError, "PAT error", ""},
    {kCapturePmtScrambled, "scrambled PMT", ""},
    {kCaptureCrcError, "CRC error", ""},
    {kCaptureLaterPat, "PAT", ""},
    {kCaptureLaterPmt, "PMT", ""},
    {kCaptureLaterCat, "CAT", "CAT"},
    {0x400, "NIT", "NIT"},
    {0x500, "BAT", "BAT"},
    {0x600, "SDT", "SDT"},
    {0x700, "EIT", "EIT"},
    {0x800, "TDT", "TDT"},
    {0x900, "TOT", "TOT"},
    {0xA00, "RST", "RST"},
    {kCaptureTriggerSit, "SIT", "SIT"},
    {kCapturePidPacket, "PID packet", ""},
    {kCapturePcrPacket, "PCR packet", ""},
    {kCaptureVideoPes, "video PES", ""},
    {kCaptureAudioPes, "audio PES", ""},
};

const TriggerName* triggerEntry(int trigger) {
    for (const TriggerName& t : kTriggerNames)
        if (t.trigger == trigger) return &t;
    return nullptr;
}

bool anyStored(const SiSectionStore& store, SiKind a, SiKind b) {
    return store.list(a).count() > 0 || store.list(b).count() > 0;
}

// Whether the analysis has seen sections of the table (the table_id, or any of the trigger's).
bool tableSeen(const AnalysisContext& ctx, int trigger, int tableId) {
    const SiSectionStore& s = ctx.siStore;
    switch (trigger) {
        case kCaptureLaterCat:
            return ctx.cat.catPresent;
        case 0x400:
            if (tableId == kTableNitActual) return s.list(SiKind::NitActual).count() > 0;
            if (tableId == kTableNitOther) return s.list(SiKind::NitOther).count() > 0;
            return anyStored(s, SiKind::NitActual, SiKind::NitOther);
        case 0x500:
            return s.list(SiKind::Bat).count() > 0;
        case 0x600:
            if (tableId == kTableSdtActual) return s.list(SiKind::SdtActual).count() > 0;
            if (tableId == kTableSdtOther) return s.list(SiKind::SdtOther).count() > 0;
            return anyStored(s, SiKind::SdtActual, SiKind::SdtOther);
        case 0x700:
            if (const EitSectionList* l = s.eitList(static_cast<unsigned>(tableId)))
                return l->count() > 0;
            for (const EitSectionList& l : s.eit)
                if (l.count() > 0) return true;
            return false;
        case 0x800:
            return s.tdt.present;
        case 0x900:
            return s.tot.present;
        case 0xA00:
            return s.rst.present;
        case kCaptureTriggerSit:
            return false;  // the analysis does not assemble the SIT
        default:
            return true;
    }
}

int programIndexOf(const AnalysisContext& ctx, const CaptureTarget& t) {
    for (int i = 0; i < ctx.programCount(); ++i) {
        const ProgramEntry& p = ctx.programs[static_cast<std::size_t>(i)];
        if (t.programNumber ? p.programNumber == *t.programNumber : t.pid && p.pmtPid == *t.pid)
            return i;
    }
    return -1;
}

// 0xE0 when the PID is some program's video, 0xC0 when an audio component, else 0.
int pesTriggerOf(const AnalysisContext& ctx, unsigned pid) {
    for (const ProgramEntry& p : ctx.programs)
        if (p.video.present && p.video.pid == pid) return kCaptureVideoPes;
    for (const ProgramEntry& p : ctx.programs)
        for (int a = 0; a < p.audioCount; ++a)
            if (p.audio[static_cast<std::size_t>(a)].pid == pid) return kCaptureAudioPes;
    return 0;
}

std::string hexPid(unsigned pid) {
    return line("0x%04x", pid);
}

void sectionChoices(const AnalysisContext& ctx, std::vector<CaptureChoice>& out) {
    out.push_back(section("PAT (PID=0x0000  table_id=0x00)", kCaptureLaterPat));
    for (const ProgramEntry& p : ctx.programs) {
        CaptureChoice c = section(
            line("PMT (PID=0x%04x  节目号=0x%04x)", unsigned{p.pmtPid}, unsigned{p.programNumber}),
            kCaptureLaterPmt);
        c.target.programNumber = p.programNumber;
        out.push_back(std::move(c));
    }
    out.push_back(section("CAT (PID=0x0001  table_id=0x01)", kCaptureLaterCat));
    out.push_back(section("NIT (PID=0x0010  table_id=0x40)", 0x400, kTableNitActual));
    out.push_back(section("NIT (PID=0x0010  table_id=0x41)", 0x400, kTableNitOther));
    out.push_back(section("SDT (PID=0x0011  table_id=0x42)", 0x600, kTableSdtActual));
    out.push_back(section("SDT (PID=0x0011  table_id=0x46)", 0x600, kTableSdtOther));
    out.push_back(section("BAT (PID=0x0011  table_id=0x4A)", 0x500, kTableBat));
    // One line per EIT table_id the analysis holds sections of; the present/following table of
    // the actual stream when it holds none yet.
    bool eitListed = false;
    for (unsigned id = kTableEitPfActual; id <= kTableEitScheduleLast; ++id) {
        const EitSectionList* l = ctx.siStore.eitList(id);
        if (l == nullptr || l->count() == 0) continue;
        out.push_back(
            section(line("EIT (PID=0x0012  table_id=0x%02x)", id), 0x700, static_cast<int>(id)));
        eitListed = true;
    }
    if (!eitListed)
        out.push_back(section("EIT (PID=0x0012  table_id=0x4e)", 0x700, kTableEitPfActual));
    out.push_back(section("TDT (PID=0x0014  table_id=0x70)", 0x800, kTableTdt));
    out.push_back(section("TOT (PID=0x0014  table_id=0x73)", 0x900, kTableTot));
    out.push_back(section("RST (PID=0x0013  table_id=0x71)", 0xA00, kTableRst));
    out.push_back(section("SIT (PID=0x001F  table_id=0x7f)", kCaptureTriggerSit, 0x7F));
}

void pidChoices(const AnalysisContext& ctx, std::vector<CaptureChoice>& out) {
    for (const ProgramEntry& p : ctx.programs) {
        const unsigned number = p.programNumber;
        if (p.video.present)
            out.push_back(pidLine(line("PID=0x%04x (节目[0x%04x])", unsigned{p.video.pid}, number),
                                  kCapturePidPacket, p.video.pid));
        for (int a = 0; a < p.audioCount; ++a) {
            const unsigned pid = p.audio[static_cast<std::size_t>(a)].pid;
            out.push_back(
                pidLine(line("PID=0x%04x  (节目[0x%04x])", pid, number), kCapturePidPacket, pid));
        }
        for (const ComponentList& l : p.other)
            for (int k = 0; k < l.count; ++k) {
                const unsigned pid = l.pids[static_cast<std::size_t>(k)].pid;
                out.push_back(pidLine(line("PID=0x%04x  (节目[0x%04x])", pid, number),
                                      kCapturePidPacket, pid));
            }
    }
    std::vector<unsigned> pcrPids;
    for (const ProgramEntry& p : ctx.programs) {
        const unsigned pid = p.pcrPid;
        if (pid == 0 || pid >= 0x1FFF) continue;
        bool listed = false;
        for (unsigned q : pcrPids)
            listed = listed || q == pid;
        if (listed) continue;
        pcrPids.push_back(pid);
        out.push_back(pidLine(line("PCR_PID=0x%04x", pid), kCapturePcrPacket, pid));
    }
    out.push_back(pidLine("PID=0x0000  (PAT)", kCapturePidPacket, 0x0000));
    for (const ProgramEntry& p : ctx.programs)
        out.push_back(
            pidLine(line("PID=0x%04x  (PMT)", unsigned{p.pmtPid}), kCapturePidPacket, p.pmtPid));
    out.push_back(pidLine("PID=0x0001  (CAT)", kCapturePidPacket, 0x0001));
    out.push_back(pidLine("PID=0x0010  (NIT)", kCapturePidPacket, 0x0010));
    out.push_back(pidLine("PID=0x0011  (SDT  BAT)", kCapturePidPacket, 0x0011));
    out.push_back(pidLine("PID=0x0012  (EIT)", kCapturePidPacket, 0x0012));
    out.push_back(pidLine("PID=0x0013  (RST)", kCapturePidPacket, 0x0013));
    out.push_back(pidLine("PID=0x0014  (TDT  TOT)", kCapturePidPacket, 0x0014));
    out.push_back(pidLine("PID=0x001f  (SIT)", kCapturePidPacket, 0x001F));
    for (const ProgramEntry& p : ctx.programs)
        for (int c = 0; c < p.caCount; ++c) {
            const unsigned pid = p.ca[static_cast<std::size_t>(c)].caPid.pid;
            out.push_back(pidLine(line("PID=0x%04x  (ECM)", pid), kCapturePidPacket, pid));
        }
    for (int e = 0; e < ctx.cat.emmCount; ++e) {
        const unsigned pid = ctx.cat.emm[static_cast<std::size_t>(e)].caPid.pid;
        out.push_back(pidLine(line("PID=0x%04x  (EMM)", pid), kCapturePidPacket, pid));
    }
    for (int u = 0; u < ctx.unreferencedCount; ++u) {
        const unsigned pid = ctx.unreferenced[static_cast<std::size_t>(u)].pid;
        out.push_back(pidLine(line("PID=0x%04x", pid), kCapturePidPacket, pid));
    }
}

void pesChoices(const AnalysisContext& ctx, std::vector<CaptureChoice>& out) {
    for (const ProgramEntry& p : ctx.programs) {
        const unsigned number = p.programNumber;
        if (p.video.present)
            out.push_back(
                pidLine(line("VIDEO_PID=0x%04x (节目[0x%04x])", unsigned{p.video.pid}, number),
                        kCaptureVideoPes, p.video.pid, CapturePage::Pes));
        for (int a = 0; a < p.audioCount; ++a) {
            const unsigned pid = p.audio[static_cast<std::size_t>(a)].pid;
            out.push_back(pidLine(line("AUDIO_PID=0x%04x (节目[0x%04x])", pid, number),
                                  kCaptureAudioPes, pid, CapturePage::Pes));
        }
    }
}

}  // namespace

std::vector<CaptureChoice> captureChoices(const AnalysisContext& ctx, CapturePage page) {
    std::vector<CaptureChoice> out;
    switch (page) {
        case CapturePage::Section:
            sectionChoices(ctx, out);
            break;
        case CapturePage::Pid:
            pidChoices(ctx, out);
            break;
        case CapturePage::Pes:
            pesChoices(ctx, out);
            break;
        case CapturePage::Error:
            for (const ErrorLine& e : kErrorLines)
                out.push_back(
                    {e.text, CaptureTarget{.page = CapturePage::Error, .trigger = e.trigger}});
            break;
    }
    return out;
}

int capturesWanted(std::optional<long long> count, CapturePage page) {
    long long n = count && *count > 0 ? *count : kDefaultCaptures;
    if (n >= kMaxCaptures) n = kMaxCaptures;
    if (page == CapturePage::Error && n > kMaxErrorCaptures) n = kMaxErrorCaptures;
    return static_cast<int>(n);
}

int errorTriggerOfEvent(int code) {
    if (code == 1010) return kCaptureSyncLoss;
    if (code == 1020) return kCaptureSyncByte;
    if (code >= 1040 && code <= 1042) return kCaptureContinuity;
    if (code == 1070) return kCaptureTransportError;
    if (code == 1031 || code == 1032) return kCapturePatError;
    if (code == 1051) return kCapturePmtScrambled;
    if (code >= 1080 && code <= 1087) return kCaptureCrcError;
    return 0;
}

int tableTriggerOfTableId(unsigned id) {
    if (id == 0x00) return kCaptureLaterPat;
    if (id == 0x01) return kCaptureLaterCat;
    if (id == 0x02) return kCaptureLaterPmt;
    if (id == 0x7F) return kCaptureTriggerSit;
    return siCaptureTrigger(id);
}

std::string_view captureTriggerName(int trigger) {
    const TriggerName* t = triggerEntry(trigger);
    return t != nullptr ? t->name : std::string_view("?");
}

CapturePlan planCapture(const AnalysisContext& ctx, const CaptureTarget& t, int wanted) {
    CapturePlan plan;
    CaptureRequest r;
    r.maxCaptures = wanted;
    switch (t.page) {
        case CapturePage::Section: {
            const TriggerName* entry = triggerEntry(t.trigger);
            if (entry == nullptr || t.trigger < kCaptureLaterPat ||
                t.trigger > kCaptureTriggerSit || t.trigger % 0x100 != 0) {
                plan.error = "no table capture of that kind";
                return plan;
            }
            r.tableTrigger = t.trigger;
            r.tableId = t.tableId;
            if (t.trigger == kCaptureLaterPmt) {
                r.programIndex = programIndexOf(ctx, t);
                if (r.programIndex < 0) {
                    plan.error = t.programNumber ? "the PAT lists no program " +
                                                       std::to_string(*t.programNumber)
                                                 : "no program of the PAT has its PMT on PID " +
                                                       hexPid(t.pid.value_or(0x1FFF));
                    return plan;
                }
            }
            if (!entry->table.empty() && !tableSeen(ctx, t.trigger, t.tableId))
                plan.unseenQuestion = "传送流中可能不存在" + std::string(entry->table) + "。继续?";
            break;
        }
        case CapturePage::Pid:
        case CapturePage::Pes:
            // A PID field that cannot be read leaves the trigger off.
            if (!t.pid || *t.pid > 0x1FFF) {
                plan.error = "a PID (0x0000 to 0x1FFF) is needed";
                return plan;
            }
            r.pid = *t.pid;
            if (t.page == CapturePage::Pid) {
                if (t.trigger != kCapturePidPacket && t.trigger != kCapturePcrPacket) {
                    plan.error = "no packet capture of that kind";
                    return plan;
                }
                r.pidTrigger = t.trigger;
            } else {
                r.pesTrigger = t.trigger != 0 ? t.trigger : pesTriggerOf(ctx, *t.pid);
                if (r.pesTrigger != kCaptureVideoPes && r.pesTrigger != kCaptureAudioPes) {
                    plan.error = "PID " + hexPid(*t.pid) +
                                 " is neither the video nor an audio component of a program";
                    return plan;
                }
            }
            break;
        case CapturePage::Error:
            if (t.trigger < kCaptureSyncLoss || t.trigger > kCaptureCrcError ||
                t.trigger % 0x10 != 0) {
                plan.error = "no error capture of that kind";
                return plan;
            }
            r.errorTrigger = t.trigger;
            break;
    }
    plan.request = r;
    return plan;
}

void armCapture(AnalysisContext& ctx, const CaptureRequest& request, CaptureSink* sink) {
    ctx.capture = request;
    ctx.capture.made = 0;
    ctx.captureSink = sink;
}

void disarmCapture(AnalysisContext& ctx) {
    ctx.capture = {};
    ctx.captureSink = nullptr;
}

bool captureArmed(const CaptureRequest& r) {
    return r.errorTrigger != 0 || r.tableTrigger != 0 || r.pidTrigger != 0 || r.pesTrigger != 0;
}

}  // namespace orv
