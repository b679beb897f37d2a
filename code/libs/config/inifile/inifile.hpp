#pragma once
// Reading and writing configuration files in INI syntax: "key = value" lines, "[section]"
// headers that prefix the following keys with "section.", "#" and "!" comments, backslash escapes.

#include "libs/config/settings/settings.hpp"

#include <string>

namespace Config {

// Reads and parses the whole file. The name is made absolute against the current directory
// first. Later lines win over earlier ones with the same key (in any letter case).
// Throws Config::Exceptions::ReadIniFile with Exceptions::Filename_ (the absolute name) and
// Exceptions::Error_ (the one-line text of the underlying failure: a file error, or a syntax
// error with its Config::Exceptions::Line_) on any failure.
SettingMap readIniFile(const std::string& filename);

// Calls readIniFile. On success replaces the content of `settings` and returns true; on failure
// logs "read ini file <filename>: <reason>" (warn, debug) and returns false with `settings`
// unchanged. Never throws for a bad or missing file.
bool tryReadIniFile(const std::string& filename, SettingMap& settings);

// Returns the raw value with its backslash escapes decoded. Throws EscapeAtTheEndOfLine,
// InvalidEscapeChar (with EscapeChar_), HexEscapesNotSupported or UnicodeEscapesNotSupported.
std::string decodeValue(const std::string& raw);

// Returns the INI text of the map: one "key = value\n" line per entry with a non-empty value,
// in the map's key order, without comments. Values are trimmed of whitespace; backslash, "#",
// "!", line feed and carriage return are written as escapes, and a value that begins and ends
// with the same quote character is put between double quotes, so that reading the text back
// gives every written value as it was (apart from the trimmed whitespace). Keys are written flat
// («server.address = x»); only a key that would not read back so (one that came from a section
// name with spaces, "=" or ":") follows the flat lines below a header of its section.
// Throws Config::Exceptions::InvalidKey with Config::Exceptions::Key_ for a key that no line
// can give back (empty, or "=", ":" or a line feed outside any possible section name).
std::string toIniText(const SettingMap& settings);

// Writes toIniText of the map to the file (name made absolute against the current directory),
// creating missing parent directories and replacing earlier content. Line ends are "\n".
// Failures of the file layer reach the caller unchanged.
void writeIniFile(const SettingMap& settings, const std::string& filename);

} // namespace Config
