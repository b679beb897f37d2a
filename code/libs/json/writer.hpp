#pragma once
// Compact JSON output of typed records: members are written inside scopes that open their
// object only when its first member is written, a member whose value wrote nothing becomes
// "null", and the member writers leave out empty and default values.
//
// Records and other user types are written by a free function found by argument-dependent
// lookup, which writes the record's members:
//     void writeJson(Json::Writer& writer, const Record& value);

#include "libs/files/streaming.hpp"
#include "libs/string/integer.hpp"

#include <boost/noncopyable.hpp>
#include <boost/optional.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace Json {

namespace Detail {
class TokenWriter;
}

struct WriterOptions {
    // A shared object is written in full once and by its anchor name after that.
    bool anchors = false;
    // Kept for callers that ask for it; the output is compact in every case.
    bool compact = false;
};

class Writer : boost::noncopyable {
public:
    using Options = WriterOptions;

    // Writes through write, which gets the output in pieces; nothing is written yet.
    explicit Writer(Streaming::Writer write, Options options = Options());
    // Drops output not handed over by finish(). Never throws.
    ~Writer();

    const Options& options() const { return options_; }
    // Number of tokens (values, keys, starts and ends) written so far.
    std::uint64_t written() const { return written_; }
    // The keys of the members being written, joined with ".".
    std::string path() const;

    // Closes the root object if one was opened and hands the rest of the output to the write
    // function with the last flag set. Failures of the write function propagate.
    void finish();

    // Scalar and structural tokens; strings with RapidJSON's escaping.
    void writeNull();
    void writeBool(bool value);
    void writeInt32(std::int32_t value);
    void writeUint32(std::uint32_t value);
    void writeString(const std::string& value);
    void startArray();
    void endArray();
    // Opens the object of the innermost scope unless it is open already.
    void openObject();

    // Writes key and the value that body writes ("null" when it writes nothing) as a member of
    // the innermost scope's object, opening that object first if needed.
    template <class Body>
    void member(const std::string& key, Body&& body);

    // The value alone, whatever it holds: sets and byte vectors as arrays, an optional only when it holds a value, a map as an object of its entries in ascending
    // key order (nothing for an empty map), any other type by its writeJson.
    void save(bool value) { writeBool(value); }
    void save(std::int32_t value) { writeInt32(value); }
    void save(std::uint32_t value) { writeUint32(value); }
    void save(const std::string& value) { writeString(value); }
    template <class T>
    void save(const std::set<T>& value);
    void save(const std::vector<std::uint8_t>& value);
    template <class T>
    void save(const boost::optional<T>& value);
    template <class T>
    void save(const std::map<unsigned int, T>& value);
    template <class T>
    void save(const std::shared_ptr<const T>& value) { saveShared(value); }
    template <class T>
    void save(const T& value) { writeJson(*this, value); }

    // The member when its value is to be written: strings, sets, byte vectors and maps when not
    // empty, optionals when they hold a value, everything else always.
    template <class T>
    void saveNode(const T& value, const char* key);
    // The member only when its value differs from fallback.
    template <class T>
    void saveNode(const T& value, const char* key, const T& fallback);

    // Nothing for a null pointer; with anchors off the object in full; with them on the anchor
    // name of an object written before, else an object whose one member, named by path(),
    // holds the object in full.
    template <class T>
    void saveShared(const std::shared_ptr<const T>& value);

    // Writes the members of a record one after the other:
    //     writer.chain()(rule.name, "name")(rule.port, "port", 104);
    class Chain {
    public:
        explicit Chain(Writer& writer) : writer_(writer) {}
        template <class T>
        Chain& operator()(const T& value, const char* key)
        {
            writer_.saveNode(value, key);
            return *this;
        }
        template <class T>
        Chain& operator()(const T& value, const char* key, const T& fallback)
        {
            writer_.saveNode(value, key, fallback);
            return *this;
        }

    private:
        Writer& writer_;
    };
    Chain chain() { return Chain(*this); }

private:
    struct Scope {
        std::string key;
        bool opened;
    };

    void writeKey(const std::string& key);
    void closeScope();
    void handOver(bool last);
    template <class Call>
    void token(Call&& call);
    template <class T>
    static bool isWritten(const T&) { return true; }
    static bool isWritten(const std::string& value) { return !value.empty(); }
    template <class T>
    static bool isWritten(const std::set<T>& value) { return !value.empty(); }
    static bool isWritten(const std::vector<std::uint8_t>& value) { return !value.empty(); }
    template <class T>
    static bool isWritten(const std::map<unsigned int, T>& value) { return !value.empty(); }
    template <class T>
    static bool isWritten(const boost::optional<T>& value) { return value.has_value(); }

    Options options_;
    Streaming::Writer write_;
    std::string buffer_;
    std::unique_ptr<Detail::TokenWriter> tokens_;
    std::vector<Scope> scopes_;
    std::uint64_t written_ = 0;
    std::map<const void*, std::string> anchors_;
};

template <class Body>
void Writer::member(const std::string& key, Body&& body)
{
    openObject();
    writeKey(key);
    scopes_.push_back(Scope{key, false});
    const std::uint64_t before = written_;
    body();
    if (written_ == before)
        writeNull();
    closeScope();
}

template <class T>
void Writer::save(const std::set<T>& value)
{
    startArray();
    for (const T& element : value)
        save(element);
    endArray();
}

template <class T>
void Writer::save(const boost::optional<T>& value)
{
    if (value)
        save(*value);
}

template <class T>
void Writer::save(const std::map<unsigned int, T>& value)
{
    for (const auto& entry : value)
        member(String::integerToDec(entry.first), [&] { save(entry.second); });
}

template <class T>
void Writer::saveNode(const T& value, const char* key)
{
    if (isWritten(value))
        member(key, [&] { save(value); });
}

template <class T>
void Writer::saveNode(const T& value, const char* key, const T& fallback)
{
    if (!(value == fallback))
        saveNode(value, key);
}

template <class T>
void Writer::saveShared(const std::shared_ptr<const T>& value)
{
    if (!value)
        return;
    if (!options_.anchors) {
        save(*value);
        return;
    }
    const auto known = anchors_.find(value.get());
    if (known != anchors_.end()) {
        writeString(known->second);
        return;
    }
    const std::string name = path();
    anchors_.emplace(value.get(), name);
    openObject();
    member(name, [&] { save(*value); });
}

} // namespace Json
