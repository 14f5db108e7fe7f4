// Which lists of the program table a PID appears in, so that the block driver runs for a packet
// only the searches that can match it. Rebuilt whenever a table handler may have changed the
// program table (the block driver skips the rebuild after a table that changed nothing); the
// searches themselves, and so their order and results, stay as they are. A rebuild clears only the
// entries the last one set (all 8192 when they were too many to note), so one instance kept from
// block to block costs a few dozen stores per block, not 8 KB.
#pragma once

#include <array>
#include <cstdint>

namespace orv {

struct AnalysisContext;

enum PidRole : uint8_t {
    kRolePmt = 1,
    kRoleVideo = 2,
    kRolePcr = 4,
    kRoleAudio = 8,
    kRoleOther = 16,
    kRoleCa = 32,
    kRoleEmm = 64,
    // The PCR PID of a program that carries neither its video nor an audio component on it.
    kRolePcrOnly = 128,
};

class PidRoles {
  public:
    void rebuild(const AnalysisContext& ctx);
    uint8_t operator[](unsigned pid) const { return roles_[pid & 0x1FFF]; }
    // For a PID with kRoleVideo: the index of the one program whose video it is, or
    // kSeveralPrograms when it is the video of more than one.
    static constexpr uint8_t kSeveralPrograms = 0xFF;
    uint8_t videoProgram(unsigned pid) const { return videoProgram_[pid & 0x1FFF]; }
    // For a PID with kRolePcr: the index of the one program whose PCR PID it is, or
    // kSeveralPrograms when it is the PCR PID of more than one.
    uint8_t pcrProgram(unsigned pid) const { return pcrProgram_[pid & 0x1FFF]; }
    // For a PID with kRoleOther: where its one entry in the other stream type lists is; a
    // program of kSeveralPrograms when it has more than one.
    struct OtherSlot {
        uint8_t program = kSeveralPrograms;
        uint8_t list = 0;
        uint8_t index = 0;
    };
    OtherSlot otherSlot(unsigned pid) const { return otherSlot_[pid & 0x1FFF]; }

  private:
    static constexpr int kNotedPids = 256;
    void clear();

    std::array<uint8_t, 8192> roles_{};
    std::array<uint8_t, 8192> videoProgram_{};   // meaningful only where roles_ has kRoleVideo
    std::array<uint8_t, 8192> pcrProgram_{};     // meaningful only where roles_ has kRolePcr
    std::array<OtherSlot, 8192> otherSlot_{};    // meaningful only where roles_ has kRoleOther
    std::array<uint16_t, kNotedPids> marked_{};  // the PIDs with a role, while they fit
    int markedCount_ = 0;
    bool tooManyToNote_ = false;
};

}  // namespace orv
