#pragma once
// The eight steps of the migration to data version 13 in the order they run, how each is named
// to the administrator (the report that introduces it and the label of its progress line), and
// the service's files below the data directory that they migrate.

#include "migrator/service/replacement/record.hpp"

#include <string>

namespace Migration {

enum class Step { Institutions, Studies, Messages, HistoryRecords, Users, Notifications, SettingsFiles, Config };

// Every step, in the order the migration runs them.
inline constexpr Step allSteps[] = {Step::Institutions, Step::Studies,       Step::Messages,      Step::HistoryRecords,
                                    Step::Users,        Step::Notifications, Step::SettingsFiles, Step::Config};

// What the step migrates, as the reports name it: "institutions", "history records", "config"...
const char* stepSubject(Step step);

// "Migrating <subject>...": the report that introduces the step.
std::string stepReport(Step step);

// "Migrating <subject>": the label of the step's progress line.
std::string stepLabel(Step step);

// A file of the service, in a folder of the data directory.
struct ServiceFile {
    const char* folder;
    const char* name;

    // The file's path below dataDirectory.
    std::string in(const std::string& dataDirectory) const;
    // The file as the progress line shows it: its folder and name joined with the platform's
    // separator, as every other path the program shows.
    std::string shown() const;
};

namespace ServiceFiles {

inline constexpr ServiceFile configuration{"conf", "main.conf"};
inline constexpr ServiceFile institutions{"institution", "institution.db"};
inline constexpr ServiceFile messages{"message", "message.db"};
inline constexpr ServiceFile historyRecords{"record", "rm.db"};
inline constexpr ServiceFile users{"conf", "user.db"};
inline constexpr ServiceFile notifications{"conf", "notification.db"};
inline constexpr ServiceFile sendingRules{"conf", "sending.json"};
inline constexpr ServiceFile storingRules{"conf", "storing.json"};
inline constexpr ServiceFile studyJobs{"study", "jobs.db"};
inline constexpr ServiceFile deletedJobs{"study", "deleted.db"};

// The study folder also holds a job folder per study, each with its own job database, and the
// folder of the transfer sessions, which is no job folder.
inline constexpr const char* studyFolder = "study";
inline constexpr const char* jobDatabaseName = "job.db";
inline constexpr const char* sessionFolder = "session";

} // namespace ServiceFiles

// What a migration to version 13 can name in its record: it replaces the service files that the
// steps migrate and the job database of every job folder, retires the institution database and
// the rule files, and empties the session folder.
RecordScope recordScope();

} // namespace Migration
