#pragma once
// Failures of the SQLite layer: one type per failing result code below Sqlite, and the
// layer's own misuse types.

#include "libs/exceptions/exception.hpp"

namespace Sqlite::Exceptions {

struct Exception : ::Exceptions::Exception {};

struct NoConnection : Exception {};
struct NoRow : Exception {};
struct NoStatement : Exception {};
struct Sqlite : Exception {};

struct Abort : Sqlite {};
struct Auth : Sqlite {};
struct BadFile : Sqlite {};
struct Busy : Sqlite {};
struct Constraint : Sqlite {};
struct Corrupt : Sqlite {};
struct Empty : Sqlite {};
struct Error : Sqlite {};
struct Format : Sqlite {};
struct Full : Sqlite {};
struct IOError : Sqlite {};
struct Internal : Sqlite {};
struct Interrupt : Sqlite {};
struct Locked : Sqlite {};
struct Memory : Sqlite {};
struct Mismatch : Sqlite {};
struct Misuse : Sqlite {};
struct NoLFS : Sqlite {};
struct NotFound : Sqlite {};
struct Open : Sqlite {};
struct Perm : Sqlite {};
struct Protocol : Sqlite {};
struct Range : Sqlite {};
struct ReadOnly : Sqlite {};
struct Schema : Sqlite {};
struct TooBig : Sqlite {};

using Details_ = boost::error_info<struct Details_Tag, std::string>;
using ElapsedTime_ = boost::error_info<struct ElapsedTime_Tag, std::string>;
// Held as a copy: the engine's message buffer is gone by the time the report is written.
using ErrorMsg_ = boost::error_info<struct ErrorMsg_Tag, std::string>;
using Filename_ = boost::error_info<struct Filename_Tag, std::string>;
using SqlQuery_ = boost::error_info<struct SqlQuery_Tag, std::string>;
using StatusCode_ = boost::error_info<struct StatusCode_Tag, int>;

} // namespace Sqlite::Exceptions
