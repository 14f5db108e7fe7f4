// tsgen: writes a synthetic MPEG-2 transport stream (a preset, optionally with faults) to a file.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/tsgen/fault_text.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"
#include "tools/tsgen/video_profiles.h"

namespace {

constexpr int kExitUsage = 2;

std::string faultHelp() {
    std::string s =
        "Fault: KIND@WHERE[:pid=P,value=V,count=N]. WHERE is a packet index, a time "
        "(2.5s, 300ms) or FROM-TO for ranges; with pid= the first fitting packet of that PID at "
        "or after WHERE is hit. Kinds:\n";
    for (const tsgen::FaultKindInfo& k : tsgen::kFaultKinds) {
        s += "  " + std::string(k.name) + (k.range ? "@FROM-TO" : "@WHERE");
        s += std::string(26 - std::min<std::size_t>(25, k.name.size() + (k.range ? 8 : 6)), ' ');
        s += std::string(k.help);
        if (k.needsPid) s += " (pid= required)";
        if (!k.defaultValue) s += " (value= required)";
        if (k.defaultValue && k.minValue < k.maxValue)
            s += " (value " + std::to_string(k.minValue) + ".." + std::to_string(k.maxValue) +
                 ", default " + std::to_string(*k.defaultValue) + ")";
        s += "\n";
    }
    return s;
}

std::string hex4(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "0x%04X", v);
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Synthesizes MPEG-2 transport streams for testing the analyzer.", "tsgen"};
    app.footer(faultHelp());
    std::string preset = "clean";
    std::optional<double> seconds;
    double bitrateMbit = 8.0;
    unsigned packetSize = 188;
    std::vector<std::string> faultTexts;
    std::string output;
    bool verbose = false;
    std::string videoProfile;
    app.add_option("--preset", preset, "Stream preset")
        ->check(CLI::IsMember({"clean", "sample", "ten-programs"}))
        ->capture_default_str();
    app.add_option("--seconds", seconds, "Stream length in seconds (default: the preset's)")
        ->check(CLI::Range(0.001, 1e6));
    app.add_option("--bitrate", bitrateMbit, "Total bitrate in Mbit/s")
        ->check(CLI::Range(0.1, 1000.0))
        ->capture_default_str();
    app.add_option("--packet-size", packetSize, "Packet size")
        ->check(CLI::IsMember({188u, 204u}))
        ->capture_default_str();
    app.add_option("--fault", faultTexts, "Inject a fault (repeatable), see below")
        ->type_name("FAULT");
    app.add_option("-o,--output", output, "Output file")->required();
    app.add_flag("-v,--verbose", verbose, "List where every fault landed");
    std::vector<std::string> profileNames;
    for (const tsgen::VideoProfileName& v : tsgen::kVideoProfiles)
        profileNames.emplace_back(v.name);
    app.add_option("--video-profile", videoProfile,
                   "MPEG-2 profile@level every video declares (default: the preset's main@main)")
        ->check(CLI::IsMember(profileNames));
    bool packedPsi = false;
    unsigned pmtStreams = 0;
    app.add_flag("--packed-psi", packedPsi,
                 "Send PAT and PMTs as one unbroken run of sections per PID: a section that "
                 "spans packets ends in the packet that starts the next (pointer_field > 0)");
    app.add_option("--pmt-streams", pmtStreams,
                   "List N private data components in every PMT (none is sent), so the PMTs "
                   "span packets")
        ->check(CLI::Range(0u, tsgen::kMaxPmtDataStreams))
        ->capture_default_str();
    bool sharedPmtPid = false;
    app.add_flag("--shared-pmt-pid", sharedPmtPid,
                 "Send every program's PMT on the first program's PMT PID, back to back in one "
                 "packet");
    bool siStuffing = false;
    app.add_flag("--si-stuffing", siStuffing,
                 "Send a stuffing section (table_id 0x72) 100 ms behind each NIT and SDT");
    bool packedSi = false;
    app.add_flag("--packed-si", packedSi,
                 "Pack SI sections back to back in shared packets; EIT sections go in bursts of "
                 "one section per service");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }

    try {
        tsgen::PresetOptions options;
        options.bitrate = static_cast<uint64_t>(std::llround(bitrateMbit * 1e6));
        options.packetSize = packetSize;
        if (seconds) options.durationMs = static_cast<uint64_t>(std::llround(*seconds * 1000));
        options.packedPsi = packedPsi;
        options.pmtDataStreams = pmtStreams;
        options.siStuffing = siStuffing;
        options.packedSi = packedSi;
        options.sharedPmtPid = sharedPmtPid;
        tsgen::Preset p = *tsgen::presetByName(preset, options);
        if (!videoProfile.empty())
            tsgen::setVideoProfile(p.config, *tsgen::videoProfileByName(videoProfile));
        for (const std::string& text : faultTexts)
            p.faults.push_back(tsgen::parseFaultText(text, p.config));

        std::FILE* f = std::fopen(output.c_str(), "wb");
        if (!f) {
            std::cerr << "tsgen: cannot open '" << output << "' for writing\n";
            return kExitUsage;
        }
        bool writeFailed = false;
        tsgen::GenerateResult r;
        try {
            r = tsgen::generateStream(p.config, p.faults, [&](const uint8_t* d, std::size_t n) {
                if (!writeFailed && std::fwrite(d, 1, n, f) != n) writeFailed = true;
            });
        } catch (...) {
            std::fclose(f);
            std::remove(output.c_str());
            throw;
        }
        if (std::fclose(f) != 0 || writeFailed) {
            std::cerr << "tsgen: writing '" << output << "' failed\n";
            return 1;
        }
        if (verbose) {
            for (const tsgen::AppliedFault& a : r.applied) {
                std::cerr << "fault " << a.fault << " " << tsgen::faultKindInfo(a.kind).name
                          << " packet " << a.packet << " pid " << hex4(a.pid);
                if (a.other != a.packet) std::cerr << " (" << a.other << ")";
                std::cerr << "\n";
            }
        }
        for (std::size_t i : r.missed)
            std::cerr << "tsgen: warning: fault " << i << " ("
                      << tsgen::faultKindInfo(p.faults[i].kind).name
                      << ") found no packet to act on\n";
        const double duration =
            static_cast<double>(r.bytes) * 8.0 / static_cast<double>(p.config.bitrate);
        char line[256];
        std::snprintf(line, sizeof line,
                      "tsgen: %s: preset %s, %llu packets of %u bytes (%llu bytes), %.3f Mbit/s, "
                      "%.3f s, %zu of %zu faults applied\n",
                      output.c_str(), preset.c_str(), static_cast<unsigned long long>(r.packets),
                      packetSize, static_cast<unsigned long long>(r.bytes),
                      static_cast<double>(p.config.bitrate) / 1e6, duration,
                      p.faults.size() - r.missed.size(), p.faults.size());
        std::cerr << line;
        return 0;
    } catch (const std::invalid_argument& e) {
        std::cerr << "tsgen: " << e.what() << "\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "tsgen: " << e.what() << "\n";
        return 1;
    }
}
