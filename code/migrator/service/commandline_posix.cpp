// POSIX hands the program its arguments as the bytes they were given in.

#include "migrator/service/commandline.hpp"

namespace Migration::CommandLine {

std::vector<std::string> arguments(int argc, const char* const argv[]) {
    return std::vector<std::string>(argv, argv + argc);
}

} // namespace Migration::CommandLine
