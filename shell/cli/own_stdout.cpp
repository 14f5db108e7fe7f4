#include "shell/cli/own_stdout.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <ostream>
#include <streambuf>

namespace orv::cli {
namespace {

// An unbuffered output stream buffer over a file descriptor (the commands flush each line).
class FdBuf final : public std::streambuf {
  public:
    explicit FdBuf(int fd) : fd_(fd) {}

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::streamsize done = 0;
        while (done < n) {
            const ssize_t w = ::write(fd_, s + done, static_cast<size_t>(n - done));
            if (w <= 0) break;
            done += w;
        }
        return done;
    }

  private:
    int fd_;
};

}  // namespace

int runWithOwnStdout(const std::function<int(std::ostream&)>& command) {
    std::cout.flush();
    std::fflush(stdout);
    const int own = ::dup(STDOUT_FILENO);
    if (own < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return command(std::cout);
    int rc = 0;
    {
        FdBuf buf(own);
        std::ostream out(&buf);
        rc = command(out);
    }
    std::fflush(stdout);
    ::dup2(own, STDOUT_FILENO);
    ::close(own);
    return rc;
}

}  // namespace orv::cli
