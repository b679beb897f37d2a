#pragma once
// The sending rules of the service (conf/sending.json): by rule number, which institution a
// study is forwarded to and how.

#include "libs/json/reader.hpp"
#include "libs/json/writer.hpp"
#include "shared/institution/id.hpp"

#include <boost/optional.hpp>

#include <cstdint>
#include <map>
#include <string>

namespace Service::Robot::Sending {

struct Delivery {
    Institution::Id recipient;
    std::string comment;
    boost::optional<std::uint32_t> user;
};

struct Rule {
    boost::optional<std::uint32_t> receiver;
    boost::optional<std::uint32_t> device;
    Delivery delivery;
    std::string calledAeTitle;
    boost::optional<std::uint32_t> studyClosingTimeoutSeconds;
    std::string transformation;
    bool deleteAfterSent = false;
};

// The file's root: rule number to rule.
using Rules = std::map<unsigned int, Rule>;

// Null leaves the value as it is; "recipient" of a delivery and "delivery" of a rule are
// required (Json::Exceptions::MissingKey). A recipient that is no identifier is the empty one.
void readJson(Json::Reader& reader, Delivery& value);
void readJson(Json::Reader& reader, Rule& value);

// Recipient and delivery always; every other member only when set or not empty.
void writeJson(Json::Writer& writer, const Delivery& value);
void writeJson(Json::Writer& writer, const Rule& value);

} // namespace Service::Robot::Sending
