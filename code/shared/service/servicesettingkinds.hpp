#pragma once
// The kinds of service setting, the last column of the settings table: how the text of a key is
// read into a member of ServiceSettings and how the member is written back.

#include "libs/config/settings/exceptions.hpp"
#include "libs/config/settings/settings.hpp"
#include "libs/string/text.hpp"
#include "shared/service/servicesettings.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Every kind has read (settings, key, member), which fills the member from the key's text, and
// write (settings, key, member), which sets the key to the member's text or removes it when the
// member equals the default that read would give.
namespace Config::ServiceSettingKinds {

using Registration = ServiceRegistrationSettings;

// A number; a missing key or a text that is no number reads as the default. With atLeast,
// smaller numbers read are raised to the floor.
struct Number {
    unsigned defaultValue;
    unsigned floor = 0;

    constexpr Number atLeast(unsigned minimum) const { return {defaultValue, minimum}; }

    void read(const SettingMap& settings, std::string_view key, unsigned& value) const
    {
        readSetting(settings, key, value, defaultValue);
        value = std::max(value, floor);
    }
    void write(SettingMap& settings, std::string_view key, unsigned value) const
    {
        writeSetting(settings, key, value, defaultValue);
    }
};

// A 64-bit number, read and written as Number is.
struct Number64 {
    std::uint32_t defaultValue;

    void read(const SettingMap& settings, std::string_view key, std::uint64_t& value) const
    {
        std::string text;
        if (!settings.tryGet(key, text) || !tryConvert(text, value))
            value = defaultValue;
    }
    void write(SettingMap& settings, std::string_view key, std::uint64_t value) const
    {
        writeSetting(settings, key, value, defaultValue);
    }
};

// A flag; a missing key or a text that is no boolean word reads as the default.
struct Flag {
    bool defaultValue;

    void read(const SettingMap& settings, std::string_view key, bool& value) const
    {
        readSetting(settings, key, value, defaultValue);
    }
    void write(SettingMap& settings, std::string_view key, bool value) const
    {
        writeSetting(settings, key, value, defaultValue);
    }
};

// A text taken as written (the empty one too); a missing key reads as the default. An empty text
// is never written.
struct Text {
    const char* defaultValue;

    void read(const SettingMap& settings, std::string_view key, std::string& value) const
    {
        value = defaultValue;
        settings.tryGet(key, value);
    }
    void write(SettingMap& settings, std::string_view key, const std::string& value) const
    {
        writeSetting(settings, key, std::string_view(value), std::string_view(defaultValue));
    }
};

// A number the consumer may leave to its own value: a missing key or a text that is no number
// reads as absent. The consumer's value counts as the default when writing.
struct Optional {
    unsigned consumerDefault;

    void read(const SettingMap& settings, std::string_view key, OptionalUnsigned& value) const
    {
        value.reset();
        readOptionalSetting(settings, key, value);
    }
    void write(SettingMap& settings, std::string_view key, const OptionalUnsigned& value) const
    {
        writeSetting(settings, key, value, consumerDefault);
    }
};

// An optional number whose default the reading fills in, so that it is always present.
struct OptionalFilled {
    unsigned defaultValue;

    void read(const SettingMap& settings, std::string_view key, OptionalUnsigned& value) const
    {
        Optional{defaultValue}.read(settings, key, value);
        if (!value)
            value = defaultValue;
    }
    void write(SettingMap& settings, std::string_view key, const OptionalUnsigned& value) const
    {
        Optional{defaultValue}.write(settings, key, value);
    }
};

// A required institution identifier in its strict text form; the empty one is not written.
struct Identifier {
    void read(const SettingMap& settings, std::string_view key, Institution::Id& value) const
    {
        convert(settings.get(key), value);
    }
    void write(SettingMap& settings, std::string_view key, const Institution::Id& value) const
    {
        writeSetting(settings, key, value);
    }
};

// An institution identifier that may be missing: a missing key or a text that is no identifier
// reads as the empty identifier.
struct LenientIdentifier {
    void read(const SettingMap& settings, std::string_view key, Institution::Id& value) const
    {
        value = Institution::Id();
        std::string text;
        if (settings.tryGet(key, text))
            value.fromText(text);
    }
    void write(SettingMap& settings, std::string_view key, const Institution::Id& value) const
    {
        Identifier().write(settings, key, value);
    }
};

// The required, comma-separated list of server addresses: items trimmed, empty ones dropped,
// at least one left (NoServerAddress). Written joined with ", ".
struct AddressList {
    void read(const SettingMap& settings, std::string_view key,
              std::vector<std::string>& addresses) const
    {
        addresses.clear();
        convert(settings.get(key), addresses);
        if (addresses.empty())
            BOOST_THROW_EXCEPTION(Exceptions::NoServerAddress());
    }
    void write(SettingMap& settings, std::string_view key,
               const std::vector<std::string>& addresses) const
    {
        std::string joined;
        for (const auto& address : addresses) {
            if (!joined.empty())
                joined += ", ";
            joined += address;
        }
        settings.setOrRemove(key, joined);
    }
};

// The proxy switch: "auto" or "automatic" (letter case ignored) for the automatic proxy, else a
// boolean word (InvalidValue) or empty for off. Switched on by a boolean word it needs the proxy
// server, read before (MissingProxyServer). Written "auto" or "yes"; off is left out.
struct ProxySwitch {
    void read(const SettingMap& settings, std::string_view key, Registration::Proxy& proxy) const
    {
        proxy.enabled = false;
        proxy.automatic = false;
        std::string mode;
        if (!settings.tryGet(key, mode))
            return;
        if (String::compareNoCase(mode, "auto") == 0
            || String::compareNoCase(mode, "automatic") == 0) {
            proxy.enabled = true;
            proxy.automatic = true;
            return;
        }
        if (!mode.empty())
            convert(mode, proxy.enabled);
        if (proxy.enabled && proxy.server.empty())
            BOOST_THROW_EXCEPTION(Exceptions::MissingProxyServer());
    }
    void write(SettingMap& settings, std::string_view key, const Registration::Proxy& proxy) const
    {
        if (proxy.enabled)
            settings.set(key, proxy.automatic ? "auto" : "yes");
        else
            settings.remove(key);
    }
};

// The compression type by its name; any other text reads as none.
struct CompressionType {
    Compress::Type::Enum defaultValue;

    void read(const SettingMap& settings, std::string_view key, Compress::Type::Enum& type) const
    {
        std::string text;
        type = settings.tryGet(key, text) ? Compress::Type::fromText(text) : defaultValue;
    }
    void write(SettingMap& settings, std::string_view key, Compress::Type::Enum type) const
    {
        writeSetting(settings, key, type, defaultValue);
    }
};

// The compression level, read after the type: 3 for gzip and 5 for bzip2 when missing, not a
// number or outside 0 to 9. The pair is then made consistent: level 0, or a type other than gzip
// and bzip2, means no compression at level 0. Written against 3 for gzip and 5 otherwise, so
// that no compression keeps its "0" line.
struct CompressionLevel {
    static int defaultLevel(Compress::Type::Enum type)
    {
        switch (type) {
        case Compress::Type::gzip: return 3;
        case Compress::Type::bzip2: return 5;
        default: return 0;
        }
    }

    void read(const SettingMap& settings, std::string_view key,
              Registration::Compression& compression) const
    {
        const int fallback = defaultLevel(compression.type);
        std::string text;
        if (!settings.tryGet(key, text) || !tryConvert(text, compression.level))
            compression.level = fallback;
        if (compression.type != Compress::Type::gzip && compression.type != Compress::Type::bzip2) {
            compression.type = Compress::Type::none;
            compression.level = 0;
            return;
        }
        if (compression.level < 0 || compression.level > 9)
            compression.level = fallback;
        if (compression.level == 0)
            compression.type = Compress::Type::none;
    }
    void write(SettingMap& settings, std::string_view key,
               const Registration::Compression& compression) const
    {
        writeSetting(settings, key, compression.level,
                     compression.type == Compress::Type::gzip ? 3 : 5);
    }
};

} // namespace Config::ServiceSettingKinds
