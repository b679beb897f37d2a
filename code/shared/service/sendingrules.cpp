#include "shared/service/sendingrules.hpp"

namespace Service::Robot::Sending {

namespace {
const std::string noText;
} // namespace

void readJson(Json::Reader& reader, Delivery& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.recipient, "recipient");
    reader.loadNode(value.comment, "comment", noText);
    reader.loadNode(value.user, "user");
}

void readJson(Json::Reader& reader, Rule& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.receiver, "receiver");
    reader.loadNode(value.device, "device");
    reader.loadNode(value.delivery, "delivery");
    reader.loadNode(value.calledAeTitle, "calledAeTitle", noText);
    reader.loadNode(value.studyClosingTimeoutSeconds, "studyClosingTimeoutSeconds");
    reader.loadNode(value.transformation, "transformation", noText);
    reader.loadNode(value.deleteAfterSent, "deleteAfterSent", false);
}

void writeJson(Json::Writer& writer, const Delivery& value)
{
    writer.chain()(value.recipient, "recipient")(value.comment, "comment")(value.user, "user");
}

void writeJson(Json::Writer& writer, const Rule& value)
{
    writer.chain()(value.receiver, "receiver")(value.device, "device")(value.delivery, "delivery")(
        value.calledAeTitle, "calledAeTitle")(value.studyClosingTimeoutSeconds, "studyClosingTimeoutSeconds")(
        value.transformation, "transformation")(value.deleteAfterSent, "deleteAfterSent", false);
}

} // namespace Service::Robot::Sending
