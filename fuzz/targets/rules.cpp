// The rule files through their model: any text loads or fails with an exception, and a loaded
// file written back loads again and writes the same bytes, with and without shared anchors.
#include "targets/targets.hpp"

#include "libs/files/streaming.hpp"
#include "libs/json/reader.hpp"
#include "libs/json/writer.hpp"
#include "shared/service/sendingrules.hpp"
#include "shared/service/storingrules.hpp"

#include <exception>
#include <optional>
#include <string>

namespace Fuzz {

namespace {

template <class Rules>
std::optional<Rules> load(const std::string& text, bool anchors)
{
    Json::Reader::Options options;
    options.anchors = anchors;
    try {
        Json::Reader reader(text, options);
        Rules rules;
        reader.load(rules);
        return rules;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

template <class Rules>
std::string save(const Rules& rules, bool anchors)
{
    Json::Writer::Options options;
    options.anchors = anchors;
    std::string text;
    Json::Writer writer(Streaming::appendToString(text), options);
    writer.save(rules);
    writer.finish();
    return text;
}

template <class Rules>
void checkRoundTrip(std::string_view input, bool anchors)
{
    const std::optional<Rules> rules = load<Rules>(std::string(input), anchors);
    if (!rules)
        return;
    const std::string written = save(*rules, anchors);
    const std::optional<Rules> reloaded = load<Rules>(written, anchors);
    require(reloaded.has_value(), "written rules load again");
    require(save(*reloaded, anchors) == written, "reloaded rules write the same bytes");
}

} // namespace

int sendingRules(const std::uint8_t* data, std::size_t size)
{
    checkRoundTrip<Service::Robot::Sending::Rules>(asText(data, size), false);
    return 0;
}

int storingRules(const std::uint8_t* data, std::size_t size)
{
    for (const bool anchors : {false, true})
        checkRoundTrip<Service::Storing::Rules>(asText(data, size), anchors);
    return 0;
}

} // namespace Fuzz
