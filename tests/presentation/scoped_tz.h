// Local time of the process set to a POSIX time zone for the scope (no tzdata needed), so the
// local times in report texts can be checked by hand.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace orv::test {

class ScopedTz {
  public:
    explicit ScopedTz(const char* posixTz) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        ::setenv("TZ", posixTz, 1);
        tzset();
    }
    ~ScopedTz() {
        if (hadOld_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        tzset();
    }
    ScopedTz(const ScopedTz&) = delete;
    ScopedTz& operator=(const ScopedTz&) = delete;

  private:
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace orv::test
