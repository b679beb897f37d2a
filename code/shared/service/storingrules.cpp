#include "shared/service/storingrules.hpp"

namespace Service::Storing {

namespace {
const std::string noText;
const Institutions everyInstitution;
const Target::AttachmentFolder defaultFolder = Target::FolderOption::Default;
} // namespace

bool Institutions::operator==(const Institutions& other) const
{
    return excluding == other.excluding && institutions == other.institutions;
}

namespace Target {

namespace FolderOption {

const Serialize::Enum::Table<Enum>& table()
{
    static const Serialize::Enum::Table<Enum> options(
        "Service::Storing::Target::FolderOption::Enum", {{Default, "<default>"}, {Ignore, "<ignore>"}});
    return options;
}

void readJson(Json::Reader& reader, Enum& value)
{
    Serialize::Enum::load(reader, value, table());
}

void writeJson(Json::Writer& writer, Enum value)
{
    Serialize::Enum::save(writer, value, table());
}

} // namespace FolderOption

const Serialize::Labels& deviceReferenceLabels()
{
    static const Serialize::Labels labels{"id", "device"};
    return labels;
}

bool Device::operator==(const Device& other) const
{
    return device == other.device && callingAeTitle == other.callingAeTitle;
}

bool Folder::operator==(const Folder& other) const
{
    return folder == other.folder && filenamePolicy == other.filenamePolicy;
}

void readJson(Json::Reader& reader, Device& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.device, "device");
    reader.loadNode(value.callingAeTitle, "callingAeTitle", noText);
}

void readJson(Json::Reader& reader, Folder& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.folder, "folder", noText);
    reader.loadNode(value.filenamePolicy, "filenamePolicy", noText);
}

void writeJson(Json::Writer& writer, const Device& value)
{
    writer.chain()(value.device, "device")(value.callingAeTitle, "callingAeTitle");
}

void writeJson(Json::Writer& writer, const Folder& value)
{
    writer.chain()(value.folder, "folder")(value.filenamePolicy, "filenamePolicy");
}

} // namespace Target

const Serialize::Labels& targetLabels()
{
    static const Serialize::Labels labels{"device", "folder", "orbivue"};
    return labels;
}

void readJson(Json::Reader& reader, Institutions& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.excluding, "excluding", false);
    value.institutions.clear();
    reader.loadNode(value.institutions, "institutions");
}

void readJson(Json::Reader& reader, Storage& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.study, "study");
    reader.loadNode(value.attachments, "attachments", defaultFolder);
    reader.loadNode(value.attachmentFilenamePolicy, "attachmentFilenamePolicy", noText);
}

void readJson(Json::Reader& reader, Rule& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.institutions, "institutions", everyInstitution);
    reader.loadNode(value.storage, "storage");
    reader.loadNode(value.user, "user");
    reader.loadNode(value.maxAttempts, "maxAttempts");
    reader.loadNode(value.timeLimitSeconds, "timeLimitSeconds");
}

void writeJson(Json::Writer& writer, const Institutions& value)
{
    if (value.excluding || value.institutions.empty())
        writer.saveNode(value.excluding, "excluding");
    writer.saveNode(value.institutions, "institutions");
}

void writeJson(Json::Writer& writer, const Storage& value)
{
    writer.chain()(value.study, "study")(value.attachments, "attachments", defaultFolder)(
        value.attachmentFilenamePolicy, "attachmentFilenamePolicy");
}

void writeJson(Json::Writer& writer, const Rule& value)
{
    writer.chain()(value.institutions, "institutions", everyInstitution)(value.storage, "storage")(
        value.user, "user")(value.maxAttempts, "maxAttempts")(value.timeLimitSeconds, "timeLimitSeconds");
}

} // namespace Service::Storing
