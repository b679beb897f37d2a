#include "migrator/service/version13/settingsstep.hpp"

#include "libs/files/exceptions.hpp"
#include "libs/json/exceptions.hpp"
#include "libs/string/exceptions.hpp"
#include "support/childprocess.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"
#include "support/frameworkdouble.hpp"
#include "support/temporarydirectory.hpp"
#include "fixtures/v12data.hpp"
#include "transcript.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>
#include <boost/filesystem/operations.hpp>
#include <utf8.h>

#include <map>
#include <sstream>
#include <string>

namespace {

using TestSupport::exists;
using TestSupport::readFile;
using TestSupport::writeFile;

using StepFramework = TestSupport::FrameworkDouble;

class SettingsStep : public ::testing::Test {
protected:
    std::string sending() const { return data / "conf/sending.json"; }
    std::string storing() const { return data / "conf/storing.json"; }

    TestSupport::TemporaryDirectory data;
    StepFramework framework;
};

const std::string sendingRules = R"({ "12": {"delivery": {"recipient": "SK#12:5", "comment": ""}, "unknown": 1},)"
                                 R"( "3": {"delivery": {"recipient": "12"}, "deleteAfterSent": true}})";
const std::string sendingWritten =
    R"({"3":{"delivery":{"recipient":"#12"},"deleteAfterSent":true},"12":{"delivery":{"recipient":"SK#12"}}})";
const std::string storingRules = R"({"1": {"storage": {"study": {"device": {"device": {"device": {"port": 104,)"
                                 R"( "timeoutSec": 120, "authentication": null}}}}, "attachments": "<IGNORE>"}}})";
const std::string storingWritten =
    R"({"1":{"storage":{"study":{"device":{"device":{"device":{"port":104}}}},"attachments":"<IGNORE>"}}})";

TEST_F(SettingsStep, WithoutFilesBothAreRegisteredForDeletion)
{
    Migration::migrateSettingsFiles(framework, data.path());
    EXPECT_EQ(framework.filesToDelete(), (std::set<std::string>{sending(), storing()}));
    EXPECT_TRUE(framework.filesToReplace().empty());
    EXPECT_TRUE(TestSupport::listFiles(data.path()).empty());
}

TEST_F(SettingsStep, FilesWithoutRulesAreRegisteredForDeletion)
{
    for (const char* empty : {"", "{}", " null ", "[1,2]", "5"}) {
        writeFile(sending(), empty);
        writeFile(storing(), "{}");
        StepFramework fresh;
        Migration::migrateSettingsFiles(fresh, data.path());
        EXPECT_EQ(fresh.filesToDelete(), (std::set<std::string>{sending(), storing()})) << empty;
        EXPECT_TRUE(fresh.filesToReplace().empty());
        EXPECT_FALSE(exists(sending() + ".new"));
        EXPECT_EQ(readFile(sending()), empty);
    }
}

TEST_F(SettingsStep, RulesAreWrittenBesideTheOldFiles)
{
    writeFile(sending(), sendingRules);
    writeFile(storing(), storingRules);
    Migration::migrateSettingsFiles(framework, data.path());
    EXPECT_EQ(framework.filesToReplace(), (std::set<std::string>{sending(), storing()}));
    EXPECT_TRUE(framework.filesToDelete().empty());
    EXPECT_EQ(readFile(sending() + ".new"), sendingWritten);
    EXPECT_EQ(readFile(storing() + ".new"), storingWritten);
    EXPECT_EQ(readFile(sending()), sendingRules);
    EXPECT_EQ(readFile(storing()), storingRules);

    // The step on its own output writes the same bytes.
    writeFile(sending(), readFile(sending() + ".new"));
    writeFile(storing(), readFile(storing() + ".new"));
    StepFramework again;
    Migration::migrateSettingsFiles(again, data.path());
    EXPECT_EQ(readFile(sending() + ".new"), sendingWritten);
    EXPECT_EQ(readFile(storing() + ".new"), storingWritten);
}

TEST_F(SettingsStep, TheVersion12FixtureRewritesStably)
{
    Fixtures::writeSendingJson(sending());
    Fixtures::writeStoringJson(storing());
    Migration::migrateSettingsFiles(framework, data.path());
    const std::string sendingOnce = readFile(sending() + ".new");
    const std::string storingOnce = readFile(storing() + ".new");
    EXPECT_EQ(sendingOnce.find(':' + std::string("5\"")), std::string::npos);
    writeFile(sending(), sendingOnce);
    writeFile(storing(), storingOnce);
    StepFramework again;
    Migration::migrateSettingsFiles(again, data.path());
    EXPECT_EQ(readFile(sending() + ".new"), sendingOnce);
    EXPECT_EQ(readFile(storing() + ".new"), storingOnce);
}

struct BadFile {
    bool sending;
    std::string content;
    std::string key;        // Key_ expected in what(), empty when the failure has none
};

template <class Exception>
void expectStepFailure(const SettingsStep& test, const BadFile& bad, const std::string& sendingPath,
                       const std::string& storingPath, const std::string& dataPath)
{
    const std::string goodSending = sendingRules;
    const std::string goodStoring = storingRules;
    writeFile(sendingPath, bad.sending ? bad.content : goodSending);
    writeFile(storingPath, bad.sending ? goodStoring : bad.content);
    StepFramework framework;
    try {
        Migration::migrateSettingsFiles(framework, dataPath);
        ADD_FAILURE() << "no failure for " << bad.content;
    } catch (const Exception& error) {
        const std::string what = error.what();
        if (!bad.key.empty()) {
            EXPECT_NE(what.find("Json::Exceptions::Key=" + bad.key), std::string::npos) << what;
        }
        if constexpr (std::is_base_of_v<boost::exception, Exception>) {
            EXPECT_NE(what.find(bad.sending ? sendingPath : storingPath), std::string::npos) << what;
        }
    }
    EXPECT_EQ(readFile(sendingPath), bad.sending ? bad.content : goodSending);
    EXPECT_EQ(readFile(storingPath), bad.sending ? goodStoring : bad.content);
    (void)test;
}

TEST_F(SettingsStep, EveryFailureKindStopsTheStepAndLeavesTheRuleFiles)
{
    const auto check = [&](auto exception, const BadFile& bad) {
        using Exception = decltype(exception);
        expectStepFailure<Exception>(*this, bad, sending(), storing(), data.path());
    };
    check(String::Exceptions::InvalidUtf8String(), {true, "{\"1\":{\"delivery\":{\"recipient\":\"\xC3\x28\"}}}", ""});
    check(Json::Exceptions::InvalidJson(), {true, R"({"1":{"delivery":)", ""});
    check(Json::Exceptions::MissingKey(), {true, R"({"1":{"calledAeTitle":"x"}})", "delivery"});
    check(Json::Exceptions::MissingKey(), {true, R"({"1":{"delivery":{"comment":"x"}}})", "recipient"});
    check(Json::Exceptions::Uint32Expected(), {true, R"({"1":{"receiver":"x","delivery":{"recipient":"#1"}}})", "1.receiver"});
    check(Json::Exceptions::Uint32Expected(), {true, R"({"1":{"delivery":{"recipient":"#1"}},"first":null})", "first"});
    check(Json::Exceptions::MissingKey(), {false, R"({"1":{"user":1}})", "storage"});
    check(Json::Exceptions::MissingKey(), {false, R"({"1":{"storage":{"attachments":"x"}}})", "study"});
    check(Json::Exceptions::MissingKey(), {false, R"({"1":{"storage":{"study":{"device":{"device":{"device":{}}}}}}})", "port"});
    check(Json::Exceptions::MissingKey(),
          {false, R"({"1":{"storage":{"study":{"device":{"device":{"device":{"port":1,"services":{"query":false}}}}}}}})", "orbivue"});
    check(Json::Exceptions::InvalidLabel(), {false, R"({"1":{"storage":{"study":{"Folder":{}}}}})", "1.storage.study"});
    check(Json::Exceptions::InvalidLabel(), {false, R"({"1":{"storage":{"study":{}}}})", "1.storage.study"});
    check(Json::Exceptions::BadVariant(), {false, R"({"1":{"storage":{"study":{"orbivue":null},"attachments":1}}})",
                                           "1.storage.attachments"});
    check(Json::Exceptions::Uint8OutOfRange(),
          {false,
           R"({"1":{"storage":{"study":{"device":{"device":{"device":{"port":1,"authentication":{"kerberosToken":[300]}}}}}}}})",
           "1.storage.study.device.device.device.authentication.kerberosToken"});
    check(Json::Exceptions::Int32Expected(),
          {false, R"({"1":{"storage":{"study":{"device":{"device":{"device":{"port":1.5}}}}}}})",
           "1.storage.study.device.device.device.port"});
}

TEST_F(SettingsStep, AParseErrorNamesItsPosition)
{
    writeFile(sending(), R"({"1":)");
    try {
        Migration::migrateSettingsFiles(framework, data.path());
        FAIL();
    } catch (const Json::Exceptions::InvalidJson& error) {
        ASSERT_NE(boost::get_error_info<Json::Exceptions::ErrorPosition_>(error), nullptr);
        EXPECT_EQ(*boost::get_error_info<Json::Exceptions::ErrorPosition_>(error), 5u);
        EXPECT_NE(std::string(error.what()).find("Json::Exceptions::ErrorPosition=5"), std::string::npos) << error.what();
    }
}

TEST_F(SettingsStep, FileSystemFailuresPropagate)
{
    // A ".new" that cannot be created.
    writeFile(sending(), sendingRules);
    writeFile(sending() + ".new/blocker", "");
    EXPECT_THROW(Migration::migrateSettingsFiles(framework, data.path()), Files::Exceptions::OpenFile);
    EXPECT_EQ(readFile(sending()), sendingRules);
}

TEST_F(SettingsStep, AFailedStatusQueryIsNotTakenForAMissingFile)
{
    const std::string tooLong = data / std::string(300, 'd');
    EXPECT_THROW(Migration::migrateSettingsFiles(framework, tooLong), std::exception);
    EXPECT_TRUE(framework.filesToDelete().empty());
    EXPECT_TRUE(framework.filesToReplace().empty());
}

#ifdef QELT_MIGRATOR_PATH
// The whole program: a failing rule file fails the migration and no file of the service changes.
TEST(SettingsStepProgram, ABrokenRuleFileFailsTheMigrationAndChangesNothing)
{
    const TestSupport::MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    const std::string& dataDirectory = sandbox.dataDirectory();
    Fixtures::V12Options options;
    options.folders = 1;
    Fixtures::createV12DataDirectory(dataDirectory, options);
    const std::string brokenSending = R"({"1":{"delivery":{"comment":"no recipient"}}})";
    writeFile(dataDirectory + "/conf/sending.json", brokenSending);
    const std::string storingBefore = readFile(dataDirectory + "/conf/storing.json");
    const std::string confBefore = readFile(dataDirectory + "/conf/main.conf");
    const TestSupport::ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(result.exitCode, 255) << result.out << result.err;
    EXPECT_NE(result.out.find("Migrating settings.json..."), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Migration failed: "), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Json::Exceptions::Key=recipient"), std::string::npos) << result.out;
    EXPECT_EQ(readFile(dataDirectory + "/conf/sending.json"), brokenSending);
    EXPECT_EQ(readFile(dataDirectory + "/conf/storing.json"), storingBefore);
    EXPECT_EQ(readFile(dataDirectory + "/conf/main.conf"), confBefore);
}

// The program on a version-12 directory whose rule files a test breaks.
class RuleFileProgram : public ::testing::Test {
protected:
    RuleFileProgram()
    {
        Fixtures::V12Options options;
        options.folders = 1;
        Fixtures::createV12DataDirectory(sandbox.dataDirectory(), options);
    }

    std::string conf(const std::string& name) const { return sandbox.data("conf/" + name); }

    // Runs "m", which must fail with the failure code and leave every file as it was (the ".new"
    // files of the steps before aside), and returns its one "Error: " line with the throw
    // location segment shown as "<location>".
    std::string failureReport() const
    {
        const Files before = files();
        const TestSupport::ChildResult result = sandbox.run({"m"});
        EXPECT_EQ(result.exitCode, 255) << result.out << result.err;
        EXPECT_EQ(changes(before, files()), "");
        const std::vector<std::string> errors = E2e::linesStartingWith(result.out, "Error: ");
        EXPECT_EQ(errors.size(), 1u) << result.out;
        const std::string start = "Error: Migration failed: ";
        if (errors.empty() || !E2e::startsWith(errors.back(), start))
            return result.out;
        const std::string& line = errors.back();
        const std::size_t locationEnd = line.find('|');
        return locationEnd == std::string::npos ? line : start + "<location>" + line.substr(locationEnd);
    }

    TestSupport::MigratorSandbox sandbox{QELT_MIGRATOR_PATH};

private:
    using Files = std::map<std::string, std::string>;

    // The content of every regular file below the data directory, the log and ".new" files
    // aside; a link stands as its target and is never followed.
    Files files() const
    {
        namespace fs = boost::filesystem;
        Files result;
        const std::string& data = sandbox.dataDirectory();
        for (fs::recursive_directory_iterator it(data), end; it != end; ++it) {
            const std::string relative = it->path().lexically_relative(data).generic_string();
            const fs::file_type type = fs::symlink_status(it->path()).type();
            if (type == fs::symlink_file)
                result[relative] = "-> " + fs::read_symlink(it->path()).string();
            else if (type == fs::regular_file && relative.rfind("log/", 0) != 0 && it->path().extension() != ".new")
                result[relative] = readFile(it->path().string());
        }
        return result;
    }

    // The names of the files that differ, each with a space after it.
    static std::string changes(const Files& before, const Files& after)
    {
        std::string changed;
        for (const auto& [name, content] : before) {
            const auto found = after.find(name);
            if (found == after.end() || found->second != content)
                changed += name + ' ';
        }
        for (const auto& entry : after)
            changed += before.count(entry.first) == 0 ? entry.first + ' ' : std::string();
        return changed;
    }
};

TEST_F(RuleFileProgram, ARuleFileThatCannotBeExaminedNamesItsPathAndTheReason)
{
    boost::filesystem::remove(conf("sending.json"));
    boost::filesystem::create_symlink("sending.json", conf("sending.json"));
    EXPECT_EQ(failureReport(), "Error: Migration failed: <location>|boost::wrapexcept<Files::Exceptions::OpenFile>"
                               "|Files::Exceptions::Filename=" + conf("sending.json") +
                                   "|Exceptions::SystemErrorCode=40"
                                   "|Exceptions::SystemErrorDescription=Too many levels of symbolic links");
}

// A Latin-1 "\xE9" where UTF-8 is expected, as an editor saving in the wrong encoding leaves it:
// at the end of the file (a sequence cut off) and inside a string.
TEST_F(RuleFileProgram, ARuleFileThatIsNotUtf8NamesTheFileAndTheByte)
{
    const std::string rules = R"({"1":{"delivery":{"recipient":"SK#1","comment":"caf\u00e9"}}})";
    writeFile(conf("sending.json"), rules + "\xE9");
    EXPECT_EQ(failureReport(), "Error: Migration failed: <location>|boost::wrapexcept<String::Exceptions::InvalidUtf8String>"
                               "|String::Exceptions::ErrorPosition=" + std::to_string(rules.size()) +
                                   "|Exceptions::Filename=" + conf("sending.json"));

    writeFile(conf("sending.json"), "{}");
    const std::string folderStart = R"({"1":{"storage":{"study":{"folder":{"folder":"caf)";
    writeFile(conf("storing.json"), folderStart + "\xE9s\"}}}}}");
    EXPECT_EQ(failureReport(), "Error: Migration failed: <location>|boost::wrapexcept<String::Exceptions::InvalidUtf8String>"
                               "|String::Exceptions::ErrorPosition=" + std::to_string(folderStart.size()) +
                                   "|Exceptions::Filename=" + conf("storing.json"));
}

// An escaped zero byte inside a member name is part of the name: neither rule 1 nor the label
// "folder", but the error any other wrong text there gets.
TEST_F(RuleFileProgram, AnEscapedZeroByteInAMemberNameIsAnError)
{
    writeFile(conf("sending.json"), R"({"1\u00002":{"delivery":{"recipient":"SK#1"}}})");
    EXPECT_EQ(failureReport(), "Error: Migration failed: <location>|boost::wrapexcept<Json::Exceptions::Uint32Expected>"
                               "|Exceptions::Filename=" + conf("sending.json") + "|Json::Exceptions::Key=1\\u00002");

    writeFile(conf("sending.json"), "{}");
    writeFile(conf("storing.json"), R"({"1":{"storage":{"study":{"folder\u0000x":{"folder":"D:\\in"}}}}})");
    EXPECT_EQ(failureReport(), "Error: Migration failed: <location>|boost::wrapexcept<Json::Exceptions::InvalidLabel>"
                               "|Exceptions::Filename=" + conf("storing.json") +
                                   "|Json::Exceptions::Key=1.storage.study|Json::Exceptions::Label=folder\\u0000x");
}
#endif

} // namespace
