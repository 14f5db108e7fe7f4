#include "tools/tsgen/fault_text.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>

namespace tsgen {
namespace {

[[noreturn]] void fail(std::string_view text, const std::string& why) {
    throw std::invalid_argument("bad fault '" + std::string(text) + "': " + why);
}

std::optional<int64_t> parseInteger(std::string_view s) {
    bool negative = false;
    if (!s.empty() && s[0] == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return negative ? -v : v;
}

std::optional<uint64_t> parsePosition(std::string_view s, const StreamConfig& cfg) {
    double scale = 0;
    if (s.size() > 2 && s.substr(s.size() - 2) == "ms") {
        scale = 1;
        s.remove_suffix(2);
    } else if (s.size() > 1 && s.back() == 's') {
        scale = 1000;
        s.remove_suffix(1);
    }
    if (scale == 0) {
        const auto v = parseInteger(s);
        if (!v || *v < 0) return std::nullopt;
        return static_cast<uint64_t>(*v);
    }
    double t = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), t);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !(t >= 0) || t > 1e9)
        return std::nullopt;
    return slotAtMs(cfg, static_cast<uint64_t>(std::llround(t * scale)));
}

}  // namespace

Fault parseFaultText(std::string_view text, const StreamConfig& cfg) {
    const std::size_t atSign = text.find('@');
    if (atSign == std::string_view::npos) fail(text, "expected KIND@WHERE");
    const auto kind = faultKindByName(text.substr(0, atSign));
    if (!kind) fail(text, "unknown kind '" + std::string(text.substr(0, atSign)) + "'");
    const FaultKindInfo& info = faultKindInfo(*kind);
    Fault f;
    f.kind = *kind;

    std::string_view rest = text.substr(atSign + 1);
    const std::size_t colon = rest.find(':');
    const std::string_view where = rest.substr(0, colon);
    // A range is FROM-TO; a leading '-' never starts a position, so the first '-' splits.
    const std::size_t dash = where.find('-');
    if (info.range != (dash != std::string_view::npos))
        fail(text, info.range ? "this kind needs a range FROM-TO" : "this kind takes one position");
    const auto from = parsePosition(where.substr(0, dash), cfg);
    if (!from) fail(text, "bad position '" + std::string(where.substr(0, dash)) + "'");
    f.at = *from;
    if (info.range) {
        const auto to = parsePosition(where.substr(dash + 1), cfg);
        if (!to) fail(text, "bad position '" + std::string(where.substr(dash + 1)) + "'");
        if (*to <= *from) fail(text, "empty range");
        f.until = *to;
    }

    std::string_view params = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    while (!params.empty()) {
        const std::size_t comma = params.find(',');
        const std::string_view kv = params.substr(0, comma);
        params = comma == std::string_view::npos ? "" : params.substr(comma + 1);
        const std::size_t eq = kv.find('=');
        if (eq == std::string_view::npos)
            fail(text, "expected KEY=VALUE in '" + std::string(kv) + "'");
        const std::string_view key = kv.substr(0, eq);
        const auto v = parseInteger(kv.substr(eq + 1));
        if (!v) fail(text, "bad number in '" + std::string(kv) + "'");
        if (key == "pid") {
            if (*v < 0 || *v > 0x1FFF) fail(text, "pid must be 0..0x1FFF");
            f.pid = static_cast<uint16_t>(*v);
        } else if (key == "value") {
            if (*v < info.minValue || *v > info.maxValue) fail(text, "value out of range");
            f.value = *v;
        } else if (key == "count") {
            if (*v < 1 || *v > 1'000'000) fail(text, "count must be 1..1000000");
            f.count = static_cast<uint32_t>(*v);
        } else {
            fail(text, "unknown key '" + std::string(key) + "'");
        }
    }
    if (info.needsPid && !f.pid) fail(text, "this kind needs pid=");
    if (!f.value && !info.defaultValue) fail(text, "this kind needs value=");
    return f;
}

}  // namespace tsgen
