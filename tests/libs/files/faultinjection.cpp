#include "libs/files/faultinjection.hpp"

#include <stdexcept>

namespace FilesTest {

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    if (getrlimit(RLIMIT_FSIZE, &saved_) != 0)
        throw std::runtime_error("getrlimit");
    savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limited) != 0)
        throw std::runtime_error("setrlimit");
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, savedHandler_);
}

} // namespace FilesTest
