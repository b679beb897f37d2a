#pragma once
// Read access to one registry key and its string values. On POSIX the registry is the file
// that RegistryFile::location() names.

#include "libs/win32/registry/key.hpp"

#include <cstddef>
#include <memory>
#include <string>

namespace Win32::Registry {

// The opened state of a key as the platform holds it.
struct OpenedKey;

// Opens `path` below `parent` (not NoRoot) the platform's way, for writing (creating it when
// missing) when writable. Throws what NodeImpl::reset describes.
std::shared_ptr<const OpenedKey> openKey(Root parent, const std::string& path, bool writable,
                                         const void* securityAttributes);

// The text of a string value's data: little-endian UTF-16 units (an odd last byte ignored),
// trailing zero units dropped, converted to UTF-8 (unpaired surrogates replaced).
std::string textOfValueData(const unsigned char* data, std::size_t bytes);

// One registry key: the parent it was opened under, its path and the opened key, shared by
// every copy of the Node that holds it.
class NodeImpl {
public:
    // An unopened node: no key, no parent, an empty path.
    NodeImpl() = default;

    // Lets go of the key held so far, then opens `path` below `parent` (NoRoot leaves the node
    // unopened). Throws Exceptions::NotFound with Key_ when the key (or on POSIX the registry
    // file) does not exist, Exceptions::AccessRegistry with Key_, WinErrorCode_ and Error_ for
    // any other failure; a writable open is refused on POSIX with AccessRegistry.
    void reset(Root parent, const std::string& path, bool writable, const void* securityAttributes);

    // The opened key; throws Exceptions::NotOpened when the node holds none.
    const OpenedKey& readingKey() const;

    // True and `output` set (trailing zero units dropped, converted to UTF-8) when the key has
    // a value of that name and exactly that type; false and `output` untouched otherwise.
    // Throws Exceptions::NotOpened on an unopened node.
    bool tryRead(const std::string& valueName, ValueType::Enum type, std::string& output) const;

    // tryRead; false becomes Exceptions::NotFound with Key_ naming the value.
    template <class T>
    void read(const std::string& valueName, ValueType::Enum type, T& output) const;

    Root parent() const { return parent_; }
    const std::string& path() const { return path_; }
    bool writable() const { return writable_; }

private:
    bool writable_ = false;
    Root parent_ = NoRoot;
    std::string path_;
    std::shared_ptr<const OpenedKey> key_;
};

template <>
void NodeImpl::read<std::string>(const std::string& valueName, ValueType::Enum type,
                                 std::string& output) const;

// The handle callers hold; copies share one NodeImpl.
class Node {
public:
    // An unopened node.
    Node();
    // Opens the key as NodeImpl::reset does and throws what it throws.
    Node(Root root, const std::string& path, bool writable = false,
         const void* securityAttributes = nullptr);

    // Reads the REG_SZ value of that name ("" is the default value). A value of any other type
    // counts as missing: throws Exceptions::NotFound with Key_ naming the value, or
    // Exceptions::NotOpened on an unopened node.
    void read(const std::string& valueName, std::string& output) const;

    NodeImpl& impl() const { return *impl_; }

private:
    std::shared_ptr<NodeImpl> impl_;
};

} // namespace Win32::Registry
