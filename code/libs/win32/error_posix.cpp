#include "libs/win32/error.hpp"

#include "libs/string/text.hpp"

#include <cerrno>
#include <climits>
#include <cstring>

namespace Win32 {

ErrorCode::ErrorCode() : code_(static_cast<std::uint32_t>(errno)) {}

std::string errorDescription(std::uint32_t code) {
    if (code > static_cast<std::uint32_t>(INT_MAX)) {
        return std::string();
    }
    const char* text = strerrordesc_np(static_cast<int>(code));
    return text ? String::trim(text) : std::string();
}

} // namespace Win32
