// What an IP input reads before any packet is analysed: its URL, the RTP header and sequence
// numbers, and whether a datagram holds whole packets. Headers are built by hand from RFC 3550.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquisition/datagram_packets.h"
#include "acquisition/ip_url.h"
#include "acquisition/rtp_header.h"

namespace orv {
namespace {

std::string dotted(in_addr a) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

TEST(IpUrl, AcceptedForms) {
    struct Case {
        std::string text;
        IpProtocol protocol;
        std::string group;
        unsigned port;
        std::string source;  // empty: none
        std::string iface;   // address or name, empty: none
        bool multicast;
        std::string canonical;
    };
    const std::vector<Case> cases = {
        {"udp://239.1.1.1:1234", IpProtocol::Udp, "239.1.1.1", 1234, "", "", true,
         "udp://239.1.1.1:1234"},
        {"RTP://10.0.0.9@232.0.0.7:5000?iface=lo", IpProtocol::Rtp, "232.0.0.7", 5000, "10.0.0.9",
         "lo", true, "rtp://10.0.0.9@232.0.0.7:5000?iface=lo"},
        {"udp://239.255.0.1:1?iface=127.0.0.1", IpProtocol::Udp, "239.255.0.1", 1, "", "127.0.0.1",
         true, "udp://239.255.0.1:1?iface=127.0.0.1"},
        // The receiver's everyday shorthand: any address, no source.
        {"udp://@:1234", IpProtocol::Udp, "0.0.0.0", 1234, "", "", false, "udp://0.0.0.0:1234"},
        {"rtp://127.0.0.1:65535", IpProtocol::Rtp, "127.0.0.1", 65535, "", "", false,
         "rtp://127.0.0.1:65535"},
        // A unicast receiver that takes one sender only.
        {"udp://10.1.1.1@0.0.0.0:4000", IpProtocol::Udp, "0.0.0.0", 4000, "10.1.1.1", "", false,
         "udp://10.1.1.1@0.0.0.0:4000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const IpUrlParse p = parseIpUrl(c.text);
        ASSERT_TRUE(p.url) << p.error;
        EXPECT_TRUE(isIpUrl(c.text));
        const IpUrl& u = *p.url;
        EXPECT_EQ(u.protocol, c.protocol);
        EXPECT_EQ(dotted(u.group), c.group);
        EXPECT_EQ(u.port, c.port);
        EXPECT_EQ(u.source ? dotted(*u.source) : "", c.source);
        EXPECT_EQ(u.interfaceAddress ? dotted(*u.interfaceAddress) : u.interfaceName, c.iface);
        EXPECT_EQ(u.multicast(), c.multicast);
        EXPECT_EQ(u.text(), c.canonical);
    }
}

TEST(IpUrl, RefusedWithWhatIsWrong) {
    struct Case {
        std::string text;
        std::string names;  // the message quotes the text and says this
    };
    const std::vector<Case> cases = {
        {"http://1.2.3.4:80", "it does not start with udp:// or rtp://"},
        {"udp://239.1.1.1", "no port after the address"},
        {"udp://239.1.1.1:0", "the port '0' is not a number from 1 to 65535"},
        {"udp://239.1.1.1:70000", "the port '70000' is not a number from 1 to 65535"},
        {"udp://239.1.1.1:", "the port '' is not a number from 1 to 65535"},
        {"udp://239.1.1:1234", "'239.1.1' is not an IPv4 address"},
        {"udp://[ff02::1]:1234", "IPv6 addresses are not supported"},
        {"rtp://10.0.0.x@239.1.1.1:1234", "the source '10.0.0.x' is not an IPv4 address"},
        {"udp://239.1.1.1@239.1.1.2:1234", "the source '239.1.1.1' is not a sender's unicast"},
        {"udp://a@b@239.1.1.1:1", "more than one '@'"},
        {"udp://239.1.1.1:1234?pkt_size=1316", "unknown option 'pkt_size'"},
        {"udp://239.1.1.1:1234?", "an empty option"},
        {"udp://239.1.1.1:1234?iface=", "iface needs an interface address or name"},
        {"udp://239.1.1.1:1234?iface=lo&iface=eth0", "iface is given twice"},
        {"udp://239.1.1.1:1234?iface=averyveryverylongname",
         "'averyveryverylongname' is neither an IPv4 address nor an interface name"},
        {"udp://127.0.0.1:1234?iface=lo", "iface applies to a multicast group only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const IpUrlParse p = parseIpUrl(c.text);
        EXPECT_FALSE(p.url);
        EXPECT_EQ(p.error.rfind("bad IP input '" + c.text + "': ", 0), 0u) << p.error;
        EXPECT_NE(p.error.find(c.names), std::string::npos) << p.error;
    }
}

using Bytes = std::vector<uint8_t>;

// A fixed header: version 2, the flags and CSRC count in the first byte, payload type 33 (MP2T).
Bytes rtpHead(uint8_t first, uint16_t seq) {
    return {first, 33, uint8_t(seq >> 8), uint8_t(seq), 0, 1, 0x5F, 0x90, 0xCA, 0xFE, 0xBA, 0xBE};
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(RtpHeader, PayloadFoundWithinTheDatagram) {
    const Bytes ts(188, 0x47);
    struct Case {
        std::string name;
        Bytes datagram;
        RtpHeaderError error;
        std::size_t offset, length;
    };
    const std::vector<Case> cases = {
        {"plain", rtpHead(0x80, 5) + ts, RtpHeaderError::None, 12, 188},
        {"two CSRCs", rtpHead(0x82, 5) + Bytes(8, 0xAA) + ts, RtpHeaderError::None, 20, 188},
        // Extension: profile 0xBEDE, 2 words.
        {"extension", rtpHead(0x90, 5) + Bytes{0xBE, 0xDE, 0, 2} + Bytes(8, 0x11) + ts,
         RtpHeaderError::None, 24, 188},
        {"CSRC, extension and 4 bytes of padding",
         rtpHead(0xB1, 5) + Bytes(4, 0xAA) + Bytes{0, 0, 0, 1} + Bytes(4, 0) + ts +
             Bytes{0, 0, 0, 4},
         RtpHeaderError::None, 24, 188},
        {"11 bytes", Bytes(11, 0x80), RtpHeaderError::TooShort, 0, 0},
        {"a plain TS datagram", ts, RtpHeaderError::NotVersion2, 0, 0},
        {"15 CSRCs in 40 bytes", rtpHead(0x8F, 5) + Bytes(28, 0), RtpHeaderError::ListsBeyondEnd, 0,
         0},
        {"extension head cut", rtpHead(0x90, 5) + Bytes{0xBE, 0xDE}, RtpHeaderError::ListsBeyondEnd,
         0, 0},
        {"extension of 65535 words", rtpHead(0x90, 5) + Bytes{0xBE, 0xDE, 0xFF, 0xFF} + ts,
         RtpHeaderError::ListsBeyondEnd, 0, 0},
        {"padding count 0", rtpHead(0xA0, 5) + ts + Bytes{0}, RtpHeaderError::BadPadding, 0, 0},
        {"padding beyond the payload", rtpHead(0xA0, 5) + Bytes{0, 0, 9},
         RtpHeaderError::BadPadding, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RtpHeaderError error = RtpHeaderError::None;
        const auto h = parseRtpHeader(c.datagram, &error);
        EXPECT_EQ(error, c.error);
        ASSERT_EQ(h.has_value(), c.error == RtpHeaderError::None);
        if (!h) continue;
        EXPECT_EQ(h->sequence, 5);
        EXPECT_EQ(h->payloadType, 33);
        EXPECT_EQ(h->timestamp, 0x00015F90u);
        EXPECT_EQ(h->ssrc, 0xCAFEBABEu);
        EXPECT_EQ(h->payloadOffset, c.offset);
        EXPECT_EQ(h->payloadLength, c.length);
    }
}

TEST(RtpSequence, GapsAreLossesLateAndRepeatedAreNot) {
    using V = RtpSequence::Verdict;
    struct Step {
        uint16_t seq;
        uint32_t ssrc;
        V verdict;
        uint32_t lost;
    };
    struct Case {
        std::string name;
        std::vector<Step> steps;
    };
    const uint32_t a = 0x1111, b = 0x2222;
    const std::vector<Case> cases = {
        {"in order", {{10, a, V::InOrder, 0}, {11, a, V::InOrder, 0}, {12, a, V::InOrder, 0}}},
        {"a gap of 2", {{10, a, V::InOrder, 0}, {13, a, V::AfterGap, 2}, {14, a, V::InOrder, 0}}},
        {"the wrap", {{65534, a, V::InOrder, 0}, {65535, a, V::InOrder, 0}, {0, a, V::InOrder, 0}}},
        {"a gap across the wrap", {{65535, a, V::InOrder, 0}, {2, a, V::AfterGap, 2}}},
        {"a repeat",
         {{10, a, V::InOrder, 0},
          {11, a, V::InOrder, 0},
          {11, a, V::Late, 0},
          {12, a, V::InOrder, 0}}},
        // 12 is counted lost when 13 comes, then arrives late.
        {"reordered",
         {{10, a, V::InOrder, 0},
          {11, a, V::InOrder, 0},
          {13, a, V::AfterGap, 1},
          {12, a, V::Late, 0},
          {14, a, V::InOrder, 0}}},
        {"100 back is late",
         {{200, a, V::InOrder, 0}, {101, a, V::Late, 0}, {201, a, V::InOrder, 0}}},
        {"101 back restarts",
         {{200, a, V::InOrder, 0}, {100, a, V::Restart, 0}, {101, a, V::InOrder, 0}}},
        {"32767 ahead is a gap", {{0, a, V::InOrder, 0}, {32768, a, V::AfterGap, 32767}}},
        {"a new SSRC restarts",
         {{10, a, V::InOrder, 0}, {5000, b, V::Restart, 0}, {5001, b, V::InOrder, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RtpSequence s;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const auto r = s.next(c.steps[i].seq, c.steps[i].ssrc);
            EXPECT_EQ(r.verdict, c.steps[i].verdict) << "step " << i;
            EXPECT_EQ(r.lost, c.steps[i].lost) << "step " << i;
        }
    }
}

Bytes packets(std::size_t count, std::size_t length) {
    Bytes b(count * length, 0xFF);
    for (std::size_t at = 0; at < b.size(); at += length)
        b[at] = 0x47;
    return b;
}

TEST(DatagramPackets, WholePacketsOrNothing) {
    struct Case {
        std::string name;
        Bytes payload;
        std::size_t count;
        int length;
    };
    std::vector<Case> cases;
    for (std::size_t k = 1; k <= 7; ++k) {
        cases.push_back({std::to_string(k) + " x 188", packets(k, 188), k, 188});
        cases.push_back({std::to_string(k) + " x 204", packets(k, 204), k, 204});
    }
    Bytes damaged = packets(7, 188);
    damaged[3 * 188] = 0x46;
    cases.push_back({"7 x 188, packet 3's sync byte damaged", damaged, 7, 188});
    Bytes halfDamaged = packets(2, 204);
    halfDamaged[0] = 0x00;
    cases.push_back({"2 x 204, the first sync byte damaged", halfDamaged, 2, 204});
    Bytes mostlyDamaged = packets(7, 188);
    for (int i : {0, 2, 4, 6})
        mostlyDamaged[i * 188] = 0;
    cases.push_back({"7 x 188, four sync bytes damaged", mostlyDamaged, 0, 0});
    Bytes single = packets(1, 188);
    single[0] = 0x48;
    cases.push_back({"one packet without its sync byte", single, 0, 0});
    cases.push_back({"100 bytes", Bytes(100, 0x47), 0, 0});
    Bytes tail = packets(2, 188);
    tail.resize(2 * 188 + 5, 0x47);
    cases.push_back({"2 x 188 and 5 bytes", tail, 0, 0});
    cases.push_back({"empty", {}, 0, 0});
    // 9588 bytes are 51 x 188 and 47 x 204: the sync bytes decide.
    cases.push_back({"9588 bytes synced every 188", packets(51, 188), 51, 188});
    cases.push_back({"9588 bytes synced every 204", packets(47, 204), 47, 204});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DatagramPackets p = wholePackets(c.payload);
        EXPECT_EQ(p.count, c.count);
        if (c.count) {
            EXPECT_EQ(p.length, c.length);
        }
    }
}

}  // namespace
}  // namespace orv
