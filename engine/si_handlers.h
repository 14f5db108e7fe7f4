// The DVB SI tables on PIDs 0x0010..0x0014: the table_id screen and section assembly the block
// driver runs for their packets, the five handlers of completed sections, and the repetition
// measure taken at every section start. Each handler takes the bytes assembled on its PID (the
// completed section first).
#pragma once

#include <cstdint>
#include <span>

#include "engine/analysis_context.h"

namespace orv {

// True when `tableId` may start a section on the SI PID `pid`; otherwise logs the PID's table_id
// event (subject to its switch and cap) and returns false.
bool ScreenSiTableId(AnalysisContext& ctx, unsigned pid, unsigned tableId);

// Section assembly of one packet of an SI PID (0x0010..0x0014), calling the PID's handler when a
// new section start completes the one under way, then measuring the repetition of the table that
// starts. The bytes before the pointer target belong to the section under way; a start whose
// table_id fails the screen contributes nothing.
void feedSiPacket(AnalysisContext& ctx, const uint8_t* packet, unsigned pid);

// Whether the continuity test of an SI PID only renews its baseline: until the PID's table model
// has accepted a first table (the EIT PID tests from its second packet).
bool siBaselineOnly(const AnalysisContext& ctx, unsigned pid);

void OnNitSection(AnalysisContext& ctx, std::span<const uint8_t> assembled);
void OnSdtBatSection(AnalysisContext& ctx, std::span<const uint8_t> assembled);
void OnEitSection(AnalysisContext& ctx, std::span<const uint8_t> assembled);
void OnRstSection(AnalysisContext& ctx, std::span<const uint8_t> assembled);
void OnTdtTotSection(AnalysisContext& ctx, std::span<const uint8_t> assembled);

}  // namespace orv
