// The DVB SI tables on PIDs 0x0010..0x0014: the table_id screen and section assembly the block
// driver runs for their packets, the five handlers of completed sections, and the repetition
// measure taken at every section start. Each handler takes the bytes assembled on its PID (the
// completed section first, whatever followed it after).
#pragma once

#include <cstdint>
#include <span>

#include "engine/analysis_context.h"

namespace orv {

// True when `tableId` may start a section on the SI PID `pid`; otherwise logs the PID's table_id
// event (subject to its switch and cap) and returns false.
bool ScreenSiTableId(AnalysisContext& ctx, unsigned pid, unsigned tableId);

// Section assembly of one packet of an SI PID (0x0010..0x0014). The bytes before the pointer
// target belong to the section under way; from the target on, every section start is screened
// and measured (its table kind, and its sub_table for the lower limit), back to back until
// stuffing or the packet's end. A section is handed to the PID's handler in the packet that
// brings its last byte; one that is not whole when the next start arrives is dropped and counted
// in ctx.sectionsCutShort. A start whose table_id fails the screen ends the packet's walk: it and
// what follows it contribute nothing.
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
