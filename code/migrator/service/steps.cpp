#include "migrator/service/steps.hpp"

#include "libs/files/paths.hpp"

namespace Migration {

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

} // namespace Migration
