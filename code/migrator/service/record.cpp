#include "migrator/service/record.hpp"

#include "migrator/service/companions.hpp"
#include "migrator/service/exceptions.hpp"

#include "libs/files/file.hpp"
#include "libs/files/flags.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"

#include <boost/filesystem/operations.hpp>

#include <exception>
#include <utility>

namespace Migration {

namespace {

// A line of its own in a fixed order: the header, the state, one line per entry, the end mark.
// Paths are relative to the data directory with "/" between components; bytes below 0x20, 0x7F
// and "%" are written as "%" and two hexadecimal digits, so every path fits on its line.
const char* const recordName = "migration.journal";
const char* const header = "Qelt service migration record 1";
const char* const endMark = "end";
const char* const stateKey = "state ";
const char* const replacedKey = "replace ";
const char* const retiredKey = "retire ";
const char* const clearedKey = "clear ";
const char* const swapping = "swapping";
const char* const committed = "committed";

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

[[noreturn]] void throwUnreadable(const std::string& file, const std::string& reason) {
    BOOST_THROW_EXCEPTION(Exceptions::RecordUnreadable() << Exceptions::Filename_(file) << Exceptions::Reason_(reason));
}

[[noreturn]] void throwOutside(const std::string& file, const std::string& path) {
    BOOST_THROW_EXCEPTION(Exceptions::RecordPathOutside() << Exceptions::Filename_(file) << Exceptions::Path_(path));
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// A relative path that stays below its base: no root, no drive, and no empty, "." or ".."
// component, whichever separator the platform takes.
bool staysInside(const std::string& path) {
    if (path.empty() || isSeparator(path.front()) || (path.size() > 1 && path[1] == ':'))
        return false;
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type end = start;
        while (end < path.size() && !isSeparator(path[end]))
            ++end;
        const std::string component = path.substr(start, end - start);
        if (component.empty() || component == "." || component == "..")
            return false;
        if (end == path.size())
            return true;
        start = end + 1;
    }
}

std::string encoded(const std::string& path) {
    static const char* const digits = "0123456789ABCDEF";
    std::string text;
    for (char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '%') {
            text += '%';
            text += digits[byte >> 4];
            text += digits[byte & 0xF];
        } else {
            text += c;
        }
    }
    return text;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// False when an escape is broken.
bool decode(const std::string& text, std::string& path) {
    path.clear();
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            path += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// The path relative to the data directory; throws when it is not below it.
std::string relativePath(const std::string& dataDirectory, const std::string& path, const std::string& file) {
    if (!startsWith(path, dataDirectory))
        throwOutside(file, path);
    std::string::size_type start = dataDirectory.size();
    if (start < path.size() && !dataDirectory.empty() && !isSeparator(dataDirectory.back()) &&
        !isSeparator(path[start]))
        throwOutside(file, path);
    while (start < path.size() && isSeparator(path[start]))
        ++start;
    const std::string relative = path.substr(start);
    if (!staysInside(relative))
        throwOutside(file, path);
    return relative;
}

std::string textOf(const std::string& dataDirectory, const MigrationRecord& record, const std::string& file) {
    std::string text = std::string(header) + "\n" + stateKey +
                       (record.state == MigrationRecord::State::Committed ? committed : swapping) + "\n";
    const auto add = [&](const char* key, const std::vector<std::string>& paths) {
        for (const std::string& path : paths)
            text += key + encoded(relativePath(dataDirectory, path, file)) + "\n";
    };
    add(replacedKey, record.replaced);
    add(retiredKey, record.retired);
    add(clearedKey, record.cleared);
    return text + endMark + "\n";
}

std::vector<std::string> linesOf(const std::string& text, const std::string& file) {
    if (text.empty() || text.back() != '\n')
        throwUnreadable(file, "it does not end with a complete line");
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        const std::string::size_type end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

MigrationRecord parse(const std::string& dataDirectory, const std::string& text, const std::string& file) {
    const std::vector<std::string> lines = linesOf(text, file);
    if (lines.front() != header)
        throwUnreadable(file, "its first line is not \"" + std::string(header) + "\"");
    if (lines.size() < 3 || lines.back() != endMark)
        throwUnreadable(file, "its last line is not \"" + std::string(endMark) + "\"");
    MigrationRecord record;
    if (lines[1] == std::string(stateKey) + committed)
        record.state = MigrationRecord::State::Committed;
    else if (lines[1] != std::string(stateKey) + swapping)
        throwUnreadable(file, "line 2 is not a known state");
    for (std::size_t index = 2; index + 1 < lines.size(); ++index) {
        const std::string& line = lines[index];
        std::vector<std::string>* entries = nullptr;
        std::string key;
        for (const auto& [candidate, list] : {std::make_pair(replacedKey, &record.replaced),
                                              std::make_pair(retiredKey, &record.retired),
                                              std::make_pair(clearedKey, &record.cleared)}) {
            if (startsWith(line, candidate)) {
                key = candidate;
                entries = list;
            }
        }
        std::string relative;
        if (!entries || !decode(line.substr(key.size()), relative))
            throwUnreadable(file, "line " + std::to_string(index + 1) + " is not an entry of a record");
        if (!staysInside(relative))
            throwOutside(file, relative);
        entries->push_back(Files::join(dataDirectory, relative));
    }
    return record;
}

std::string readText(const std::string& file) {
    Files::File in(file, Files::Flags::Read);
    std::string text;
    Files::readAll(in, text);
    return text;
}

} // namespace

std::string recordFile(const std::string& dataDirectory) {
    return Files::join(dataDirectory, recordName);
}

void writeRecord(const std::string& dataDirectory, const MigrationRecord& record) {
    const std::string file = recordFile(dataDirectory);
    const std::string unfinished = file + newSuffix;
    const std::string text = textOf(dataDirectory, record, file);
    try {
        Files::File out(unfinished, Files::Flags::Write | Files::Flags::Overwrite);
        Files::writeAll(out, text);
        out.sync();
        out.close();
        Files::moveFile(unfinished, file, Files::Flags::Read | Files::Flags::Write | Files::Flags::Overwrite);
        Files::syncDirectory(dataDirectory);
    } catch (const std::exception&) {
        Files::deleteFile(unfinished);
        throw;
    }
}

std::optional<MigrationRecord> readRecord(const std::string& dataDirectory) {
    const std::string file = recordFile(dataDirectory);
    boost::system::error_code error;
    const boost::filesystem::file_status status = boost::filesystem::symlink_status(file, error);
    if (status.type() == boost::filesystem::file_not_found)
        return std::nullopt;
    if (status.type() != boost::filesystem::regular_file)
        throwUnreadable(file, error ? error.message() : "it is not a regular file");
    return parse(dataDirectory, readText(file), file);
}

void discardUnfinishedRecord(const std::string& dataDirectory) {
    const std::string unfinished = recordFile(dataDirectory) + newSuffix;
    boost::system::error_code error;
    if (boost::filesystem::symlink_status(unfinished, error).type() == boost::filesystem::regular_file)
        Files::deleteFile(unfinished);
}

bool removeRecord(const std::string& dataDirectory) {
    const std::string file = recordFile(dataDirectory);
    bool removed = Files::deleteFile(file + newSuffix);
    removed = Files::deleteFile(file) && removed;
    try {
        Files::syncDirectory(dataDirectory);
    } catch (const std::exception&) {
        removed = false;
    }
    return removed;
}

bool syncFolders(const std::set<std::string>& folders) {
    bool synced = true;
    for (const std::string& folder : folders) {
        try {
            Files::syncDirectory(folder);
        } catch (const std::exception&) {
            synced = false;
        }
    }
    return synced;
}

} // namespace Migration
