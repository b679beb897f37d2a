#pragma once
// The text of one JSON file together with its parsed tree, which points into that text.

#include "libs/files/streaming.hpp"

#include <rapidjson/document.h>

#include <boost/noncopyable.hpp>

#include <string>

namespace Json {

class Document : boost::noncopyable {
public:
    // Reads everything the function delivers (16 KiB at a time) and parses it as parse() does.
    // Failures of the read function propagate unchanged.
    explicit Document(const Streaming::Reader& read);
    // Parses the given text as parse() does.
    explicit Document(std::string text);

    // The root value of the parsed tree; valid while the document lives.
    const rapidjson::Value& root() const { return tree_; }

private:
    // Checks the text for well-formed UTF-8 (String::Exceptions::InvalidUtf8String with the byte
    // offset otherwise, see String::checkUtf8), reads an empty
    // text as "{}" and parses one JSON value followed by nothing but blanks. Throws
    // Json::Exceptions::InvalidJson with ParseError_ and ErrorPosition_ (byte offset) otherwise.
    void parse();

    std::string text_;
    rapidjson::Document tree_;
};

} // namespace Json
