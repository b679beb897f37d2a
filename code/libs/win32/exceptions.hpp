#pragma once
// Failures of the platform layer: libraries, shell folders and the registry.

#include "libs/exceptions/exception.hpp"

namespace Win32::Exceptions {

struct Exception : ::Exceptions::Exception {};

struct LoadLib : Exception {};

} // namespace Win32::Exceptions

namespace Win32::Files::Exceptions {

struct Exception : Win32::Exceptions::Exception {};

struct ShGetFolderPath : Exception {};

using FolderType_ = boost::error_info<struct FolderType_Tag, int>;

} // namespace Win32::Files::Exceptions

namespace Win32::Registry::Exceptions {

struct Exception : Win32::Exceptions::Exception {};

struct AccessRegistry : Exception {};
struct NotFound : Exception {};
struct NotOpened : Exception {};

using Key_ = boost::error_info<struct Key_Tag, std::string>;

} // namespace Win32::Registry::Exceptions
