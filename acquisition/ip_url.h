// The address of an IP input: udp://[SOURCE@]GROUP:PORT[?iface=ADDRESS|NAME] or the same with
// rtp://. GROUP is an IPv4 address: a multicast group is joined (only SOURCE's traffic when a
// SOURCE is given), a unicast address or 0.0.0.0 is bound and received on (SOURCE then filters
// the senders). An empty GROUP means 0.0.0.0 and an empty SOURCE none ("udp://@:1234" receives
// every datagram sent to port 1234). iface names the interface a group is joined on, by one of
// its IPv4 addresses or by its name ("lo", "eth1"); without it the routing table chooses.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orv {

enum class IpProtocol { Udp, Rtp };

struct IpUrl {
    IpProtocol protocol = IpProtocol::Udp;
    in_addr group{};  // network byte order
    std::uint16_t port = 0;
    std::optional<in_addr> source;
    std::string interfaceName;                // iface given by name, else empty
    std::optional<in_addr> interfaceAddress;  // iface given by address

    bool multicast() const;
    // The URL in its canonical form ("rtp://10.0.0.1@239.1.1.1:5000?iface=lo").
    std::string text() const;
};

struct IpUrlParse {
    std::optional<IpUrl> url;
    std::string error;  // what is wrong with the text, when url is empty
};

// Parses the text; a text that is not a valid IP input URL gets a message that quotes it and
// names what is wrong.
IpUrlParse parseIpUrl(std::string_view text);

// Whether the text asks for an IP input at all (it starts with udp:// or rtp://), so a caller can
// tell an IP input from other source names before parsing.
bool isIpUrl(std::string_view text);

}  // namespace orv
