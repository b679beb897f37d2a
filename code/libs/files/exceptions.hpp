#pragma once
// Failures of opening, reading, writing, copying and creating files and folders.

#include "libs/exceptions/exception.hpp"

namespace Files::Exceptions {

struct Exception : ::Exceptions::Exception {};

struct CopyFile_ : Exception {};
struct CreateDir : Exception {};
struct FileNotOpened : Exception {};
struct HardlinkFile : Exception {};
struct MSFopenBug : Exception {};
struct NotFound : Exception {};
struct OpenFile : Exception {};
struct ReadFile : Exception {};
struct ReadingNotAllowed : Exception {};
struct WriteFile : Exception {};
struct WritingNotAllowed : Exception {};

using ErrorNumber_ = boost::error_info<struct ErrorNumber_Tag, int>;
using ErrorString_ = boost::error_info<struct ErrorString_Tag, std::string>;
using Filename_ = boost::error_info<struct Filename_Tag, std::string>;
using ReadSize_ = boost::error_info<struct ReadSize_Tag, unsigned int>;
using Size_ = boost::error_info<struct Size_Tag, unsigned int>;
using WrittenSize_ = boost::error_info<struct WrittenSize_Tag, unsigned int>;

} // namespace Files::Exceptions
