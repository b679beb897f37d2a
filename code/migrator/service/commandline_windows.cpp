// The Windows command line in UTF-16, split into arguments by the shell's rules.

#include "migrator/service/commandline.hpp"

#include "libs/string/unicode.hpp"

#include <windows.h>
#include <shellapi.h>

#include <memory>

namespace Migration::CommandLine {

std::vector<std::string> arguments(int argc, const char* const argv[]) {
    int count = 0;
    const std::unique_ptr<wchar_t*, HLOCAL (*)(HLOCAL)> wide(CommandLineToArgvW(GetCommandLineW(), &count),
                                                              [](HLOCAL memory) { return LocalFree(memory); });
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i)
        result.push_back(String::utf16ToUtf8Lenient(reinterpret_cast<const char16_t*>(wide.get()[i])));
    return result;
}

} // namespace Migration::CommandLine
