// Institution identifier readings: a failed reading leaves the empty identifier, a successful one
// writes back as text that reads as the same identifier, and the old form accepts every new one.
#include "targets/targets.hpp"

#include "shared/institution/id.hpp"

#include <string>

namespace Fuzz {

namespace {

void checkWritesBack(const Institution::Id& id)
{
    const std::string text = id.toText();
    Institution::Id again;
    require(again.fromText(text), "the text of a read identifier reads again");
    require(again == id, "the text of a read identifier reads as the same identifier");
    require(again.toText() == text, "an identifier read from its text writes the same text");
    Institution::Id legacy;
    require(legacy.fromLegacyText(text) && legacy == id, "the old-form reading accepts the text of an identifier");
}

} // namespace

int institutionId(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = asText(data, size);

    Institution::Id id(0x1234567890ABCDEFull);
    const bool read = id.fromText(text);
    if (read)
        checkWritesBack(id);
    else
        require(id.isEmpty(), "a failed reading leaves the empty identifier");

    Institution::Id legacy(0x1234567890ABCDEFull);
    const bool readLegacy = legacy.fromLegacyText(text);
    if (readLegacy)
        checkWritesBack(legacy);
    else
        require(legacy.isEmpty(), "a failed old-form reading leaves the empty identifier");
    // A zero byte ends the code early and hides what follows it from the plain reading only.
    if (read && text.find('\0') == std::string_view::npos)
        require(readLegacy && legacy == id, "the old-form reading accepts what the plain reading does");
    return 0;
}

} // namespace Fuzz
