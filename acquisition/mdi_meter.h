// The Media Delivery Index (RFC 4445) of a stream received as datagrams, per interval (a whole
// second in use). Intervals follow each other back to back from the first arrival.
//
// Delay factor: a virtual buffer takes each datagram's media bytes at its arrival time and drains
// at the stream's own rate, measured over the interval (the interval's bytes over its length), so
// a constant-rate stream ends the interval where it began. DF is the buffer's excursion over the
// interval (its highest level just after an arrival less its lowest just before one, the empty
// buffer at the interval's start included) divided by that rate: the time the stream must be
// buffered to absorb the delivery's burstiness. A perfectly paced stream gives one datagram's
// duration. Media loss rate: the packets found lost in the interval per second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace orv {

struct MdiInterval {
    std::int64_t startNs = 0;  // on the arrival time scale
    double delayFactorMs = 0.0;
    double mediaLossRate = 0.0;  // packets per second
    double bitrateMbps = 0.0;    // media bytes received in the interval, per second
    std::uint64_t bytes = 0;
    std::uint64_t lostPackets = 0;
    std::uint64_t lostDatagrams = 0;
};

class MdiMeter {
  public:
    using Sink = std::function<void(const MdiInterval&)>;

    // `closed` is called with every interval as it closes. An interval in which nothing arrived
    // gives a reading with zero rate, delay factor and loss; a run of such intervals gives only
    // the last of them.
    MdiMeter(std::int64_t intervalNs, Sink closed);

    // `bytes` of media delivered at arrival time tNs. Intervals that ended at or before tNs are
    // closed first. An arrival stamped before the current interval (a clock set back by less
    // than an interval) counts at its start; further back, the intervals start afresh from it.
    void arrival(std::int64_t tNs, std::uint32_t bytes);
    // Packets (in `datagrams` datagrams) found lost at time tNs, counted in that interval.
    void lost(std::int64_t tNs, std::uint64_t packets, std::uint64_t datagrams);
    // Closes the intervals that ended at or before nowNs (the stream has gone quiet).
    void advanceTo(std::int64_t nowNs);

    bool started() const { return started_; }
    // Where the current interval ends (meaningful once started).
    std::int64_t currentEndNs() const { return startNs_ + intervalNs_; }
    void reset();

  private:
    void moveTo(std::int64_t tNs);
    void close();

    std::int64_t intervalNs_;
    Sink closed_;
    bool started_ = false;
    std::int64_t startNs_ = 0;
    // Arrivals of the current interval: offset from its start and media bytes.
    struct Arrival {
        std::int64_t offsetNs;
        std::uint32_t bytes;
    };
    std::vector<Arrival> arrivals_;
    std::uint64_t bytes_ = 0;
    std::uint64_t lostPackets_ = 0;
    std::uint64_t lostDatagrams_ = 0;
};

}  // namespace orv
