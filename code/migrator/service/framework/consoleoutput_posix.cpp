// POSIX terminals take UTF-8 bytes as they are.

#include "migrator/service/framework/consoleoutput.hpp"

namespace Migration::ConsoleOutput {

void useUtf8() {}

} // namespace Migration::ConsoleOutput
