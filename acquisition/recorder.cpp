#include "acquisition/recorder.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

#include "platform/message.h"

namespace orv {
namespace {

using Clock = std::chrono::steady_clock;

// Sample blocks the initialisation step must have read to take the input as working.
constexpr std::size_t kMinSampleBlocks = 10;
// The longest wait for data between two tests of the stop request and the time limit.
constexpr std::chrono::milliseconds kReadWait{50};
// The unit of the raw stream: the packet writer takes it as 204-byte packets.
constexpr std::size_t kRawUnit = 204;

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The PIDs of the data's packets in order of first appearance (each PID once, so at most 8192).
std::vector<std::uint16_t> pidsPresent(std::span<const std::uint8_t> data, std::size_t length) {
    std::vector<std::uint16_t> pids;
    std::bitset<kPidCount> seen;
    std::size_t at = 0;
    while (at + length <= data.size()) {
        if (data[at] != 0x47) {
            at = findSync(data, at, length);
            continue;
        }
        const auto pid = static_cast<std::uint16_t>((data[at + 1] & 0x1F) << 8 | data[at + 2]);
        if (!seen.test(pid)) {
            seen.set(pid);
            pids.push_back(pid);
        }
        at += length;
    }
    return pids;
}

}  // namespace

RecordInit describeSample(const RecordSample& sample, RecordMode mode) {
    RecordInit init;
    if (sample.initResult != 0) {
        init.lines.emplace_back(kRecordInitFailed);
        return init;
    }
    init.lines.emplace_back(kRecordInitOk);
    init.lines.emplace_back(kRecordAnalysing);
    if (sample.blocks <= kMinSampleBlocks) return init;
    if (mode == RecordMode::Raw) {
        init.lines.emplace_back(kRecordRawLine);
        return init;
    }
    init.bitrateText = formatted("%2.6f", sample.mbps);
    init.packetLengthText = std::to_string(sample.packetLength);
    const std::size_t length = sample.packetLength == 204 ? 204 : 188;
    init.pids = pidsPresent(sample.data, length);
    for (const std::uint16_t pid : init.pids)
        init.lines.push_back(pidText(pid));
    return init;
}

int recordPercent(const RecordStatus& status, const RecordSettings& settings) {
    if (settings.limit <= 0) return 0;
    double percent = 0.0;
    if (settings.limitMode == LimitMode::Size) {
        percent = static_cast<double>(status.bytes) / (static_cast<double>(settings.limit) * 1e4);
    } else {
        percent = status.seconds * 100.0 / static_cast<double>(settings.limit);
    }
    return static_cast<int>(std::clamp(percent, 0.0, 100.0));
}

Recorder::Recorder(RecordFeed& feed) : feed_(feed) {}

Recorder::~Recorder() {
    stop();
}

RecordInit Recorder::initialise(const RecordSettings& settings) {
    if (thread_.joinable()) {
        const RecordState state = status().state;
        if (state == RecordState::Starting || state == RecordState::Recording) return {};
        thread_.join();
    }
    std::optional<CardClaim> claim;
    if (feed_.usesCard()) {
        claim = CardClaim::take(CardUser::Recording);
        if (!claim) {
            showMessage(CardClaim::busyMessage());
            return {};
        }
    }
    stop_.store(false);
    const RecordInit init = describeSample(
        feed_.initialise(settings.input, settings.recordMode, stop_), settings.recordMode);
    const std::lock_guard lock(mutex_);
    status_.init = init;
    return init;
}

std::optional<std::string> Recorder::start(const RecordSettings& settings) {
    if (thread_.joinable()) {
        const RecordState state = status().state;
        if (state == RecordState::Starting || state == RecordState::Recording)
            return std::string("a recording is already going on");
        thread_.join();
    }
    if (settings.path.empty()) return std::string("no file to record to");
    if (settings.filterMode == FilterMode::Only && settings.pids.empty())
        return std::string("no PID to record");
    std::optional<CardClaim> claim;
    if (feed_.usesCard()) {
        claim = CardClaim::take(CardUser::Recording);
        if (!claim) {
            std::string message = CardClaim::busyMessage();
            showMessage(message);
            return message;
        }
    }
    {
        const std::lock_guard lock(mutex_);
        status_ = {};
        status_.state = RecordState::Starting;
    }
    stop_.store(false);
    thread_ = std::thread([this, settings, c = std::move(claim)]() mutable {
        run(std::move(settings), std::move(c));
    });
    return std::nullopt;
}

void Recorder::run(RecordSettings settings, std::optional<CardClaim> claim) {
    const RecordInit init = describeSample(
        feed_.initialise(settings.input, settings.recordMode, stop_), settings.recordMode);
    {
        const std::lock_guard lock(mutex_);
        status_.init = init;
    }
    if (stop_.load()) {
        end(RecordEnd::Stopped);
    } else if (!init.succeeded()) {
        showMessage(kRecordInitFailed);
        end(RecordEnd::InputFailed, std::string(kRecordInitFailed));
    } else if (init.lines.size() < 3) {
        showMessage(kRecordCheckInput);
        end(RecordEnd::InputFailed, std::string(kRecordCheckInput));
    } else if (const std::optional<std::string> reason = file_.create(settings.path)) {
        showMessage(kRecordCreateFailed, *reason);
        end(RecordEnd::CreateFailed, std::string(kRecordCreateFailed));
    } else if (!feed_.start(settings.input, settings.recordMode, stop_)) {
        if (stop_.load()) {
            end(RecordEnd::Stopped);
        } else {
            showMessage(kRecordCheckInput);
            end(RecordEnd::InputFailed, std::string(kRecordCheckInput));
        }
    } else {
        record(settings);
        feed_.finish();
    }
    const bool created = file_.isOpen();
    const bool closed = file_.close();
    if (created) {
        const std::lock_guard lock(mutex_);
        status_.bytes = file_.fileBytes();
        // A failed write may have cut the file back: count what it holds.
        if (status_.packets > 0 && unit_ > 0) status_.packets = status_.bytes / unit_;
    }
    if (!closed) {
        const std::string_view format = kRecordWriteFailed;
        const std::size_t at = format.find("%s");
        std::string text;
        text.append(format.substr(0, at));
        text.append(settings.path);
        text.append(format.substr(at + 2));
        showMessage(text, file_.failure());
        end(RecordEnd::WriteFailed, text);
    }
    if (claim) claim->release();
    ended();
}

void Recorder::record(const RecordSettings& settings) {
    const bool sizeLimit = settings.limitMode == LimitMode::Size && settings.limit > 0;
    const bool timeLimit = settings.limitMode == LimitMode::Time && settings.limit > 0;
    std::int64_t remaining =
        sizeLimit ? settings.limit * 1'000'000 : std::numeric_limits<std::int64_t>::max();
    const PidFilter filter(settings.filterMode, settings.pids);
    const bool raw = settings.recordMode == RecordMode::Raw;
    std::vector<std::uint8_t> buffer(feed_.bufferBytes());
    std::uint64_t bytes = 0;
    std::uint64_t packets = 0;
    unit_ = 0;
    const auto started = Clock::now();
    {
        const std::lock_guard lock(mutex_);
        status_.state = RecordState::Recording;
    }
    while (!stop_.load()) {
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        if (timeLimit && seconds >= static_cast<double>(settings.limit)) {
            {
                const std::lock_guard lock(mutex_);
                status_.seconds = seconds;
            }
            end(RecordEnd::Limit);
            return;
        }
        const FeedRead got = feed_.read(buffer, kReadWait);
        std::size_t written = 0;
        std::size_t length = raw ? kRawUnit : got.packetLength;
        if (got.bytes > 0) {
            std::span<const std::uint8_t> data(buffer.data(), std::min(got.bytes, buffer.size()));
            if (raw && filter.mode() != FilterMode::All) {
                // The raw stream is not aligned to packets: the filter walks it at the packet
                // length it finds (a 188-byte stream walked in 204-byte steps would keep nothing).
                if (const std::size_t found = detectPacketLength(data)) length = found;
            }
            if (unit_ == 0) {
                unit_ = length;
                file_.setUnit(unit_);
            }
            // The size limit counts the bytes written: the last read is cut at a packet
            // boundary (so the file never ends in part of a packet), and with a filter the
            // packets kept are counted, so the file is the filtered stream without gaps.
            const auto room = static_cast<std::size_t>(
                std::min<std::int64_t>(remaining, static_cast<std::int64_t>(data.size())));
            bool ok = true;
            if (filter.mode() == FilterMode::All) {
                const std::size_t take = raw ? room : room - room % length;
                ok = file_.append(data.data(), take);
                written = take;
            } else {
                written = filterPackets(
                    data, length, filter,
                    [&](const std::uint8_t* p, std::size_t n) { ok = file_.append(p, n) && ok; },
                    static_cast<std::size_t>(remaining));
            }
            if (!ok) return;  // run() reports the failed write after closing the file
            bytes += written;
            packets += written / length;
            remaining -= static_cast<std::int64_t>(written);
            if (remaining < static_cast<std::int64_t>(length)) remaining = 0;
        }
        {
            const std::lock_guard lock(mutex_);
            status_.bytes = bytes;
            status_.packets = raw && filter.mode() == FilterMode::All ? 0 : packets;
            status_.seconds = std::chrono::duration<double>(Clock::now() - started).count();
            if (got.bytes > 0) status_.inputMbps = feed_.inputMbps();
        }
        if (sizeLimit && remaining == 0) {
            end(RecordEnd::Limit);
            return;
        }
    }
}

void Recorder::end(RecordEnd how, std::string message) {
    const std::lock_guard lock(mutex_);
    // The first reason stands, but a failed write outranks the limit or stop that came before it.
    if (status_.endedBy != RecordEnd::None && how != RecordEnd::WriteFailed) return;
    status_.endedBy = how;
    if (!message.empty()) status_.message = std::move(message);
}

void Recorder::ended() {
    {
        const std::lock_guard lock(mutex_);
        if (status_.endedBy == RecordEnd::None) status_.endedBy = RecordEnd::Stopped;
        status_.state = RecordState::Ended;
    }
    ended_.notify_all();
}

void Recorder::stop() {
    requestStop();
    if (thread_.joinable()) thread_.join();
}

void Recorder::requestStop() {
    stop_.store(true);
    feed_.wake();
}

bool Recorder::waitUntilEnded(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, timeout, [this] {
        return status_.state == RecordState::Ended || status_.state == RecordState::Idle;
    });
}

RecordStatus Recorder::status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

}  // namespace orv
