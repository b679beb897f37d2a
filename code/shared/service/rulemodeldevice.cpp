#include "shared/service/rulemodeldevice.hpp"

namespace Service::Dicom {

namespace {
const std::string noText;
const std::set<std::string> noStrings;
const std::vector<std::uint8_t> noBytes;
} // namespace

bool Services::operator==(const Services& other) const
{
    return retrieve == other.retrieve && query == other.query && store == other.store &&
           orbivue == other.orbivue;
}

bool Authentication::isEmpty() const
{
    return login.empty() && password.empty() && impersonate.empty() && kerberosToken.empty();
}

bool Authentication::operator==(const Authentication& other) const
{
    return login == other.login && password == other.password && impersonate == other.impersonate &&
           kerberosToken == other.kerberosToken;
}

void readJson(Json::Reader& reader, Services& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.retrieve, "retrieve", true);
    reader.loadNode(value.query, "query", true);
    reader.loadNode(value.store, "store", true);
    reader.loadNode(value.orbivue, "orbivue");
}

void readJson(Json::Reader& reader, Authentication& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.login, "login", noText);
    reader.loadNode(value.password, "password", noText);
    reader.loadNode(value.impersonate, "impersonate", noText);
    reader.loadNode(value.kerberosToken, "kerberosToken", noBytes);
}

void readJson(Json::Reader& reader, Device& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.name, "name", noText);
    reader.loadNode(value.address, "address", noText);
    reader.loadNode(value.aeTitle, "aeTitle", noText);
    reader.loadNode(value.port, "port");
    reader.loadNode(value.services, "services", Services());
    reader.loadNode(value.charset, "charset", noText);
    reader.loadNode(value.timeoutSec, "timeoutSec", 120);
    reader.loadNode(value.findTimeoutSec, "findTimeoutSec", 120);
    reader.loadNode(value.actionTimeoutSec, "actionTimeoutSec", 30);
    reader.loadNode(value.storeTimeoutSec, "storeTimeoutSec", 120);
    reader.loadNode(value.moveTimeoutSec, "moveTimeoutSec", 120);
    reader.loadNode(value.maxSopClasses, "maxSopClasses", 128);
    reader.loadNode(value.acceptFirstProposedTransfer, "acceptFirstProposedTransfer", true);
    reader.loadNode(value.ignoredSopClasses, "ignoredSopClasses", noStrings);
    reader.loadNode(value.supportedSopClasses, "supportedSopClasses", noStrings);
    reader.loadNode(value.callingAeTitle, "callingAeTitle", noText);
    reader.loadNode(value.authentication, "authentication");
    reader.loadNode(value.maxAttempts, "maxAttempts");
    reader.loadNode(value.timeLimitSeconds, "timeLimitSeconds");
}

void writeJson(Json::Writer& writer, const Services& value)
{
    writer.chain()(value.retrieve, "retrieve", true)(value.query, "query", true)(
        value.store, "store", true)(value.orbivue, "orbivue");
}

void writeJson(Json::Writer& writer, const Authentication& value)
{
    writer.chain()(value.login, "login")(value.password, "password")(
        value.impersonate, "impersonate")(value.kerberosToken, "kerberosToken");
}

void writeJson(Json::Writer& writer, const Device& value)
{
    boost::optional<Authentication> authentication;
    if (value.authentication && !value.authentication->isEmpty())
        authentication = value.authentication;
    writer.chain()(value.name, "name")(value.address, "address")(value.aeTitle, "aeTitle")(
        value.port, "port")(value.services, "services", Services())(value.charset, "charset")(
        value.timeoutSec, "timeoutSec", 120)(value.findTimeoutSec, "findTimeoutSec", 120)(
        value.actionTimeoutSec, "actionTimeoutSec", 30)(value.storeTimeoutSec, "storeTimeoutSec", 120)(
        value.moveTimeoutSec, "moveTimeoutSec", 120)(value.maxSopClasses, "maxSopClasses", 128)(
        value.acceptFirstProposedTransfer, "acceptFirstProposedTransfer", true)(
        value.ignoredSopClasses, "ignoredSopClasses")(value.supportedSopClasses, "supportedSopClasses")(
        value.callingAeTitle, "callingAeTitle")(authentication, "authentication")(
        value.maxAttempts, "maxAttempts")(value.timeLimitSeconds, "timeLimitSeconds");
}

} // namespace Service::Dicom
