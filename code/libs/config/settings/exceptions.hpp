#pragma once
// Failures of reading settings, INI files and the configuration version.

#include "libs/exceptions/exception.hpp"

namespace Config::Exceptions {

struct Exception : ::Exceptions::Exception {};

struct BadVersion : Exception {};
struct EmptyKey : Exception {};
struct EscapeAtTheEndOfLine : Exception {};
struct HexEscapesNotSupported : Exception {};
struct InvalidEscapeChar : Exception {};
struct InvalidKey : Exception {};
struct InvalidSection : Exception {};
struct InvalidValue : Exception {};
struct MissingProxyServer : Exception {};
struct MyInstitutionIdAlreadyExist : Exception {};
struct NoServerAddress : Exception {};
struct ReadIniFile : Exception {};
struct SettingNotFound : Exception {};
struct UnicodeEscapesNotSupported : Exception {};
struct VersionNotFound : Exception {};

using EscapeChar_ = boost::error_info<struct EscapeChar_Tag, char>;
using ExpectedType_ = boost::error_info<struct ExpectedType_Tag, std::string>;
using ExpectedVersion_ = boost::error_info<struct ExpectedVersion_Tag, long>;
using Key_ = boost::error_info<struct Key_Tag, std::string>;
using Line_ = boost::error_info<struct Line_Tag, unsigned int>;
using Value_ = boost::error_info<struct Value_Tag, std::string>;
using Version_ = boost::error_info<struct Version_Tag, long>;

} // namespace Config::Exceptions
