#include "engine/pid_roles.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/analysis_context.h"

namespace orv {
namespace {

struct ProgramSpec {
    uint16_t pmt = 0;
    uint16_t video = 0;  // 0: none
    uint16_t pcr = 0;
    std::vector<uint16_t> audio;
    std::vector<uint16_t> other;  // stream_type 6 list
    std::vector<uint16_t> ecm;
};

struct RolesCase {
    std::string name;
    std::vector<ProgramSpec> programs;
    std::vector<uint16_t> emm;
    std::vector<std::pair<unsigned, uint8_t>> expected;     // PID and its roles, from the table
    std::vector<std::pair<unsigned, uint8_t>> videoOwners;  // video PID and its one program
    // PID of the other stream type lists and its one entry (all in the stream_type 6 list here)
    std::vector<std::pair<unsigned, PidRoles::OtherSlot>> otherSlots = {};
    std::vector<std::pair<unsigned, uint8_t>> pcrOwners = {};  // PCR PID and its one program
};

void load(AnalysisContext& ctx, const RolesCase& c) {
    ctx.programs.clear();
    for (const ProgramSpec& s : c.programs) {
        ProgramEntry& p = ctx.programs.emplace_back();
        p.pmtPid = s.pmt;
        p.video.present = s.video != 0;
        p.video.pid = s.video;
        p.pcrPid = s.pcr;
        for (uint16_t pid : s.audio)
            p.audio[static_cast<std::size_t>(p.audioCount++)].pid = pid;
        for (uint16_t pid : s.other)
            p.other[1].pids[static_cast<std::size_t>(p.other[1].count++)].pid = pid;
        for (uint16_t pid : s.ecm)
            p.ca[static_cast<std::size_t>(p.caCount++)].caPid.pid = pid;
    }
    ctx.cat.emmCount = 0;
    for (uint16_t pid : c.emm)
        ctx.cat.emm[static_cast<std::size_t>(ctx.cat.emmCount++)].caPid.pid = pid;
}

// Fifty programs of ten PIDs each: more PIDs than a rebuild notes one by one.
std::vector<ProgramSpec> crowdedTable() {
    std::vector<ProgramSpec> programs;
    for (uint16_t i = 0; i < 50; ++i) {
        const auto base = static_cast<uint16_t>(0x1000 + i * 16);
        programs.push_back({base,
                            static_cast<uint16_t>(base + 1),
                            static_cast<uint16_t>(base + 1),
                            {static_cast<uint16_t>(base + 2), static_cast<uint16_t>(base + 3)},
                            {static_cast<uint16_t>(base + 4), static_cast<uint16_t>(base + 5),
                             static_cast<uint16_t>(base + 6), static_cast<uint16_t>(base + 7),
                             static_cast<uint16_t>(base + 8), static_cast<uint16_t>(base + 9)},
                            {}});
    }
    return programs;
}

// One instance serves every block of a run and every context: a rebuild must leave exactly the
// roles of the table it was given, whatever an earlier table marked.
TEST(PidRoles, RebuildLeavesOnlyTheRolesOfTheCurrentTable) {
    const std::vector<RolesCase> cases = {
        {"two programs, PCR on the video PID, shared audio",
         {{0x100, 0x101, 0x101, {0x102}, {0x105}, {0x1F0}}, {0x200, 0x201, 0x210, {0x102}, {}, {}}},
         {0x1E0},
         {{0x100, kRolePmt},
          {0x101, kRoleVideo | kRolePcr},
          {0x102, kRoleAudio},
          {0x105, kRoleOther},
          {0x1F0, kRoleCa},
          {0x1E0, kRoleEmm},
          {0x210, kRolePcr | kRolePcrOnly},
          {0x200, kRolePmt}},
         {{0x101, 0}, {0x201, 1}},
         {{0x105, {0, 1, 0}}},
         {{0x101, 0}, {0x210, 1}}},
        {"after it, one program on other PIDs",
         {{0x300, 0x301, 0x301, {}, {}, {}}},
         {},
         {{0x100, 0}, {0x101, 0}, {0x102, 0}, {0x1E0, 0}, {0x210, 0}, {0x300, kRolePmt}},
         {{0x301, 0}}},
        {"one video PID in two programs, the PCR on an audio PID",
         {{0x500, 0x501, 0x502, {0x502}, {}, {}}, {0x510, 0x501, 0x501, {}, {}, {}}},
         {},
         {{0x501, kRoleVideo | kRolePcr}, {0x502, kRoleAudio | kRolePcr}},
         {{0x501, PidRoles::kSeveralPrograms}},
         {},
         {{0x502, 0}, {0x501, 1}}},
        {"one PCR PID for three programs, the second one's alone",
         {{0x700, 0x701, 0x7FF, {}, {}, {}},
          {0x710, 0x711, 0x711, {}, {}, {}},
          {0x720, 0x721, 0x7FF, {}, {}, {}},
          {0x730, 0x731, 0x7FF, {}, {}, {}}},
         {},
         {{0x7FF, kRolePcr | kRolePcrOnly}, {0x711, kRoleVideo | kRolePcr}},
         {},
         {},
         {{0x7FF, PidRoles::kSeveralPrograms}, {0x711, 1}}},
        {"one PID twice in a program's other list, another in the second program's",
         {{0x600, 0, 0, {}, {0x601, 0x602, 0x601}, {}}, {0x610, 0, 0, {}, {0x611}, {}}},
         {},
         {{0x601, kRoleOther}, {0x611, kRoleOther}},
         {},
         {{0x601, {PidRoles::kSeveralPrograms, 0, 0}}, {0x602, {0, 1, 1}}, {0x611, {1, 1, 0}}}},
        {"fifty programs",
         crowdedTable(),
         {},
         {{0x1000, kRolePmt}, {0x1311, kRoleVideo | kRolePcr}, {0x1319, kRoleOther}, {0x300, 0}},
         {{0x1011, 1}, {0x1311, 49}},
         {{0x1319, {49, 1, 5}}},
         {{0x1011, 1}, {0x1311, 49}}},
        {"after them, one PID that is both PMT and audio",
         {{0x400, 0, 0, {0x400}, {}, {}}},
         {},
         {{0x1000, 0}, {0x1311, 0}, {0x1319, 0}, {0x400, kRolePmt | kRoleAudio}},
         {}},
        {"an empty table", {}, {}, {{0x400, 0}, {0, 0}}, {}},
    };
    auto ctx = std::make_unique<AnalysisContext>();
    auto kept = std::make_unique<PidRoles>();
    for (const RolesCase& c : cases) {
        SCOPED_TRACE(c.name);
        load(*ctx, c);
        kept->rebuild(*ctx);
        for (const auto& [pid, roles] : c.expected)
            EXPECT_EQ((*kept)[pid], roles) << "PID " << pid;
        for (const auto& [pid, program] : c.videoOwners)
            EXPECT_EQ(kept->videoProgram(pid), program) << "PID " << pid;
        for (const auto& [pid, program] : c.pcrOwners)
            EXPECT_EQ(kept->pcrProgram(pid), program) << "PID " << pid;
        for (const auto& [pid, slot] : c.otherSlots) {
            const PidRoles::OtherSlot got = kept->otherSlot(pid);
            EXPECT_EQ(got.program, slot.program) << "PID " << pid;
            if (slot.program == PidRoles::kSeveralPrograms) continue;
            EXPECT_EQ(got.list, slot.list) << "PID " << pid;
            EXPECT_EQ(got.index, slot.index) << "PID " << pid;
        }
        auto fresh = std::make_unique<PidRoles>();
        fresh->rebuild(*ctx);
        int differing = 0;
        for (unsigned pid = 0; pid < 8192; ++pid) {
            differing += (*kept)[pid] != (*fresh)[pid];
            if ((*fresh)[pid] & kRoleVideo)
                differing += kept->videoProgram(pid) != fresh->videoProgram(pid);
            if ((*fresh)[pid] & kRolePcr)
                differing += kept->pcrProgram(pid) != fresh->pcrProgram(pid);
            if ((*fresh)[pid] & kRoleOther) {
                const PidRoles::OtherSlot a = kept->otherSlot(pid), b = fresh->otherSlot(pid);
                differing += a.program != b.program || a.list != b.list || a.index != b.index;
            }
        }
        EXPECT_EQ(differing, 0);
    }
}

}  // namespace
}  // namespace orv
