#include "shared/service/servicesettings.hpp"

#include "libs/config/settings/exceptions.hpp"
#include "libs/config/settings/version.hpp"
#include "libs/string/text.hpp"

namespace Config {

namespace {

using Registration = ServiceRegistrationSettings;

std::string textSetting(const SettingMap& settings, const std::string& key,
                        const std::string& defaultValue)
{
    std::string value = defaultValue;
    settings.tryGet(key, value);
    return value;
}

void readVersion(const SettingMap& settings, bool checkVersion, unsigned int& version)
{
    if (checkVersion) {
        checkConfigVersion(settings, currentConfigVersion);
        version = currentConfigVersion;
        return;
    }
    if (!tryReadConfigVersion(settings, version))
        version = 0;
}

void read(const SettingMap& settings, Registration::Institution& institution,
          bool rejectInstitutionId)
{
    institution.id = ::Institution::Id();
    std::string text;
    if (settings.tryGet("institution.id", text))
        institution.id.fromText(text);
    if (rejectInstitutionId && !institution.id.isEmpty())
        BOOST_THROW_EXCEPTION(Exceptions::MyInstitutionIdAlreadyExist());
    institution.directory = textSetting(settings, "institution.directory", "institution");
}

void read(const SettingMap& settings, Registration::Server& server)
{
    convert(settings.get("server.institutionId"), server.institutionId);
    server.addresses.clear();
    convert(settings.get("server.address"), server.addresses);
    if (server.addresses.empty())
        BOOST_THROW_EXCEPTION(Exceptions::NoServerAddress());

    readSetting(settings, "server.maxConnections", server.maxConnections, 2u);
    readSetting(settings, "server.maxRetries", server.maxRetries, 2u);
    readSetting(settings, "server.timeoutSeconds", server.timeoutSeconds, 300u);
    readSetting(settings, "server.connectionTimeoutSeconds", server.connectionTimeoutSeconds, 10u);
    readSetting(settings, "server.systemTimeoutSeconds", server.systemTimeoutSeconds, 120u);
    readSetting(settings, "server.updateIntervalSeconds", server.updateIntervalSeconds, 300u);
    readSetting(settings, "server.updateRetryIntervalSeconds", server.updateRetryIntervalSeconds,
                10u);
    readSetting(settings, "server.maxPeriodOfStallingSeconds", server.maxPeriodOfStallingSeconds,
                300u);
    readSetting(settings, "server.minPeriodOfStallingSeconds", server.minPeriodOfStallingSeconds,
                5u);
    readSetting(settings, "server.stallingIndicationDelaySeconds",
                server.stallingIndicationDelaySeconds, 300u);
    readSetting(settings, "server.idleSessionCheckIntervalMinutes",
                server.idleSessionCheckIntervalMinutes, 60u);
    readSetting(settings, "server.idleSessionTimeoutMinutes", server.idleSessionTimeoutMinutes,
                60u);
    readSetting(settings, "server.disableExpect100Continue", server.disableExpect100Continue,
                true);
    readSetting(settings, "server.lowSpeedLimit.bytesPerSecond",
                server.lowSpeedLimit.bytesPerSecond, 1024u);
    readSetting(settings, "server.lowSpeedLimit.periodSeconds", server.lowSpeedLimit.periodSeconds,
                10u);
    readSetting(settings, "server.fileLowSpeedLimit.bytesPerSecond",
                server.fileLowSpeedLimit.bytesPerSecond, 2048u);
    readSetting(settings, "server.fileLowSpeedLimit.periodSeconds",
                server.fileLowSpeedLimit.periodSeconds, 20u);
    readSetting(settings, "server.internalTimeoutSeconds", server.internalTimeoutSeconds, 30u);
    readSetting(settings, "server.alternativeDownload.enable", server.alternativeDownload.enable,
                true);
    readSetting(settings, "server.alternativeDownload.minWaitAfterErrorSeconds",
                server.alternativeDownload.minWaitAfterErrorSeconds, 5u);
    readSetting(settings, "server.alternativeDownload.maxWaitAfterErrorSeconds",
                server.alternativeDownload.maxWaitAfterErrorSeconds, 480u);
}

void read(const SettingMap& settings, Registration::Proxy& proxy)
{
    proxy.server = textSetting(settings, "proxy.server", "");
    proxy.user = textSetting(settings, "proxy.user", "");
    proxy.password = textSetting(settings, "proxy.password", "");
    proxy.enabled = false;
    proxy.automatic = false;
    std::string mode;
    if (!settings.tryGet("proxy", mode))
        return;
    if (String::compareNoCase(mode, "auto") == 0 || String::compareNoCase(mode, "automatic") == 0) {
        proxy.enabled = true;
        proxy.automatic = true;
        return;
    }
    if (!mode.empty())
        convert(mode, proxy.enabled);
    if (proxy.enabled && proxy.server.empty())
        BOOST_THROW_EXCEPTION(Exceptions::MissingProxyServer());
}

int defaultCompressionLevel(Compress::Type::Enum type)
{
    switch (type) {
    case Compress::Type::gzip: return 3;
    case Compress::Type::bzip2: return 5;
    default: return 0;
    }
}

void read(const SettingMap& settings, Registration::Compression& compression)
{
    std::string typeText;
    compression.type = settings.tryGet("compression.type", typeText)
                           ? Compress::Type::fromText(typeText)
                           : Compress::Type::gzip;
    const int defaultLevel = defaultCompressionLevel(compression.type);
    std::string levelText;
    if (!settings.tryGet("compression.level", levelText)
        || !tryConvert(levelText, compression.level))
        compression.level = defaultLevel;

    if (compression.type != Compress::Type::gzip && compression.type != Compress::Type::bzip2) {
        compression.type = Compress::Type::none;
        compression.level = 0;
        return;
    }
    if (compression.level < 0 || compression.level > 9)
        compression.level = defaultLevel;
    if (compression.level == 0)
        compression.type = Compress::Type::none;
}

void read(const SettingMap& settings, ServiceSettings::Study& study)
{
    study.directory = textSetting(settings, "study.directory", "study");
    readSetting(settings, "study.dbTimeoutMilliseconds", study.dbTimeoutMilliseconds, 30000u);
    readSetting(settings, "study.cleanupIntervalSeconds", study.cleanupIntervalSeconds, 3600u);
    readSetting(settings, "study.removeUnfinishedAfterInactivityTimeSeconds",
                study.removeUnfinishedAfterInactivityTimeSeconds, 7200u);
    readSetting(settings, "study.deleted.cleanupIntervalMinutes",
                study.deletedCleanupIntervalMinutes, 1440u);
    readSetting(settings, "study.deleted.lifetimeDays", study.deletedLifetimeDays, 31u);

    auto& checker = study.duplicateChecker;
    readSetting(settings, "study.duplicateChecker.enable", checker.enable, true);
    readSetting(settings, "study.duplicateChecker.lifetimeSeconds", checker.lifetimeSeconds,
                86400u);
    readSetting(settings, "study.duplicateChecker.processingLifetimeSeconds",
                checker.processingLifetimeSeconds, 3600u);
    readSetting(settings, "study.duplicateChecker.cleanupIntervalSeconds",
                checker.cleanupIntervalSeconds, 600u);
    readSetting(settings, "study.duplicateChecker.ignoreAttachments", checker.ignoreAttachments,
                false);
    readSetting(settings, "study.duplicateChecker.ignoreComment", checker.ignoreComment, false);
}

void read(const SettingMap& settings, ServiceSettings::Robot& robot)
{
    robot.directory = textSetting(settings, "robot.directory", "robot");
    robot.studyDirectory = textSetting(settings, "robot.studyDirectory", "robot/study");
    robot.attachmentDirectory =
        textSetting(settings, "robot.attachmentDirectory", "robot/attachment");
    robot.imageFilenamePolicy = textSetting(settings, "robot.imageFilenamePolicy",
                                            "<taskId>/<seriesIndex>-<imageIndex>.dcm");
    robot.attachmentFilenamePolicy =
        textSetting(settings, "robot.attachmentFilenamePolicy", "<taskId>/<attachmentName>");
    readSetting(settings, "robot.dbTimeoutMilliseconds", robot.dbTimeoutMilliseconds, 30000u);
    readSetting(settings, "robot.minRetryIntervalSeconds", robot.minRetryIntervalSeconds, 300u);
    readSetting(settings, "robot.maxRetryIntervalSeconds", robot.maxRetryIntervalSeconds, 3600u);
    readSetting(settings, "robot.receiveStudyClosingTimeoutSeconds",
                robot.receiveStudyClosingTimeoutSeconds, 120u);
    readSetting(settings, "robot.removingFirstCheckSeconds", robot.removingFirstCheckSeconds, 60u);
    readSetting(settings, "robot.removingCheckIntervalSeconds", robot.removingCheckIntervalSeconds,
                3600u);
    readSetting(settings, "robot.storeMaxAttempts", robot.storeMaxAttempts, 10u);
    readSetting(settings, "robot.storeTimeLimitSeconds", robot.storeTimeLimitSeconds, 604800u);
    readOptionalSetting(settings, "robot.workers", robot.workers);
    readOptionalSetting(settings, "robot.storingWorkers", robot.storingWorkers);
}

void read(const SettingMap& settings, ServiceSettings::Record& record)
{
    record.directory = textSetting(settings, "record.directory", "record");
    readSetting(settings, "record.maxCacheSize", record.maxCacheSize, 1000u);
    readSetting(settings, "record.dbTimeoutMilliseconds", record.dbTimeoutMilliseconds, 30000u);
    readSetting(settings, "record.dbOptimizationIntervalMinutes",
                record.dbOptimizationIntervalMinutes, 120u);
}

void read(const SettingMap& settings, ServiceSettings::Package& package)
{
    package.directory = textSetting(settings, "package.directory", "package");
    readSetting(settings, "package.cleanupIntervalSeconds", package.cleanupIntervalSeconds,
                604800u);
    readSetting(settings, "package.downloader.firstUpdateDelaySeconds",
                package.downloaderFirstUpdateDelaySeconds, 300u);
    readSetting(settings, "package.downloader.updateIntervalSeconds",
                package.downloaderUpdateIntervalSeconds, 3600u);
    readSetting(settings, "package.downloader.updateIntervalAfterFailureSeconds",
                package.downloaderUpdateIntervalAfterFailureSeconds, 300u);
}

void read(const SettingMap& settings, ServiceSettings::Dicomizer& dicomizer)
{
    readSetting(settings, "dicomizer.enabled", dicomizer.enabled, true);
    dicomizer.modality = textSetting(settings, "dicomizer.modality", "DOC");
}

void read(const SettingMap& settings, ServiceSettings::Bundling& bundling)
{
    readSetting(settings, "bundling.fragmentSize", bundling.fragmentSize, 4194304u);
    if (bundling.fragmentSize < 1024)
        bundling.fragmentSize = 1024;
    readOptionalSetting(settings, "bundling.workers", bundling.workers);
    readOptionalSetting(settings, "bundling.readBufferSize", bundling.readBufferSize);
    readOptionalSetting(settings, "bundling.processBufferSize", bundling.processBufferSize);
    readOptionalSetting(settings, "bundling.writeBufferSize", bundling.writeBufferSize);
}

void read(const SettingMap& settings, ServiceSettings::Unbundling& unbundling)
{
    readOptionalSetting(settings, "unbundling.workers", unbundling.workers);
    readOptionalSetting(settings, "unbundling.readBufferSize", unbundling.readBufferSize);
    readOptionalSetting(settings, "unbundling.processBufferSize", unbundling.processBufferSize);
    readOptionalSetting(settings, "unbundling.writeBufferSize", unbundling.writeBufferSize);
}

void read(const SettingMap& settings, ServiceSettings::Notification& notification)
{
    readSetting(settings, "notification.intervalSeconds", notification.intervalSeconds, 10u);
    notification.mailSender = textSetting(settings, "notification.mailSender", "");
}

void readPresentOptional(const SettingMap& settings, const std::string& key,
                         OptionalUnsigned& value, unsigned int defaultValue)
{
    readOptionalSetting(settings, key, value);
    if (!value)
        value = defaultValue;
}

void read(const SettingMap& settings, ServiceSettings::Dqc& dqc)
{
    readSetting(settings, "dqc.communicationPort", dqc.communicationPort, 805u);
    readSetting(settings, "dqc.communicationRetryIntervalMilliseconds",
                dqc.communicationRetryIntervalMilliseconds, 100u);
    readSetting(settings, "dqc.communicationTimeoutSeconds", dqc.communicationTimeoutSeconds, 30u);
    readSetting(settings, "dqc.yamiConnectionTimeoutSeconds", dqc.yamiConnectionTimeoutSeconds,
                30u);
    readPresentOptional(settings, "dqc.restartAfterTransformations",
                        dqc.restartAfterTransformations, 10000u);
    readPresentOptional(settings, "dqc.stopAfterInactivitySeconds", dqc.stopAfterInactivitySeconds,
                        300u);
    readPresentOptional(settings, "dqc.transformationTimeoutSeconds",
                        dqc.transformationTimeoutSeconds, 300u);
}

void readMinFreeDiskSpace(const SettingMap& settings, std::uint64_t& megabytes)
{
    std::string text;
    if (!settings.tryGet("service.minFreeDiskSpaceInMB", text) || !tryConvert(text, megabytes))
        megabytes = 1024;
}

} // namespace

ServiceRegistrationSettings readServiceRegistrationSettings(const SettingMap& settings,
                                                            bool checkVersion,
                                                            bool rejectInstitutionId)
{
    ServiceRegistrationSettings result;
    readVersion(settings, checkVersion, result.version);
    read(settings, result.institution, rejectInstitutionId);
    read(settings, result.server);
    read(settings, result.proxy);
    read(settings, result.compression);
    return result;
}

ServiceSettings readServiceSettings(const SettingMap& settings, bool checkVersion)
{
    ServiceSettings result;
    static_cast<ServiceRegistrationSettings&>(result) =
        readServiceRegistrationSettings(settings, checkVersion, false);
    convert(settings.get("institution.id"), result.institution.id);

    readSetting(settings, "api.port", result.apiPort, 803u);
    read(settings, result.study);
    result.messageDirectory = textSetting(settings, "message.directory", "message");
    read(settings, result.robot);
    read(settings, result.record);
    read(settings, result.package);
    result.dicomAeTitle = textSetting(settings, "dicom.aeTitle", "PACS");
    read(settings, result.dicomizer);
    read(settings, result.bundling);
    read(settings, result.unbundling);
    read(settings, result.notification);
    result.scriptDirectory = textSetting(settings, "script.directory", "script");
    result.bundleDirectory = textSetting(settings, "bundle.directory", "bundle");
    readSetting(settings, "enableSending.disabledTaskDelaySeconds",
                result.enableSendingDisabledTaskDelaySeconds, 300u);
    read(settings, result.dqc);
    readSetting(settings, "service.backupHour", result.backupHour, 3u);
    readMinFreeDiskSpace(settings, result.minFreeDiskSpaceInMB);
    readOptionalSetting(settings, "service.backgroundWorkers", result.backgroundWorkers);
    readSetting(settings, "service.tempFileLifetimeSeconds", result.tempFileLifetimeSeconds,
                14400u);
    return result;
}

const std::vector<std::string>& knownServiceSettingKeys()
{
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> names = {
            "data.version",
            "institution.id",
            "institution.directory",
            "server.institutionId",
            "server.address",
            "server.maxConnections",
            "server.maxRetries",
            "server.timeoutSeconds",
            "server.connectionTimeoutSeconds",
            "server.systemTimeoutSeconds",
            "server.updateIntervalSeconds",
            "server.updateRetryIntervalSeconds",
            "server.maxPeriodOfStallingSeconds",
            "server.minPeriodOfStallingSeconds",
            "server.stallingIndicationDelaySeconds",
            "server.idleSessionCheckIntervalMinutes",
            "server.idleSessionTimeoutMinutes",
            "server.disableExpect100Continue",
            "server.lowSpeedLimit.bytesPerSecond",
            "server.lowSpeedLimit.periodSeconds",
            "server.fileLowSpeedLimit.bytesPerSecond",
            "server.fileLowSpeedLimit.periodSeconds",
            "server.internalTimeoutSeconds",
            "server.alternativeDownload.enable",
            "server.alternativeDownload.minWaitAfterErrorSeconds",
            "server.alternativeDownload.maxWaitAfterErrorSeconds",
            "proxy",
            "proxy.server",
            "proxy.user",
            "proxy.password",
            "compression.type",
            "compression.level",
            "api.port",
            "study.directory",
            "study.dbTimeoutMilliseconds",
            "study.cleanupIntervalSeconds",
            "study.removeUnfinishedAfterInactivityTimeSeconds",
            "study.deleted.cleanupIntervalMinutes",
            "study.deleted.lifetimeDays",
            "study.duplicateChecker.enable",
            "study.duplicateChecker.lifetimeSeconds",
            "study.duplicateChecker.processingLifetimeSeconds",
            "study.duplicateChecker.cleanupIntervalSeconds",
            "study.duplicateChecker.ignoreAttachments",
            "study.duplicateChecker.ignoreComment",
            "message.directory",
            "robot.directory",
            "robot.studyDirectory",
            "robot.attachmentDirectory",
            "robot.imageFilenamePolicy",
            "robot.attachmentFilenamePolicy",
            "robot.dbTimeoutMilliseconds",
            "robot.minRetryIntervalSeconds",
            "robot.maxRetryIntervalSeconds",
            "robot.receiveStudyClosingTimeoutSeconds",
            "robot.removingFirstCheckSeconds",
            "robot.removingCheckIntervalSeconds",
            "robot.storeMaxAttempts",
            "robot.storeTimeLimitSeconds",
            "robot.workers",
            "robot.storingWorkers",
            "record.directory",
            "record.maxCacheSize",
            "record.dbTimeoutMilliseconds",
            "record.dbOptimizationIntervalMinutes",
            "package.directory",
            "package.cleanupIntervalSeconds",
            "package.downloader.firstUpdateDelaySeconds",
            "package.downloader.updateIntervalSeconds",
            "package.downloader.updateIntervalAfterFailureSeconds",
            "dicom.aeTitle",
            "dicomizer.enabled",
            "dicomizer.modality",
            "bundling.fragmentSize",
            "bundling.workers",
            "bundling.readBufferSize",
            "bundling.processBufferSize",
            "bundling.writeBufferSize",
            "unbundling.workers",
            "unbundling.readBufferSize",
            "unbundling.processBufferSize",
            "unbundling.writeBufferSize",
            "notification.intervalSeconds",
            "notification.mailSender",
            "script.directory",
            "bundle.directory",
            "enableSending.disabledTaskDelaySeconds",
            "dqc.communicationPort",
            "dqc.communicationRetryIntervalMilliseconds",
            "dqc.communicationTimeoutSeconds",
            "dqc.yamiConnectionTimeoutSeconds",
            "dqc.restartAfterTransformations",
            "dqc.stopAfterInactivitySeconds",
            "dqc.transformationTimeoutSeconds",
            "service.backupHour",
            "service.minFreeDiskSpaceInMB",
            "service.backgroundWorkers",
            "service.tempFileLifetimeSeconds",
        };
        for (auto& name : names)
            name = String::toLower(name);
        return names;
    }();
    return keys;
}

} // namespace Config
