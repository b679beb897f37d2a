#include "libs/files/impl.hpp"

#include "libs/log/logger.hpp"

namespace Files::Impl {

void logFailure(const std::string& text) noexcept
{
    try {
        const Log::Logger& logger = Log::mainLogger();
        if (logger.isLevelEnabled(Log::Warn) && logger.isVerbosityEnabled(Log::Debug))
            logger.write(Log::Warn, Log::Debug, text);
    } catch (...) {
        // A failure to log a failed deletion has nowhere left to go.
    }
}

} // namespace Files::Impl
