// The service data migrator: upgrades the service's data directory to the current data version.

#include "migrator/service/framework/consoleoutput.hpp"
#include "migrator/service/entry.hpp"
#include "migrator/service/framework/service.hpp"

#include <exception>
#include <iostream>

int main(int argc, char* argv[]) {
    Migration::ConsoleOutput::useUtf8();
    try {
        return Migration::runMigrator(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "Error: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "Error: unknown failure" << std::endl;
    }
    return Migration::MigrationFailed;
}
