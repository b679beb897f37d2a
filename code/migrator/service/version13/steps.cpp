#include "migrator/service/version13/steps.hpp"

#include "libs/files/paths.hpp"

#include <vector>

namespace Migration {

namespace {

using Components = std::vector<std::string>;

Components componentsOf(const ServiceFile& file)
{
    return {file.folder, file.name};
}

bool isOneOf(const Components& components, std::initializer_list<ServiceFile> files)
{
    for (const ServiceFile& file : files) {
        if (components == componentsOf(file))
            return true;
    }
    return false;
}

bool isJobDatabase(const Components& components)
{
    return components.size() == 3 && components[0] == ServiceFiles::studyFolder &&
           components[1] != ServiceFiles::sessionFolder && components[2] == ServiceFiles::jobDatabaseName;
}

} // namespace

const char* stepSubject(Step step)
{
    switch (step) {
    case Step::Institutions:
        return "institutions";
    case Step::Studies:
        return "studies";
    case Step::Messages:
        return "messages";
    case Step::HistoryRecords:
        return "history records";
    case Step::Users:
        return "users";
    case Step::Notifications:
        return "notifications";
    case Step::SettingsFiles:
        return "settings.json";
    case Step::Config:
        return "config";
    }
    return "";
}

std::string stepReport(Step step)
{
    return stepLabel(step) + "...";
}

std::string stepLabel(Step step)
{
    return std::string("Migrating ") + stepSubject(step);
}

std::string ServiceFile::in(const std::string& dataDirectory) const
{
    return Files::join(dataDirectory, folder, name);
}

std::string ServiceFile::shown() const
{
    return Files::join(folder, name);
}

RecordScope recordScope()
{
    using namespace ServiceFiles;
    RecordScope scope;
    scope.replaceable = [](const Components& components) {
        return isJobDatabase(components) || isOneOf(components, {configuration, messages, historyRecords, users,
                                                                 notifications, sendingRules, storingRules,
                                                                 studyJobs, deletedJobs});
    };
    scope.retirable = [](const Components& components) {
        return isOneOf(components, {institutions, sendingRules, storingRules});
    };
    scope.clearable = [](const Components& components) {
        return components == Components{studyFolder, sessionFolder};
    };
    return scope;
}

} // namespace Migration
