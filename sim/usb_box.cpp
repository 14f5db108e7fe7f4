#include "sim/usb_box.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "platform/clock.h"
#include "platform/devio/zelcard_interface.h"

namespace orv::sim {

using namespace orv::zel;

namespace {

constexpr std::size_t kQueueLimit = 32 * 1024 * 1024;  // the box drops data beyond this
constexpr auto kReadWait = std::chrono::milliseconds(50);
constexpr auto kIdleWait = std::chrono::microseconds(250);
constexpr char kStartCode[8] = {'t', 'k', 'v', 'b', 'm', 'e', 'l', 'q'};

template <typename T>
bool contains(const std::vector<T>& list, T value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

}  // namespace

UsbBox::UsbBox(SimConfig config, std::string eventName)
    : config_(std::move(config)),
      source_(config_.bytes.empty() ? TsSource(config_.file, config_.bitrate)
                                    : TsSource(config_.bytes, config_.bitrate)),
      eventName_(std::move(eventName)),
      block_(source_.blockBytes()) {}

UsbBox::~UsbBox() {
    stop();
}

void UsbBox::stop() {
    playback_.stop();
}

std::uint32_t UsbBox::open() {
    return config_.openFails ? devio::kErrorAccessDenied : devio::kErrorSuccess;
}

std::vector<UsbBox::RequestRecord> UsbBox::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::uint32_t UsbBox::bytesPerSecond() const {
    return static_cast<std::uint32_t>(std::lround(source_.bitrate() / 8.0));
}

bool UsbBox::lockedLocked() const {
    if (config_.noLock || !tuned_) return false;
    const double tunedKHz = tunedHz_ / 1000.0;
    return std::fabs(tunedKHz - config_.frequencyKHz) <= 1000.0 &&
           std::fabs(tunedSymbolRate_ / 1000.0 - config_.symbolRateK) <=
               0.01 * config_.symbolRateK &&
           tunedMode_ == config_.qamIndex + 5;
}

bool UsbBox::locked() const {
    std::lock_guard lock(mutex_);
    return lockedLocked();
}

void UsbBox::channelStatus(std::uint8_t* s) const {
    if (lockedLocked()) s[0] = 0x80 | 0x02 | 0x04;
    // Error ratio 1000 / 10^6, status code, offsets, level and quality bytes.
    s[1] = 0xE8;
    s[2] = 0x03;
    s[3] = 0x00;
    s[4] = 0x40;
    s[5] = 0x05;
    s[6] = 0x02;
    s[7] = 0x10;
    s[8] = config_.levelA;
    s[9] = config_.levelB;
    s[10] = config_.qualityByte;
}

std::vector<std::uint8_t> UsbBox::infoUnit() const {
    std::vector<std::uint8_t> unit(source_.packetLength() + 2, 0);
    unit[0] = 0x55;
    unit[1] = 0xAA;
    const std::uint32_t rate = bytesPerSecond();
    for (int k = 0; k < 4; ++k)
        unit[6 + k] = static_cast<std::uint8_t>(rate >> (8 * k));
    unit[10] = 0x86;
    unit[11] = 1;
    unit[29] = 0x40;  // 0x0003E8 / 10^6
    unit[30] = 0x00;
    unit[31] = 0x03;
    unit[32] = 0xE8;
    unit[33] = 0x05;
    unit[34] = 0x02;
    unit[35] = 0x10;
    unit[36] = config_.levelA;
    unit[37] = config_.levelB;
    unit[38] = config_.qualityByte;
    for (int k = 41; k <= 60; ++k)
        unit[k] = static_cast<std::uint8_t>(k);
    return unit;
}

std::uint32_t UsbBox::control(std::uint32_t code, std::span<const std::byte> in,
                              std::span<std::byte> out, std::size_t& returned) {
    if (contains(config_.refusedCodes, code)) return devio::kErrorGenFailure;
    switch (code) {
        case kIoctlUsbVendorRequest:
            return vendorRequest(in, out, returned);
        case kIoctlUsbStreamEnable: {
            if (in.size() < 4) return devio::kErrorInvalidParameter;
            std::lock_guard lock(mutex_);
            enabled_ = true;
            return devio::kErrorSuccess;
        }
        case kIoctlUsbStreamStop: {
            playback_.stop();
            std::lock_guard lock(mutex_);
            streaming_ = enabled_ = startCodeSeen_ = false;
            queue_.clear();
            queueHead_ = 0;
            dataReady_.notify_all();
            return devio::kErrorSuccess;
        }
        case kIoctlUsbPipeStart: {
            StreamRequest request{};
            if (in.size() < sizeof request) return devio::kErrorInvalidParameter;
            std::memcpy(&request, in.data(), sizeof request);
            const StreamRequest expected = makeStreamRequest(kStreamStartN);
            if (std::memcmp(&request, &expected, sizeof request) != 0) {
                return devio::kErrorInvalidParameter;
            }
            {
                std::lock_guard lock(mutex_);
                if (!enabled_ || !startCodeSeen_) return devio::kErrorGenFailure;
                streaming_ = true;
                blocksPlayed_ = groupsSent_ = 0;
                pendingInfo_ = 0;
                firstTransferDone_ = false;
                queue_.assign(config_.garbageBytes, 0x55);  // no 0x55 0xAA: never a framing
                queueHead_ = 0;
            }
            const double seconds = source_.blockBytes() * 8.0 / source_.bitrate() / config_.speed;
            playback_.start(std::chrono::nanoseconds(std::llround(seconds * 1e9)),
                            [this] { tick(); });
            return devio::kErrorSuccess;
        }
        case kIoctlUsbEventName: {
            if (in.size() < 4 || out.size() < 64) return devio::kErrorInvalidParameter;
            std::lock_guard lock(mutex_);
            if (!dataEvent_)
                dataEvent_ = devio::createNamedEvent(false, false, "Global\\" + eventName_);
            const std::size_t chars = std::min<std::size_t>(eventName_.size(), 32);
            for (std::size_t k = 0; k < chars; ++k) {
                out[2 * k] = std::byte(eventName_[k]);
                out[2 * k + 1] = std::byte{0};
            }
            returned = 2 * chars;
            return devio::kErrorSuccess;
        }
        case kIoctlUsbStreamRead: {
            StreamRequest request{};
            if (in.size() < sizeof request) return devio::kErrorInvalidParameter;
            std::memcpy(&request, in.data(), sizeof request);
            const StreamRequest expected = makeStreamRequest(kStreamReadN);
            if (std::memcmp(&request, &expected, sizeof request) != 0) {
                return devio::kErrorInvalidParameter;
            }
            return streamRead(out, returned);
        }
        default:
            return devio::kErrorInvalidParameter;
    }
}

std::uint32_t UsbBox::vendorRequest(std::span<const std::byte> in, std::span<std::byte> out,
                                    std::size_t& returned) {
    VendorRequest request{};
    if (in.size() < sizeof request) return devio::kErrorInvalidParameter;
    std::memcpy(&request, in.data(), sizeof request);
    std::lock_guard lock(mutex_);
    requests_.push_back({request.request, orv::nowMs()});
    if (contains(config_.refusedRequests, request.request)) return devio::kErrorGenFailure;
    const bool toHost = request.direction == 1;
    if (toHost && out.size() < request.length) return devio::kErrorInvalidParameter;
    auto* o = reinterpret_cast<std::uint8_t*>(out.data());
    switch (request.request) {
        case kVendorInputSelect:
            if (toHost || request.length != 1) return devio::kErrorInvalidParameter;
            inputByte_ = request.data[0];
            return devio::kErrorSuccess;
        case kVendorSyncStatus: {
            if (!toHost || request.length < 6) return devio::kErrorInvalidParameter;
            std::memset(o, 0, request.length);
            const bool cable = (inputByte_ >> 1) == 1;
            o[0] = !config_.noSync && (!cable || lockedLocked()) ? 1 : 0;
            const std::uint32_t rate = bytesPerSecond();
            for (int k = 0; k < 4; ++k)
                o[1 + k] = static_cast<std::uint8_t>(rate >> (24 - 8 * k));
            o[5] = source_.packetLength() == 188 ? 1 : 0;
            returned = request.length;
            return devio::kErrorSuccess;
        }
        case kVendorQamParameters:
            if (toHost || request.length != 16) return devio::kErrorInvalidParameter;
            tunedHz_ = bigEndian32(request.data + 2);
            tunedSymbolRate_ = bigEndian32(request.data + 10);
            tunedMode_ = request.data[15];
            tuned_ = true;
            return devio::kErrorSuccess;
        case kVendorChannelStatus:
            if (!toHost || request.length < 11) return devio::kErrorInvalidParameter;
            std::memset(o, 0, request.length);
            channelStatus(o);
            returned = request.length;
            return devio::kErrorSuccess;
        case kVendorConstellation:
            if (!toHost) return devio::kErrorInvalidParameter;
            for (std::size_t k = 0; k < request.length; ++k)
                o[k] = static_cast<std::uint8_t>(k * 37);
            returned = request.length;
            return devio::kErrorSuccess;
        case kVendorStartCode:
            if (toHost || request.length != 8 ||
                std::memcmp(request.data, kStartCode, sizeof kStartCode) != 0) {
                return devio::kErrorInvalidParameter;
            }
            startCodeSeen_ = true;
            return devio::kErrorSuccess;
        default:
            return devio::kErrorInvalidParameter;
    }
}

void UsbBox::append(const std::uint8_t* data, std::size_t size) {
    if (queue_.size() - queueHead_ + size > kQueueLimit) return;  // overflow: lost
    queue_.insert(queue_.end(), data, data + size);
}

void UsbBox::tick() {
    std::shared_ptr<devio::Event> signal;
    {
        std::lock_guard lock(mutex_);
        if (!streaming_) return;
        const double blockSeconds = source_.blockBytes() * 8.0 / source_.bitrate();
        const double streamSeconds = static_cast<double>(blocksPlayed_++) * blockSeconds;
        if (config_.interruptSeconds > 0 && streamSeconds >= 1.0 &&
            streamSeconds < 1.0 + config_.interruptSeconds) {
            return;
        }
        const bool cable = (inputByte_ >> 1) == 1;
        if (config_.noSync || (cable && !lockedLocked())) return;
        source_.nextBlock(block_);
        const std::size_t length = source_.packetLength();
        if ((inputByte_ & 1) != 0) {
            append(block_.data(), block_.size());
        } else {
            static constexpr std::uint8_t kPacketPrefix[2] = {0x55, 0x55};
            for (std::size_t k = 0; k < kPacketsPerBlock; ++k) {
                append(kPacketPrefix, 2);
                append(block_.data() + k * length, length);
            }
            const std::int64_t group = static_cast<std::int64_t>(groupsSent_++);
            if (group != config_.dropInfoAfter) ++pendingInfo_;
            if (groupsSent_ % config_.groupsPerRun == 0) {
                const auto unit = infoUnit();
                for (; pendingInfo_ > 0; --pendingInfo_)
                    append(unit.data(), unit.size());
            }
            if (group == config_.lostFramingAfter) {
                static constexpr std::uint8_t kJunk[7] = {1, 2, 3, 4, 5, 6, 7};
                append(kJunk, sizeof kJunk);
            }
        }
        signal = dataEvent_;
    }
    dataReady_.notify_all();
    if (signal) signal->set();
}

std::uint32_t UsbBox::streamRead(std::span<std::byte> out, std::size_t& returned) {
    std::unique_lock lock(mutex_);
    if (!streaming_) return devio::kErrorDeviceNotConnected;
    std::size_t want = std::min(config_.transferBytes, out.size());
    if (!firstTransferDone_ && config_.firstTransferBytes > 0) {
        want = std::min(want, config_.firstTransferBytes);
    }
    // A bulk read completes when its buffer is full or a short while after data began to come;
    // on a pipe with nothing to send it completes empty almost at once, so the library's count
    // of empty transfers ends its collecting soon when the stream stops.
    const auto started = std::chrono::steady_clock::now();
    if (dataReady_.wait_for(lock, kIdleWait,
                            [&] { return !streaming_ || queue_.size() > queueHead_; })) {
        dataReady_.wait_until(lock, started + kReadWait,
                              [&] { return !streaming_ || queue_.size() - queueHead_ >= want; });
    }
    const std::size_t n = std::min(want, queue_.size() - queueHead_);
    std::memcpy(out.data(), queue_.data() + queueHead_, n);
    queueHead_ += n;
    if (queueHead_ > (1u << 20) && queueHead_ * 2 > queue_.size()) {
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(queueHead_));
        queueHead_ = 0;
    }
    if (n > 0) firstTransferDone_ = true;
    returned = n;
    return devio::kErrorSuccess;
}

}  // namespace orv::sim
