#include "cardlib/usb_framing.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "cardlib/card_state.h"
#include "cardlib/signal_conversions.h"

namespace orv::zel {
namespace {

// Every unit of a group behind the packet prefix.
bool wholeGroupAt(const std::uint8_t* group, std::size_t unit) {
    for (std::size_t j = 0; j < kUnitsPerGroup; ++j) {
        if (!isPacketPrefix(group + j * unit)) return false;
    }
    return true;
}

}  // namespace

bool isPacketPrefix(const std::uint8_t* p) {
    return p[0] == 0x55 && p[1] == 0x55;
}

bool isInfoPrefix(const std::uint8_t* p) {
    return p[0] == 0x55 && p[1] == 0xAA;
}

std::size_t findFraming(const std::uint8_t* data, std::size_t bytes, std::size_t unit) {
    const std::size_t span = (kUnitsPerGroup + 1) * unit;
    if (unit < 2) return bytes;
    // Checking only the first two units and the information unit would also accept the second
    // unit of the last group before a run of information units: that "group" ends with the
    // first information unit and the stream stays one unit out of step.
    for (std::size_t i = 0; i + span < bytes; ++i) {
        if (isInfoPrefix(data + i + kUnitsPerGroup * unit) && wholeGroupAt(data + i, unit)) {
            return i;
        }
    }
    return bytes;
}

FramedParse parseFramed(const std::uint8_t* data, std::size_t bytes, std::size_t packetLen,
                        unsigned long blocks, const FramedOutput& out, double& rateMbps) {
    FramedParse p;
    if (packetLen != 188 && packetLen != 204) {
        p.result = -2;
        return p;
    }
    const std::size_t unit = packetLen + 2;
    const std::size_t blockBytes = kUnitsPerGroup * packetLen;
    for (;;) {
        const std::uint8_t* at = data + p.offset;
        const std::size_t left = bytes - p.offset;
        if (left >= kUnitsPerGroup * unit && isPacketPrefix(at) && p.groups < blocks) {
            if (!wholeGroupAt(at, unit)) {
                p.result = -1;
                return p;
            }
            std::uint8_t* block = out.blocks + p.groups * blockBytes;
            for (std::size_t j = 0; j < kUnitsPerGroup; ++j)
                std::memcpy(block + j * packetLen, at + j * unit + 2, packetLen);
            p.offset += kUnitsPerGroup * unit;
            ++p.groups;
        } else if (left >= unit && isInfoPrefix(at) && p.infos < blocks) {
            const std::uint32_t bytesPerSecond =
                at[6] | at[7] << 8 | at[8] << 16 | std::uint32_t(at[9]) << 24;
            rateMbps = bytesPerSecond * 8.0 / 1000000.0;
            if (out.timing) {
                out.timing[p.infos] = timingValue(static_cast<std::uint32_t>(blockBytes), rateMbps);
            }
            if (out.records) decodeInfoUnit(at, out.records[p.infos]);
            p.offset += unit;
            ++p.infos;
        } else {
            break;
        }
    }
    // A complete read holds as many groups as information units, `blocks` of each.
    p.result = p.groups == blocks && p.infos == blocks ? static_cast<long long>(blocks) : -2;
    return p;
}

void decodeInfoUnit(const std::uint8_t* p, ExtraDataInTs& r) {
    r.statusByte = p[10];
    r.statusFlag = p[11] == 1;
    r.errorRatio = errorRatio(std::uint32_t(p[30] & 0x0F) << 16 | p[31] << 8 | p[32], p[29]);
    r.statusCode = p[33];
    r.offsetValue = static_cast<float>(p[34] * double(state().symbolRateK) * 1000.0 / 512.0);
    r.scaledValue = static_cast<float>(p[35] * 1000000.0 / 262144.0);
    r.levelDbuv = signalLevelDbuv(p[36], p[37]);
    r.qualityDb = qualityDb(p[38], state().measureModeCode);
    std::memcpy(r.rawTail, p + 41, sizeof r.rawTail);
    std::memcpy(r.rawRatio, p + 29, sizeof r.rawRatio);
    std::memcpy(r.rawCodes, p + 33, sizeof r.rawCodes);
    std::memcpy(r.rawLevel, p + 36, sizeof r.rawLevel);
    r.rawQuality = p[38];
}

std::uint32_t timingValue(std::uint32_t blockBytes, double rateMbps) {
    // A rate of 0 gives the longest time there is.
    constexpr double kMax = std::numeric_limits<std::uint32_t>::max() - 1.0;
    if (!(rateMbps > 0)) return static_cast<std::uint32_t>(kMax);
    const double value = blockBytes * 10.0 * 8.0 * 27.0 / rateMbps - 1.0;
    return static_cast<std::uint32_t>(std::clamp(value, 0.0, kMax));
}

}  // namespace orv::zel
