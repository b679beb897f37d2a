#pragma once
// The registry of a POSIX installation: a file in the text format that the registry editor
// exports (".reg"), parsed into keys and their values.

#include "libs/win32/registry/key.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace Win32::Registry::RegistryFile {

// One value as the registry holds it: its type and its raw bytes (string types in UTF-16LE
// with their terminating zero unit).
struct Value {
    std::uint32_t type = ValueType::None;
    std::string data;
};

// The values of one key by value name in ASCII lower case; the default value has the empty name.
using Values = std::map<std::string, Value>;

// Why a text is not a registry file, and on which line (1-based).
struct ParseFailure {
    std::size_t line = 0;
    std::string reason;
};

// Every key of one registry file.
class Hive {
public:
    // Parses the whole file content: UTF-16LE with its byte-order mark or UTF-8 (a UTF-8
    // byte-order mark is skipped), LF or CR LF line ends, the "Windows Registry Editor Version
    // 5.00" or "REGEDIT4" header, key blocks, key removals, value lines of every export syntax
    // and continued hex lists. Returns false with `failure` set when the text is not in that
    // format; the hive is then left empty. Never reads past the end of `bytes`.
    bool parse(std::string_view bytes, ParseFailure& failure);

    // True when the key, or a key below it, is in the file; the root itself always exists.
    bool hasKey(Root root, const std::string& path) const;

    // The values of the key; empty when the key holds none.
    Values values(Root root, const std::string& path) const;

private:
    std::map<std::string, Values> keys_;
};

// $QELT_REGISTRY_FILE when set and not empty, else /etc/qelt/registry.reg.
std::string location();

// The canonical root for a root name of a key line ("HKEY_LOCAL_MACHINE" or "HKLM", in any
// letter case); NoRoot for an unknown name.
Root rootFromName(std::string_view name);

} // namespace Win32::Registry::RegistryFile
