#include "acquisition/ip_url.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <cctype>
#include <charconv>

namespace orv {
namespace {

constexpr std::string_view kForms = "udp://[SOURCE@]GROUP:PORT or rtp://[SOURCE@]GROUP:PORT";

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

std::optional<in_addr> ipv4(std::string_view text) {
    const std::string s(text);
    in_addr a{};
    if (::inet_pton(AF_INET, s.c_str(), &a) != 1) return std::nullopt;
    return a;
}

std::string dotted(in_addr a) {
    char buf[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

bool isMulticast(in_addr a) {
    return IN_MULTICAST(ntohl(a.s_addr));
}

struct Parser {
    std::string_view text;
    IpUrlParse result;

    IpUrlParse fail(std::string what) {
        result.url.reset();
        result.error = "bad IP input '" + std::string(text) + "': " + what;
        return result;
    }

    IpUrlParse run() {
        IpUrl url;
        std::string_view rest;
        if (startsWithNoCase(text, "udp://")) {
            url.protocol = IpProtocol::Udp;
        } else if (startsWithNoCase(text, "rtp://")) {
            url.protocol = IpProtocol::Rtp;
        } else {
            return fail("it does not start with udp:// or rtp:// (" + std::string(kForms) + ")");
        }
        rest = text.substr(6);

        std::string_view query;
        if (const auto q = rest.find('?'); q != std::string_view::npos) {
            query = rest.substr(q + 1);
            rest = rest.substr(0, q);
        }

        if (const auto at = rest.find('@'); at != std::string_view::npos) {
            if (rest.find('@', at + 1) != std::string_view::npos)
                return fail("more than one '@' (" + std::string(kForms) + ")");
            const std::string_view source = rest.substr(0, at);
            rest = rest.substr(at + 1);
            if (!source.empty()) {
                const auto a = ipv4(source);
                if (!a)
                    return fail("the source '" + std::string(source) + "' is not an IPv4 address");
                const uint32_t h = ntohl(a->s_addr);
                if (isMulticast(*a) || h == INADDR_ANY || h == INADDR_BROADCAST)
                    return fail("the source '" + std::string(source) +
                                "' is not a sender's unicast address");
                url.source = a;
            }
        }

        if (!rest.empty() && rest.front() == '[') return fail("IPv6 addresses are not supported");
        const auto colon = rest.rfind(':');
        if (colon == std::string_view::npos)
            return fail("no port after the address (" + std::string(kForms) + ")");
        const std::string_view host = rest.substr(0, colon);
        const std::string_view portText = rest.substr(colon + 1);

        unsigned port = 0;
        const auto [end, ec] =
            std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (portText.empty() || ec != std::errc() || end != portText.data() + portText.size() ||
            port < 1 || port > 65535)
            return fail("the port '" + std::string(portText) + "' is not a number from 1 to 65535");
        url.port = static_cast<uint16_t>(port);

        if (host.empty()) {
            url.group.s_addr = htonl(INADDR_ANY);
        } else {
            const auto a = ipv4(host);
            if (!a) return fail("'" + std::string(host) + "' is not an IPv4 address");
            url.group = *a;
        }

        if (!query.empty() || text.find('?') != std::string_view::npos) {
            bool haveIface = false;
            while (true) {
                const auto amp = query.find('&');
                const std::string_view item = query.substr(0, amp);
                const auto eq = item.find('=');
                const std::string_view key = item.substr(0, eq);
                const std::string_view value =
                    eq == std::string_view::npos ? std::string_view{} : item.substr(eq + 1);
                if (key.empty()) return fail("an empty option after '?' or '&'");
                if (key != "iface")
                    return fail("unknown option '" + std::string(key) +
                                "' (the one option is iface=ADDRESS or iface=NAME)");
                if (haveIface) return fail("iface is given twice");
                if (value.empty()) return fail("iface needs an interface address or name");
                haveIface = true;
                if (const auto a = ipv4(value)) {
                    url.interfaceAddress = a;
                } else {
                    if (value.size() >= IF_NAMESIZE || value.find('/') != std::string_view::npos)
                        return fail("'" + std::string(value) +
                                    "' is neither an IPv4 address nor an interface name");
                    url.interfaceName = std::string(value);
                }
                if (amp == std::string_view::npos) break;
                query = query.substr(amp + 1);
            }
            if (!url.multicast())
                return fail("iface applies to a multicast group only; " + dotted(url.group) +
                            " is received on the interface that holds it");
        }

        result.url = url;
        return result;
    }
};

}  // namespace

bool IpUrl::multicast() const {
    return isMulticast(group);
}

std::string IpUrl::text() const {
    std::string t = protocol == IpProtocol::Rtp ? "rtp://" : "udp://";
    if (source) t += dotted(*source) + "@";
    t += dotted(group) + ":" + std::to_string(port);
    if (interfaceAddress) t += "?iface=" + dotted(*interfaceAddress);
    if (!interfaceName.empty()) t += "?iface=" + interfaceName;
    return t;
}

IpUrlParse parseIpUrl(std::string_view text) {
    return Parser{text, {}}.run();
}

bool isIpUrl(std::string_view text) {
    return startsWithNoCase(text, "udp://") || startsWithNoCase(text, "rtp://");
}

}  // namespace orv
