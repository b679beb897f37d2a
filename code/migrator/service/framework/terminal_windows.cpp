// The Windows console calls: the console mode tells a console from a file or pipe, the screen
// buffer gives the width, and the text goes out through WriteConsoleW so that it shows the same
// whatever the console's code page. The progress line's control sequences need the console's
// terminal processing, switched on before the first write.

#include "migrator/service/framework/terminal.hpp"

#include "libs/string/unicode.hpp"

#include <windows.h>
#include <io.h>

namespace Migration::Terminal {
namespace {

HANDLE consoleHandle(int descriptor) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

} // namespace

int standardError() {
    return 2;
}

bool isTerminal(int descriptor) {
    DWORD mode = 0;
    return GetConsoleMode(consoleHandle(descriptor), &mode) != 0;
}

std::size_t columns(int descriptor) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(consoleHandle(descriptor), &info))
        return 0;
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

std::ptrdiff_t write(int descriptor, const char* bytes, std::size_t count) {
    const HANDLE console = consoleHandle(descriptor);
    DWORD mode = 0;
    if (!GetConsoleMode(console, &mode))
        return -1;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0)
        SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    const std::u16string text = String::utf8ToUtf16Lenient(std::string_view(bytes, count));
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return -1;
    return static_cast<std::ptrdiff_t>(count);
}

} // namespace Migration::Terminal
