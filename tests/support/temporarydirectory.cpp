#include "support/temporarydirectory.hpp"

#include "support/platform.hpp"

#include <boost/filesystem.hpp>

namespace TestSupport {

namespace fs = boost::filesystem;

TemporaryDirectory::TemporaryDirectory() {
    const fs::path path = fs::temp_directory_path() / fs::unique_path("qelt-test-%%%%-%%%%-%%%%-%%%%");
    fs::create_directories(path);
    path_ = path.string();
}

TemporaryDirectory::~TemporaryDirectory() {
    boost::system::error_code error;
    for (fs::recursive_directory_iterator it(path_, error), end; !error && it != end; it.increment(error)) {
        const fs::file_type type = it->symlink_status(error).type();
        if (type == fs::directory_file)
            fs::permissions(it->path(), fs::add_perms | fs::owner_all, error);
        else if (type == fs::regular_file)
            fs::permissions(it->path(), fs::add_perms | fs::owner_write, error);
    }
    fs::remove_all(path_, error);
}

std::string TemporaryDirectory::operator/(const std::string& relative) const {
    return joinPath(path_, relative);
}

} // namespace TestSupport
