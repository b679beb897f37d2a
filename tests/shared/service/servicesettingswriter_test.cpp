#include "shared/service/servicesettingswriter.hpp"

#include "libs/config/inifile/inifile.hpp"
#include "libs/files/exceptions.hpp"
#include "support/filecontent.hpp"
#include "support/platform.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using Config::SettingMap;
using TestSupport::textModeLines;

SettingMap minimalMap()
{
    SettingMap map;
    map.set("data.version", "13");
    map.set("institution.id", "SK#12");
    map.set("server.institutionId", "SRV#1");
    map.set("server.address", "central.example");
    return map;
}

// A record as the reader gives it for a file of identifiers and one address only.
Config::ServiceSettings defaultRecord()
{
    return Config::readServiceSettings(minimalMap(), true);
}

// "#" of the identifiers is written escaped, so that it does not start a comment.
const char* const fourLines = "data.version = 13\n"
                              "institution.id = SK\\#12\n"
                              "server.address = central.example\n"
                              "server.institutionid = SRV\\#1\n";

// Every key the reader knows, set to a value other than its default, in the form the writer
// uses for it.
const char* const everySettingChanged = R"(data.version = 12
institution.id = SK\#12
institution.directory = inst
server.institutionId = SRV\#1
server.address = alpha, beta
server.maxConnections = 3
server.maxRetries = 4
server.timeoutSeconds = 0
server.connectionTimeoutSeconds = 11
server.systemTimeoutSeconds = 121
server.updateIntervalSeconds = 301
server.updateRetryIntervalSeconds = 12
server.maxPeriodOfStallingSeconds = 302
server.minPeriodOfStallingSeconds = 6
server.stallingIndicationDelaySeconds = 303
server.idleSessionCheckIntervalMinutes = 61
server.idleSessionTimeoutMinutes = 62
server.disableExpect100Continue = no
server.lowSpeedLimit.bytesPerSecond = 1025
server.lowSpeedLimit.periodSeconds = 13
server.fileLowSpeedLimit.bytesPerSecond = 2049
server.fileLowSpeedLimit.periodSeconds = 21
server.internalTimeoutSeconds = 31
server.alternativeDownload.enable = no
server.alternativeDownload.minWaitAfterErrorSeconds = 7
server.alternativeDownload.maxWaitAfterErrorSeconds = 481
proxy = yes
proxy.server = p1
proxy.user = u\#1
proxy.password = C:\\pw\!
compression.type = bzip2
compression.level = 8
api.port = 804
study.directory = /srv/study
study.dbTimeoutMilliseconds = 30001
study.cleanupIntervalSeconds = 3601
study.removeUnfinishedAfterInactivityTimeSeconds = 7201
study.deleted.cleanupIntervalMinutes = 1441
study.deleted.lifetimeDays = 32
study.duplicateChecker.enable = no
study.duplicateChecker.lifetimeSeconds = 86401
study.duplicateChecker.processingLifetimeSeconds = 3602
study.duplicateChecker.cleanupIntervalSeconds = 601
study.duplicateChecker.ignoreAttachments = yes
study.duplicateChecker.ignoreComment = yes
message.directory = msg
robot.directory = rb
robot.studyDirectory = rb/s
robot.attachmentDirectory = rb/a
robot.imageFilenamePolicy = <taskId>.dcm
robot.attachmentFilenamePolicy = <attachmentName>
robot.dbTimeoutMilliseconds = 30002
robot.minRetryIntervalSeconds = 304
robot.maxRetryIntervalSeconds = 3603
robot.receiveStudyClosingTimeoutSeconds = 122
robot.removingFirstCheckSeconds = 63
robot.removingCheckIntervalSeconds = 3604
robot.storeMaxAttempts = 0
robot.storeTimeLimitSeconds = 604801
robot.workers = 0
robot.storingWorkers = 2
record.directory = rec
record.maxCacheSize = 1001
record.dbTimeoutMilliseconds = 30003
record.dbOptimizationIntervalMinutes = 121
package.directory = pkg
package.cleanupIntervalSeconds = 604802
package.downloader.firstUpdateDelaySeconds = 305
package.downloader.updateIntervalSeconds = 3605
package.downloader.updateIntervalAfterFailureSeconds = 306
dicom.aeTitle = AE
dicomizer.enabled = no
dicomizer.modality = OT
bundling.fragmentSize = 1024
bundling.workers = 5
bundling.readBufferSize = 1
bundling.processBufferSize = 2
bundling.writeBufferSize = 3
unbundling.workers = 4
unbundling.readBufferSize = 5
unbundling.processBufferSize = 6
unbundling.writeBufferSize = 7
notification.intervalSeconds = 11
notification.mailSender = ops@example
script.directory = scr
bundle.directory = bdl
enableSending.disabledTaskDelaySeconds = 307
dqc.communicationPort = 806
dqc.communicationRetryIntervalMilliseconds = 101
dqc.communicationTimeoutSeconds = 32
dqc.yamiConnectionTimeoutSeconds = 33
dqc.restartAfterTransformations = 10001
dqc.stopAfterInactivitySeconds = 0
dqc.transformationTimeoutSeconds = 308
service.backupHour = 4
service.minFreeDiskSpaceInMB = 5000000000
service.backgroundWorkers = 2
service.tempFileLifetimeSeconds = 14401
)";

class ServiceSettingsWriterTest : public ::testing::Test {
protected:
    // The file as the writer leaves it, in text mode (support/platform.hpp).
    std::string writtenText(const Config::ServiceSettings& settings)
    {
        Config::writeServiceSettings(settings, file());
        return TestSupport::readFile(file());
    }

    std::string file() const { return dir_ / "conf/main.conf.new"; }

    TestSupport::TemporaryDirectory dir_;
};

TEST_F(ServiceSettingsWriterTest, DefaultsGiveTheFourLineFile)
{
    EXPECT_EQ(writtenText(defaultRecord()), textModeLines(fourLines));
    EXPECT_EQ(Config::toIniText(Config::toServiceSettingMap(defaultRecord(), SettingMap())),
              fourLines);
}

TEST_F(ServiceSettingsWriterTest, SingleSettingsAsTheyAreWritten)
{
    Config::ServiceSettings s = defaultRecord();
    s.server.addresses = {"alpha", "beta"};
    std::string text = writtenText(s);
    EXPECT_NE(text.find(textModeLines("\nserver.address = alpha, beta\n")), std::string::npos) << text;
    EXPECT_EQ(Config::readServiceSettings(Config::readIniFile(file()), true).server.addresses,
              s.server.addresses);

    s = defaultRecord();
    s.dicomizer.enabled = false;
    s.server.disableExpect100Continue = false;
    s.server.timeoutSeconds = 0;
    s.robot.workers = 3;
    s.notification.mailSender = "ops#1";
    text = writtenText(s);
    for (const char* line : {"dicomizer.enabled = no\n", "server.disableexpect100continue = no\n",
                             "server.timeoutseconds = 0\n", "robot.workers = 3\n",
                             "notification.mailsender = ops\\#1\n"})
        EXPECT_NE(text.find(textModeLines(line)), std::string::npos) << line << " missing in\n" << text;
    EXPECT_EQ(Config::readServiceSettings(Config::readIniFile(file()), true).notification.mailSender,
              "ops#1");

    s = defaultRecord();
    s.robot.workers = 1;
    s.dicomizer.enabled = true;
    EXPECT_EQ(writtenText(s), textModeLines(fourLines));

    s = defaultRecord();
    s.proxy.enabled = true;
    s.proxy.automatic = true;
    EXPECT_EQ(writtenText(s), textModeLines("data.version = 13\ninstitution.id = SK\\#12\nproxy = auto\n"
                                            "server.address = central.example\nserver.institutionid = SRV\\#1\n"));
    s.proxy.automatic = false;
    s.proxy.server = "p1";
    EXPECT_EQ(writtenText(s), textModeLines("data.version = 13\ninstitution.id = SK\\#12\nproxy = yes\n"
                                            "proxy.server = p1\nserver.address = central.example\n"
                                            "server.institutionid = SRV\\#1\n"));
    s.proxy.enabled = false;
    s.proxy.user = "u";
    text = writtenText(s);
    EXPECT_EQ(text.find("proxy ="), std::string::npos) << text;

    s = defaultRecord();
    s.compression = {Compress::Type::bzip2, 5};
    EXPECT_EQ(writtenText(s), textModeLines("compression.type = bzip2\n" + std::string(fourLines)));
    s.compression = {Compress::Type::none, 0};
    EXPECT_EQ(writtenText(s),
              textModeLines("compression.level = 0\ncompression.type = none\n" + std::string(fourLines)));
    s.compression = {Compress::Type::gzip, 7};
    EXPECT_EQ(writtenText(s), textModeLines("compression.level = 7\n" + std::string(fourLines)));
}

TEST_F(ServiceSettingsWriterTest, ExactRewriteOfAHandEditedFile)
{
    TestSupport::writeFile(dir_ / "main.conf", "# service configuration\r\n"
                                               "[data]\r\nversion = 12\r\n"
                                               "[Institution]\r\nId = SK\\#12\r\n"
                                               "[Server]\r\nInstitutionId = SRV\\#1\r\n"
                                               "Address = legacy.example , \r\n"
                                               "timeoutSeconds = 300   ! the default\r\n"
                                               "[compression]\r\ntype = BZIP2\r\n"
                                               "[]\r\ndicomizer.enabled = No\r\nproxy = auto\r\n"
                                               "proxy.server = \"\"\r\n"
                                               "[migrator.log]\r\nlevel : debug\r\n");
    const SettingMap original = Config::readIniFile(dir_ / "main.conf");
    Config::ServiceSettings settings = Config::readServiceSettings(original, false);
    settings.version = 13;
    settings.server.addresses = {"central.example"};
    Config::writeServiceSettings(settings, original, file());
    EXPECT_EQ(TestSupport::readFile(file()), textModeLines("compression.type = bzip2\n"
                                                           "data.version = 13\n"
                                                           "dicomizer.enabled = no\n"
                                                           "institution.id = SK\\#12\n"
                                                           "migrator.log.level = debug\n"
                                                           "proxy = auto\n"
                                                           "server.address = central.example\n"
                                                           "server.institutionid = SRV\\#1\n"));

    settings.proxy.enabled = false;
    settings.proxy.server = "p1";
    Config::writeServiceSettings(settings, file());
    EXPECT_EQ(TestSupport::readFile(file()), textModeLines("compression.type = bzip2\n"
                                                           "data.version = 13\n"
                                                           "dicomizer.enabled = no\n"
                                                           "institution.id = SK\\#12\n"
                                                           "proxy.server = p1\n"
                                                           "server.address = central.example\n"
                                                           "server.institutionid = SRV\\#1\n"));
}

TEST_F(ServiceSettingsWriterTest, EverySettingSurvivesTheRewrite)
{
    TestSupport::writeFile(dir_ / "main.conf", everySettingChanged);
    const SettingMap original = Config::readIniFile(dir_ / "main.conf");
    const Config::ServiceSettings settings = Config::readServiceSettings(original, false);

    EXPECT_EQ(Config::toServiceSettingMap(settings), original);
    Config::writeServiceSettings(settings, file());
    EXPECT_EQ(Config::readIniFile(file()), original);

    const auto& known = Config::knownServiceSettingKeys();
    EXPECT_EQ(known.size(), original.size());
    for (const auto& [key, value] : original)
        EXPECT_NE(std::find(known.begin(), known.end(), key), known.end()) << key;
}

TEST_F(ServiceSettingsWriterTest, UnknownKeysOfTheOldFileAreCarriedOver)
{
    SettingMap original = minimalMap();
    original.set("data.version", "12");
    original.set("migrator.log.level", "debug");
    original.set("Service.Log.File", "log/service.log");
    original.set("other.component.flag", "C:\\x!#");
    original.set("server.timeoutSeconds", "5");
    original.set("server.maxRetries", "soon");
    original.set("dicomizer.enabled", "no");
    original.set(" robot .workers", "3");

    Config::ServiceSettings settings = Config::readServiceSettings(original, false);
    settings.version = 13;
    settings.server.timeoutSeconds = 300;
    settings.server.addresses = {"new.example"};
    Config::writeServiceSettings(settings, original, file());

    const SettingMap written = Config::readIniFile(file());
    SettingMap expected;
    expected.set("data.version", "13");
    expected.set("institution.id", "SK#12");
    expected.set("server.institutionId", "SRV#1");
    expected.set("server.address", "new.example");
    expected.set("dicomizer.enabled", "no");
    expected.set("migrator.log.level", "debug");
    expected.set("service.log.file", "log/service.log");
    expected.set("other.component.flag", "C:\\x!#");
    expected.set(" robot .workers", "3");
    EXPECT_EQ(written, expected);
}

TEST_F(ServiceSettingsWriterTest, FileFailuresReachTheCaller)
{
    TestSupport::writeFile(dir_ / "blocker", "a file, not a folder");
    EXPECT_THROW(Config::writeServiceSettings(defaultRecord(), dir_ / "blocker/main.conf.new"),
                 Files::Exceptions::Exception);
    EXPECT_FALSE(TestSupport::exists(dir_ / "blocker/main.conf.new"));
}

} // namespace
