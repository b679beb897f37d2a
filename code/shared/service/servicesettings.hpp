#pragma once
// The typed record of the service's configuration (conf/main.conf) and its reader. Numbers and
// flags that do not convert are read as their defaults; the identifiers, the server address
// list and the proxy switch are checked strictly.

#include "libs/config/settings/compress.hpp"
#include "libs/config/settings/settings.hpp"
#include "shared/institution/id.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Config {

// An optional unsigned setting: absent means "the consumer's own value".
using OptionalUnsigned = std::optional<unsigned int>;

// Who the service is and how it reaches the central server.
struct ServiceRegistrationSettings {
    struct Institution {
        ::Institution::Id id;
        std::string directory;
    };
    struct Server {
        struct AlternativeDownload {
            bool enable = false;
            unsigned int minWaitAfterErrorSeconds = 0;
            unsigned int maxWaitAfterErrorSeconds = 0;
        };
        struct LowSpeedLimit {
            unsigned int periodSeconds = 0;
            unsigned int bytesPerSecond = 0;
        };
        ::Institution::Id institutionId;
        std::vector<std::string> addresses;
        unsigned int maxConnections = 0;
        unsigned int maxRetries = 0;
        unsigned int timeoutSeconds = 0;
        unsigned int connectionTimeoutSeconds = 0;
        unsigned int systemTimeoutSeconds = 0;
        unsigned int updateIntervalSeconds = 0;
        unsigned int updateRetryIntervalSeconds = 0;
        unsigned int minPeriodOfStallingSeconds = 0;
        unsigned int maxPeriodOfStallingSeconds = 0;
        unsigned int stallingIndicationDelaySeconds = 0;
        unsigned int idleSessionTimeoutMinutes = 0;
        unsigned int idleSessionCheckIntervalMinutes = 0;
        bool disableExpect100Continue = false;
        AlternativeDownload alternativeDownload;
        LowSpeedLimit lowSpeedLimit;
        LowSpeedLimit fileLowSpeedLimit;
        unsigned int internalTimeoutSeconds = 0;
    };
    struct Proxy {
        bool enabled = false;
        bool automatic = false;
        std::string server;
        std::string user;
        std::string password;
    };
    struct Compression {
        Compress::Type::Enum type = Compress::Type::none;
        int level = 0;
    };

    unsigned int version = 0;
    Institution institution;
    Server server;
    Proxy proxy;
    Compression compression;
};

// The whole configuration of the service.
struct ServiceSettings : ServiceRegistrationSettings {
    struct Study {
        struct DuplicateChecker {
            bool enable = false;
            unsigned int lifetimeSeconds = 0;
            unsigned int processingLifetimeSeconds = 0;
            unsigned int cleanupIntervalSeconds = 0;
            bool ignoreAttachments = false;
            bool ignoreComment = false;
        };
        std::string directory;
        unsigned int dbTimeoutMilliseconds = 0;
        unsigned int cleanupIntervalSeconds = 0;
        unsigned int removeUnfinishedAfterInactivityTimeSeconds = 0;
        unsigned int deletedCleanupIntervalMinutes = 0;
        unsigned int deletedLifetimeDays = 0;
        DuplicateChecker duplicateChecker;
    };
    struct Robot {
        std::string directory;
        std::string studyDirectory;
        std::string attachmentDirectory;
        std::string imageFilenamePolicy;
        std::string attachmentFilenamePolicy;
        unsigned int dbTimeoutMilliseconds = 0;
        unsigned int minRetryIntervalSeconds = 0;
        unsigned int maxRetryIntervalSeconds = 0;
        unsigned int receiveStudyClosingTimeoutSeconds = 0;
        unsigned int removingFirstCheckSeconds = 0;
        unsigned int removingCheckIntervalSeconds = 0;
        unsigned int storeMaxAttempts = 0;
        unsigned int storeTimeLimitSeconds = 0;
        OptionalUnsigned workers;
        OptionalUnsigned storingWorkers;
    };
    struct Record {
        std::string directory;
        unsigned int maxCacheSize = 0;
        unsigned int dbTimeoutMilliseconds = 0;
        unsigned int dbOptimizationIntervalMinutes = 0;
    };
    struct Package {
        std::string directory;
        unsigned int cleanupIntervalSeconds = 0;
        unsigned int downloaderFirstUpdateDelaySeconds = 0;
        unsigned int downloaderUpdateIntervalSeconds = 0;
        unsigned int downloaderUpdateIntervalAfterFailureSeconds = 0;
    };
    struct Dicomizer {
        bool enabled = false;
        std::string modality;
    };
    struct Bundling {
        unsigned int fragmentSize = 0;
        OptionalUnsigned workers;
        OptionalUnsigned readBufferSize;
        OptionalUnsigned processBufferSize;
        OptionalUnsigned writeBufferSize;
    };
    struct Unbundling {
        OptionalUnsigned workers;
        OptionalUnsigned readBufferSize;
        OptionalUnsigned processBufferSize;
        OptionalUnsigned writeBufferSize;
    };
    struct Notification {
        unsigned int intervalSeconds = 0;
        std::string mailSender;
    };
    struct Dqc {
        unsigned int communicationPort = 0;
        unsigned int communicationRetryIntervalMilliseconds = 0;
        unsigned int communicationTimeoutSeconds = 0;
        unsigned int yamiConnectionTimeoutSeconds = 0;
        OptionalUnsigned restartAfterTransformations;
        OptionalUnsigned stopAfterInactivitySeconds;
        OptionalUnsigned transformationTimeoutSeconds;
    };

    unsigned int apiPort = 0;
    Study study;
    std::string messageDirectory;
    Robot robot;
    Record record;
    Package package;
    std::string dicomAeTitle;
    Dicomizer dicomizer;
    Bundling bundling;
    Unbundling unbundling;
    Notification notification;
    std::string scriptDirectory;
    std::string bundleDirectory;
    unsigned int enableSendingDisabledTaskDelaySeconds = 0;
    unsigned int backupHour = 0;
    std::uint64_t minFreeDiskSpaceInMB = 0;
    OptionalUnsigned backgroundWorkers;
    unsigned int tempFileLifetimeSeconds = 0;
    Dqc dqc;
};

// Reads the registration part. With `checkVersion`, "data.version" must be the current
// configuration version (VersionNotFound, BadVersion); without, `version` is the number found
// or 0. With `rejectInstitutionId`, a configured "institution.id" throws
// MyInstitutionIdAlreadyExist. Requires "server.institutionId" and "server.address"
// (SettingNotFound, InvalidValue, NoServerAddress); a proxy switched on without a server throws
// MissingProxyServer, a "proxy" text that is no boolean word or "auto(matic)" InvalidValue.
ServiceRegistrationSettings readServiceRegistrationSettings(const SettingMap& settings,
                                                            bool checkVersion,
                                                            bool rejectInstitutionId);

// Reads the whole configuration: the registration part (never rejecting the identifier), then
// the required "institution.id" (SettingNotFound, InvalidValue) and every other setting with its
// default. Keys the record does not know are ignored.
ServiceSettings readServiceSettings(const SettingMap& settings, bool checkVersion);

// Every key, in lower case, that readServiceSettings looks at.
const std::vector<std::string>& knownServiceSettingKeys();

} // namespace Config
