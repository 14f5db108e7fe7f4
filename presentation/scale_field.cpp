#include "presentation/scale_field.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace orv {

std::string scaleText(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", value);
    return buf;
}

double applyScaleField(std::string& text, ScaleRule rule) {
    double value = 0.0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    while (first < last && *first == ' ')
        ++first;
    while (last > first && last[-1] == ' ')
        --last;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (first == last || ec != std::errc{} || end != last || !std::isfinite(value) || value < 0 ||
        (value == 0 && !rule.zeroAllowed)) {
        text = scaleText(rule.fallback);
        return rule.fallback;
    }
    if (value > rule.cap) {
        text = scaleText(rule.cap);
        return rule.cap;
    }
    return value;
}

}  // namespace orv
