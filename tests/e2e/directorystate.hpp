#pragma once
// The state of a data directory as the end-to-end tests compare it, runs of the migrator
// program killed at a chosen system call and the runs that end the migration afterwards.

#include "e2e/transcript.hpp"

#include "support/childprocess.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace E2e {

// Every value of a query as its SQLite type and text, so NULL, numbers and texts stay apart.
inline std::vector<std::string> queryRows(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    std::vector<std::string> rows;
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        std::string row;
        for (int column = 0; column < sqlite3_column_count(statement); ++column) {
            const int type = sqlite3_column_type(statement, column);
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_blob(statement, column));
            row += std::to_string(type) + ":" +
                   std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, column))) +
                   "|";
        }
        rows.push_back(row);
    }
    sqlite3_finalize(statement);
    if (step != SQLITE_DONE)
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The schema and, for every table, its sorted rows, as one text.
inline std::string databaseContent(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path);
    }
    std::string content;
    try {
        const auto add = [&content](const std::string& name, const std::vector<std::string>& rows) {
            content += "[" + name + "]\n";
            for (const std::string& row : rows)
                content += row + "\n";
        };
        add("(schema)", queryRows(db, "SELECT type, name, tbl_name, sql FROM sqlite_master"));
        for (const std::string& row : queryRows(db, "SELECT name FROM sqlite_master WHERE type = 'table'")) {
            const std::string name = row.substr(row.find(':') + 1, row.size() - row.find(':') - 2);
            add(name, queryRows(db, "SELECT * FROM \"" + name + "\""));
        }
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    return content;
}

// Every entry below the directory but the log folder: a folder as "folder/", a link by its
// target, a database (".db") by its content, any other file by its bytes.
using DirectoryState = std::map<std::string, std::string>;

inline DirectoryState stateOf(const std::string& directory) {
    namespace fs = std::filesystem;
    DirectoryState state;
    for (auto entry = fs::recursive_directory_iterator(directory); entry != fs::recursive_directory_iterator();
         ++entry) {
        const std::string name = fs::relative(entry->path(), directory).generic_string();
        if (name == "log" || startsWith(name, "log/"))
            continue;
        const fs::file_status status = entry->symlink_status();
        if (fs::is_symlink(status))
            state[name] = "link to " + fs::read_symlink(entry->path()).string();
        else if (fs::is_directory(status))
            state[name + "/"] = "";
        else if (name.size() > 3 && name.compare(name.size() - 3, 3, ".db") == 0)
            state[name] = databaseContent(entry->path().string());
        else
            state[name] = TestSupport::readFile(entry->path().string());
    }
    return state;
}

// The entries that differ, one line each, for a readable failure.
inline std::string differences(const DirectoryState& expected, const DirectoryState& actual) {
    std::string text;
    for (const auto& [name, content] : expected) {
        const auto found = actual.find(name);
        if (found == actual.end())
            text += "missing " + name + "\n";
        else if (found->second != content)
            text += "changed " + name + "\n";
    }
    for (const auto& entry : actual) {
        if (!expected.count(entry.first))
            text += "added " + entry.first + "\n";
    }
    return text;
}

inline const char* const straceProgram = "/usr/bin/strace";

// The options of a run of the sandbox's program under strace: the leak checker, which cannot
// work under a tracer, is off.
inline TestSupport::ChildOptions tracedOptions(const TestSupport::MigratorSandbox& sandbox,
                                               TestSupport::ChildOptions options) {
    options.environment["QELT_REGISTRY_FILE"] = sandbox.registryFile();
    options.environment["QELT_COMMON_APPDATA"] = sandbox.allUsersFolder();
    options.environment["ASAN_OPTIONS"] = "detect_leaks=0";
    options.workingDirectory = sandbox.workingDirectory();
    return options;
}

// Runs "migrator m" on the sandbox under strace, which kills it with SIGKILL at the entry of
// the when-th call of the system call (before the call is made). Exit code 137 when killed.
inline TestSupport::ChildResult runKilledAt(const TestSupport::MigratorSandbox& sandbox, const std::string& call,
                                            int when) {
    TestSupport::ChildOptions options;
    options.arguments = {"-qq", "-o", "/dev/null", "-e",
                         "inject=" + call + ":signal=KILL:when=" + std::to_string(when), "--",
                         sandbox.program(), "m"};
    return TestSupport::runChild(straceProgram, tracedOptions(sandbox, options));
}

inline const int killedExitCode = 128 + 9;

// One system call of a traced run: its name and the whole line strace wrote for it.
struct SystemCall {
    std::string name;
    std::string line;
};

// The calls of the comma-separated system calls that "migrator m" makes on the sandbox, in
// order. Throws when the run ends with another exit code than 0 or 1.
inline std::vector<SystemCall> tracedCalls(const TestSupport::MigratorSandbox& sandbox, const std::string& calls) {
    const std::string trace = sandbox.root() + "/calls.trace";
    TestSupport::ChildOptions options;
    options.arguments = {"-qq", "-y", "-o", trace, "-e", "trace=" + calls, "--", sandbox.program(), "m"};
    const TestSupport::ChildResult result = TestSupport::runChild(straceProgram, tracedOptions(sandbox, options));
    if (result.exitCode != 0 && result.exitCode != 1)
        throw std::runtime_error("traced run failed: " + result.err + result.out);
    std::vector<SystemCall> traced;
    for (const std::string& line : lines(TestSupport::readFile(trace))) {
        const std::string::size_type open = line.find('(');
        if (open != std::string::npos && line.compare(0, 3, "+++") != 0)
            traced.push_back({line.substr(0, open), line});
    }
    std::remove(trace.c_str());
    return traced;
}

// The when value that kills a run at the call of traced: its count among the calls of its name.
inline int ordinalOf(const std::vector<SystemCall>& traced, std::size_t index) {
    int when = 0;
    for (std::size_t i = 0; i <= index; ++i)
        when += traced[i].name == traced[index].name ? 1 : 0;
    return when;
}

// The runs of "migrator m" on an interrupted migration: whether one ended with 0 or 1 within
// three runs, and what they printed.
struct Ending {
    bool ended = false;
    std::string transcript;
};

inline Ending runUntilEnded(const TestSupport::MigratorSandbox& sandbox) {
    Ending ending;
    for (int attempt = 0; attempt < 3 && !ending.ended; ++attempt) {
        const TestSupport::ChildResult result = sandbox.run({"m"});
        ending.transcript += result.out;
        ending.ended = result.exitCode == 0 || result.exitCode == 1;
    }
    return ending;
}

// Runs the jobs on two workers, one per core; a job's exception is a failure of the test.
inline void onTwoWorkers(std::size_t count, const std::function<void(std::size_t)>& job) {
    auto worker = [&](std::size_t first) {
        for (std::size_t index = first; index < count; index += 2) {
            try {
                job(index);
            } catch (const std::exception& e) {
                ADD_FAILURE() << "job " << index << ": " << e.what();
            }
        }
    };
    std::thread second(worker, 1);
    worker(0);
    second.join();
}

} // namespace E2e
