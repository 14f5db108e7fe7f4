#include "engine/program_table.h"

#include <algorithm>

#include "engine/section_fields.h"

namespace orv {

namespace {

constexpr int kLongHeaderBytes = 8;  // table_id .. last_section_number
constexpr int kCrcBytes = 4;
constexpr int kPmtFixedBytes = 12;  // long header, PCR_PID, program_info_length
constexpr int kPatEntryBytes = 4;
constexpr int kEsEntryBytes = 5;  // stream_type, elementary_PID, ES_info_length
constexpr uint8_t kCaDescriptorTag = 0x09;
constexpr uint8_t kStdDescriptorTag = 0x11;

// The bytes of the section that belong to it: 3 + section_length, but never more than given.
int sectionEnd(SectionBytes s) {
    if (s.size() < 3) return 0;
    const std::size_t stated = 3u + read12(s.data() + 1);
    return static_cast<int>(std::min(stated, s.size()));
}

// Walks the descriptors in [from, to) and calls fn(tag, body, bodyLength) for each one that lies
// wholly inside. Returns false when a descriptor_length runs past `to` or a stray byte is left.
template <class Fn>
bool forEachDescriptor(const uint8_t* s, int from, int to, Fn&& fn) {
    int pos = from;
    while (pos + 2 <= to) {
        const int bodyLength = s[pos + 1];
        if (pos + 2 + bodyLength > to) return false;
        fn(s[pos], s + pos + 2, bodyLength);
        pos += 2 + bodyLength;
    }
    return pos == to;
}

// Where a stream_type is recorded. Types 5 to 14 have a list each, 0x0F..0x7F share the reserved
// list and 0x80 and above the user private list.
enum class ComponentSlot { None, Video, Audio, Other };
struct StreamTypeClass {
    ComponentSlot slot;
    int otherList;  // index into ProgramEntry::other for ComponentSlot::Other
};
constexpr int kReservedList = 10;
constexpr int kUserPrivateList = 11;

StreamTypeClass classify(uint8_t streamType) {
    if (streamType == 0) return {ComponentSlot::None, 0};
    if (streamType <= 2) return {ComponentSlot::Video, 0};
    if (streamType <= 4) return {ComponentSlot::Audio, 0};
    if (streamType <= 14) return {ComponentSlot::Other, streamType - 5};
    if (streamType <= 0x7F) return {ComponentSlot::Other, kReservedList};
    return {ComponentSlot::Other, kUserPrivateList};
}

void addCaPair(ProgramEntry& program, const uint8_t* body, int bodyLength, PmtReadResult& r) {
    if (bodyLength < 4) return;
    const auto systemId = static_cast<uint16_t>(read16(body));
    const auto pid = static_cast<uint16_t>(read13(body + 2));
    for (int i = 0; i < program.caCount; ++i) {
        if (program.ca[i].caSystemId == systemId && program.ca[i].caPid.pid == pid) return;
    }
    if (program.caCount >= kMaxCaEntries) {
        ++r.droppedCa;
        return;
    }
    CaEntry& entry = program.ca[program.caCount++];
    entry = CaEntry{};
    entry.caSystemId = systemId;
    entry.caPid.pid = pid;
}

void addComponent(ProgramEntry& program, uint8_t streamType, uint16_t pid, PmtReadResult& r) {
    const StreamTypeClass cls = classify(streamType);
    switch (cls.slot) {
        case ComponentSlot::None:
            return;
        case ComponentSlot::Video:
            // One video component per program: a later entry replaces an earlier one.
            program.video = VideoComponent{};
            program.video.present = true;
            program.video.streamType = streamType;
            program.video.pid = pid;
            break;
        case ComponentSlot::Audio:
            if (program.audioCount >= kMaxAudioComponents) {
                ++r.droppedComponents;
                return;
            }
            program.audio[program.audioCount] = AudioComponent{};
            program.audio[program.audioCount].streamType = streamType;
            program.audio[program.audioCount].pid = pid;
            ++program.audioCount;
            break;
        case ComponentSlot::Other: {
            ComponentList& list = program.other[cls.otherList];
            if (list.count >= kMaxOtherListPids) {
                ++r.droppedComponents;
                return;
            }
            list.pids[list.count] = PidEntry{};
            list.pids[list.count].pid = pid;
            list.streamTypes[list.count] = streamType;
            ++list.count;
            break;
        }
    }
    ++program.componentCount;
}

}  // namespace

bool readPsiHeader(SectionBytes section, PsiHeader& out) {
    const int end = sectionEnd(section);
    if (end < kLongHeaderBytes + kCrcBytes) return false;
    const uint8_t* s = section.data();
    PsiHeader h;
    h.tableId = s[0];
    h.sectionSyntaxIndicator = s[1] >> 7;
    h.sectionLength = static_cast<uint16_t>(read12(s + 1));
    h.tableIdExtension = static_cast<uint16_t>(read16(s + 3));
    h.versionNumber = (s[5] >> 1) & 0x1F;
    h.currentNextIndicator = s[5] & 0x01;
    h.sectionNumber = s[6];
    h.lastSectionNumber = s[7];
    h.crc32 = read32(s + end - 4);
    out = h;
    return true;
}

PatReadResult readPat(SectionBytes section, PatModel& pat) {
    PatReadResult r;
    if (!readPsiHeader(section, pat.header)) return r;
    r.ok = true;
    const uint8_t* s = section.data();
    pat.section.assign(s, s + sectionEnd(section));
    const int crcStart = sectionEnd(section) - kCrcBytes;
    pat.networkPid = 0;
    pat.programCount = 0;
    for (int pos = kLongHeaderBytes; pos + kPatEntryBytes <= crcStart; pos += kPatEntryBytes) {
        const auto number = static_cast<uint16_t>(read16(s + pos));
        const auto pid = static_cast<uint16_t>(read13(s + pos + 2));
        if (number == 0) {
            pat.networkPid = pid;
            continue;
        }
        ++r.listed;
        const auto begin = pat.programs.begin();
        const auto listed = begin + pat.programCount;
        if (std::any_of(begin, listed,
                        [number](const PatProgram& p) { return p.programNumber == number; })) {
            ++r.duplicates;
            continue;
        }
        if (pat.programCount >= kMaxPrograms) {
            ++r.dropped;
            continue;
        }
        pat.programs[pat.programCount++] = PatProgram{number, pid};
    }
    return r;
}

void createProgramTable(AnalysisContext& ctx) {
    const int count = std::clamp(ctx.pat.programCount, 0, kMaxPrograms);
    ctx.programs.clear();
    ctx.programs.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        ctx.programs[i].programNumber = ctx.pat.programs[i].programNumber;
        ctx.programs[i].pmtPid = ctx.pat.programs[i].pmtPid;
    }
}

PmtReadResult readPmt(SectionBytes section, ProgramEntry& program) {
    PmtReadResult r;
    const int end = sectionEnd(section);
    if (end < kPmtFixedBytes + kCrcBytes) return r;
    readPsiHeader(section, program.pmtHeader);
    r.ok = true;

    const uint8_t* s = section.data();
    program.pmtSection.assign(s, s + end);
    const int crcStart = end - kCrcBytes;
    program.pcrPid = static_cast<uint16_t>(read13(s + 8));
    program.componentCount = 0;
    program.video = VideoComponent{};
    program.audio = {};
    program.audioCount = 0;
    program.other = {};
    program.ca = {};
    program.caCount = 0;

    auto caOnly = [&](uint8_t tag, const uint8_t* body, int bodyLength) {
        if (tag == kCaDescriptorTag) addCaPair(program, body, bodyLength, r);
    };
    const int infoEnd = kPmtFixedBytes + static_cast<int>(read12(s + 10));
    if (!forEachDescriptor(s, kPmtFixedBytes, std::min(infoEnd, crcStart), caOnly))
        r.truncated = true;
    if (infoEnd > crcStart) {
        r.truncated = true;
        return r;  // the ES loop would start beyond the section
    }

    auto esDescriptor = [&](uint8_t tag, const uint8_t* body, int bodyLength) {
        if (tag == kCaDescriptorTag) addCaPair(program, body, bodyLength, r);
        if (tag == kStdDescriptorTag && bodyLength >= 1) {
            r.stdDescriptor = true;
            r.leakValid = (body[0] & 0x01) != 0;
        }
    };
    int pos = infoEnd;
    while (pos + kEsEntryBytes <= crcStart) {
        const int esEnd = pos + kEsEntryBytes + static_cast<int>(read12(s + pos + 3));
        if (esEnd > crcStart) break;
        addComponent(program, s[pos], static_cast<uint16_t>(read13(s + pos + 1)), r);
        if (!forEachDescriptor(s, pos + kEsEntryBytes, esEnd, esDescriptor)) r.truncated = true;
        pos = esEnd;
    }
    if (pos != crcStart) r.truncated = true;
    return r;
}

bool acceptFirstPat(AnalysisContext& ctx, SectionBytes section) {
    if (!readPat(section, ctx.pat).ok) return false;
    ctx.pat.patFound = true;
    createProgramTable(ctx);
    return true;
}

bool acceptFirstPmt(AnalysisContext& ctx, int index, SectionBytes section) {
    if (index < 0 || index >= ctx.programCount()) return false;
    ProgramEntry& program = ctx.programs[static_cast<std::size_t>(index)];
    const PmtReadResult read = readPmt(section, program);
    if (!read.ok) return false;
    program.timing.video.buffer.leakValid = read.leakValid;
    program.pmtReceived = true;
    ++ctx.pmtFoundCount;
    return true;
}

int countDistinctPcrPids(AnalysisContext& ctx) {
    int distinct = 0;
    const auto& programs = ctx.programs;
    for (std::size_t i = 0; i < programs.size(); ++i) {
        const uint16_t pid = programs[i].pcrPid;
        if (pid == 0) continue;
        const auto seen = std::any_of(programs.begin(), programs.begin() + i,
                                      [pid](const ProgramEntry& p) { return p.pcrPid == pid; });
        if (!seen) ++distinct;
    }
    ctx.distinctPcrPidCount = distinct;
    return distinct;
}

}  // namespace orv
