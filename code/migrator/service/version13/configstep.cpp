#include "migrator/service/version13/configstep.hpp"

#include "migrator/service/replacement/companions.hpp"

#include "migrator/service/version13/service13.hpp"
#include "migrator/service/version13/steps.hpp"

#include "libs/config/settings/version.hpp"
#include "libs/string/text.hpp"
#include "shared/service/servicesettingswriter.hpp"

#include <algorithm>

namespace Migration {

CentralServers builtInCentralServers() {
    return {QELT_CENTRAL_SERVER, QELT_LEGACY_SERVER, QELT_LEGACY_SERVER_IP, QELT_ALTERNATIVE_SERVER};
}

std::vector<std::string> migratedServerAddresses(const std::vector<std::string>& configured,
                                                 const CentralServers& servers) {
    const auto isLegacy = [&servers](const std::string& address) {
        return String::compareNoCase(address, servers.primary) == 0 ||
               String::compareNoCase(address, servers.legacyHost) == 0 ||
               String::compareNoCase(address, servers.legacyIp) == 0;
    };
    const bool legacy = std::any_of(configured.begin(), configured.end(), isLegacy);
    return {legacy ? servers.primary : servers.alternative};
}

void Service13::migrateConfig() {
    const std::string file = ServiceFiles::configuration.in(dataDirectory_);
    ProgressStep step(progress(), stepLabel(Step::Config), 1);
    progress().beginFile(ServiceFiles::configuration.shown(), file);
    addFileToReplace(file);
    settings_.server.addresses = migratedServerAddresses(settings_.server.addresses, builtInCentralServers());
    settings_.version = Config::currentConfigVersion;
    Config::writeServiceSettings(settings_, originalSettings_, file + newSuffix);
    progress().fileDone();
}

} // namespace Migration
