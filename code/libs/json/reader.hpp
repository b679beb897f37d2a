#pragma once
// Typed reading of a parsed JSON document: navigation by member names with a node stack that
// gives the dotted path of the value being read, typed values that report every mismatch with
// that path, the member-loading patterns of the settings records, containers and shared objects.
//
// Records and other user types are read by a free function found by argument-dependent lookup:
//     void readJson(Json::Reader& reader, Record& value);   // the current value is the record's

#include "libs/json/document.hpp"
#include "libs/json/exceptions.hpp"
#include "libs/string/integer.hpp"

#include <boost/any.hpp>
#include <boost/noncopyable.hpp>
#include <boost/optional.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace Json {

// A name or text of the document as the tags of an exception hold it: every zero byte, which
// would end the one-line text of what() there, written as its JSON escape "\u0000".
std::string diagnosticText(const std::string& text);

struct ReaderOptions {
    // Shared objects are defined once under an anchor name and referred to by that name.
    bool anchors = false;
};

class Reader : boost::noncopyable {
public:
    using Options = ReaderOptions;

    // One entered member or element: its key (empty for elements) and its value in the tree.
    struct Node {
        std::string key;
        const rapidjson::Value* value;
    };

    // Keeps a node on the stack for its lifetime, also when the operation inside fails.
    class Scope : boost::noncopyable {
    public:
        Scope(Reader& reader, std::string key, const rapidjson::Value& value);
        ~Scope();

    private:
        Reader& reader_;
    };

    // Parses what the read function delivers (see Json::Document); the stack starts empty.
    explicit Reader(const Streaming::Reader& read, Options options = Options());
    // Parses the given text (see Json::Document).
    explicit Reader(std::string text, Options options = Options());

    const Options& options() const { return options_; }
    // The top node's value, or the root when the stack is empty.
    const rapidjson::Value& current() const;
    bool isNull() const { return current().IsNull(); }
    // The keys of the node stack from the bottom up, empty keys skipped, joined with "." and
    // written as diagnosticText writes them.
    std::string path() const;

    // Runs body with the member of that name current and returns true; returns false without
    // running it when the current value is not an object or has no such member.
    template <class Body>
    bool enterMember(const char* key, Body&& body);
    // The current value must be an object (ObjectExpected) with at least one member
    // (InvalidLabel with an empty Label_); runs body(name) with the first member current and
    // returns its result.
    template <class Body>
    auto enterFirstMember(Body&& body);
    // Runs body with each element current. The current value must be an array (ArrayExpected),
    // except at the root, where anything else has no elements.
    template <class Body>
    void forEachElement(Body&& body);
    // Runs body(name) with each member current, in document order. The current value must be an
    // object (ObjectExpected), except at the root, where anything else has no members.
    template <class Body>
    void forEachMember(Body&& body);

    // Typed values of the current value; a mismatch throws its Json::Exceptions type with
    // Key_ = path(). Booleans also accept the unsigned numbers 0 and 1; a byte is an unsigned
    // number up to 255 (Uint8OutOfRange with UintValue_ above); a string keeps every byte,
    // escaped zero bytes too.
    bool readBool() const;
    std::int32_t readInt32() const;
    std::uint32_t readUint32() const;
    std::uint8_t readUint8() const;
    std::string readString() const;

    // Loads the current value into value. JSON null gives false, 0 or the empty text. Sets
    // and byte vectors need an array (null elements are the zero value); a map needs an object whose member names are unsigned decimal numbers
    // (Uint32Expected with Key_ naming the member otherwise), each loaded into the entry of
    // that number, created with the default value.
    void load(bool& value);
    void load(std::int32_t& value);
    void load(std::uint32_t& value);
    void load(std::uint8_t& value);
    void load(std::string& value);
    template <class T>
    void load(std::set<T>& value);
    void load(std::vector<std::uint8_t>& value);
    template <class T>
    void load(std::map<unsigned int, T>& value);
    template <class T>
    void load(std::shared_ptr<const T>& value) { loadShared(value); }
    // Any other type: its readJson.
    template <class T>
    void load(T& value) { readJson(*this, value); }

    // Required member: a null current value or an absent member throws MissingKey with
    // Key_ = key (a set is left unchanged instead); otherwise the member is loaded.
    template <class T>
    void loadNode(T& value, const char* key);
    // Optional member with a default: absent or null gives fallback.
    template <class T>
    void loadNode(T& value, const char* key, const T& fallback);
    // Optional value: absent leaves it unchanged, null empties it, else it holds the member.
    template <class T>
    void loadNode(boost::optional<T>& value, const char* key);
    // Optional member keeping the current value when absent.
    template <class T>
    void loadIfPresent(T& value, const char* key);

    // A shared object: with anchors off a new object loaded from the current value; with them
    // on, see loadSharedAnchored.
    template <class T>
    void loadShared(std::shared_ptr<const T>& value);
    // A string names an earlier definition (BadAnchor with Anchor_ when there is none,
    // boost::bad_any_cast when it holds another type); an object's first member defines a new
    // object under the member's name.
    template <class T>
    void loadSharedAnchored(std::shared_ptr<const T>& value);

private:
    const rapidjson::Value* findMember(const char* key) const;
    bool atRoot() const { return nodes_.empty(); }
    template <class Exception>
    [[noreturn]] void fail() const;

    Options options_;
    Document document_;
    std::vector<Node> nodes_;
    std::map<std::string, boost::any> anchors_;
};

namespace Detail {
template <class T>
struct IsSet : std::false_type {};
template <class T>
struct IsSet<std::set<T>> : std::true_type {};
} // namespace Detail

template <class Exception>
void Reader::fail() const
{
    BOOST_THROW_EXCEPTION(Exception() << Exceptions::Key_(path()));
}

template <class Body>
bool Reader::enterMember(const char* key, Body&& body)
{
    const rapidjson::Value* member = findMember(key);
    if (member == nullptr)
        return false;
    Scope scope(*this, key, *member);
    body();
    return true;
}

template <class Body>
auto Reader::enterFirstMember(Body&& body)
{
    const rapidjson::Value& value = current();
    if (!value.IsObject())
        fail<Exceptions::ObjectExpected>();
    if (value.MemberBegin() == value.MemberEnd())
        BOOST_THROW_EXCEPTION(Exceptions::InvalidLabel() << Exceptions::Label_(std::string())
                                                         << Exceptions::Key_(path()));
    const auto& first = *value.MemberBegin();
    std::string name(first.name.GetString(), first.name.GetStringLength());
    Scope scope(*this, name, first.value);
    return body(name);
}

template <class Body>
void Reader::forEachElement(Body&& body)
{
    const rapidjson::Value& value = current();
    if (!value.IsArray()) {
        if (atRoot())
            return;
        fail<Exceptions::ArrayExpected>();
    }
    for (const auto& element : value.GetArray()) {
        Scope scope(*this, std::string(), element);
        body();
    }
}

template <class Body>
void Reader::forEachMember(Body&& body)
{
    const rapidjson::Value& value = current();
    if (!value.IsObject()) {
        if (atRoot())
            return;
        fail<Exceptions::ObjectExpected>();
    }
    for (const auto& member : value.GetObject()) {
        std::string name(member.name.GetString(), member.name.GetStringLength());
        Scope scope(*this, name, member.value);
        body(name);
    }
}

template <class T>
void Reader::load(std::set<T>& value)
{
    if (isNull())
        fail<Exceptions::ArrayExpected>();
    value.clear();
    forEachElement([&] {
        T element{};
        load(element);
        value.insert(std::move(element));
    });
}

template <class T>
void Reader::load(std::map<unsigned int, T>& value)
{
    forEachMember([&](const std::string& name) {
        unsigned int number = 0;
        if (!String::tryIntegerFromDec(name, number, true))
            fail<Exceptions::Uint32Expected>();
        load(value.try_emplace(number).first->second);
    });
}

template <class T>
void Reader::loadNode(T& value, const char* key)
{
    const bool entered = enterMember(key, [&] { load(value); });
    if (entered || Detail::IsSet<T>::value)
        return;
    BOOST_THROW_EXCEPTION(Exceptions::MissingKey() << Exceptions::Key_(key));
}

template <class T>
void Reader::loadNode(T& value, const char* key, const T& fallback)
{
    const bool entered = enterMember(key, [&] {
        if (isNull())
            value = fallback;
        else
            load(value);
    });
    if (!entered)
        value = fallback;
}

template <class T>
void Reader::loadNode(boost::optional<T>& value, const char* key)
{
    enterMember(key, [&] {
        if (isNull()) {
            value = boost::none;
            return;
        }
        T loaded{};
        load(loaded);
        value = std::move(loaded);
    });
}

template <class T>
void Reader::loadIfPresent(T& value, const char* key)
{
    enterMember(key, [&] { load(value); });
}

template <class T>
void Reader::loadShared(std::shared_ptr<const T>& value)
{
    if (options_.anchors) {
        loadSharedAnchored(value);
        return;
    }
    auto object = std::make_shared<T>();
    load(*object);
    value = std::move(object);
}

template <class T>
void Reader::loadSharedAnchored(std::shared_ptr<const T>& value)
{
    if (current().IsString()) {
        const std::string name = readString();
        const auto found = anchors_.find(name);
        if (found == anchors_.end())
            BOOST_THROW_EXCEPTION(Exceptions::BadAnchor() << Exceptions::Anchor_(diagnosticText(name))
                                                          << Exceptions::Key_(path()));
        value = boost::any_cast<std::shared_ptr<const T>>(found->second);
        return;
    }
    enterFirstMember([&](const std::string& name) {
        auto object = std::make_shared<T>();
        load(*object);
        std::shared_ptr<const T> shared = std::move(object);
        anchors_[name] = shared;
        value = std::move(shared);
    });
}

} // namespace Json
