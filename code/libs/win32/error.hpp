#pragma once
// Platform error codes and their texts, and attaching a code to an exception.

#include "libs/exceptions/exception.hpp"

#include <cstdint>
#include <string>
#include <type_traits>

namespace Win32 {

// The system's message text for an error code, trimmed to one line; the empty text for a code
// without a message. On POSIX the codes are errno values and the text is the C library's.
// Never throws on POSIX.
std::string errorDescription(std::uint32_t code);

// An error code of the platform, taken explicitly or from the calling thread's last error.
class ErrorCode {
public:
    // The calling thread's last error (errno on POSIX).
    ErrorCode();
    explicit ErrorCode(std::uint32_t code) : code_(code) {}

    std::uint32_t value() const { return code_; }

private:
    std::uint32_t code_;
};

// Attaches ::Exceptions::WinErrorCode_ (the code) and ::Exceptions::Error_ (its description).
template <class E, class = std::enable_if_t<std::is_base_of_v<boost::exception, E>>>
const E& operator<<(const E& exception, const ErrorCode& code) {
    exception << ::Exceptions::WinErrorCode_(code.value())
              << ::Exceptions::Error_(errorDescription(code.value()));
    return exception;
}

} // namespace Win32
