// The service data migrator: upgrades the service's data directory to the current data version.

#include "migrator/service/commandline.hpp"
#include "migrator/service/framework/consoleoutput.hpp"
#include "migrator/service/entry.hpp"
#include "migrator/service/framework/service.hpp"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    Migration::ConsoleOutput::useUtf8();
    try {
        const std::vector<std::string> arguments = Migration::CommandLine::arguments(argc, argv);
        std::vector<const char*> pointers;
        for (const std::string& argument : arguments)
            pointers.push_back(argument.c_str());
        pointers.push_back(nullptr);
        return Migration::runMigrator(static_cast<int>(arguments.size()), pointers.data());
    } catch (const std::exception& e) {
        std::cerr << "Error: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "Error: unknown failure" << std::endl;
    }
    return Migration::MigrationFailed;
}
