#include "shared/service/servicesettings.hpp"

#include "libs/config/settings/exceptions.hpp"

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Config::SettingMap;
namespace Ex = Config::Exceptions;

SettingMap makeMap(const std::vector<std::pair<std::string, std::string>>& entries)
{
    SettingMap map;
    for (const auto& [key, value] : entries)
        map.set(key, value);
    return map;
}

SettingMap minimalMap()
{
    return makeMap({{"server.institutionId", "SRV#1"},
                    {"server.address", "central.example"},
                    {"institution.id", "SK#12"}});
}

SettingMap minimalWith(const std::vector<std::pair<std::string, std::string>>& extra)
{
    SettingMap map = minimalMap();
    for (const auto& [key, value] : extra)
        map.set(key, value);
    return map;
}

Config::ServiceSettings readWith(const std::vector<std::pair<std::string, std::string>>& extra)
{
    return Config::readServiceSettings(minimalWith(extra), false);
}

Institution::Id idOf(const std::string& text)
{
    Institution::Id id;
    EXPECT_TRUE(id.fromText(text)) << text;
    return id;
}

TEST(ServiceSettings, MinimalMapGivesEveryDefault)
{
    const Config::ServiceSettings s = Config::readServiceSettings(minimalMap(), false);
    EXPECT_EQ(s.version, 0u);
    EXPECT_EQ(s.institution.id, idOf("SK#12"));
    EXPECT_EQ(s.institution.directory, "institution");

    EXPECT_EQ(s.server.institutionId, idOf("SRV#1"));
    EXPECT_EQ(s.server.addresses, std::vector<std::string>{"central.example"});
    EXPECT_EQ(s.server.maxConnections, 2u);
    EXPECT_EQ(s.server.maxRetries, 2u);
    EXPECT_EQ(s.server.timeoutSeconds, 300u);
    EXPECT_EQ(s.server.connectionTimeoutSeconds, 10u);
    EXPECT_EQ(s.server.systemTimeoutSeconds, 120u);
    EXPECT_EQ(s.server.updateIntervalSeconds, 300u);
    EXPECT_EQ(s.server.updateRetryIntervalSeconds, 10u);
    EXPECT_EQ(s.server.maxPeriodOfStallingSeconds, 300u);
    EXPECT_EQ(s.server.minPeriodOfStallingSeconds, 5u);
    EXPECT_EQ(s.server.stallingIndicationDelaySeconds, 300u);
    EXPECT_EQ(s.server.idleSessionCheckIntervalMinutes, 60u);
    EXPECT_EQ(s.server.idleSessionTimeoutMinutes, 60u);
    EXPECT_TRUE(s.server.disableExpect100Continue);
    EXPECT_EQ(s.server.lowSpeedLimit.bytesPerSecond, 1024u);
    EXPECT_EQ(s.server.lowSpeedLimit.periodSeconds, 10u);
    EXPECT_EQ(s.server.fileLowSpeedLimit.bytesPerSecond, 2048u);
    EXPECT_EQ(s.server.fileLowSpeedLimit.periodSeconds, 20u);
    EXPECT_EQ(s.server.internalTimeoutSeconds, 30u);
    EXPECT_TRUE(s.server.alternativeDownload.enable);
    EXPECT_EQ(s.server.alternativeDownload.minWaitAfterErrorSeconds, 5u);
    EXPECT_EQ(s.server.alternativeDownload.maxWaitAfterErrorSeconds, 480u);

    EXPECT_FALSE(s.proxy.enabled);
    EXPECT_FALSE(s.proxy.automatic);
    EXPECT_EQ(s.proxy.server, "");
    EXPECT_EQ(s.proxy.user, "");
    EXPECT_EQ(s.proxy.password, "");
    EXPECT_EQ(s.compression.type, Compress::Type::gzip);
    EXPECT_EQ(s.compression.level, 3);

    EXPECT_EQ(s.apiPort, 803u);
    EXPECT_EQ(s.study.directory, "study");
    EXPECT_EQ(s.study.dbTimeoutMilliseconds, 30000u);
    EXPECT_EQ(s.study.cleanupIntervalSeconds, 3600u);
    EXPECT_EQ(s.study.removeUnfinishedAfterInactivityTimeSeconds, 7200u);
    EXPECT_EQ(s.study.deletedCleanupIntervalMinutes, 1440u);
    EXPECT_EQ(s.study.deletedLifetimeDays, 31u);
    EXPECT_TRUE(s.study.duplicateChecker.enable);
    EXPECT_EQ(s.study.duplicateChecker.lifetimeSeconds, 86400u);
    EXPECT_EQ(s.study.duplicateChecker.processingLifetimeSeconds, 3600u);
    EXPECT_EQ(s.study.duplicateChecker.cleanupIntervalSeconds, 600u);
    EXPECT_FALSE(s.study.duplicateChecker.ignoreAttachments);
    EXPECT_FALSE(s.study.duplicateChecker.ignoreComment);
    EXPECT_EQ(s.messageDirectory, "message");

    EXPECT_EQ(s.robot.directory, "robot");
    EXPECT_EQ(s.robot.studyDirectory, "robot/study");
    EXPECT_EQ(s.robot.attachmentDirectory, "robot/attachment");
    EXPECT_EQ(s.robot.imageFilenamePolicy, "<taskId>/<seriesIndex>-<imageIndex>.dcm");
    EXPECT_EQ(s.robot.attachmentFilenamePolicy, "<taskId>/<attachmentName>");
    EXPECT_EQ(s.robot.dbTimeoutMilliseconds, 30000u);
    EXPECT_EQ(s.robot.minRetryIntervalSeconds, 300u);
    EXPECT_EQ(s.robot.maxRetryIntervalSeconds, 3600u);
    EXPECT_EQ(s.robot.receiveStudyClosingTimeoutSeconds, 120u);
    EXPECT_EQ(s.robot.removingFirstCheckSeconds, 60u);
    EXPECT_EQ(s.robot.removingCheckIntervalSeconds, 3600u);
    EXPECT_EQ(s.robot.storeMaxAttempts, 10u);
    EXPECT_EQ(s.robot.storeTimeLimitSeconds, 604800u);
    EXPECT_FALSE(s.robot.workers);
    EXPECT_FALSE(s.robot.storingWorkers);

    EXPECT_EQ(s.record.directory, "record");
    EXPECT_EQ(s.record.maxCacheSize, 1000u);
    EXPECT_EQ(s.record.dbTimeoutMilliseconds, 30000u);
    EXPECT_EQ(s.record.dbOptimizationIntervalMinutes, 120u);
    EXPECT_EQ(s.package.directory, "package");
    EXPECT_EQ(s.package.cleanupIntervalSeconds, 604800u);
    EXPECT_EQ(s.package.downloaderFirstUpdateDelaySeconds, 300u);
    EXPECT_EQ(s.package.downloaderUpdateIntervalSeconds, 3600u);
    EXPECT_EQ(s.package.downloaderUpdateIntervalAfterFailureSeconds, 300u);
    EXPECT_EQ(s.dicomAeTitle, "PACS");
    EXPECT_TRUE(s.dicomizer.enabled);
    EXPECT_EQ(s.dicomizer.modality, "DOC");

    EXPECT_EQ(s.bundling.fragmentSize, 4194304u);
    EXPECT_FALSE(s.bundling.workers);
    EXPECT_FALSE(s.bundling.readBufferSize);
    EXPECT_FALSE(s.bundling.processBufferSize);
    EXPECT_FALSE(s.bundling.writeBufferSize);
    EXPECT_FALSE(s.unbundling.workers);
    EXPECT_FALSE(s.unbundling.readBufferSize);
    EXPECT_FALSE(s.unbundling.processBufferSize);
    EXPECT_FALSE(s.unbundling.writeBufferSize);
    EXPECT_EQ(s.notification.intervalSeconds, 10u);
    EXPECT_EQ(s.notification.mailSender, "");
    EXPECT_EQ(s.scriptDirectory, "script");
    EXPECT_EQ(s.bundleDirectory, "bundle");
    EXPECT_EQ(s.enableSendingDisabledTaskDelaySeconds, 300u);
    EXPECT_EQ(s.backupHour, 3u);
    EXPECT_EQ(s.minFreeDiskSpaceInMB, 1024u);
    EXPECT_FALSE(s.backgroundWorkers);
    EXPECT_EQ(s.tempFileLifetimeSeconds, 14400u);

    EXPECT_EQ(s.dqc.communicationPort, 805u);
    EXPECT_EQ(s.dqc.communicationRetryIntervalMilliseconds, 100u);
    EXPECT_EQ(s.dqc.communicationTimeoutSeconds, 30u);
    EXPECT_EQ(s.dqc.yamiConnectionTimeoutSeconds, 30u);
    EXPECT_EQ(s.dqc.restartAfterTransformations, 10000u);
    EXPECT_EQ(s.dqc.stopAfterInactivitySeconds, 300u);
    EXPECT_EQ(s.dqc.transformationTimeoutSeconds, 300u);
}

TEST(ServiceSettings, VersionCheck)
{
    EXPECT_EQ(readWith({{"data.version", "12"}}).version, 12u);
    EXPECT_EQ(readWith({{"data.version", "abc"}}).version, 0u);
    EXPECT_THROW(Config::readServiceSettings(minimalMap(), true), Ex::VersionNotFound);
    EXPECT_THROW(Config::readServiceSettings(minimalWith({{"data.version", "-13"}}), true),
                 Ex::VersionNotFound);
    EXPECT_THROW(Config::readServiceSettings(minimalWith({{"data.version", "12"}}), true),
                 Ex::BadVersion);
    EXPECT_EQ(Config::readServiceSettings(minimalWith({{"data.version", "13"}}), true).version, 13u);
}

template <typename Failure>
void expectMissingKey(const SettingMap& map, const std::string& key)
{
    try {
        Config::readServiceSettings(map, false);
        ADD_FAILURE() << "read without " << key;
    } catch (const Failure& e) {
        const std::string* tag = boost::get_error_info<Ex::Key_>(e);
        EXPECT_TRUE(tag && *tag == key) << key;
    }
}

TEST(ServiceSettings, IdentifiersAreRequiredAndStrict)
{
    SettingMap map = minimalMap();
    map.remove("server.institutionId");
    expectMissingKey<Ex::SettingNotFound>(map, "server.institutionId");
    map = minimalMap();
    map.remove("institution.id");
    expectMissingKey<Ex::SettingNotFound>(map, "institution.id");

    for (const char* key : {"server.institutionId", "institution.id"}) {
        try {
            Config::readServiceSettings(minimalWith({{key, "TOOLONG#1"}}), false);
            ADD_FAILURE() << "accepted a bad " << key;
        } catch (const Ex::InvalidValue& e) {
            const std::string* value = boost::get_error_info<Ex::Value_>(e);
            EXPECT_TRUE(value && *value == "TOOLONG#1");
        }
    }

    // The registration part alone tolerates a bad or missing own identifier.
    map = minimalWith({{"institution.id", "bad id"}});
    EXPECT_TRUE(Config::readServiceRegistrationSettings(map, false, false).institution.id.isEmpty());
    EXPECT_NO_THROW(Config::readServiceRegistrationSettings(map, false, true));
    map.remove("institution.id");
    EXPECT_NO_THROW(Config::readServiceRegistrationSettings(map, false, true));
    EXPECT_THROW(Config::readServiceRegistrationSettings(minimalMap(), false, true),
                 Ex::MyInstitutionIdAlreadyExist);
    map = minimalMap();
    map.remove("server.institutionId");
    EXPECT_THROW(Config::readServiceRegistrationSettings(map, false, true),
                 Ex::MyInstitutionIdAlreadyExist);
    EXPECT_EQ(Config::readServiceRegistrationSettings(minimalMap(), false, false).institution.id,
              idOf("SK#12"));
}

TEST(ServiceSettings, ServerAddressList)
{
    EXPECT_EQ(readWith({{"server.address", "alpha, ,beta"}}).server.addresses,
              (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(readWith({{"server.address", " \tone "}}).server.addresses,
              std::vector<std::string>{"one"});
    EXPECT_THROW(readWith({{"server.address", ", ,"}}), Ex::NoServerAddress);
    EXPECT_THROW(readWith({{"server.address", ""}}), Ex::NoServerAddress);
    SettingMap map = minimalMap();
    map.remove("server.address");
    expectMissingKey<Ex::SettingNotFound>(map, "server.address");
}

TEST(ServiceSettings, ProxySwitch)
{
    auto proxy = readWith({{"proxy", "AUTO"}}).proxy;
    EXPECT_TRUE(proxy.enabled && proxy.automatic);
    proxy = readWith({{"proxy", "Automatic"}}).proxy;
    EXPECT_TRUE(proxy.enabled && proxy.automatic);
    proxy = readWith({{"proxy", "yes"}, {"proxy.server", "p1"}, {"proxy.user", "u"},
                      {"proxy.password", "pw"}})
                .proxy;
    EXPECT_TRUE(proxy.enabled);
    EXPECT_FALSE(proxy.automatic);
    EXPECT_EQ(proxy.server, "p1");
    EXPECT_EQ(proxy.user, "u");
    EXPECT_EQ(proxy.password, "pw");
    proxy = readWith({{"proxy", "no"}, {"proxy.server", "p1"}}).proxy;
    EXPECT_FALSE(proxy.enabled || proxy.automatic);
    EXPECT_EQ(proxy.server, "p1");
    proxy = readWith({{"proxy", ""}}).proxy;
    EXPECT_FALSE(proxy.enabled || proxy.automatic);

    EXPECT_THROW(readWith({{"proxy", "yes"}}), Ex::MissingProxyServer);
    EXPECT_THROW(readWith({{"proxy", "ON"}, {"proxy.server", ""}}), Ex::MissingProxyServer);
    try {
        readWith({{"proxy", "perhaps"}});
        ADD_FAILURE() << "accepted an unknown proxy switch";
    } catch (const Ex::InvalidValue& e) {
        const std::string* value = boost::get_error_info<Ex::Value_>(e);
        const std::string* type = boost::get_error_info<Ex::ExpectedType_>(e);
        EXPECT_TRUE(value && *value == "perhaps");
        EXPECT_TRUE(type && *type == "bool");
    }
}

TEST(ServiceSettings, FailuresFollowTheOrderOfTheGroups)
{
    SettingMap map = minimalWith({{"proxy", "perhaps"}, {"server.address", ","}});
    EXPECT_THROW(Config::readServiceSettings(map, false), Ex::NoServerAddress);
    map.remove("server.address");
    EXPECT_THROW(Config::readServiceSettings(map, true), Ex::VersionNotFound);
    EXPECT_THROW(Config::readServiceSettings(map, false), Ex::SettingNotFound);

    // The own identifier, lenient in the registration part, is required only after it.
    map = minimalWith({{"institution.id", "bad id"}, {"proxy", "yes"}});
    EXPECT_THROW(Config::readServiceSettings(map, false), Ex::MissingProxyServer);
    map.remove("proxy");
    EXPECT_THROW(Config::readServiceSettings(map, false), Ex::InvalidValue);
}

TEST(ServiceSettings, CompressionIsNormalised)
{
    auto compression = readWith({{"compression.type", "BZIP2"}}).compression;
    EXPECT_EQ(compression.type, Compress::Type::bzip2);
    EXPECT_EQ(compression.level, 5);
    compression = readWith({{"compression.type", "gzip"}, {"compression.level", "12"}}).compression;
    EXPECT_EQ(compression.type, Compress::Type::gzip);
    EXPECT_EQ(compression.level, 3);
    compression = readWith({{"compression.type", "bzip2"}, {"compression.level", "-1"}}).compression;
    EXPECT_EQ(compression.level, 5);
    compression = readWith({{"compression.type", "bzip2"}, {"compression.level", "9"}}).compression;
    EXPECT_EQ(compression.level, 9);
    compression = readWith({{"compression.level", "0"}}).compression;
    EXPECT_EQ(compression.type, Compress::Type::none);
    EXPECT_EQ(compression.level, 0);
    compression = readWith({{"compression.type", "zip"}, {"compression.level", "4"}}).compression;
    EXPECT_EQ(compression.type, Compress::Type::none);
    EXPECT_EQ(compression.level, 0);
    compression = readWith({{"compression.level", "lots"}}).compression;
    EXPECT_EQ(compression.type, Compress::Type::gzip);
    EXPECT_EQ(compression.level, 3);
}

TEST(ServiceSettings, ForgivingNumbersAndSpecialRules)
{
    EXPECT_EQ(readWith({{"bundling.fragmentSize", "100"}}).bundling.fragmentSize, 1024u);
    EXPECT_EQ(readWith({{"bundling.fragmentSize", "0"}}).bundling.fragmentSize, 1024u);
    EXPECT_EQ(readWith({{"bundling.fragmentSize", "1025"}}).bundling.fragmentSize, 1025u);

    auto s = readWith({{"robot.workers", "0"}, {"dqc.stopAfterInactivitySeconds", "7"},
                       {"bundling.workers", "x"}});
    EXPECT_EQ(s.robot.workers, 0u);
    EXPECT_EQ(s.dqc.stopAfterInactivitySeconds, 7u);
    EXPECT_FALSE(s.bundling.workers);

    EXPECT_EQ(readWith({{"service.minFreeDiskSpaceInMB", "5000000000"}}).minFreeDiskSpaceInMB,
              5000000000u);
    EXPECT_EQ(readWith({{"service.minFreeDiskSpaceInMB", "-1"}}).minFreeDiskSpaceInMB, 1024u);

    s = readWith({{"Server.MaxRetries", "5"}, {"server.timeoutSeconds", "soon"},
                  {"dicomizer.enabled", "maybe"}, {"api.port", "0"}, {"server.maxConnections", "-2"},
                  {"study.duplicateChecker.ignoreComment", "ON"}, {"DICOM.AETITLE", "X"}});
    EXPECT_EQ(s.server.maxRetries, 5u);
    EXPECT_EQ(s.server.timeoutSeconds, 300u);
    EXPECT_TRUE(s.dicomizer.enabled);
    EXPECT_EQ(s.apiPort, 0u);
    EXPECT_EQ(s.server.maxConnections, 2u);
    EXPECT_TRUE(s.study.duplicateChecker.ignoreComment);
    EXPECT_EQ(s.dicomAeTitle, "X");

    s = readWith({{"study.directory", ""}, {"notification.mailSender", "ops@example"}});
    EXPECT_EQ(s.study.directory, "");
    EXPECT_EQ(s.notification.mailSender, "ops@example");
}

} // namespace
