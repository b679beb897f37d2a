// The Windows console shows bytes in its output code page, by default an OEM one.

#include "migrator/service/framework/consoleoutput.hpp"

#include <windows.h>

namespace Migration::ConsoleOutput {

void useUtf8() {
    SetConsoleOutputCP(CP_UTF8);
}

} // namespace Migration::ConsoleOutput
