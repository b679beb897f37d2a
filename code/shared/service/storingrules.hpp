#pragma once
// The storing rules of the service (conf/storing.json): by rule number, for which institutions
// received studies are stored where: on a DICOM device, in a folder or in Orbivue.

#include "libs/json/reader.hpp"
#include "libs/json/writer.hpp"
#include "libs/serialize/enum.hpp"
#include "libs/serialize/labeled.hpp"
#include "libs/serialize/unlabeled.hpp"
#include "shared/institution/id.hpp"
#include "shared/service/rulemodeldevice.hpp"

#include <boost/optional.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace Service::Storing {

// The institutions a rule applies to: the listed ones, or with excluding all but the listed
// ones. The default, excluding with an empty list, is every institution.
struct Institutions {
    bool excluding = true;
    std::set<Institution::Id> institutions;

    bool operator==(const Institutions& other) const;
    bool operator!=(const Institutions& other) const { return !(*this == other); }
};

namespace Target {

namespace FolderOption {
enum Enum { Default = 0, Ignore = 1 };
// "<default>" and "<ignore>".
const Serialize::Enum::Table<Enum>& table();
void readJson(Json::Reader& reader, Enum& value);
void writeJson(Json::Writer& writer, Enum value);
} // namespace FolderOption

// Where attachments go: one of the two fixed options, or a folder given as free text. A text
// equal to an option's text reads as that option.
using AttachmentFolder = Serialize::Unlabeled<FolderOption::Enum, std::string>;

// "id" and "device".
const Serialize::Labels& deviceReferenceLabels();
// A device by its number, or a device held in full.
using DeviceReference =
    Serialize::Labeled<&deviceReferenceLabels, std::uint32_t, std::shared_ptr<const Dicom::Device>>;

struct Device {
    DeviceReference device;
    std::string callingAeTitle;

    bool operator==(const Device& other) const;
};

struct Folder {
    std::string folder;
    std::string filenamePolicy;

    bool operator==(const Folder& other) const;
};

struct Orbivue {
    bool operator==(const Orbivue&) const { return true; }
};

// Null leaves the value as it is; "device" of a device target is required.
void readJson(Json::Reader& reader, Device& value);
void readJson(Json::Reader& reader, Folder& value);
// Orbivue's content is never read; it writes nothing and therefore stands as null.
inline void readJson(Json::Reader&, Orbivue&) {}
void writeJson(Json::Writer& writer, const Device& value);
void writeJson(Json::Writer& writer, const Folder& value);
inline void writeJson(Json::Writer&, const Orbivue&) {}

} // namespace Target

// "device", "folder" and "orbivue".
const Serialize::Labels& targetLabels();
using StoringTarget = Serialize::Labeled<&targetLabels, Target::Device, Target::Folder, Target::Orbivue>;

// By default a device target referring to device number 0, attachments "<default>".
struct Storage {
    StoringTarget study;
    Target::AttachmentFolder attachments = Target::FolderOption::Default;
    std::string attachmentFilenamePolicy;
};

struct Rule {
    Institutions institutions;
    Storage storage;
    boost::optional<std::uint32_t> user;
    boost::optional<std::uint32_t> maxAttempts;
    boost::optional<std::uint32_t> timeLimitSeconds;
};

// The file's root: rule number to rule.
using Rules = std::map<unsigned int, Rule>;

// Null leaves the value as it is. A selection lists "institutions" (null is ArrayExpected);
// "storage" of a rule and "study" of a storage are required (Json::Exceptions::MissingKey).
void readJson(Json::Reader& reader, Institutions& value);
void readJson(Json::Reader& reader, Storage& value);
void readJson(Json::Reader& reader, Rule& value);

// A rule's selection is written unless it is the default; a selection of no institution is
// written as «{"excluding":false}» so that it does not read back as every institution.
void writeJson(Json::Writer& writer, const Institutions& value);
void writeJson(Json::Writer& writer, const Storage& value);
void writeJson(Json::Writer& writer, const Rule& value);

} // namespace Service::Storing
