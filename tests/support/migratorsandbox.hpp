#pragma once
// A private world for one run of the migrator program: a temporary root holding the data
// directory, the registry file that points at it, the all-users folder and a working directory,
// so that a run never touches the machine's own registry file or data. On Windows the registry
// and the all-users folder are the machine's own, which the end-to-end tests take one at a time.

#include "support/allusersfolder.hpp"
#include "support/childprocess.hpp"
#include "support/temporarydirectory.hpp"

#include <string>
#include <vector>

namespace TestSupport {

class MigratorSandbox {
public:
    // Lays out <root>/data, <root>/work and a registry file whose "DataDirectory" names the data
    // directory. The program is the migrator to run.
    explicit MigratorSandbox(const std::string& program);

    const std::string& program() const { return program_; }
    const std::string& root() const { return root_.path(); }
    const std::string& dataDirectory() const { return dataDirectory_; }
    // A path below the data directory ("conf/main.conf"), joined as the program joins it.
    std::string data(const std::string& relative) const;
    std::string workingDirectory() const { return root_ / "work"; }
    std::string registryFile() const { return root_ / "registry.reg"; }
    std::string allUsersFolder() const { return allUsers_.path(); }
    // The service's folder in the all-users folder ("Quorlin Software").
    std::string serviceFolder() const { return allUsers_.serviceFolder(); }
    // The data directory used when the registry names none.
    std::string defaultDataDirectory() const { return allUsers_.defaultDataDirectory(); }

    // Replaces the registry file with exactly this text.
    void writeRegistry(const std::string& text) const;
    // Writes a registry file whose "DataDirectory" is this REG_SZ value.
    void setDataDirectoryValue(const std::string& value) const;
    // Removes the registry file, so that the program finds no settings in the registry.
    void removeRegistry() const;

    // The options of a run of the program with these arguments in the working directory, with the
    // registry file and the all-users folder of the sandbox.
    ChildOptions options(const std::vector<std::string>& arguments) const;
    // Runs the program with options(arguments) and the input on its standard input.
    ChildResult run(const std::vector<std::string>& arguments, const std::string& input = std::string()) const;

    // The log file of the data directory; empty when there is none.
    std::string log() const;
    // Every file below the data directory whose name ends with ".new" or ".bak".
    std::vector<std::string> leftovers() const;

private:
    std::string program_;
    TemporaryDirectory root_;
    AllUsersFolder allUsers_;
    std::string dataDirectory_;
};

// The registry file text with one key holding one REG_SZ value.
std::string registryText(const std::string& valueName, const std::string& value);

} // namespace TestSupport
