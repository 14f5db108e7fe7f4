#include "presentation/text_format.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "platform/text_codec.h"

namespace orv {
namespace {

struct Conversion {
    bool zero = false;
    bool left = false;
    std::size_t width = 0;
    int precision = -1;
    char kind = 0;
};

void pad(std::string& out, std::string_view body, const Conversion& conv, bool numeric) {
    if (body.size() >= conv.width) {
        out += body;
        return;
    }
    const std::size_t fill = conv.width - body.size();
    if (conv.left) {
        out += body;
        out.append(fill, ' ');
    } else if (conv.zero && numeric) {
        std::size_t sign = (!body.empty() && body[0] == '-') ? 1 : 0;
        out += body.substr(0, sign);
        out.append(fill, '0');
        out += body.substr(sign);
    } else {
        out.append(fill, ' ');
        out += body;
    }
}

std::string integerText(int64_t v, char conv) {
    std::array<char, 24> buf{};
    std::to_chars_result r;
    if (conv == 'x') {
        // Hex shows the two's complement bits as printf does for an unsigned argument.
        r = std::to_chars(buf.data(), buf.data() + buf.size(), static_cast<uint64_t>(v), 16);
    } else {
        r = std::to_chars(buf.data(), buf.data() + buf.size(), v, 10);
    }
    return std::string(buf.data(), r.ptr);
}

std::string realText(double v, int precision) {
    std::array<char, 64> buf{};
    const int n = std::snprintf(buf.data(), buf.size(), "%.*f", precision < 0 ? 6 : precision, v);
    if (n < 0) return {};
    return std::string(buf.data(),
                       std::min<std::size_t>(static_cast<std::size_t>(n), buf.size() - 1));
}

}  // namespace

std::string formatText(std::string_view tmpl, std::initializer_list<FormatArg> args) {
    std::string out;
    out.reserve(tmpl.size() + 16);
    auto next = args.begin();
    std::size_t i = 0;
    while (i < tmpl.size()) {
        const char c = tmpl[i];
        if (c != '%' || i + 1 >= tmpl.size()) {
            out += c;
            ++i;
            continue;
        }
        if (tmpl[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        Conversion conv;
        std::size_t j = i + 1;
        for (; j < tmpl.size() && (tmpl[j] == '0' || tmpl[j] == '-'); ++j) {
            (tmpl[j] == '0' ? conv.zero : conv.left) = true;
        }
        for (; j < tmpl.size() && tmpl[j] >= '0' && tmpl[j] <= '9'; ++j) {
            conv.width = conv.width * 10 + static_cast<std::size_t>(tmpl[j] - '0');
        }
        if (j < tmpl.size() && tmpl[j] == '.') {
            conv.precision = 0;
            for (++j; j < tmpl.size() && tmpl[j] >= '0' && tmpl[j] <= '9'; ++j) {
                conv.precision = conv.precision * 10 + (tmpl[j] - '0');
            }
        }
        if (j >= tmpl.size() ||
            (tmpl[j] != 'd' && tmpl[j] != 'x' && tmpl[j] != 's' && tmpl[j] != 'f')) {
            // Not a conversion this formatter knows: copied as it stands.
            out += c;
            ++i;
            continue;
        }
        conv.kind = tmpl[j];
        i = j + 1;
        if (next == args.end()) continue;
        const FormatArg& a = *next++;
        switch (conv.kind) {
            case 'd':
            case 'x': {
                const int64_t v = a.kind == FormatArg::Kind::Real ? static_cast<int64_t>(a.d) : a.i;
                pad(out, integerText(a.kind == FormatArg::Kind::Text ? 0 : v, conv.kind), conv,
                    true);
                break;
            }
            case 'f': {
                const double v = a.kind == FormatArg::Kind::Int ? static_cast<double>(a.i) : a.d;
                pad(out, realText(a.kind == FormatArg::Kind::Text ? 0.0 : v, conv.precision), conv,
                    true);
                break;
            }
            default:
                pad(out, a.kind == FormatArg::Kind::Text ? a.s : std::string_view{}, conv, false);
                break;
        }
    }
    return out;
}

std::string fieldLine(std::string_view prefix, std::string_view name, std::string_view width,
                      std::string_view value) {
    std::string line;
    line.reserve(prefix.size() + 48 + value.size());
    line += prefix;
    line += "   ";
    line += padToCp936Width(name, kNameColumn);
    line += padToCp936Width(width, kWidthColumn);
    line += value;
    return line;
}

}  // namespace orv
