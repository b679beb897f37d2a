// The shell's all-users folder, shared by every run on the machine: the end-to-end tests run
// one at a time, and each sandbox leaves the service's folder in it as it found it (absent).

#include "support/allusersfolder.hpp"

#include "libs/win32/file/folderpath.hpp"

#include <boost/filesystem/operations.hpp>

#include <stdexcept>

namespace TestSupport {

AllUsersFolder::AllUsersFolder(const std::string&)
    : path_(Win32::Files::folderPath(Win32::Files::Folder::CommonAppData)) {
    boost::system::error_code error;
    if (boost::filesystem::exists(boost::filesystem::symlink_status(serviceFolder(), error)))
        throw std::runtime_error(serviceFolder() + " exists: the end-to-end tests need a machine without "
                                 "the service (a throw-away Wine prefix, as scripts/test-windows makes)");
}

AllUsersFolder::~AllUsersFolder() {
    boost::system::error_code error;
    boost::filesystem::remove_all(serviceFolder(), error);
}

void AllUsersFolder::addTo(std::map<std::string, std::string>&) const {}

} // namespace TestSupport
