#pragma once
// Failures of the label and enumeration tables of the serialization helpers.

#include "libs/exceptions/exception.hpp"

namespace Serialize::Exceptions {

struct Exception : ::Exceptions::Exception {};

struct MissingLabel : Exception {};

using At_ = boost::error_info<struct At_Tag, unsigned int>;

} // namespace Serialize::Exceptions

namespace Serialize::Enum::Exceptions {

struct Exception : Serialize::Exceptions::Exception {};

struct InvalidEnumString : Exception {};
struct InvalidEnumValue : Exception {};

using Name_ = boost::error_info<struct Name_Tag, std::string>;
using String_ = boost::error_info<struct String_Tag, std::string>;

} // namespace Serialize::Enum::Exceptions
