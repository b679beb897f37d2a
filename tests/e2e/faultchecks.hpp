#pragma once
// The checks of the migrator runs that fail on purpose: the data directory's original files as
// bytes, and the transcript of a failed step.

#include "e2e/transcript.hpp"

#include "fixtures/v12data.hpp"
#include "support/childprocess.hpp"
#include "support/filecontent.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace FaultChecks {

using Snapshot = std::map<std::string, std::string>;

inline Fixtures::V12Options smallDirectory()
{
    Fixtures::V12Options options;
    options.folders = 2;
    options.jobs = 4;
    options.events = 60;
    options.deletedJobs = 8;
    options.messages = 8;
    return options;
}

inline bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Every file below the data directory with its bytes, except the log, the ".new" copies and
// whatever lies below the excluded path (an obstacle the test put there).
inline Snapshot originals(const std::string& data, const std::string& excluded = std::string())
{
    Snapshot files;
    for (const std::string& file : TestSupport::listFiles(data)) {
        if (file.rfind("log/", 0) == 0 || endsWith(file, ".new"))
            continue;
        if (!excluded.empty() && file.rfind(excluded, 0) == 0)
            continue;
        files[file] = TestSupport::readFile(data + "/" + file);
    }
    return files;
}

// The names of the files whose bytes differ, that are gone or that appeared.
inline std::vector<std::string> differences(const Snapshot& before, const Snapshot& after)
{
    std::vector<std::string> changed;
    for (const auto& [file, bytes] : before) {
        auto found = after.find(file);
        if (found == after.end())
            changed.push_back(file + " (gone)");
        else if (found->second != bytes)
            changed.push_back(file + " (changed)");
    }
    for (const auto& entry : after) {
        if (before.count(entry.first) == 0)
            changed.push_back(entry.first + " (new)");
    }
    return changed;
}

inline std::string joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += item + "\n";
    return text;
}

inline std::string lastLine(const std::string& text)
{
    const auto all = E2e::lines(text);
    return all.empty() ? std::string() : all.back();
}

// A failed step: the transcript ends with the report and its reason (followed only by the log's
// own records when the log file cannot be opened and the log writes to standard output), and the
// exit code is the failure code.
inline void expectStepFailure(const TestSupport::ChildResult& result, const std::string& reason, const std::string& name)
{
    EXPECT_EQ(result.exitCode, 255) << name << "\n" << result.out << result.err;
    const auto all = E2e::lines(result.out);
    auto report = all.end();
    for (auto line = all.begin(); line != all.end(); ++line) {
        if (E2e::startsWith(*line, "Error: "))
            report = line;
    }
    ASSERT_NE(report, all.end()) << name << "\n" << result.out;
    const std::string start = "Error: Migration failed: ";
    EXPECT_TRUE(E2e::startsWith(*report, start) && report->size() > start.size()) << name << "\n" << result.out;
    EXPECT_NE(report->find(reason), std::string::npos) << name << ": no '" << reason << "' in\n" << result.out;
    for (auto line = report + 1; line != all.end(); ++line)
        EXPECT_TRUE(E2e::startsWith(*line, "[")) << name << ": after the report: " << *line;
    EXPECT_EQ(result.out.find("Migration finished successfully."), std::string::npos) << name;
}

} // namespace FaultChecks
