#include "migrator/service/version13/settingsstep.hpp"

#include "migrator/service/replacement/companions.hpp"
#include "migrator/service/version13/steps.hpp"

#include "libs/files/file.hpp"
#include "libs/files/paths.hpp"
#include "libs/files/streaming.hpp"
#include "libs/json/exceptions.hpp"
#include "libs/json/reader.hpp"
#include "libs/json/writer.hpp"
#include "libs/serialize/exceptions.hpp"
#include "libs/string/exceptions.hpp"
#include "shared/service/sendingrules.hpp"
#include "shared/service/storingrules.hpp"

#include <boost/exception_ptr.hpp>

namespace Migration {

namespace {

constexpr Files::Flags::Enum readFlags = Files::Flags::Read | Files::Flags::DenyWrite;
constexpr Files::Flags::Enum writeFlags = Files::Flags::Read | Files::Flags::Write | Files::Flags::Overwrite |
                                          Files::Flags::CreateDirectories | Files::Flags::DenyWrite;

// The rules of the file at path; none when it is missing. A path whose status cannot be
// queried fails the step rather than count as missing, which would delete the file later.
template <class Rules>
Rules loadRules(const std::string& path)
{
    Rules rules;
    boost::exception_ptr statusError;
    const bool present = Files::isFile(path, &statusError);
    if (statusError)
        boost::rethrow_exception(statusError);
    if (!present)
        return rules;
    Files::File file(path, readFlags);
    try {
        Json::Reader reader([&file](char* buffer, std::size_t capacity, bool& end) {
            return Files::readChunk(file, buffer, capacity, end);
        });
        reader.load(rules);
    } catch (Json::Exceptions::Exception& error) {
        error << Exceptions::Filename_(path);
        throw;
    } catch (Serialize::Exceptions::Exception& error) {
        error << Exceptions::Filename_(path);
        throw;
    } catch (String::Exceptions::Exception& error) {
        error << Exceptions::Filename_(path);
        throw;
    }
    return rules;
}

template <class Rules>
void saveRules(const Rules& rules, const std::string& path)
{
    Files::File file(path, writeFlags);
    Json::Writer writer{Streaming::FileWriter(file)};
    try {
        writer.save(rules);
    } catch (Serialize::Exceptions::Exception& error) {
        error << Exceptions::Filename_(path);
        throw;
    }
    writer.finish();
    file.close();
}

template <class Rules>
void migrateRulesFile(Framework& framework, const std::string& path)
{
    const Rules rules = loadRules<Rules>(path);
    if (rules.empty()) {
        framework.addFileToDelete(path);
        return;
    }
    framework.addFileToReplace(path);
    saveRules(rules, path + newSuffix);
}

} // namespace

void migrateSettingsFiles(Framework& framework, const std::string& dataDirectory)
{
    Progress& progress = framework.progress();
    ProgressStep step(progress, stepLabel(Step::SettingsFiles), 2);
    progress.beginFile(ServiceFiles::sendingRules.shown(), ServiceFiles::sendingRules.in(dataDirectory));
    migrateRulesFile<Service::Robot::Sending::Rules>(framework, ServiceFiles::sendingRules.in(dataDirectory));
    progress.fileDone();
    progress.beginFile(ServiceFiles::storingRules.shown(), ServiceFiles::storingRules.in(dataDirectory));
    migrateRulesFile<Service::Storing::Rules>(framework, ServiceFiles::storingRules.in(dataDirectory));
    progress.fileDone();
}

} // namespace Migration
