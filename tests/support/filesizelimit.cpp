#include "support/faultinjection.hpp"

#include <csignal>

namespace TestSupport {

FileSizeLimit::FileSizeLimit(rlim_t bytes) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN))
{
    if (::getrlimit(RLIMIT_FSIZE, &previous_) != 0)
        return;
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (ok_)
        ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
}

} // namespace TestSupport
