#include "shared/service/servicesettingstable.hpp"

#include "libs/config/settings/version.hpp"
#include "libs/string/text.hpp"
#include "shared/service/servicesettingkinds.hpp"

#include <functional>
#include <string>
#include <vector>

namespace Config {

namespace {

using namespace ServiceSettingKinds;

// One row of the table: a key, the member of the record it fills and the kind of the setting.
template <typename Record>
struct Row {
    template <typename Member, typename Kind>
    Row(const char* settingKey, Member member, Kind kind)
        : key(settingKey),
          read([=](const SettingMap& settings, Record& record) {
              kind.read(settings, settingKey, member(record));
          }),
          write([=](const Record& record, SettingMap& settings) {
              kind.write(settings, settingKey, member(record));
          })
    {
    }

    const char* key;
    std::function<void(const SettingMap&, Record&)> read;
    std::function<void(const Record&, SettingMap&)> write;
};

// The member at the path, in a record or in a read-only one.
#define MEMBER(path) [](auto& record) -> auto& { return record.path; }

// Who the service is and how it reaches the central server, in reading order: failures are
// reported in this order. The version is checked against the current one, and the own identifier
// rejected, before the rows are read, when the caller asks for it.
const Row<Registration> registrationTable[] = {
    {configVersionKey, MEMBER(version), Number{0}},
    {institutionIdKey, MEMBER(institution.id), LenientIdentifier{}},
    {"institution.directory", MEMBER(institution.directory), Text{"institution"}},
    {"server.institutionId", MEMBER(server.institutionId), Identifier{}},
    {"server.address", MEMBER(server.addresses), AddressList{}},
    {"server.maxConnections", MEMBER(server.maxConnections), Number{2}},
    {"server.maxRetries", MEMBER(server.maxRetries), Number{2}},
    {"server.timeoutSeconds", MEMBER(server.timeoutSeconds), Number{300}},
    {"server.connectionTimeoutSeconds", MEMBER(server.connectionTimeoutSeconds), Number{10}},
    {"server.systemTimeoutSeconds", MEMBER(server.systemTimeoutSeconds), Number{120}},
    {"server.updateIntervalSeconds", MEMBER(server.updateIntervalSeconds), Number{300}},
    {"server.updateRetryIntervalSeconds", MEMBER(server.updateRetryIntervalSeconds), Number{10}},
    {"server.maxPeriodOfStallingSeconds", MEMBER(server.maxPeriodOfStallingSeconds), Number{300}},
    {"server.minPeriodOfStallingSeconds", MEMBER(server.minPeriodOfStallingSeconds), Number{5}},
    {"server.stallingIndicationDelaySeconds", MEMBER(server.stallingIndicationDelaySeconds), Number{300}},
    {"server.idleSessionCheckIntervalMinutes", MEMBER(server.idleSessionCheckIntervalMinutes), Number{60}},
    {"server.idleSessionTimeoutMinutes", MEMBER(server.idleSessionTimeoutMinutes), Number{60}},
    {"server.disableExpect100Continue", MEMBER(server.disableExpect100Continue), Flag{true}},
    {"server.lowSpeedLimit.bytesPerSecond", MEMBER(server.lowSpeedLimit.bytesPerSecond), Number{1024}},
    {"server.lowSpeedLimit.periodSeconds", MEMBER(server.lowSpeedLimit.periodSeconds), Number{10}},
    {"server.fileLowSpeedLimit.bytesPerSecond", MEMBER(server.fileLowSpeedLimit.bytesPerSecond), Number{2048}},
    {"server.fileLowSpeedLimit.periodSeconds", MEMBER(server.fileLowSpeedLimit.periodSeconds), Number{20}},
    {"server.internalTimeoutSeconds", MEMBER(server.internalTimeoutSeconds), Number{30}},
    {"server.alternativeDownload.enable", MEMBER(server.alternativeDownload.enable), Flag{true}},
    {"server.alternativeDownload.minWaitAfterErrorSeconds", MEMBER(server.alternativeDownload.minWaitAfterErrorSeconds), Number{5}},
    {"server.alternativeDownload.maxWaitAfterErrorSeconds", MEMBER(server.alternativeDownload.maxWaitAfterErrorSeconds), Number{480}},
    {"proxy.server", MEMBER(proxy.server), Text{""}},
    {"proxy.user", MEMBER(proxy.user), Text{""}},
    {"proxy.password", MEMBER(proxy.password), Text{""}},
    {"proxy", MEMBER(proxy), ProxySwitch{}},
    {"compression.type", MEMBER(compression.type), CompressionType{Compress::Type::gzip}},
    {"compression.level", MEMBER(compression), CompressionLevel{}},
};

// The rest of the whole configuration. Every one of these is forgiving.
const Row<ServiceSettings> otherSettingsTable[] = {
    {"api.port", MEMBER(apiPort), Number{803}},
    {"study.directory", MEMBER(study.directory), Text{"study"}},
    {"study.dbTimeoutMilliseconds", MEMBER(study.dbTimeoutMilliseconds), Number{30000}},
    {"study.cleanupIntervalSeconds", MEMBER(study.cleanupIntervalSeconds), Number{3600}},
    {"study.removeUnfinishedAfterInactivityTimeSeconds", MEMBER(study.removeUnfinishedAfterInactivityTimeSeconds), Number{7200}},
    {"study.deleted.cleanupIntervalMinutes", MEMBER(study.deletedCleanupIntervalMinutes), Number{1440}},
    {"study.deleted.lifetimeDays", MEMBER(study.deletedLifetimeDays), Number{31}},
    {"study.duplicateChecker.enable", MEMBER(study.duplicateChecker.enable), Flag{true}},
    {"study.duplicateChecker.lifetimeSeconds", MEMBER(study.duplicateChecker.lifetimeSeconds), Number{86400}},
    {"study.duplicateChecker.processingLifetimeSeconds", MEMBER(study.duplicateChecker.processingLifetimeSeconds), Number{3600}},
    {"study.duplicateChecker.cleanupIntervalSeconds", MEMBER(study.duplicateChecker.cleanupIntervalSeconds), Number{600}},
    {"study.duplicateChecker.ignoreAttachments", MEMBER(study.duplicateChecker.ignoreAttachments), Flag{false}},
    {"study.duplicateChecker.ignoreComment", MEMBER(study.duplicateChecker.ignoreComment), Flag{false}},
    {"message.directory", MEMBER(messageDirectory), Text{"message"}},
    {"robot.directory", MEMBER(robot.directory), Text{"robot"}},
    {"robot.studyDirectory", MEMBER(robot.studyDirectory), Text{"robot/study"}},
    {"robot.attachmentDirectory", MEMBER(robot.attachmentDirectory), Text{"robot/attachment"}},
    {"robot.imageFilenamePolicy", MEMBER(robot.imageFilenamePolicy), Text{"<taskId>/<seriesIndex>-<imageIndex>.dcm"}},
    {"robot.attachmentFilenamePolicy", MEMBER(robot.attachmentFilenamePolicy), Text{"<taskId>/<attachmentName>"}},
    {"robot.dbTimeoutMilliseconds", MEMBER(robot.dbTimeoutMilliseconds), Number{30000}},
    {"robot.minRetryIntervalSeconds", MEMBER(robot.minRetryIntervalSeconds), Number{300}},
    {"robot.maxRetryIntervalSeconds", MEMBER(robot.maxRetryIntervalSeconds), Number{3600}},
    {"robot.receiveStudyClosingTimeoutSeconds", MEMBER(robot.receiveStudyClosingTimeoutSeconds), Number{120}},
    {"robot.removingFirstCheckSeconds", MEMBER(robot.removingFirstCheckSeconds), Number{60}},
    {"robot.removingCheckIntervalSeconds", MEMBER(robot.removingCheckIntervalSeconds), Number{3600}},
    {"robot.storeMaxAttempts", MEMBER(robot.storeMaxAttempts), Number{10}},
    {"robot.storeTimeLimitSeconds", MEMBER(robot.storeTimeLimitSeconds), Number{604800}},
    {"robot.workers", MEMBER(robot.workers), Optional{1}},
    {"robot.storingWorkers", MEMBER(robot.storingWorkers), Optional{1}},
    {"record.directory", MEMBER(record.directory), Text{"record"}},
    {"record.maxCacheSize", MEMBER(record.maxCacheSize), Number{1000}},
    {"record.dbTimeoutMilliseconds", MEMBER(record.dbTimeoutMilliseconds), Number{30000}},
    {"record.dbOptimizationIntervalMinutes", MEMBER(record.dbOptimizationIntervalMinutes), Number{120}},
    {"package.directory", MEMBER(package.directory), Text{"package"}},
    {"package.cleanupIntervalSeconds", MEMBER(package.cleanupIntervalSeconds), Number{604800}},
    {"package.downloader.firstUpdateDelaySeconds", MEMBER(package.downloaderFirstUpdateDelaySeconds), Number{300}},
    {"package.downloader.updateIntervalSeconds", MEMBER(package.downloaderUpdateIntervalSeconds), Number{3600}},
    {"package.downloader.updateIntervalAfterFailureSeconds", MEMBER(package.downloaderUpdateIntervalAfterFailureSeconds), Number{300}},
    {"dicom.aeTitle", MEMBER(dicomAeTitle), Text{"PACS"}},
    {"dicomizer.enabled", MEMBER(dicomizer.enabled), Flag{true}},
    {"dicomizer.modality", MEMBER(dicomizer.modality), Text{"DOC"}},
    {"bundling.fragmentSize", MEMBER(bundling.fragmentSize), Number{4194304}.atLeast(1024)},
    {"bundling.workers", MEMBER(bundling.workers), Optional{4}},
    {"bundling.readBufferSize", MEMBER(bundling.readBufferSize), Optional{2097152}},
    {"bundling.processBufferSize", MEMBER(bundling.processBufferSize), Optional{65536}},
    {"bundling.writeBufferSize", MEMBER(bundling.writeBufferSize), Optional{2097152}},
    {"unbundling.workers", MEMBER(unbundling.workers), Optional{2}},
    {"unbundling.readBufferSize", MEMBER(unbundling.readBufferSize), Optional{2097152}},
    {"unbundling.processBufferSize", MEMBER(unbundling.processBufferSize), Optional{65536}},
    {"unbundling.writeBufferSize", MEMBER(unbundling.writeBufferSize), Optional{2097152}},
    {"notification.intervalSeconds", MEMBER(notification.intervalSeconds), Number{10}},
    {"notification.mailSender", MEMBER(notification.mailSender), Text{""}},
    {"script.directory", MEMBER(scriptDirectory), Text{"script"}},
    {"bundle.directory", MEMBER(bundleDirectory), Text{"bundle"}},
    {"enableSending.disabledTaskDelaySeconds", MEMBER(enableSendingDisabledTaskDelaySeconds), Number{300}},
    {"dqc.communicationPort", MEMBER(dqc.communicationPort), Number{805}},
    {"dqc.communicationRetryIntervalMilliseconds", MEMBER(dqc.communicationRetryIntervalMilliseconds), Number{100}},
    {"dqc.communicationTimeoutSeconds", MEMBER(dqc.communicationTimeoutSeconds), Number{30}},
    {"dqc.yamiConnectionTimeoutSeconds", MEMBER(dqc.yamiConnectionTimeoutSeconds), Number{30}},
    {"dqc.restartAfterTransformations", MEMBER(dqc.restartAfterTransformations), OptionalFilled{10000}},
    {"dqc.stopAfterInactivitySeconds", MEMBER(dqc.stopAfterInactivitySeconds), OptionalFilled{300}},
    {"dqc.transformationTimeoutSeconds", MEMBER(dqc.transformationTimeoutSeconds), OptionalFilled{300}},
    {"service.backupHour", MEMBER(backupHour), Number{3}},
    {"service.minFreeDiskSpaceInMB", MEMBER(minFreeDiskSpaceInMB), Number64{1024}},
    {"service.backgroundWorkers", MEMBER(backgroundWorkers), Optional{1}},
    {"service.tempFileLifetimeSeconds", MEMBER(tempFileLifetimeSeconds), Number{14400}},
};

#undef MEMBER

} // namespace

void readRegistrationSettingRows(const SettingMap& settings, ServiceRegistrationSettings& record)
{
    for (const auto& row : registrationTable)
        row.read(settings, record);
}

void readOtherServiceSettingRows(const SettingMap& settings, ServiceSettings& record)
{
    for (const auto& row : otherSettingsTable)
        row.read(settings, record);
}

void writeServiceSettingRows(const ServiceSettings& record, SettingMap& settings)
{
    for (const auto& row : registrationTable)
        row.write(record, settings);
    for (const auto& row : otherSettingsTable)
        row.write(record, settings);
}

const std::vector<std::string>& knownServiceSettingKeys()
{
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> lowerCaseKeys;
        for (const auto& row : registrationTable)
            lowerCaseKeys.push_back(String::toLower(row.key));
        for (const auto& row : otherSettingsTable)
            lowerCaseKeys.push_back(String::toLower(row.key));
        return lowerCaseKeys;
    }();
    return keys;
}

} // namespace Config
