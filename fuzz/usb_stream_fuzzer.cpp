// The card library's USB stream parser over arbitrary bulk bytes: a stand-in device hands the
// input to the library in transfers of a chosen size, and the library reads blocks from it as
// the read export does after a receive start (framed 188/204-byte units or plain packets), with
// its resynchronisation after lost framing. Waits run on the virtual clock.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "cardlib/card_state.h"
#include "cardlib/usb_stream.h"
#include "cardlib/zelcard.h"
#include "fuzz/fuzz_inputs.h"
#include "platform/clock.h"
#include "platform/devio/devio.h"
#include "platform/devio/zelcard_interface.h"
#include "platform/message.h"

namespace {

using namespace orv;
namespace fu = orv::fuzz::usb;

// The bulk pipe: each stream read returns the next transfer of the input, then nothing.
class FuzzBulkPipe : public devio::Driver {
  public:
    void load(const uint8_t* data, std::size_t size, std::size_t transfer) {
        data_ = data;
        left_ = size;
        transfer_ = transfer;
    }
    bool exhausted() const { return left_ == 0; }

    std::uint32_t control(std::uint32_t code, std::span<const std::byte>, std::span<std::byte> out,
                          std::size_t& returned) override {
        returned = 0;
        if (code != zel::kIoctlUsbStreamRead) return devio::kErrorInvalidParameter;
        const std::size_t n = std::min({left_, transfer_, out.size()});
        if (n > 0) std::memcpy(out.data(), data_, n);
        data_ += n;
        left_ -= n;
        returned = n;
        return devio::kErrorSuccess;
    }

  private:
    const uint8_t* data_ = nullptr;
    std::size_t left_ = 0;
    std::size_t transfer_ = 0;
};

struct Bench {
    VirtualClock clock;
    ScopedMessageHook quiet{[](std::string_view) {}};
    std::shared_ptr<FuzzBulkPipe> pipe = std::make_shared<FuzzBulkPipe>();
    devio::Handle handle = 0;

    Bench() {
        devio::registerDevice("\\\\.\\fuzz-usb", pipe);
        handle = devio::openDevice("\\\\.\\fuzz-usb");
    }
};

Bench& bench() {
    static Bench b;
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < fu::kHeaderSize) return 0;
    Bench& b = bench();
    const uint8_t flags = data[0];
    const uint8_t blockChoice = data[1];
    b.pipe->load(data + fu::kHeaderSize, size - fu::kHeaderSize, fu::transferBytes(data[2]));

    // What a receive start leaves behind.
    zel::LibraryState& s = zel::state();
    zel::resetUsbStream();
    s.deviceKind = zel::DeviceKind::UsbBox;
    s.usbPlainStream = (flags & fu::kPlain) ? 1 : 0;
    s.usb.packetLen = (flags & (fu::k204 | fu::kPlain)) ? 204 : 188;
    s.usb.packetLenKnown = true;
    s.usb.streaming = true;
    s.usb.resyncPending = (flags & fu::kResyncFirst) != 0;
    zel::CardSlot& card = zel::slot(0);
    card.handle = b.handle;
    card.receiving = true;
    card.rxBlockSize = s.usbPlainStream ? 8160 : 40 * s.usb.packetLen;

    std::vector<uint8_t> buffer;
    std::vector<uint32_t> rates;
    std::vector<ExtraDataInTs> records;
    for (int read = 0; read < 64; ++read) {
        const unsigned long blocks = 1 + ((blockChoice >> (read % 2 * 4)) & 7);
        buffer.assign(blocks * card.rxBlockSize, 0);
        rates.assign(blocks, 0);
        records.assign(blocks, ExtraDataInTs{});
        unsigned count = 0;
        const long long n =
            zel::readUsb(buffer.data(), rates.data(), records.data(), &count, blocks, 0);
        // Never more blocks or records than asked for.
        if (n > static_cast<long long>(blocks) || count > blocks) __builtin_trap();
        if (n <= 0 && b.pipe->exhausted()) break;
    }
    zel::resetUsbStream();
    return 0;
}
