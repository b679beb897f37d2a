#include "libs/win32/registry/node.hpp"

#include "libs/files/file.hpp"
#include "libs/string/text.hpp"
#include "libs/string/unicode.hpp"
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

std::shared_ptr<const OpenedKey> openKey(Root parent, const std::string& path) {
    const std::string key = keyName(parent, path, std::string());
    const std::string file = RegistryFile::location();
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

std::string stringFromUtf16Bytes(const std::string& bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    while (!units.empty() && units.back() == 0) {
        units.pop_back();
    }
    return String::utf16ToUtf8Lenient(units);
}

} // namespace

void NodeImpl::reset(Root parent, const std::string& path, bool writable, const void*) {
    key_.reset();
    parent_ = NoRoot;
    path_.clear();
    writable_ = false;
    if (parent == NoRoot) {
        return;
    }
    if (writable) {
        BOOST_THROW_EXCEPTION(accessFailure(keyName(parent, path, std::string()), EROFS,
                                            "the registry file " + RegistryFile::location() +
                                                " is read-only"));
    }
    key_ = openKey(parent, path);
    writable_ = writable;
    parent_ = parent;
    path_ = path;
}

const OpenedKey& NodeImpl::readingKey() const {
    if (!key_) {
        BOOST_THROW_EXCEPTION(Exceptions::NotOpened());
    }
    return *key_;
}

bool NodeImpl::tryRead(const std::string& valueName, ValueType::Enum type,
                       std::string& output) const {
    const RegistryFile::Values& values = readingKey().values;
    const auto it = values.find(String::toLower(valueName));
    if (it == values.end() || it->second.type != type) {
        return false;
    }
    output = stringFromUtf16Bytes(it->second.data);
    return true;
}

template <>
void NodeImpl::read<std::string>(const std::string& valueName, ValueType::Enum type,
                                 std::string& output) const {
    if (!tryRead(valueName, type, output)) {
        BOOST_THROW_EXCEPTION(Exceptions::NotFound()
                              << Exceptions::Key_(keyName(parent_, path_, valueName)));
    }
}

Node::Node() : impl_(std::make_shared<NodeImpl>()) {}

Node::Node(Root root, const std::string& path, bool writable, const void* securityAttributes)
    : Node() {
    impl_->reset(root, path, writable, securityAttributes);
}

void Node::read(const std::string& valueName, std::string& output) const {
    impl_->read(valueName, ValueType::String, output);
}

} // namespace Win32::Registry
