// The UDP socket of an IP input: bound to the URL's address and port, the multicast group joined,
// a large receive buffer, and for every datagram the kernel's receive time stamp and its count of
// datagrams the socket had to drop. Datagrams are taken many at a time, never waiting.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/ip_url.h"

namespace orv {

struct ReceivedDatagram {
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    bool truncated = false;      // larger than a receive slot: its tail is lost
    std::int64_t arrivalNs = 0;  // kernel receive time, CLOCK_REALTIME
    in_addr sender{};
    // Datagrams this socket had dropped (its receive buffer full) before this one arrived, since
    // it was opened; wraps at 2^32.
    std::uint32_t dropsBefore = 0;
};

struct SocketError {
    std::string what;    // which step failed, naming the address or interface
    std::string reason;  // the system's errno text
};

class UdpReceiver {
  public:
    UdpReceiver(std::size_t slots, std::size_t slotBytes);
    ~UdpReceiver();
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    // Asks the kernel for `receiveBufferBytes` of buffer (it may grant less without the right to
    // raise its limit).
    std::optional<SocketError> open(const IpUrl& url, int receiveBufferBytes);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // The receive buffer the kernel granted, in bytes.
    int receiveBufferBytes() const { return granted_; }

    // Takes the datagrams waiting now, up to the number of slots; 0 when there are none. The
    // previous batch's datagrams are overwritten.
    std::size_t receive();
    const ReceivedDatagram& datagram(std::size_t i) const { return datagrams_[i]; }

  private:
    std::size_t slotBytes_;
    int fd_ = -1;
    int granted_ = 0;
    std::vector<std::uint8_t> buffers_;
    std::vector<mmsghdr> headers_;
    std::vector<iovec> iovecs_;
    std::vector<sockaddr_in> senders_;
    struct alignas(cmsghdr) Control {
        std::uint8_t bytes[128];
    };
    std::vector<Control> controls_;
    std::vector<ReceivedDatagram> datagrams_;
};

}  // namespace orv
