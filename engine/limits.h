// Fixed sizes of the engine's tables. Nothing in the per-packet path allocates, so every list
// the analysis keeps is an array of one of these sizes.
#pragma once

#include <cstddef>

namespace orv {

inline constexpr int kMaxPrograms = 50;
inline constexpr int kMaxInitPids = 100;
inline constexpr int kMaxUnreferencedPids = 100;
inline constexpr int kMaxCaEntries = 10;
inline constexpr int kMaxEmmEntries = 10;
inline constexpr int kMaxAudioComponents = 10;
inline constexpr int kMaxOtherListPids = 6;
// Other component lists: stream_type 5 to 14, the reserved types 0x0F..0x7F, user private 0x80+.
inline constexpr int kOtherListCount = 12;
inline constexpr int kMaxEvents = 1000;
// Each check stops logging its kind once the kind's counter has reached this value.
inline constexpr int kEventCap = 1000;
inline constexpr int kSectionBufferSize = 1024;
inline constexpr int kKindCount = 32;
inline constexpr int kRateWindowPackets = 2000;

inline constexpr std::size_t kTsPacketSize = 188;
inline constexpr std::size_t kRsPacketSize = 204;
inline constexpr unsigned char kSyncByte = 0x47;

inline constexpr unsigned kPidPat = 0x0000;
inline constexpr unsigned kPidCat = 0x0001;
inline constexpr unsigned kPidNit = 0x0010;
inline constexpr unsigned kPidSdtBat = 0x0011;
inline constexpr unsigned kPidEit = 0x0012;
inline constexpr unsigned kPidRst = 0x0013;
inline constexpr unsigned kPidTdtTot = 0x0014;
inline constexpr unsigned kPidNull = 0x1FFF;
// PIDs below this are reserved by ISO/IEC 13818-1 or assigned to DVB SI: never unreferenced.
inline constexpr unsigned kFirstUnreservedPid = 0x0020;

}  // namespace orv
