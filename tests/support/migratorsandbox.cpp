#include "support/migratorsandbox.hpp"

#include "support/filecontent.hpp"
#include "support/platform.hpp"
#include "support/registrysetting.hpp"

#include <boost/filesystem/operations.hpp>

namespace TestSupport {

namespace {

const char* const registryKeyLine = "[HKEY_LOCAL_MACHINE\\Software\\Quorlin Software\\Qelt\\Service\\Settings]\n";

std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            result += '\\';
        result += c;
    }
    return result + "\"";
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

std::string registryText(const std::string& valueName, const std::string& value) {
    return std::string("Windows Registry Editor Version 5.00\n\n") + registryKeyLine + quoted(valueName) + "=" +
           quoted(value) + "\n";
}

MigratorSandbox::MigratorSandbox(const std::string& program)
    : program_(program), allUsers_(root_.path()), dataDirectory_(root_ / "data") {
    boost::filesystem::create_directories(dataDirectory_);
    boost::filesystem::create_directories(workingDirectory());
    setDataDirectoryValue(dataDirectory_);
}

std::string MigratorSandbox::data(const std::string& relative) const {
    return joinPath(dataDirectory_, relative);
}

void MigratorSandbox::writeRegistry(const std::string& text) const {
    RegistrySetting::apply(registryFile(), text);
}

void MigratorSandbox::removeRegistry() const {
    RegistrySetting::remove(registryFile());
}

void MigratorSandbox::setDataDirectoryValue(const std::string& value) const {
    writeRegistry(registryText("DataDirectory", value));
}

ChildOptions MigratorSandbox::options(const std::vector<std::string>& arguments) const {
    ChildOptions options;
    options.arguments = arguments;
    options.environment["QELT_REGISTRY_FILE"] = registryFile();
    allUsers_.addTo(options.environment);
    options.workingDirectory = workingDirectory();
    return options;
}

ChildResult MigratorSandbox::run(const std::vector<std::string>& arguments, const std::string& input) const {
    ChildOptions child = options(arguments);
    child.input = input;
    return runChild(program_, child);
}

std::string MigratorSandbox::log() const {
    const std::string path = data("log/migrator.log");
    return exists(path) ? readFile(path) : std::string();
}

std::vector<std::string> MigratorSandbox::leftovers() const {
    std::vector<std::string> found;
    for (const std::string& file : listFiles(dataDirectory_)) {
        if (endsWith(file, ".new") || endsWith(file, ".bak"))
            found.push_back(file);
    }
    return found;
}

} // namespace TestSupport
