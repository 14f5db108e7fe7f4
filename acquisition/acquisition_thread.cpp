#include "acquisition/acquisition_thread.h"

#include <array>
#include <mutex>
#include <vector>

#include "engine/block_driver.h"
#include "engine/program_discovery.h"

namespace orv {
namespace {

int normalisedPacketLength(int length) {
    return length == static_cast<int>(kRsPacketSize) ? static_cast<int>(kRsPacketSize)
                                                     : static_cast<int>(kTsPacketSize);
}

}  // namespace

void AcquisitionThread::start(LiveSource& source) {
    stop();
    stop_.store(false);
    source_ = &source;
    {
        const std::lock_guard<std::mutex> lock(ctx_.mutex);
        latestQamInfo_.reset();
        counts_ = {};
    }
    clock_.threadStarting();
    try {
        thread_ = std::thread([this, &source] { run(source); });
    } catch (...) {
        clock_.threadEnding();
        throw;
    }
}

void AcquisitionThread::stop() {
    if (!thread_.joinable()) return;
    stop_.store(true);
    clock_.notify();
    source_->wake();
    thread_.join();
}

void AcquisitionThread::run(LiveSource& source) {
    struct Leaving {
        WaitClock& clock;
        ~Leaving() { clock.threadEnding(); }
    } leaving{clock_};

    const LiveOpenResult opened = source.open(stop_);
    if (opened == LiveOpenResult::Failed) {
        // The source has shown why; the progress timer of the run control stops the run.
        const std::lock_guard<std::mutex> lock(ctx_.mutex);
        ctx_.runState = RunState::InterfaceFailure;
        return;
    }
    if (opened != LiveOpenResult::Ready) return;

    // Buffers of the receiving thread: allocated once receiving has started, freed as it ends.
    std::vector<std::uint8_t> block(kLiveBlockBytes);
    std::array<std::uint32_t, kLiveMaxGroupsPerRead> times{};

    while (!clock_.waitFor(stop_, kStopTestWait)) {
        const int length = normalisedPacketLength(source.packetLength());
        {
            const std::lock_guard<std::mutex> lock(ctx_.mutex);
            ctx_.packetLength = length;
        }
        if (!source.waitForData(kDataWait)) {
            noData();
            continue;
        }
        for (;;) {
            if (stop_.load()) return;
            if (!readAndFeed(source, block, times)) break;
            if (!source.waitForData(kDataWait)) {
                noData();
                break;
            }
        }
    }
}

void AcquisitionThread::noData() {
    // A wait cut short by a stop is not an interruption of the stream.
    if (stop_.load()) return;
    const std::lock_guard<std::mutex> lock(ctx_.mutex);
    if (ctx_.initDone) ctx_.runState = RunState::Interrupted;
}

bool AcquisitionThread::readAndFeed(LiveSource& source, std::span<std::uint8_t> block,
                                    std::span<std::uint32_t> times) {
    const LiveRead got = source.read(block, times);
    const std::optional<ExtraDataInTs> qam = source.latestQamInfo();

    // A failed read, or one that does not say its packets are 188 or 204 bytes, is an empty
    // batch; a source that claims more groups than fit is held to the buffer.
    const bool lengthKnown = got.packetLength == static_cast<int>(kTsPacketSize) ||
                             got.packetLength == static_cast<int>(kRsPacketSize);
    std::size_t groups = got.framingLost || !lengthKnown ? 0 : got.groups;
    if (groups > kLiveMaxGroupsPerRead) groups = kLiveMaxGroupsPerRead;
    const std::size_t bytes =
        groups * kLiveGroupPackets * static_cast<std::size_t>(got.packetLength);

    const std::lock_guard<std::mutex> lock(ctx_.mutex);
    ++counts_.reads;
    counts_.failedReads += got.framingLost ? 1 : 0;
    counts_.badReads += !got.framingLost && !lengthKnown ? 1 : 0;
    counts_.groupsRead += groups;
    if (qam) latestQamInfo_ = qam;
    if (groups > 0) {
        // The bytes are walked at the length they were read with: a batch of the other length
        // would otherwise be dropped whole, or walked past the data the source wrote.
        ctx_.packetLength = got.packetLength;
        if (!ctx_.initDone) {
            if (ctx_.runState != RunState::InterfaceFailure) {
                initBlock(ctx_, block.data(), bytes);
                counts_.groupsInitPhase += groups;
            }
        } else if (ctx_.runState == RunState::Running) {
            analyseBlock(ctx_, block.data(), bytes, times.first(groups));
            counts_.groupsAnalysed += groups;
        }
    }
    // Data flows again after an interruption: the bitrate timer restarts the run.
    if (groups > 0 && !ctx_.interruptSeen && ctx_.runState == RunState::Interrupted) {
        ctx_.interruptSeen = true;
        return false;
    }
    return true;
}

}  // namespace orv
