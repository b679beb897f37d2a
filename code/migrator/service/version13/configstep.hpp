#pragma once
// The central-server address rule of the configuration migration. The four addresses are fixed
// when the program is built.

#include <string>
#include <vector>

namespace Migration {

struct CentralServers {
    std::string primary;
    std::string legacyHost;
    std::string legacyIp;
    std::string alternative;
};

// The addresses this program was built with.
CentralServers builtInCentralServers();

// The one address that replaces a configured list: the primary address when any item equals
// (ignoring ASCII letter case) the primary or one of the legacy addresses, else the alternative.
std::vector<std::string> migratedServerAddresses(const std::vector<std::string>& configured,
                                                 const CentralServers& servers);

} // namespace Migration
