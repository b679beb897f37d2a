#pragma once
// Failures of parsing JSON text and of reading typed values from it.

#include "libs/exceptions/exception.hpp"

#include <rapidjson/error/error.h>

namespace Json::Exceptions {

struct Exception : ::Exceptions::Exception {};

struct ArrayExpected : Exception {};
struct BadAnchor : Exception {};
struct BadVariant : Exception {};
struct BoolExpected : Exception {};
struct Int32Expected : Exception {};
struct InvalidJson : Exception {};
struct InvalidLabel : Exception {};
struct MissingKey : Exception {};
struct ObjectExpected : Exception {};
struct StringExpected : Exception {};
struct Uint32Expected : Exception {};
struct Uint8Expected : Exception {};
struct Uint8OutOfRange : Exception {};

using Anchor_ = boost::error_info<struct Anchor_Tag, std::string>;
using ErrorPosition_ = boost::error_info<struct ErrorPosition_Tag, unsigned int>;
using Key_ = boost::error_info<struct Key_Tag, std::string>;
using Label_ = boost::error_info<struct Label_Tag, std::string>;
using ParseError_ = boost::error_info<struct ParseError_Tag, rapidjson::ParseErrorCode>;
using UintValue_ = boost::error_info<struct UintValue_Tag, unsigned int>;

} // namespace Json::Exceptions
