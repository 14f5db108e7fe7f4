// What the initialisation phase asks of the online front end: its timers and the initialisation
// dialog. The engine only calls these; the window (or a test) decides what they do. Every call is
// optional: with no hooks installed the phase runs silently, as offline.
#pragma once

#include <string_view>

namespace orv {

enum class InitTimer {
    EndOfInit,    // 1500 ms after the first valid PMT: ends the phase (finishInit)
    RunStart,     // 5000 ms after the phase ended: the run start event
    BitrateTick,  // the one-second bitrate timer (armed for 100 ms when the card failed)
};

// Status lines of the initialisation dialog.
inline constexpr int kDialogLinePat = 1003;
inline constexpr int kDialogLinePmt = 1004;
inline constexpr int kDialogLineStatus = 1005;

class InitHooks {
  public:
    virtual ~InitHooks() = default;
    virtual void armTimer(InitTimer /*timer*/, int /*milliseconds*/) {}
    // Sets a status line; ignored while the dialog does not exist.
    virtual void setDialogLine(int /*controlId*/, std::string_view /*text*/) {}
    // Adds a line ("0x%04x") to the dialog's PID list.
    virtual void addDialogPid(std::string_view /*text*/) {}
    // The input bitrate the card measures, in Mbit/s.
    virtual double readCardBitrate() { return 0.0; }
};

}  // namespace orv
