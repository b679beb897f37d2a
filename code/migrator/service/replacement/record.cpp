#include "migrator/service/replacement/record.hpp"

#include "migrator/service/replacement/companions.hpp"
#include "migrator/service/exceptions/exceptions.hpp"

#include "libs/files/file.hpp"
#include "libs/files/flags.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"

#include <boost/filesystem/operations.hpp>

#include <exception>
#include <stdexcept>
#include <utility>

namespace Migration {

namespace fs = boost::filesystem;

namespace {

// A line of its own in a fixed order: the header, the state, one line per entry, the end mark.
// An entry is its kind, its stamp ("size:modified", or "-" for none) and its path relative to
// the data directory with "/" between the components; "%" and the bytes that cannot stand on a
// line are written as "%" and two hexadecimal digits.
const char* const recordName = "migration.journal";
const char* const header = "Qelt service migration record 2";
const char* const endMark = "end";
const char* const stateKey = "state ";
const char* const swapping = "swapping";
const char* const committed = "committed";
const char* const noStamp = "-";

enum class Kind { Replace, Retire, Clear, Content };
const std::pair<Kind, const char*> kindNames[] = {
    {Kind::Replace, "replace"}, {Kind::Retire, "retire"}, {Kind::Clear, "clear"}, {Kind::Content, "content"}};

using Components = std::vector<std::string>;

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

[[noreturn]] void throwUnreadable(const std::string& file, const std::string& reason) {
    BOOST_THROW_EXCEPTION(Exceptions::RecordUnreadable() << Exceptions::Filename_(file) << Exceptions::Reason_(reason));
}

[[noreturn]] void throwOutside(const std::string& file, const std::string& path) {
    BOOST_THROW_EXCEPTION(Exceptions::RecordPathOutside() << Exceptions::Filename_(file) << Exceptions::Path_(path));
}

[[noreturn]] void throwRefused(const std::string& file, const std::string& path, const std::string& reason) {
    BOOST_THROW_EXCEPTION(Exceptions::RecordEntryRefused()
                          << Exceptions::Filename_(file) << Exceptions::Path_(path) << Exceptions::Reason_(reason));
}

// The components of a relative path split at the platform's separators, so that a backslash is
// a character of a name on POSIX.
Components componentsOf(const std::string& relative) {
    Components components(1);
    for (const char c : relative) {
        if (Files::isSeparator(c))
            components.emplace_back();
        else
            components.back() += c;
    }
    return components;
}

bool isPathBelow(const Components& components) {
    for (const std::string& component : components) {
        if (component.empty() || component == "." || component == "..")
            return false;
    }
    return true;
}

bool allPlainNames(const Components& components) {
    for (const std::string& component : components) {
        if (!Files::isPlainName(component))
            return false;
    }
    return true;
}

std::string pathBelow(const std::string& folder, const Components& components) {
    std::string path = folder;
    for (const std::string& component : components)
        path = Files::join(path, component);
    return path;
}

std::string joined(const Components& components, const std::string& separator) {
    std::string path;
    for (const std::string& component : components)
        path += (path.empty() ? "" : separator) + component;
    return path;
}

std::string encoded(const std::string& text) {
    static const char* const digits = "0123456789ABCDEF";
    std::string line;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '%') {
            line += '%';
            line += digits[byte >> 4];
            line += digits[byte & 0xF];
        } else {
            line += c;
        }
    }
    return line;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// False when an escape is broken.
bool decode(const std::string& line, std::string& text) {
    text.clear();
    for (std::string::size_type i = 0; i < line.size(); ++i) {
        if (line[i] != '%') {
            text += line[i];
            continue;
        }
        if (i + 2 >= line.size())
            return false;
        const int high = hexValue(line[i + 1]);
        const int low = hexValue(line[i + 2]);
        if (high < 0 || low < 0)
            return false;
        text += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::string stampText(const std::optional<Files::Stamp>& stamp) {
    if (!stamp)
        return noStamp;
    return std::to_string(stamp->size) + ":" + std::to_string(stamp->modified);
}

bool isNumber(const std::string& text, bool mayBeNegative) {
    const std::string::size_type first = mayBeNegative && !text.empty() && text.front() == '-' ? 1 : 0;
    return text.size() > first && text.find_first_not_of("0123456789", first) == std::string::npos;
}

// False when the text is neither "-" nor a stamp.
bool parseStamp(const std::string& text, std::optional<Files::Stamp>& stamp) {
    stamp.reset();
    if (text == noStamp)
        return true;
    const std::string::size_type colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string size = text.substr(0, colon);
    const std::string modified = text.substr(colon + 1);
    if (!isNumber(size, false) || !isNumber(modified, true))
        return false;
    try {
        stamp = Files::Stamp{std::stoull(size), std::stoll(modified)};
        return true;
    } catch (const std::out_of_range&) {
        return false;
    }
}

// The components of path below the data directory; throws when it is not below it or cannot
// stand in a record.
// The components of path below the data directory, as they stand; none when path does not
// start with the data directory as a whole component.
std::optional<Components> componentsBelow(const std::string& dataDirectory, const std::string& path) {
    if (!startsWith(path, dataDirectory))
        return std::nullopt;
    std::string::size_type start = dataDirectory.size();
    if (start < path.size() && !dataDirectory.empty() && !Files::isSeparator(dataDirectory.back()) &&
        !Files::isSeparator(path[start]))
        return std::nullopt;
    while (start < path.size() && Files::isSeparator(path[start]))
        ++start;
    return componentsOf(path.substr(start));
}

// True when every folder between the data directory and the entry of the components (both
// excluded) is a plain folder or missing.
bool throughPlainFolders(const std::string& dataDirectory, const Components& components) {
    std::string folder = dataDirectory;
    for (std::size_t index = 0; index + 1 < components.size(); ++index) {
        folder = Files::join(folder, components[index]);
        boost::system::error_code error;
        const fs::file_type type = fs::symlink_status(folder, error).type();
        if (type == fs::file_not_found)
            return true;
        if (type != fs::directory_file)
            return false;
    }
    return true;
}

Components relativeComponents(const std::string& dataDirectory, const std::string& path, const std::string& file) {
    const std::optional<Components> below = componentsBelow(dataDirectory, path);
    if (!below || !isPathBelow(*below))
        throwOutside(file, path);
    const Components& components = *below;
    if (!allPlainNames(components))
        throwRefused(file, path, "has a name that a migration record cannot hold");
    return components;
}

void addLine(std::string& text, const std::string& dataDirectory, Kind kind, const std::string& path,
             const std::optional<Files::Stamp>& stamp, const std::string& file) {
    const Components components = relativeComponents(dataDirectory, path, file);
    text += std::string(kindNames[static_cast<int>(kind)].second) + " " + stampText(stamp) + " " +
            encoded(joined(components, "/")) + "\n";
}

std::string textOf(const std::string& dataDirectory, const MigrationRecord& record, const std::string& file) {
    std::string text = std::string(header) + "\n" + stateKey +
                       (record.state == MigrationRecord::State::Committed ? committed : swapping) + "\n";
    for (const RecordedFile& entry : record.replaced)
        addLine(text, dataDirectory, Kind::Replace, entry.path, entry.stamp, file);
    for (const RecordedFile& entry : record.retired)
        addLine(text, dataDirectory, Kind::Retire, entry.path, entry.stamp, file);
    for (const std::string& folder : record.cleared)
        addLine(text, dataDirectory, Kind::Clear, folder, std::nullopt, file);
    for (const RecordedFile& entry : record.content)
        addLine(text, dataDirectory, Kind::Content, entry.path, entry.stamp, file);
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

// One entry line as it was read, before it is checked against the scope.
struct Entry {
    Kind kind;
    std::optional<Files::Stamp> stamp;
    Components components;
    std::string shown;
};

Entry parseEntry(const std::string& line, std::size_t number, const std::string& file) {
    const auto notAnEntry = [&] {
        throwUnreadable(file, "line " + std::to_string(number) + " is not an entry of a record");
    };
    const std::string::size_type kindEnd = line.find(' ');
    const std::string::size_type stampEnd = kindEnd == std::string::npos ? kindEnd : line.find(' ', kindEnd + 1);
    if (stampEnd == std::string::npos)
        notAnEntry();
    Entry entry{};
    bool known = false;
    for (const auto& [kind, name] : kindNames) {
        if (line.compare(0, kindEnd, name) == 0 && kindEnd == std::string(name).size()) {
            entry.kind = kind;
            known = true;
        }
    }
    std::string relative;
    // Shown as written, so that a zero byte in a name cannot cut the report short.
    entry.shown = line.substr(stampEnd + 1);
    if (!known || !parseStamp(line.substr(kindEnd + 1, stampEnd - kindEnd - 1), entry.stamp) ||
        !decode(entry.shown, relative))
        notAnEntry();
    entry.components = componentsOf(relative);
    if (!isPathBelow(entry.components))
        throwOutside(file, entry.shown);
    if (!allPlainNames(entry.components))
        throwRefused(file, entry.shown, "has a name that no file of the data directory can have here");
    return entry;
}

bool isBelow(const Components& components, const std::vector<Components>& folders) {
    for (const Components& folder : folders) {
        if (components.size() > folder.size() && std::equal(folder.begin(), folder.end(), components.begin()))
            return true;
    }
    return false;
}

// Throws when the scope does not allow the entry where it stands.
void checkScope(const Entry& entry, const RecordScope& scope, const std::vector<Components>& cleared,
                const std::string& file) {
    switch (entry.kind) {
    case Kind::Replace:
        if (!scope.replaceable(entry.components))
            throwRefused(file, entry.shown, "is not a file that a migration replaces");
        return;
    case Kind::Retire:
        if (!scope.retirable(entry.components))
            throwRefused(file, entry.shown, "is not a file that a migration retires");
        return;
    case Kind::Clear:
        if (!scope.clearable(entry.components))
            throwRefused(file, entry.shown, "is not a folder that a migration empties");
        return;
    case Kind::Content:
        if (!isBelow(entry.components, cleared))
            throwRefused(file, entry.shown, "is not inside a folder that the migration empties");
        return;
    }
}

MigrationRecord parse(const std::string& dataDirectory, const std::string& text, const RecordScope& scope,
                      const std::string& file) {
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
    std::vector<Entry> entries;
    std::vector<Components> cleared;
    for (std::size_t index = 2; index + 1 < lines.size(); ++index) {
        entries.push_back(parseEntry(lines[index], index + 1, file));
        if (entries.back().kind == Kind::Clear)
            cleared.push_back(entries.back().components);
    }
    for (const Entry& entry : entries) {
        checkScope(entry, scope, cleared, file);
        const std::string path = pathBelow(dataDirectory, entry.components);
        if (!throughPlainFolders(dataDirectory, entry.components))
            throwRefused(file, entry.shown, "is reached through a link, a junction or a file");
        switch (entry.kind) {
        case Kind::Replace:
            record.replaced.push_back({path, entry.stamp});
            break;
        case Kind::Retire:
            record.retired.push_back({path, entry.stamp});
            break;
        case Kind::Clear:
            record.cleared.push_back(path);
            break;
        case Kind::Content:
            record.content.push_back({path, entry.stamp});
            break;
        }
    }
    return record;
}

std::string readText(const std::string& file) {
    Files::File in(file, Files::Flags::Read);
    std::string text;
    Files::readAll(in, text);
    return text;
}


// Everything below folder, each folder before its content, never following a link. What cannot
// be listed is left out, and so is never deleted.
void listContent(const std::string& folder, std::vector<RecordedFile>& content) {
    boost::system::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        const std::string path = entry->path().string();
        if (isPlainFolder(path)) {
            content.push_back({path, std::nullopt});
            listContent(path, content);
        } else {
            content.push_back({path, Files::stampOf(path)});
        }
    }
}

std::vector<RecordedFile> stamped(const std::vector<std::string>& files) {
    std::vector<RecordedFile> entries;
    for (const std::string& file : files)
        entries.push_back({file, Files::stampOf(file)});
    return entries;
}

} // namespace

bool isPlainFolder(const std::string& path) {
    boost::system::error_code error;
    return fs::symlink_status(path, error).type() == fs::directory_file;
}

std::string recordFile(const std::string& dataDirectory) {
    return Files::join(dataDirectory, recordName);
}

MigrationRecord recordOfSwap(const std::vector<std::string>& replaced, const std::vector<std::string>& retired,
                             const std::vector<std::string>& cleared) {
    MigrationRecord record;
    record.replaced = stamped(replaced);
    record.retired = stamped(retired);
    for (const std::string& folder : cleared) {
        if (!isPlainFolder(folder))
            continue;
        record.cleared.push_back(folder);
        listContent(folder, record.content);
    }
    return record;
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

std::optional<MigrationRecord> readRecord(const std::string& dataDirectory, const RecordScope& scope) {
    const std::string file = recordFile(dataDirectory);
    boost::system::error_code error;
    const fs::file_status status = fs::symlink_status(file, error);
    if (status.type() == fs::file_not_found)
        return std::nullopt;
    if (status.type() != fs::regular_file)
        throwUnreadable(file, error ? error.message() : "it is not a regular file");
    return parse(dataDirectory, readText(file), scope, file);
}

std::optional<MigrationRecord::State> recordedState(const std::string& dataDirectory) {
    try {
        const std::string text = readText(recordFile(dataDirectory));
        if (startsWith(text, std::string(header) + "\n" + stateKey + committed + "\n"))
            return MigrationRecord::State::Committed;
        if (startsWith(text, std::string(header) + "\n" + stateKey + swapping + "\n"))
            return MigrationRecord::State::Swapping;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

void discardUnfinishedRecord(const std::string& dataDirectory) {
    const std::string unfinished = recordFile(dataDirectory) + newSuffix;
    boost::system::error_code error;
    if (fs::symlink_status(unfinished, error).type() == fs::regular_file)
        Files::deleteFile(unfinished);
}

bool removeRecord(const std::string& dataDirectory) {
    const std::string file = recordFile(dataDirectory);
    bool removed = Files::deleteFile(file + newSuffix);
    removed = Files::deleteFile(file) && removed;
    return syncFolders({dataDirectory}) && removed;
}

bool reachedThroughFolders(const std::string& dataDirectory, const std::string& path) {
    const std::optional<Components> components = componentsBelow(dataDirectory, path);
    return components && throughPlainFolders(dataDirectory, *components);
}

bool syncFolders(const std::vector<std::string>& folders,
                 const std::function<void(const std::string& folder, const std::string& reason)>& onFailure) {
    bool synced = true;
    for (const std::string& folder : folders) {
        boost::system::error_code error;
        if (fs::symlink_status(folder, error).type() == fs::file_not_found)
            continue;
        try {
            Files::syncDirectory(folder);
        } catch (const std::exception& e) {
            if (onFailure)
                onFailure(folder, e.what());
            synced = false;
        }
    }
    return synced;
}

} // namespace Migration
