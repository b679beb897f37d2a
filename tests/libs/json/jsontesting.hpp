#pragma once
// Helpers of the JSON tests: text in and out of readers and writers, and checks of the
// exception type with its Key_.

#include "libs/json/exceptions.hpp"
#include "libs/json/reader.hpp"
#include "libs/json/writer.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>

#include <string>

namespace JsonTesting {

template <class T>
std::string toJson(const T& value, Json::Writer::Options options = Json::Writer::Options())
{
    std::string text;
    Json::Writer writer(Streaming::appendToString(text), options);
    writer.save(value);
    writer.finish();
    return text;
}

template <class T>
T fromJson(const std::string& text, Json::Reader::Options options = Json::Reader::Options())
{
    Json::Reader reader(text, options);
    T value{};
    reader.load(value);
    return value;
}

// Runs action, expecting an Exception whose Key_ is key and whose what() names it.
template <class Exception, class Action>
void expectKeyed(Action&& action, const std::string& key)
{
    try {
        action();
        ADD_FAILURE() << "no exception, expected Key_ " << key;
    } catch (const Exception& error) {
        const std::string* tagged = boost::get_error_info<Json::Exceptions::Key_>(error);
        ASSERT_NE(tagged, nullptr) << error.what();
        EXPECT_EQ(*tagged, key);
        EXPECT_NE(std::string(error.what()).find("Json::Exceptions::Key=" + key), std::string::npos) << error.what();
    }
}

} // namespace JsonTesting
