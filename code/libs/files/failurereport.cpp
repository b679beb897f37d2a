#include "libs/files/failurereport.hpp"

#include "libs/files/impl.hpp"

#include <atomic>

namespace Files {

namespace {

std::atomic<FailureReceiver> failureReceiver{nullptr};

} // namespace

void setFailureReceiver(FailureReceiver receiver)
{
    failureReceiver = receiver;
}

namespace Impl {

void reportFailure(const std::string& text) noexcept
{
    const FailureReceiver receiver = failureReceiver;
    if (receiver == nullptr)
        return;
    try {
        receiver(text);
    } catch (...) {
        // A failure to report a failed deletion has nowhere left to go.
    }
}

} // namespace Impl

} // namespace Files
