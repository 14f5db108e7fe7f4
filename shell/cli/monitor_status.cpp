#include "shell/cli/monitor_status.h"

#include <cstdio>

#include "shell/cli/report_json.h"

namespace orv::cli {
namespace {

std::string clockText(std::time_t t, const char* format) {
    std::tm tm{};
    char text[40] = {};
    if (localtime_r(&t, &tm) != nullptr) std::strftime(text, sizeof text, format, &tm);
    return text;
}

}  // namespace

std::string runStateWords(const RunStatus& s) {
    if (s.restartPending) return "restarting";
    if (!s.active) return s.interfaceFailed ? "input failed" : "stopped";
    switch (s.runState) {
        case RunState::Interrupted:
            return "no data";
        case RunState::ProgramChange:
            return "program change";
        case RunState::InterfaceFailure:
            return "input failed";
        case RunState::Running:
            break;
    }
    if (s.packetCounter == 0) return "starting";
    return s.initDone ? "running" : "initialising";
}

std::string statusLine(const MonitorTick& t) {
    const RunStatus& s = t.status;
    char head[160];
    std::snprintf(head, sizeof head, "%s %-12s %8.3f Mbit/s %12llu pkts",
                  clockText(t.now, "%H:%M:%S").c_str(), runStateWords(s).c_str(), s.bitrate.current,
                  static_cast<unsigned long long>(s.packetCounter));
    std::string line = head;
    std::string kinds;
    for (const KindLine& k : t.kinds) {
        if (k.count == 0) continue;
        kinds += kinds.empty() ? " | " : ", ";
        kinds += k.name + " " + k.box;
    }
    line += kinds.empty() ? " | no findings" : kinds;
    line +=
        " | +" + std::to_string(t.events.size()) + (t.events.size() == 1 ? " event" : " events");
    if (s.mdi) {
        char mdi[80];
        std::snprintf(mdi, sizeof mdi, " | DF %.1f ms MLR %.1f/s", s.mdi->delayFactorMs,
                      s.mdi->mediaLossRate);
        line += mdi;
    }
    if (s.restarts > 0) line += " | restarts " + std::to_string(s.restarts);
    return line;
}

nlohmann::json statusJson(const MonitorTick& t) {
    using nlohmann::json;
    const RunStatus& s = t.status;
    json kinds = json::array();
    for (const KindLine& k : t.kinds)
        if (k.count > 0) kinds.push_back(kindJson(k));
    json events = json::array();
    for (const EventLine& e : t.events)
        events.push_back(eventJson(e));
    json line = {
        {"time", clockText(t.now, "%Y-%m-%dT%H:%M:%S%z")},
        {"runState", static_cast<int>(s.runState)},
        {"state", runStateWords(s)},
        {"restarts", s.restarts},
        {"bitrate", s.bitrate.current},
        {"packets", s.packetCounter},
        {"kinds", kinds},
        {"events", events},
    };
    if (s.mdi) {
        line["mdi"] = {{"delayFactorMs", s.mdi->delayFactorMs},
                       {"mediaLossRate", s.mdi->mediaLossRate},
                       {"lostDatagrams", s.mdi->lostDatagrams}};
    }
    return line;
}

}  // namespace orv::cli
