#include "shared/service/servicesettingswriter.hpp"

#include "libs/config/inifile/inifile.hpp"

#include <algorithm>

namespace Config {

namespace {

using Registration = ServiceRegistrationSettings;

void writeText(SettingMap& map, const std::string& key, const std::string& value)
{
    map.setOrRemove(key, value);
}

std::string joinAddresses(const std::vector<std::string>& addresses)
{
    std::string joined;
    for (const auto& address : addresses) {
        if (!joined.empty())
            joined += ", ";
        joined += address;
    }
    return joined;
}

void write(SettingMap& map, const Registration::Institution& institution)
{
    writeSetting(map, "institution.id", institution.id);
    writeSetting(map, "institution.directory", institution.directory, std::string("institution"));
}

void write(SettingMap& map, const Registration::Server& server)
{
    writeSetting(map, "server.institutionId", server.institutionId);
    writeText(map, "server.address", joinAddresses(server.addresses));
    writeSetting(map, "server.maxConnections", server.maxConnections, 2u);
    writeSetting(map, "server.maxRetries", server.maxRetries, 2u);
    writeSetting(map, "server.timeoutSeconds", server.timeoutSeconds, 300u);
    writeSetting(map, "server.connectionTimeoutSeconds", server.connectionTimeoutSeconds, 10u);
    writeSetting(map, "server.systemTimeoutSeconds", server.systemTimeoutSeconds, 120u);
    writeSetting(map, "server.updateIntervalSeconds", server.updateIntervalSeconds, 300u);
    writeSetting(map, "server.updateRetryIntervalSeconds", server.updateRetryIntervalSeconds, 10u);
    writeSetting(map, "server.minPeriodOfStallingSeconds", server.minPeriodOfStallingSeconds, 5u);
    writeSetting(map, "server.maxPeriodOfStallingSeconds", server.maxPeriodOfStallingSeconds,
                 300u);
    writeSetting(map, "server.stallingIndicationDelaySeconds",
                 server.stallingIndicationDelaySeconds, 300u);
    writeSetting(map, "server.idleSessionTimeoutMinutes", server.idleSessionTimeoutMinutes, 60u);
    writeSetting(map, "server.idleSessionCheckIntervalMinutes",
                 server.idleSessionCheckIntervalMinutes, 60u);
    writeSetting(map, "server.disableExpect100Continue", server.disableExpect100Continue, true);
    writeSetting(map, "server.lowSpeedLimit.bytesPerSecond", server.lowSpeedLimit.bytesPerSecond,
                 1024u);
    writeSetting(map, "server.lowSpeedLimit.periodSeconds", server.lowSpeedLimit.periodSeconds,
                 10u);
    writeSetting(map, "server.fileLowSpeedLimit.bytesPerSecond",
                 server.fileLowSpeedLimit.bytesPerSecond, 2048u);
    writeSetting(map, "server.fileLowSpeedLimit.periodSeconds",
                 server.fileLowSpeedLimit.periodSeconds, 20u);
    writeSetting(map, "server.internalTimeoutSeconds", server.internalTimeoutSeconds, 30u);
    writeSetting(map, "server.alternativeDownload.enable", server.alternativeDownload.enable, true);
    writeSetting(map, "server.alternativeDownload.minWaitAfterErrorSeconds",
                 server.alternativeDownload.minWaitAfterErrorSeconds, 5u);
    writeSetting(map, "server.alternativeDownload.maxWaitAfterErrorSeconds",
                 server.alternativeDownload.maxWaitAfterErrorSeconds, 480u);
}

void write(SettingMap& map, const Registration::Proxy& proxy)
{
    if (proxy.enabled)
        map.set("proxy", proxy.automatic ? "auto" : "yes");
    else
        map.remove("proxy");
    writeText(map, "proxy.server", proxy.server);
    writeText(map, "proxy.user", proxy.user);
    writeText(map, "proxy.password", proxy.password);
}

void write(SettingMap& map, const Registration::Compression& compression)
{
    writeSetting(map, "compression.type", compression.type, Compress::Type::gzip);
    const int defaultLevel = compression.type == Compress::Type::gzip ? 3 : 5;
    writeSetting(map, "compression.level", compression.level, defaultLevel);
}

void write(SettingMap& map, const ServiceSettings::Study& study)
{
    writeSetting(map, "study.directory", study.directory, std::string("study"));
    writeSetting(map, "study.dbTimeoutMilliseconds", study.dbTimeoutMilliseconds, 30000u);
    writeSetting(map, "study.cleanupIntervalSeconds", study.cleanupIntervalSeconds, 3600u);
    writeSetting(map, "study.removeUnfinishedAfterInactivityTimeSeconds",
                 study.removeUnfinishedAfterInactivityTimeSeconds, 7200u);
    writeSetting(map, "study.deleted.cleanupIntervalMinutes", study.deletedCleanupIntervalMinutes,
                 1440u);
    writeSetting(map, "study.deleted.lifetimeDays", study.deletedLifetimeDays, 31u);

    const auto& checker = study.duplicateChecker;
    writeSetting(map, "study.duplicateChecker.enable", checker.enable, true);
    writeSetting(map, "study.duplicateChecker.lifetimeSeconds", checker.lifetimeSeconds, 86400u);
    writeSetting(map, "study.duplicateChecker.processingLifetimeSeconds",
                 checker.processingLifetimeSeconds, 3600u);
    writeSetting(map, "study.duplicateChecker.cleanupIntervalSeconds",
                 checker.cleanupIntervalSeconds, 600u);
    writeSetting(map, "study.duplicateChecker.ignoreAttachments", checker.ignoreAttachments,
                 false);
    writeSetting(map, "study.duplicateChecker.ignoreComment", checker.ignoreComment, false);
}

void write(SettingMap& map, const ServiceSettings::Robot& robot)
{
    writeSetting(map, "robot.directory", robot.directory, std::string("robot"));
    writeSetting(map, "robot.studyDirectory", robot.studyDirectory, std::string("robot/study"));
    writeSetting(map, "robot.attachmentDirectory", robot.attachmentDirectory,
                 std::string("robot/attachment"));
    writeSetting(map, "robot.imageFilenamePolicy", robot.imageFilenamePolicy,
                 std::string("<taskId>/<seriesIndex>-<imageIndex>.dcm"));
    writeSetting(map, "robot.attachmentFilenamePolicy", robot.attachmentFilenamePolicy,
                 std::string("<taskId>/<attachmentName>"));
    writeSetting(map, "robot.dbTimeoutMilliseconds", robot.dbTimeoutMilliseconds, 30000u);
    writeSetting(map, "robot.minRetryIntervalSeconds", robot.minRetryIntervalSeconds, 300u);
    writeSetting(map, "robot.maxRetryIntervalSeconds", robot.maxRetryIntervalSeconds, 3600u);
    writeSetting(map, "robot.receiveStudyClosingTimeoutSeconds",
                 robot.receiveStudyClosingTimeoutSeconds, 120u);
    writeSetting(map, "robot.removingFirstCheckSeconds", robot.removingFirstCheckSeconds, 60u);
    writeSetting(map, "robot.removingCheckIntervalSeconds", robot.removingCheckIntervalSeconds,
                 3600u);
    writeSetting(map, "robot.storeMaxAttempts", robot.storeMaxAttempts, 10u);
    writeSetting(map, "robot.storeTimeLimitSeconds", robot.storeTimeLimitSeconds, 604800u);
    writeSetting(map, "robot.workers", robot.workers, 1u);
    writeSetting(map, "robot.storingWorkers", robot.storingWorkers, 1u);
}

void write(SettingMap& map, const ServiceSettings::Record& record)
{
    writeSetting(map, "record.directory", record.directory, std::string("record"));
    writeSetting(map, "record.maxCacheSize", record.maxCacheSize, 1000u);
    writeSetting(map, "record.dbTimeoutMilliseconds", record.dbTimeoutMilliseconds, 30000u);
    writeSetting(map, "record.dbOptimizationIntervalMinutes", record.dbOptimizationIntervalMinutes,
                 120u);
}

void write(SettingMap& map, const ServiceSettings::Package& package)
{
    writeSetting(map, "package.directory", package.directory, std::string("package"));
    writeSetting(map, "package.cleanupIntervalSeconds", package.cleanupIntervalSeconds, 604800u);
    writeSetting(map, "package.downloader.firstUpdateDelaySeconds",
                 package.downloaderFirstUpdateDelaySeconds, 300u);
    writeSetting(map, "package.downloader.updateIntervalSeconds",
                 package.downloaderUpdateIntervalSeconds, 3600u);
    writeSetting(map, "package.downloader.updateIntervalAfterFailureSeconds",
                 package.downloaderUpdateIntervalAfterFailureSeconds, 300u);
}

void write(SettingMap& map, const ServiceSettings::Dicomizer& dicomizer)
{
    writeSetting(map, "dicomizer.enabled", dicomizer.enabled, true);
    writeSetting(map, "dicomizer.modality", dicomizer.modality, std::string("DOC"));
}

void write(SettingMap& map, const ServiceSettings::Bundling& bundling)
{
    writeSetting(map, "bundling.fragmentSize", bundling.fragmentSize, 4194304u);
    writeSetting(map, "bundling.workers", bundling.workers, 4u);
    writeSetting(map, "bundling.readBufferSize", bundling.readBufferSize, 2097152u);
    writeSetting(map, "bundling.processBufferSize", bundling.processBufferSize, 65536u);
    writeSetting(map, "bundling.writeBufferSize", bundling.writeBufferSize, 2097152u);
}

void write(SettingMap& map, const ServiceSettings::Unbundling& unbundling)
{
    writeSetting(map, "unbundling.workers", unbundling.workers, 2u);
    writeSetting(map, "unbundling.readBufferSize", unbundling.readBufferSize, 2097152u);
    writeSetting(map, "unbundling.processBufferSize", unbundling.processBufferSize, 65536u);
    writeSetting(map, "unbundling.writeBufferSize", unbundling.writeBufferSize, 2097152u);
}

void write(SettingMap& map, const ServiceSettings::Notification& notification)
{
    writeSetting(map, "notification.intervalSeconds", notification.intervalSeconds, 10u);
    writeSetting(map, "notification.mailSender", notification.mailSender, std::string());
}

void write(SettingMap& map, const ServiceSettings::Dqc& dqc)
{
    writeSetting(map, "dqc.communicationPort", dqc.communicationPort, 805u);
    writeSetting(map, "dqc.communicationRetryIntervalMilliseconds",
                 dqc.communicationRetryIntervalMilliseconds, 100u);
    writeSetting(map, "dqc.communicationTimeoutSeconds", dqc.communicationTimeoutSeconds, 30u);
    writeSetting(map, "dqc.yamiConnectionTimeoutSeconds", dqc.yamiConnectionTimeoutSeconds, 30u);
    writeSetting(map, "dqc.restartAfterTransformations", dqc.restartAfterTransformations, 10000u);
    writeSetting(map, "dqc.stopAfterInactivitySeconds", dqc.stopAfterInactivitySeconds, 300u);
    writeSetting(map, "dqc.transformationTimeoutSeconds", dqc.transformationTimeoutSeconds, 300u);
}

bool isKnownKey(const std::string& lowerCaseKey)
{
    const auto& known = knownServiceSettingKeys();
    return std::find(known.begin(), known.end(), lowerCaseKey) != known.end();
}

} // namespace

SettingMap toServiceSettingMap(const ServiceSettings& settings)
{
    SettingMap map;
    writeSetting(map, "data.version", settings.version);
    write(map, settings.institution);
    write(map, settings.server);
    write(map, settings.proxy);
    write(map, settings.compression);
    writeSetting(map, "api.port", settings.apiPort, 803u);
    write(map, settings.study);
    writeSetting(map, "message.directory", settings.messageDirectory, std::string("message"));
    write(map, settings.robot);
    write(map, settings.record);
    write(map, settings.package);
    writeSetting(map, "dicom.aeTitle", settings.dicomAeTitle, std::string("PACS"));
    write(map, settings.dicomizer);
    write(map, settings.bundling);
    write(map, settings.unbundling);
    write(map, settings.notification);
    writeSetting(map, "script.directory", settings.scriptDirectory, std::string("script"));
    writeSetting(map, "bundle.directory", settings.bundleDirectory, std::string("bundle"));
    writeSetting(map, "enableSending.disabledTaskDelaySeconds",
                 settings.enableSendingDisabledTaskDelaySeconds, 300u);
    writeSetting(map, "service.backupHour", settings.backupHour, 3u);
    writeSetting(map, "service.minFreeDiskSpaceInMB", settings.minFreeDiskSpaceInMB, 1024u);
    writeSetting(map, "service.backgroundWorkers", settings.backgroundWorkers, 1u);
    writeSetting(map, "service.tempFileLifetimeSeconds", settings.tempFileLifetimeSeconds, 14400u);
    write(map, settings.dqc);
    return map;
}

SettingMap toServiceSettingMap(const ServiceSettings& settings, const SettingMap& original)
{
    SettingMap map = toServiceSettingMap(settings);
    for (const auto& [key, value] : original) {
        if (!isKnownKey(key))
            map.set(key, value);
    }
    return map;
}

void writeServiceSettings(const ServiceSettings& settings, const std::string& filename)
{
    writeIniFile(toServiceSettingMap(settings), filename);
}

void writeServiceSettings(const ServiceSettings& settings, const SettingMap& original,
                          const std::string& filename)
{
    writeIniFile(toServiceSettingMap(settings, original), filename);
}

} // namespace Config
