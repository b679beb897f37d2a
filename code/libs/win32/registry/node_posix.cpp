#include "libs/win32/registry/node.hpp"

#include "libs/files/file.hpp"
#include "libs/string/text.hpp"
#include "libs/win32/error.hpp"
#include "libs/win32/exceptions.hpp"
#include "libs/win32/registry/registryfile.hpp"

#include <boost/exception/get_error_info.hpp>

#include <sys/stat.h>

#include <cerrno>

namespace Win32::Registry {

struct OpenedKey {
    RegistryFile::Values values;
};

namespace {

Exceptions::AccessRegistry accessFailure(const std::string& key, std::uint32_t code,
                                         const std::string& text) {
    Exceptions::AccessRegistry failure;
    failure << Exceptions::Key_(key) << ::Exceptions::WinErrorCode_(code)
            << ::Exceptions::Error_(text);
    return failure;
}

std::string unreadable(const std::string& file, std::uint32_t code) {
    return "cannot read the registry file " + file + ": " + errorDescription(code);
}

std::string readFileContent(const std::string& file, const std::string& key) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        const int number = errno;
        if (number == ENOENT || number == ENOTDIR) {
            BOOST_THROW_EXCEPTION(Exceptions::NotFound() << Exceptions::Key_(key));
        }
        BOOST_THROW_EXCEPTION(accessFailure(key, static_cast<std::uint32_t>(number),
                                            unreadable(file, static_cast<std::uint32_t>(number))));
    }
    try {
        ::Files::File input(file, ::Files::Flags::Read);
        std::string content;
        ::Files::readAll(input, content);
        return content;
    } catch (const ::Files::Exceptions::Exception& e) {
        const int* number = boost::get_error_info<::Exceptions::SystemErrorCode_>(e);
        const std::uint32_t code = static_cast<std::uint32_t>(number ? *number : EIO);
        BOOST_THROW_EXCEPTION(accessFailure(key, code, unreadable(file, code)));
    } catch (const std::exception&) {
        BOOST_THROW_EXCEPTION(accessFailure(key, EIO, unreadable(file, EIO)));
    }
}

} // namespace

// The registry file is only read: a writable open is refused.
std::shared_ptr<const OpenedKey> openKey(Root parent, const std::string& path, bool writable, const void*) {
    const std::string key = keyName(parent, path, std::string());
    const std::string file = RegistryFile::location();
    if (writable) {
        BOOST_THROW_EXCEPTION(accessFailure(key, EROFS, "the registry file " + file + " is read-only"));
    }
    RegistryFile::Hive hive;
    RegistryFile::ParseFailure failure;
    if (!hive.parse(readFileContent(file, key), failure)) {
        BOOST_THROW_EXCEPTION(accessFailure(key, EINVAL,
                                            "registry file " + file + ", line " +
                                                std::to_string(failure.line) + ": " +
                                                failure.reason));
    }
    if (!hive.hasKey(parent, path)) {
        BOOST_THROW_EXCEPTION(Exceptions::NotFound() << Exceptions::Key_(key));
    }
    return std::make_shared<const OpenedKey>(OpenedKey{hive.values(parent, path)});
}

bool NodeImpl::tryRead(const std::string& valueName, ValueType::Enum type,
                       std::string& output) const {
    const RegistryFile::Values& values = readingKey().values;
    const auto it = values.find(String::toLower(valueName));
    if (it == values.end() || it->second.type != type) {
        return false;
    }
    const std::string& data = it->second.data;
    output = textOfValueData(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    return true;
}

} // namespace Win32::Registry
