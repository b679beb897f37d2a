#pragma once
// Registry root keys, value types and the names of keys and values used in reports.

#include <cstdint>
#include <string>

namespace Win32::Registry {

// A parent key handle. The predefined roots carry the values the registry gives them; 0 is no
// key at all.
enum Root : std::uintptr_t {
    NoRoot = 0,
    ClassesRoot = 0x80000000,
    CurrentUser = 0x80000001,
    LocalMachine = 0x80000002,
    Users = 0x80000003,
    PerformanceData = 0x80000004,
    CurrentConfig = 0x80000005,
    PerformanceText = 0x80000050,
    PerformanceNlsText = 0x80000060,
};

// The types of registry values.
namespace ValueType {
enum Enum : std::uint32_t {
    None = 0,
    String = 1,
    ExpandString = 2,
    Binary = 3,
    Dword = 4,
    DwordBigEndian = 5,
    Link = 6,
    MultiString = 7,
    Qword = 11,
};
} // namespace ValueType

// The constant's name of a predefined root ("HKEY_LOCAL_MACHINE"), else the handle's value in
// upper-case hexadecimal digits.
std::string rootName(Root root);

// The root's name, then the path and the value name, each after a backslash when the text so
// far is not empty; empty parts are left out.
std::string keyName(Root root, const std::string& path, const std::string& valueName);

} // namespace Win32::Registry
