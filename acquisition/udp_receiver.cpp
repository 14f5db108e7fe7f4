#include "acquisition/udp_receiver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace orv {
namespace {

std::string dotted(in_addr a) {
    char buf[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

SocketError failure(std::string what) {
    return {std::move(what), std::strerror(errno)};
}

sockaddr_in socketAddress(in_addr a, std::uint16_t port) {
    sockaddr_in s{};
    s.sin_family = AF_INET;
    s.sin_addr = a;
    s.sin_port = htons(port);
    return s;
}

std::int64_t realtimeNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

template <typename T>
int setOption(int fd, int level, int name, const T& value) {
    return ::setsockopt(fd, level, name, &value, sizeof value);
}

// Joins the group, on the interface the URL names, for any sender or only for the source.
std::optional<SocketError> join(int fd, const IpUrl& url) {
    unsigned index = 0;
    std::string on;
    if (!url.interfaceName.empty()) {
        index = ::if_nametoindex(url.interfaceName.c_str());
        if (index == 0) return failure("there is no network interface '" + url.interfaceName + "'");
        on = " on interface " + url.interfaceName;
    } else if (url.interfaceAddress) {
        on = " on interface " + dotted(*url.interfaceAddress);
    }
    const in_addr iface = url.interfaceAddress ? *url.interfaceAddress : in_addr{htonl(INADDR_ANY)};
    int rc = 0;
    if (!url.source) {
        ip_mreqn m{};
        m.imr_multiaddr = url.group;
        m.imr_address = iface;
        m.imr_ifindex = static_cast<int>(index);
        rc = setOption(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, m);
    } else if (index != 0) {
        group_source_req g{};
        g.gsr_interface = index;
        const sockaddr_in group = socketAddress(url.group, 0),
                          source = socketAddress(*url.source, 0);
        std::memcpy(&g.gsr_group, &group, sizeof group);
        std::memcpy(&g.gsr_source, &source, sizeof source);
        rc = setOption(fd, IPPROTO_IP, MCAST_JOIN_SOURCE_GROUP, g);
    } else {
        ip_mreq_source m{};
        m.imr_multiaddr = url.group;
        m.imr_interface = iface;
        m.imr_sourceaddr = *url.source;
        rc = setOption(fd, IPPROTO_IP, IP_ADD_SOURCE_MEMBERSHIP, m);
    }
    if (rc != 0)
        return failure(
            "joining the group " + dotted(url.group) +
            (url.source ? " for source " + dotted(*url.source) : std::string()) + on + " failed" +
            (on.empty() ? "; name the interface to join on with ?iface=ADDRESS or NAME" : ""));
    return std::nullopt;
}

}  // namespace

UdpReceiver::UdpReceiver(std::size_t slots, std::size_t slotBytes)
    : slotBytes_(slotBytes),
      buffers_(slots * slotBytes),
      headers_(slots),
      iovecs_(slots),
      senders_(slots),
      controls_(slots),
      datagrams_(slots) {}

UdpReceiver::~UdpReceiver() {
    close();
}

void UdpReceiver::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    granted_ = 0;
}

std::optional<SocketError> UdpReceiver::open(const IpUrl& url, int receiveBufferBytes) {
    close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return failure("no UDP socket");
    auto fail = [this](SocketError e) {
        close();
        return std::optional<SocketError>(std::move(e));
    };

    const int one = 1, zero = 0;
    // Without the right to pass net.core.rmem_max, the kernel grants what the limit allows.
    if (setOption(fd_, SOL_SOCKET, SO_RCVBUFFORCE, receiveBufferBytes) != 0)
        setOption(fd_, SOL_SOCKET, SO_RCVBUF, receiveBufferBytes);
    socklen_t len = sizeof granted_;
    ::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &granted_, &len);
    if (setOption(fd_, SOL_SOCKET, SO_TIMESTAMPNS, one) != 0)
        return fail(failure("no kernel receive time stamps"));
    if (setOption(fd_, SOL_SOCKET, SO_RXQ_OVFL, one) != 0)
        return fail(failure("no count of dropped datagrams"));

    if (url.multicast()) {
        // Several receivers may listen to one group; this one only to the group it joins.
        if (setOption(fd_, SOL_SOCKET, SO_REUSEADDR, one) != 0)
            return fail(failure("cannot share the port"));
        setOption(fd_, IPPROTO_IP, IP_MULTICAST_ALL, zero);
    }
    const sockaddr_in local = socketAddress(url.group, url.port);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return fail(
            failure("binding " + dotted(url.group) + ":" + std::to_string(url.port) + " failed"));
    if (url.multicast())
        if (auto e = join(fd_, url)) return fail(std::move(*e));
    return std::nullopt;
}

std::size_t UdpReceiver::receive() {
    if (fd_ < 0) return 0;
    const std::size_t slots = headers_.size();
    for (std::size_t i = 0; i < slots; ++i) {
        iovecs_[i] = {&buffers_[i * slotBytes_], slotBytes_};
        msghdr& m = headers_[i].msg_hdr;
        m = {};
        m.msg_name = &senders_[i];
        m.msg_namelen = sizeof senders_[i];
        m.msg_iov = &iovecs_[i];
        m.msg_iovlen = 1;
        m.msg_control = controls_[i].bytes;
        m.msg_controllen = sizeof controls_[i].bytes;
        headers_[i].msg_len = 0;
    }
    int n;
    do {
        n = ::recvmmsg(fd_, headers_.data(), static_cast<unsigned>(slots), MSG_DONTWAIT, nullptr);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return 0;  // nothing waiting (a pending socket error is cleared by the call)

    const std::int64_t now = realtimeNs();
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
        msghdr& m = headers_[i].msg_hdr;
        ReceivedDatagram& d = datagrams_[i];
        d.data = &buffers_[i * slotBytes_];
        d.length = headers_[i].msg_len;
        d.truncated = (m.msg_flags & MSG_TRUNC) != 0;
        d.sender = senders_[i].sin_addr;
        d.arrivalNs = now;
        d.dropsBefore = 0;  // the kernel leaves the count out while it is 0
        for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c)) {
            if (c->cmsg_level != SOL_SOCKET) continue;
            if (c->cmsg_type == SCM_TIMESTAMPNS && c->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
                timespec ts;
                std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                d.arrivalNs = static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
            } else if (c->cmsg_type == SO_RXQ_OVFL &&
                       c->cmsg_len >= CMSG_LEN(sizeof(std::uint32_t))) {
                std::memcpy(&d.dropsBefore, CMSG_DATA(c), sizeof d.dropsBefore);
            }
        }
    }
    return static_cast<std::size_t>(n);
}

}  // namespace orv
