#pragma once
// The DICOM application entity that storing rules send studies to, with the services it
// offers and the credentials it is reached with, as held in the rule files.

#include "libs/json/reader.hpp"
#include "libs/json/writer.hpp"

#include <boost/optional.hpp>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace Service::Dicom {

// The DICOM services the device offers; "orbivue" is required in the file.
struct Services {
    bool retrieve = true;
    bool query = true;
    bool store = true;
    bool orbivue = false;

    bool operator==(const Services& other) const;
    bool operator!=(const Services& other) const { return !(*this == other); }
};

// The password is kept as plain text, as the file holds it.
struct Authentication {
    std::string login;
    std::string password;
    std::string impersonate;
    std::vector<std::uint8_t> kerberosToken;

    bool isEmpty() const;
    bool operator==(const Authentication& other) const;
};

// A default device has the character set "ISO-IR 192"; a device read from an object without
// "charset" has the empty one.
struct Device {
    std::string name;
    std::string address;
    std::string aeTitle;
    std::int32_t port = 0;
    Services services;
    std::string charset = "ISO-IR 192";
    std::int32_t timeoutSec = 120;
    std::int32_t findTimeoutSec = 120;
    std::int32_t actionTimeoutSec = 30;
    std::int32_t storeTimeoutSec = 120;
    std::int32_t moveTimeoutSec = 120;
    std::int32_t maxSopClasses = 128;
    bool acceptFirstProposedTransfer = true;
    std::set<std::string> ignoredSopClasses;
    std::set<std::string> supportedSopClasses;
    std::string callingAeTitle;
    boost::optional<Authentication> authentication;
    boost::optional<std::uint32_t> maxAttempts;
    boost::optional<std::uint32_t> timeLimitSeconds;
};

// Null leaves the value as it is; otherwise every key is read with its value when absent, and
// the required keys ("orbivue", "port") throw Json::Exceptions::MissingKey when absent.
void readJson(Json::Reader& reader, Services& value);
void readJson(Json::Reader& reader, Authentication& value);
void readJson(Json::Reader& reader, Device& value);

// The members that differ from their defaults or are not empty, in key order. An
// authentication whose fields are all empty is left out: it reads back as no authentication.
void writeJson(Json::Writer& writer, const Services& value);
void writeJson(Json::Writer& writer, const Authentication& value);
void writeJson(Json::Writer& writer, const Device& value);

} // namespace Service::Dicom
