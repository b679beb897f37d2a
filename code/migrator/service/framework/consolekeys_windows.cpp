// The Windows single-key read: _getch on a console (no echo, no Enter needed), one byte of
// standard input otherwise, so keys can be piped in.

#include "migrator/service/framework/consolekeys.hpp"

#include <windows.h>
#include <conio.h>
#include <io.h>

namespace Migration {

namespace {

bool inputIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

// A function or arrow key comes as a prefix and a second code; it selects no command.
std::optional<char> readConsoleKey() {
    const int key = _getch();
    if (key == EOF)
        return std::nullopt;
    if (key == 0 || key == 0xE0) {
        _getch();
        return '\0';
    }
    return static_cast<char>(key);
}

std::optional<char> readOneByte() {
    char key = 0;
    if (_read(0, &key, 1) == 1)
        return key;
    return std::nullopt;
}

} // namespace

std::optional<char> ConsoleKeys::readKey() {
    return inputIsConsole() ? readConsoleKey() : readOneByte();
}

} // namespace Migration
