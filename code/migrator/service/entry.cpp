#include "migrator/service/entry.hpp"

#include "migrator/service/version13/service13.hpp"
#include "migrator/service/version13/steps.hpp"

#include "libs/config/inifile/inifile.hpp"
#include "libs/config/logsettings/logsettings.hpp"
#include "libs/config/settings/settings.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"
#include "libs/log/logger.hpp"
#include "libs/win32/exceptions.hpp"
#include "libs/win32/file/folderpath.hpp"
#include "libs/win32/registry/node.hpp"

#include <exception>

namespace Migration {

namespace {

const char* const registryKey = "Software\\Quorlin Software\\Qelt\\Service\\Settings";
const char* const applicationName = "migrator";

} // namespace

std::string readRegistrySetting(const std::string& valueName) {
    try {
        const Win32::Registry::Node node(Win32::Registry::LocalMachine, registryKey, false, nullptr);
        std::string value;
        try {
            node.read(valueName, value);
        } catch (const Win32::Registry::Exceptions::NotFound&) {
            return std::string();
        }
        return value;
    } catch (const std::exception& e) {
        Log::mainLogger().write(Log::Info, Log::Debug, "read " + valueName + " from registry: " + e.what());
    }
    return std::string();
}

std::string dataDirectory() {
    const std::string configured = readRegistrySetting("DataDirectory");
    if (!configured.empty())
        return configured;
    const std::string directory =
        Files::join(Win32::Files::allUsersAppDataPath(), Files::join("Quorlin Software", "Qelt", "Service"));
    Files::createDirectory(directory);
    Log::mainLogger().write(Log::Info, Log::Debug, "using default data directory " + directory);
    return directory;
}

int runMigrator(int argc, const char* const argv[]) {
    const std::string data = dataDirectory();
    const std::string logDirectory = Files::join(data, "log");
    const std::string configFile = ServiceFiles::configuration.in(data);
    Config::SettingMap settings;
    if (!Config::tryReadIniFile(configFile, settings))
        Config::tryReadIniFile(ServiceFiles::configuration.name, settings);
    Log::start(settings, applicationName, "", "migrator.log", logDirectory, Log::Normal, Log::Info, true, false);
    Service13 migrator(configFile, applicationName, data);
    return migrator.run(argc, argv);
}

} // namespace Migration
