#include "engine/pid_roles.h"

#include "engine/analysis_context.h"

namespace orv {

void PidRoles::clear() {
    if (tooManyToNote_) {
        roles_.fill(0);
    } else {
        for (int i = 0; i < markedCount_; ++i)
            roles_[marked_[i]] = 0;
    }
    markedCount_ = 0;
    tooManyToNote_ = false;
}

void PidRoles::rebuild(const AnalysisContext& ctx) {
    clear();
    auto mark = [this](unsigned pid, uint8_t role) {
        uint8_t& r = roles_[pid & 0x1FFF];
        if (r == 0) {
            if (markedCount_ < kNotedPids)
                marked_[markedCount_++] = static_cast<uint16_t>(pid & 0x1FFF);
            else
                tooManyToNote_ = true;
        }
        r |= role;
    };
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
