#include "libs/files/paths.hpp"

#include "libs/files/exceptions.hpp"
#include "libs/files/pathencoding.hpp"
#include "libs/files/systemerrornumber.hpp"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

namespace Files {

namespace fs = boost::filesystem;

namespace {

// The type of what the path names (following links); a missing path is file_not_found. A path
// that cannot be examined (a link loop, a denied search permission) cannot be opened either:
// OpenFile with Filename_ and the error number, which names the reason.
fs::file_type typeOf(const std::string& name)
{
    boost::system::error_code failure;
    const fs::file_type type = fs::status(systemPath(name), failure).type();
    if (type == fs::status_error)
        BOOST_THROW_EXCEPTION(Exceptions::OpenFile() << Exceptions::Filename_(name)
                                                     << ::Exceptions::SystemErrorNumber(
                                                            failure.default_error_condition().value()));
    return type;
}

bool hasStatus(const std::string& name, fs::file_type wanted, boost::exception_ptr* error)
{
    try {
        return typeOf(name) == wanted;
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
    return fs::path(name).is_absolute();
}

bool isSeparator(char c)
{
    return c == '/' || c == fs::path::preferred_separator;
}

bool isPlainName(const std::string& component)
{
    const bool windowsNames = fs::path::preferred_separator == '\\';
    if (component.empty() || component == "." || component == "..")
        return false;
    for (const char c : component) {
        const auto byte = static_cast<unsigned char>(c);
        if (isSeparator(c) || byte < 0x20 || byte == 0x7F)
            return false;
        if (windowsNames && std::string("<>:\"|?*").find(c) != std::string::npos)
            return false;
    }
    return true;
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
