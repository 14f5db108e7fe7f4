// A converter of the C library's iconv between two named encodings, for the text helpers of
// platform/. An iconv descriptor carries conversion state and must not be shared between
// threads: keep one per thread (thread_local).
#pragma once

#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <initializer_list>
#include <string>

namespace orv::detail {

class IconvConverter {
  public:
    // Opens the first pair of names the system knows (some iconv implementations know an
    // encoding by one name only); invalid when none is known.
    IconvConverter(std::initializer_list<const char*> toNames,
                   std::initializer_list<const char*> fromNames) {
        for (const char* to : toNames) {
            for (const char* from : fromNames) {
                cd_ = iconv_open(to, from);
                if (valid()) return;
            }
        }
    }
    ~IconvConverter() {
        if (valid()) iconv_close(cd_);
    }
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    bool valid() const { return cd_ != kInvalid; }

    // Converts as much of [in, in + inLeft) as it can, appending to out. Returns false at an
    // input sequence the converter rejects (left at *in); true when all input was consumed.
    bool convert(const char*& in, std::size_t& inLeft, std::string& out) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        while (inLeft > 0) {
            const std::size_t used = out.size();
            out.resize(used + inLeft * 4 + 16);
            char* dst = out.data() + used;
            std::size_t dstLeft = out.size() - used;
            // iconv's interface takes a non-const input pointer but never writes through it.
            char* src = const_cast<char*>(in);
            const std::size_t r = iconv(cd_, &src, &inLeft, &dst, &dstLeft);
            in = src;
            out.resize(static_cast<std::size_t>(dst - out.data()));
            if (r != static_cast<std::size_t>(-1)) return true;
            if (errno != E2BIG) return false;  // EILSEQ or EINVAL: bad or incomplete input
        }
        return true;
    }

  private:
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
    iconv_t cd_ = kInvalid;
};

}  // namespace orv::detail
