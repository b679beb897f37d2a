#include "libs/config/logsettings/logsettings.hpp"

#include "libs/files/paths.hpp"
#include "libs/string/text.hpp"

namespace Log {
namespace {

std::string keyFor(const std::string& prefix, const std::string& word) {
    return prefix.empty() ? word : prefix + "." + word;
}

std::string readFileName(const Config::SettingMap& settings, const std::string& prefix) {
    std::string fileName;
    if (!settings.tryGet(keyFor(prefix, "logfile"), fileName) || fileName.empty()) {
        return std::string();
    }
    std::string directory;
    if (!isStreamName(fileName) && Files::parentPath(fileName).empty() &&
        settings.tryGet("prefix.log", directory)) {
        return Files::join(directory, fileName);
    }
    return fileName;
}

template <class Value>
std::optional<Value> readName(const Config::SettingMap& settings, const std::string& key,
                              bool (*fromName)(const std::string&, Value&)) {
    std::string text;
    Value value{};
    if (settings.tryGet(key, text) && fromName(String::toLower(text), value)) {
        return value;
    }
    return std::nullopt;
}

std::optional<bool> readFlag(const Config::SettingMap& settings, const std::string& key) {
    std::string text;
    bool flag = false;
    if (settings.tryGet(key, text) && Config::tryConvert(text, flag)) {
        return flag;
    }
    return std::nullopt;
}

} // namespace

Settings readSettings(const Config::SettingMap& settings, const std::string& prefix) {
    Settings result;
    result.fileName = readFileName(settings, prefix);
    result.level = readName<Level>(settings, keyFor(prefix, "loglevel"), &levelFromName);
    result.verbosity =
        readName<Verbosity>(settings, keyFor(prefix, "logverbosity"), &verbosityFromName);
    result.localTime = readFlag(settings, keyFor(prefix, "loglocaltime"));
    result.performance = readFlag(settings, keyFor(prefix, "logperformance"));
    return result;
}

void start(const Config::SettingMap& settings, const std::string& name, const std::string& prefix,
           const std::string& fileName, const std::string& directory, Verbosity verbosity,
           Level level, bool localTime, bool performance) {
    const SettingsReader read = [&settings](const std::string& settingsPrefix) {
        return readSettings(settings, settingsPrefix);
    };
    start(read, name, prefix, fileName, directory, verbosity, level, localTime, performance);
}

} // namespace Log
