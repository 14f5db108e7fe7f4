// Writes the seed corpus of every fuzz target: inputs cut from generated streams (always) and
// from the real captures of a folder (when given), in the input layouts of fuzz_inputs.h.
// Usage: fuzz_seeds OUT_DIR [CAPTURE_DIR]   (one sub-folder per target)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_inputs.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace {

namespace fsys = std::filesystem;
namespace fz = orv::fuzz;
using Bytes = std::vector<uint8_t>;

struct SeedWriter {
    fsys::path dir;
    int count = 0;
    std::set<Bytes> seen;

    void write(const std::string& name, const Bytes& bytes) {
        if (!seen.insert(bytes).second) return;
        fsys::create_directories(dir);
        std::ofstream out(dir / (name + "-" + std::to_string(count++)), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
};

Bytes concat(Bytes head, const uint8_t* data, std::size_t size) {
    head.insert(head.end(), data, data + size);
    return head;
}

uint16_t pidOf(const uint8_t* p) {
    return static_cast<uint16_t>((p[1] & 0x1F) << 8 | p[2]);
}

// Sections of the PSI/SI PIDs of a 188-byte stream, each once, in stream order, with their PID.
struct FoundSection {
    uint16_t pid;
    Bytes bytes;
};

std::vector<FoundSection> extractSections(const Bytes& ts, std::size_t perPid) {
    std::set<uint16_t> pids = {0x0000, 0x0001, 0x0010, 0x0011, 0x0012, 0x0013, 0x0014};
    std::map<uint16_t, Bytes> buffers;
    std::map<uint16_t, std::size_t> counts;
    std::set<Bytes> seen;
    std::vector<FoundSection> found;
    auto take = [&](uint16_t pid, Bytes& buf) {
        while (buf.size() >= 3 && buf[0] != 0xFF) {
            const std::size_t len = 3 + ((buf[1] & 0x0F) << 8 | buf[2]);
            if (buf.size() < len) return;
            Bytes s(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(len));
            buf.erase(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(len));
            if (pid == 0 && s[0] == 0x00) {  // the PMT PIDs of the programs
                for (std::size_t i = 8; i + 4 + 4 <= s.size(); i += 4)
                    if ((s[i] << 8 | s[i + 1]) != 0)
                        pids.insert(((s[i + 2] & 0x1F) << 8) | s[i + 3]);
            }
            if (counts[pid] < perPid && seen.insert(s).second) {
                ++counts[pid];
                found.push_back({pid, std::move(s)});
            }
        }
        if (!buf.empty() && buf[0] == 0xFF) buf.clear();
    };
    for (std::size_t off = 0; off + 188 <= ts.size(); off += 188) {
        const uint8_t* p = ts.data() + off;
        const uint16_t pid = pidOf(p);
        if (p[0] != 0x47 || (p[1] & 0x80) || !pids.count(pid) || !(p[3] & 0x10)) continue;
        std::size_t at = 4;
        if (p[3] & 0x20) at += 1 + p[4];
        if (at >= 188) continue;
        Bytes& buf = buffers[pid];
        if (p[1] & 0x40) {
            const std::size_t start = at + 1 + p[at];
            if (start > 188) continue;
            if (!buf.empty()) {
                buf.insert(buf.end(), p + at + 1, p + start);
                take(pid, buf);
            }
            buf.assign(p + start, p + 188);
        } else if (!buf.empty()) {
            buf.insert(buf.end(), p + at, p + 188);
        }
        take(pid, buf);
    }
    return found;
}

// The first descriptor loop of a section, where its table has one near the header.
Bytes firstLoop(const Bytes& s) {
    auto loopAt = [&](std::size_t lengthAt, std::size_t start) -> Bytes {
        if (s.size() < start + 4) return {};
        const std::size_t len = (s[lengthAt] & 0x0F) << 8 | s[lengthAt + 1];
        const std::size_t end = std::min(start + len, s.size() - 4);
        return Bytes(s.begin() + static_cast<std::ptrdiff_t>(start),
                     s.begin() + static_cast<std::ptrdiff_t>(end));
    };
    const uint8_t id = s.empty() ? 0 : s[0];
    if (id == 0x01) return Bytes(s.begin() + 8, s.end() - 4);          // CAT
    if (id == 0x02) return loopAt(10, 12);                             // PMT program info
    if (id == 0x40 || id == 0x41 || id == 0x4A) return loopAt(8, 10);  // NIT, BAT
    if (id == 0x42 || id == 0x46) return loopAt(14, 16);               // SDT first service
    if (id >= 0x4E && id <= 0x6F) return loopAt(24, 26);               // EIT first event
    if (id == 0x73) return loopAt(8, 10);                              // TOT
    return {};
}

uint8_t routeOf(uint16_t pid) {
    for (uint8_t r = 0; r < 8; ++r)
        if (fz::sections::kRoutePids[r] == pid) return r;
    return 0xFF;
}

// One input of the section fuzzer: the sections on their PIDs, CRC_32 removed and set again by
// the fuzzer. `primed`: the PMTs go to the generated programs' PMT PIDs by route.
Bytes sectionInput(const std::vector<FoundSection>& sections, uint8_t flags, bool primed) {
    namespace fs = fz::sections;
    Bytes in = {flags};
    for (const FoundSection& f : sections) {
        const bool withCrc = f.bytes[0] != 0x70 && f.bytes.size() > 7;
        const std::size_t len = f.bytes.size() - (withCrc ? 4 : 0);
        uint8_t route = routeOf(f.pid);
        uint8_t options = fs::kFixLength | (withCrc ? fs::kAppendCrc : 0);
        if (route == 0xFF && primed) {
            route = static_cast<uint8_t>(fs::kRoutePmt + 8 * (f.pid == 0x0200 ? 1 : 0));
        } else if (route == 0xFF) {
            options |= fs::kExplicitPid;
        }
        in.insert(in.end(),
                  {route, options, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)});
        if (options & fs::kExplicitPid)
            in.insert(in.end(), {static_cast<uint8_t>(f.pid >> 8), static_cast<uint8_t>(f.pid)});
        in.insert(in.end(), f.bytes.begin(), f.bytes.begin() + static_cast<std::ptrdiff_t>(len));
    }
    return in;
}

// The USB box's bulk bytes for 188/204-byte packets: 40 units 0x55 0x55 + packet, then an
// information unit 0x55 0xAA + packetLen bytes, per group.
Bytes usbFramed(const Bytes& ts, std::size_t packetLen, std::size_t groups) {
    Bytes out;
    for (std::size_t g = 0; g < groups; ++g) {
        for (std::size_t j = 0; j < 40; ++j) {
            const std::size_t off =
                ((g * 40 + j) * packetLen) % (ts.size() / packetLen * packetLen);
            out.insert(out.end(), {0x55, 0x55});
            out.insert(out.end(), ts.begin() + static_cast<std::ptrdiff_t>(off),
                       ts.begin() + static_cast<std::ptrdiff_t>(off + packetLen));
        }
        Bytes info(packetLen + 2, 0);
        info[0] = 0x55;
        info[1] = 0xAA;
        const uint32_t bytesPerSecond = 500'000;
        for (int k = 0; k < 4; ++k)
            info[6 + k] = static_cast<uint8_t>(bytesPerSecond >> (8 * k));
        info[10] = 0x86;
        info[11] = 1;
        info[29] = 0x20;
        info[31] = 0x12;
        info[36] = 0x40;
        info[38] = 0x30;
        out.insert(out.end(), info.begin(), info.end());
    }
    return out;
}

Bytes readFile(const fsys::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes slice(const Bytes& ts, std::size_t packetLen, std::size_t first, std::size_t count) {
    const std::size_t packets = ts.size() / packetLen;
    first = std::min(first, packets);
    count = std::min(count, packets - first);
    return Bytes(ts.begin() + static_cast<std::ptrdiff_t>(first * packetLen),
                 ts.begin() + static_cast<std::ptrdiff_t>((first + count) * packetLen));
}

struct Writers {
    SeedWriter block, sections, texts, usb;
};

void sectionSeeds(Writers& w, const std::string& name, const Bytes& ts, bool generated) {
    namespace fs = fz::sections;
    const std::vector<FoundSection> found = extractSections(ts, 24);
    // All together (PAT and PMT first, as the stream had them), and per PID in small groups.
    const uint8_t flags = generated ? fs::kRunInitPhase : (fs::kNoPriming | fs::kRunInitPhase);
    std::vector<FoundSection> head(
        found.begin(),
        found.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(found.size(), 12)));
    w.sections.write(name, sectionInput(head, flags, generated));
    std::map<uint16_t, std::vector<FoundSection>> byPid;
    for (const FoundSection& f : found)
        byPid[f.pid].push_back(f);
    for (const auto& [pid, list] : byPid) {
        for (std::size_t i = 0; i < list.size(); i += 4) {
            std::vector<FoundSection> group(
                list.begin() + static_cast<std::ptrdiff_t>(i),
                list.begin() + static_cast<std::ptrdiff_t>(std::min(i + 4, list.size())));
            w.sections.write(name, sectionInput(group, generated ? 0 : fs::kNoPriming, generated));
        }
    }
    for (const FoundSection& f : found) {
        const Bytes& s = f.bytes;
        const bool withCrc = s[0] != 0x70 && s.size() > 7;
        w.texts.write(name, concat({fz::texts::kSectionRaw}, s.data(), s.size()));
        w.texts.write(name,
                      concat({fz::texts::kSectionFixed}, s.data(), s.size() - (withCrc ? 4 : 0)));
        const Bytes loop = firstLoop(s);
        if (!loop.empty())
            w.texts.write(name, concat({fz::texts::kDescriptorLoop}, loop.data(), loop.size()));
    }
}

void usbSeeds(Writers& w, const std::string& name, const Bytes& ts, std::size_t packetLen) {
    namespace fu = fz::usb;
    const uint8_t lenFlag = packetLen == 204 ? fu::k204 : 0;
    const Bytes framed = usbFramed(ts, packetLen, 3);
    w.usb.write(name, concat({lenFlag, 0x11, 0}, framed.data(), framed.size()));
    w.usb.write(name, concat({lenFlag, 0x21, 40}, framed.data(), framed.size()));
    // Lost framing first: a few stray bytes, then the units.
    Bytes stray = {static_cast<uint8_t>(lenFlag | fu::kResyncFirst),
                   0x10,
                   0,
                   0x47,
                   0x55,
                   0x00,
                   0x55,
                   0x55,
                   0x12};
    w.usb.write(name, concat(stray, framed.data(), framed.size()));
    if (packetLen == 204) {
        const Bytes plain = slice(ts, 204, 0, 80);
        w.usb.write(name, concat({fu::kPlain, 0x01, 0}, plain.data(), plain.size()));
    }
}

void generatedSeeds(Writers& w) {
    namespace fb = fz::block;
    for (unsigned size : {188u, 204u}) {
        // The block fuzzer initialises from the start of this stream: the seeds go on from there.
        const std::size_t initPackets = fz::generatedStream(size, fz::kInitStreamMs).size() / size;
        const Bytes clean = fz::generatedStream(size, 3000);
        const uint8_t len = size == 204 ? fb::k204 : 0;
        const std::string name = "tsgen-" + std::to_string(size);
        for (std::size_t first : {initPackets, initPackets + 700, initPackets + 1500}) {
            const Bytes part = slice(clean, size, first, 160);
            w.block.write(name, concat({len, 0, 0, 0, 0, 0, 0}, part.data(), part.size()));
            w.block.write(name, concat({static_cast<uint8_t>(len | fb::kOnline), 0, 0, 0, 0, 40, 0},
                                       part.data(), part.size()));
        }
        // The sample stream with its faults, at the times they happen.
        tsgen::PresetOptions o;
        o.packetSize = size;
        const tsgen::Preset sample = tsgen::samplePreset(o);
        const Bytes faulty = tsgen::generateStream(sample.config, sample.faults);
        for (const tsgen::Fault& f : sample.faults) {
            const Bytes part = slice(faulty, size, f.at > 20 ? f.at - 20 : 0, 120);
            w.block.write(name + "-fault",
                          concat({len, 0, 0, 0, 0, 7, 13}, part.data(), part.size()));
        }
        // A short stream that initialises itself (PAT, PMTs and PCRs of both programs).
        const Bytes own = fz::generatedStream(size, 50);
        w.block.write(name + "-own", concat({static_cast<uint8_t>(len | fb::kInitFromInput), 0xFF,
                                             0xFF, 0xFF, 0xFF, 0x08, 0},
                                            own.data(), own.size()));
        if (size == 188) sectionSeeds(w, "tsgen", faulty, true);
        usbSeeds(w, name, clean, size);
    }
}

void captureSeeds(Writers& w, const fsys::path& dir) {
    namespace fb = fz::block;
    std::vector<fsys::path> files;
    for (const auto& e : fsys::directory_iterator(dir))
        if (e.path().extension() == ".ts") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fsys::path& file : files) {
        const Bytes ts = readFile(file);
        if (ts.size() < 188 * 10 || ts[0] != 0x47) continue;
        const std::string name = file.stem().string();
        const std::size_t packets = ts.size() / 188;
        for (std::size_t first : {std::size_t{0}, packets / 3, packets * 2 / 3}) {
            const Bytes part = slice(ts, 188, first, 150);
            w.block.write(name,
                          concat({fb::kInitFromInput, 0, 0, 0, 0, 0, 0}, part.data(), part.size()));
        }
        sectionSeeds(w, name, ts, false);
        usbSeeds(w, name, slice(ts, 188, 0, 200), 188);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUT_DIR [CAPTURE_DIR]\n");
        return 2;
    }
    const fsys::path out = argv[1];
    Writers w;
    w.block.dir = out / "block_analysis";
    w.sections.dir = out / "si_sections";
    w.texts.dir = out / "section_text";
    w.usb.dir = out / "usb_stream";
    generatedSeeds(w);
    if (argc > 2 && fsys::is_directory(argv[2])) captureSeeds(w, argv[2]);
    std::printf("seeds: block_analysis %d, si_sections %d, section_text %d, usb_stream %d\n",
                w.block.count, w.sections.count, w.texts.count, w.usb.count);
    return 0;
}
