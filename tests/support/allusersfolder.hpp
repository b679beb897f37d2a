#pragma once
// The all-users application data folder of the migrator runs of one sandbox: on POSIX a folder
// of the sandbox, named to the program by QELT_COMMON_APPDATA; on Windows the shell's folder
// of the machine, which no environment moves, so that the sandbox takes the service's folder
// in it for its lifetime.

#include <map>
#include <string>

namespace TestSupport {

class AllUsersFolder {
public:
    // On POSIX <sandboxRoot>/appdata, which the program creates when missing. On Windows the
    // shell's folder; throws std::runtime_error when the service's folder ("Quorlin Software")
    // is there already, since it is then not the test's to change.
    explicit AllUsersFolder(const std::string& sandboxRoot);
    AllUsersFolder(const AllUsersFolder&) = delete;
    AllUsersFolder& operator=(const AllUsersFolder&) = delete;
    // On Windows removes the service's folder that the test or the runs made; never throws.
    ~AllUsersFolder();

    const std::string& path() const { return path_; }
    // The service's folder in it, "Quorlin Software".
    std::string serviceFolder() const;
    // The data directory that the program uses when the registry names none:
    // "Quorlin Software/Qelt/Service" below this folder.
    std::string defaultDataDirectory() const;
    // Adds to a child's environment what the program needs to use this folder.
    void addTo(std::map<std::string, std::string>& environment) const;

private:
    std::string path_;
};

} // namespace TestSupport
