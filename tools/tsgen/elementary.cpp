#include "tools/tsgen/elementary.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "tools/tsgen/packet.h"

namespace tsgen {
namespace {

constexpr std::size_t kFillerSize = 8192;

// A fixed pseudo-random table of bytes 0x01..0xFE, the same in every run.
const std::array<uint8_t, kFillerSize>& fillerTable() {
    static const std::array<uint8_t, kFillerSize> table = [] {
        std::array<uint8_t, kFillerSize> t{};
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (uint8_t& b : t) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            b = static_cast<uint8_t>(1 + (x >> 32) % 254);
        }
        return t;
    }();
    return table;
}

// Packs bits most significant first into whole bytes (trailing bits zero).
class BitPacker {
  public:
    explicit BitPacker(std::vector<uint8_t>& out) : out_(out) {}
    void put(uint32_t value, unsigned bits) {
        for (unsigned i = bits; i-- > 0;) {
            acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1));
            if (++n_ == 8) {
                out_.push_back(acc_);
                acc_ = 0;
                n_ = 0;
            }
        }
    }
    void startCode(uint8_t code) {
        flush();
        out_.insert(out_.end(), {0x00, 0x00, 0x01, code});
    }
    void flush() {
        if (n_ > 0) put(0, 8 - n_);
    }

  private:
    std::vector<uint8_t>& out_;
    uint8_t acc_ = 0;
    unsigned n_ = 0;
};

constexpr std::array<uint32_t, 15> kLayer2Rates = {0,      32000,  48000,  56000,  64000,
                                                   80000,  96000,  112000, 128000, 160000,
                                                   192000, 224000, 256000, 320000, 384000};

constexpr uint8_t kFrameRate25 = 3;

}  // namespace

void appendFiller(std::vector<uint8_t>& out, std::size_t n, uint64_t salt) {
    const auto& t = fillerTable();
    std::size_t at = static_cast<std::size_t>((salt * 7919u) % kFillerSize);
    while (n > 0) {
        const std::size_t k = std::min(n, kFillerSize - at);
        out.insert(out.end(), t.begin() + static_cast<std::ptrdiff_t>(at),
                   t.begin() + static_cast<std::ptrdiff_t>(at + k));
        n -= k;
        at = 0;
    }
}

uint8_t layer2BitrateIndex(uint32_t bitrate) {
    for (std::size_t i = 1; i < kLayer2Rates.size(); ++i)
        if (kLayer2Rates[i] == bitrate) return static_cast<uint8_t>(i);
    return 0;
}

void appendPesHeader(std::vector<uint8_t>& out, uint8_t streamId, std::size_t payloadSize,
                     uint64_t pts, bool withDts, uint64_t dts) {
    const std::size_t headerData = withDts ? 10 : 5;
    const std::size_t length = 3 + headerData + payloadSize;
    const std::size_t field = length <= 0xFFFF ? length : 0;
    const std::size_t at = out.size();
    out.resize(at + 9 + headerData);
    uint8_t* h = out.data() + at;
    h[0] = 0x00;
    h[1] = 0x00;
    h[2] = 0x01;
    h[3] = streamId;
    h[4] = static_cast<uint8_t>(field >> 8);
    h[5] = static_cast<uint8_t>(field & 0xFF);
    h[6] = 0x84;  // '10', not scrambled, data_alignment_indicator
    h[7] = withDts ? 0xC0 : 0x80;
    h[8] = static_cast<uint8_t>(headerData);
    writeTimestamp(h + 9, withDts ? 3 : 2, pts);
    if (withDts) writeTimestamp(h + 14, 1, dts);
}

VideoEs::VideoEs(const VideoParams& p) : p_(p) {
    if (p.gopLength == 0 || p.gopLength % (p.bFrames + 1) != 0)
        throw std::invalid_argument("GOP length must be a multiple of bFrames + 1");
    // Relative sizes I 10, P 4, B 2, scaled so one GOP carries exactly its share of the rate.
    const unsigned anchors = p.gopLength / (p.bFrames + 1);
    const uint64_t weightSum = 10 + 4ull * (anchors - 1) + 2ull * (p.gopLength - anchors);
    const uint64_t gopBytes = uint64_t{p.bitrate} * p.gopLength / 8 / 25;
    const unsigned w[4] = {0, 10, 4, 2};
    for (int t = 1; t <= 3; ++t)
        size_[t] = std::max<std::size_t>(64, gopBytes * w[t] / weightSum);
}

PictureType VideoEs::type(uint64_t coded) const {
    const uint64_t d = displayIndex(coded);
    if (d % (p_.bFrames + 1) != 0) return PictureType::B;
    return d % p_.gopLength == 0 ? PictureType::I : PictureType::P;
}

uint64_t VideoEs::displayIndex(uint64_t coded) const {
    // Coded order: I0, then per group: the anchor, then the B pictures displayed before it.
    if (coded == 0) return 0;
    const uint64_t m = p_.bFrames + 1;
    const uint64_t g = (coded - 1) / m, pos = (coded - 1) % m;
    return pos == 0 ? m * (g + 1) : m * g + pos;
}

void VideoEs::appendPicture(uint64_t coded, std::vector<uint8_t>& out) const {
    const std::size_t start = out.size();
    const PictureType t = type(coded);
    const uint64_t d = displayIndex(coded);
    BitPacker b(out);
    // The GOP opened by the I picture at display D holds displays D-bFrames .. D+gop-bFrames-1.
    const uint64_t gopStart = d < p_.gopLength - p_.bFrames
                                  ? 0
                                  : (d + p_.bFrames) / p_.gopLength * p_.gopLength - p_.bFrames;
    if (t == PictureType::I) {
        const uint32_t rate400 = (p_.bitrate + 399) / 400;
        b.startCode(0xB3);  // sequence_header
        b.put(p_.width & 0xFFF, 12);
        b.put(p_.height & 0xFFF, 12);
        b.put(p_.aspectRatio, 4);
        b.put(kFrameRate25, 4);
        b.put(rate400 & 0x3FFFF, 18);
        b.put(1, 1);  // marker
        b.put(p_.vbvBufferSize & 0x3FF, 10);
        b.put(0, 3);        // constrained_parameters, no quantiser matrices
        b.startCode(0xB5);  // sequence_extension
        b.put(1, 4);
        b.put(p_.profileLevel, 8);
        b.put(0, 1);  // interlaced
        b.put(1, 2);  // 4:2:0
        b.put(p_.width >> 12, 2);
        b.put(p_.height >> 12, 2);
        b.put(rate400 >> 18, 12);
        b.put(1, 1);
        b.put(p_.vbvBufferSize >> 10, 8);
        b.put(0, 1);        // low_delay
        b.put(0, 7);        // frame_rate_extension_n, _d
        b.startCode(0xB5);  // sequence_display_extension
        b.put(2, 4);
        b.put(1, 3);  // PAL
        b.put(0, 1);
        b.put(p_.width, 14);
        b.put(1, 1);
        b.put(p_.height, 14);
        b.startCode(0xB8);  // group_of_pictures_header
        const uint64_t seconds = d / 25;
        b.put(0, 1);
        b.put(static_cast<uint32_t>(seconds / 3600 % 24), 5);
        b.put(static_cast<uint32_t>(seconds / 60 % 60), 6);
        b.put(1, 1);
        b.put(static_cast<uint32_t>(seconds % 60), 6);
        b.put(static_cast<uint32_t>(d % 25), 6);
        b.put(d == 0 ? 1 : 0, 1);  // closed_gop
        b.put(0, 1);               // broken_link
    }
    b.startCode(0x00);  // picture_header
    b.put(static_cast<uint32_t>((d - gopStart) & 0x3FF), 10);
    b.put(static_cast<uint32_t>(t), 3);
    b.put(0xFFFF, 16);                       // vbv_delay
    if (t != PictureType::I) b.put(0x7, 4);  // full_pel_forward_vector 0, forward_f_code 7
    if (t == PictureType::B) b.put(0x7, 4);
    b.put(0, 1);        // extra_bit_picture
    b.startCode(0xB5);  // picture_coding_extension
    b.put(8, 4);
    const uint32_t fwd = t == PictureType::I ? 0xFF : 0x22;
    const uint32_t bwd = t == PictureType::B ? 0x22 : 0xFF;
    b.put(fwd, 8);
    b.put(bwd, 8);
    b.put(0, 2);  // intra_dc_precision
    b.put(3, 2);  // frame picture
    b.put(1, 1);  // top_field_first
    b.put(0, 9);  // frame_pred_frame_dct .. composite_display_flag (interlaced, 4:2:0 type 0)
    b.flush();
    const std::size_t header = out.size() - start;
    const std::size_t want = size_[static_cast<int>(t)];
    appendFiller(out, want > header ? want - header : 1, coded);
}

AudioEs::AudioEs(const AudioParams& p) : p_(p), bitrateIndex_(layer2BitrateIndex(p.bitrate)) {
    if (bitrateIndex_ == 0) throw std::invalid_argument("not an MPEG-1 Layer II bitrate");
    if (p.framesPerPes == 0) throw std::invalid_argument("framesPerPes must be at least 1");
    frameSize_ = 144u * p.bitrate / 48000u;
}

void AudioEs::appendFrame(uint64_t index, std::vector<uint8_t>& out) const {
    out.push_back(0xFF);
    out.push_back(0xFD);  // sync, ID 1, layer II, protection_bit 1 (no CRC)
    out.push_back(static_cast<uint8_t>((bitrateIndex_ << 4) | (1 << 2)));  // 48 kHz, no padding
    out.push_back(0x04);  // stereo, original, no emphasis
    appendFiller(out, frameSize_ - 4, index ^ 0xA5A5);
}

}  // namespace tsgen
