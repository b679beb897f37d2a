#include "libs/files/paths.hpp"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

namespace Files {

namespace fs = boost::filesystem;

namespace {

bool hasStatus(const std::string& name, fs::file_type wanted, boost::exception_ptr* error)
{
    try {
        return fs::status(name).type() == wanted;
    } catch (const std::exception&) {
        if (error != nullptr)
            *error = boost::current_exception();
        return false;
    }
}

} // namespace

std::string join(const std::string& a, const std::string& b)
{
    return (fs::path(a) / b).string();
}

std::string join(const std::string& a, const std::string& b, const std::string& c)
{
    return (fs::path(a) / b / c).string();
}

std::string parentPath(const std::string& name)
{
    return fs::path(name).parent_path().string();
}

std::string filename(const std::string& name)
{
    return fs::path(name).filename().string();
}

std::string systemComplete(const std::string& name)
{
    return fs::system_complete(name).string();
}

bool isAbsolute(const std::string& name)
{
    return fs::path(name).has_root_directory();
}

bool isFile(const std::string& name, boost::exception_ptr* error)
{
    return hasStatus(name, fs::regular_file, error);
}

bool isDirectory(const std::string& name, boost::exception_ptr* error)
{
    return hasStatus(name, fs::directory_file, error);
}

} // namespace Files
