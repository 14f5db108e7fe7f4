#include "engine/pid_roles.h"

#include "engine/analysis_context.h"

namespace orv {

void PidRoles::rebuild(const AnalysisContext& ctx) {
    roles_.fill(0);
    auto mark = [this](unsigned pid, uint8_t role) { roles_[pid & 0x1FFF] |= role; };
    for (const ProgramEntry& p : ctx.programs) {
        mark(p.pmtPid, kRolePmt);
        if (p.video.present) mark(p.video.pid, kRoleVideo);
        if (p.pcrPid != 0) mark(p.pcrPid, kRolePcr);
        for (int a = 0; a < p.audioCount; ++a)
            mark(p.audio[a].pid, kRoleAudio);
        for (const ComponentList& l : p.other)
            for (int k = 0; k < l.count; ++k)
                mark(l.pids[k].pid, kRoleOther);
        for (int c = 0; c < p.caCount; ++c)
            mark(p.ca[c].caPid.pid, kRoleCa);
    }
    for (int e = 0; e < ctx.cat.emmCount; ++e)
        mark(ctx.cat.emm[e].caPid.pid, kRoleEmm);
}

}  // namespace orv
