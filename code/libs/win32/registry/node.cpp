#include "libs/win32/registry/node.hpp"

#include "libs/string/unicode.hpp"
#include "libs/win32/exceptions.hpp"

namespace Win32::Registry {

void NodeImpl::reset(Root parent, const std::string& path, bool writable, const void* securityAttributes) {
    key_.reset();
    parent_ = NoRoot;
    path_.clear();
    writable_ = false;
    if (parent == NoRoot) {
        return;
    }
    key_ = openKey(parent, path, writable, securityAttributes);
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

std::string textOfValueData(const unsigned char* data, std::size_t bytes) {
    std::u16string units(bytes / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
    while (!units.empty() && units.back() == 0) {
        units.pop_back();
    }
    return String::utf16ToUtf8Lenient(units);
}

} // namespace Win32::Registry
