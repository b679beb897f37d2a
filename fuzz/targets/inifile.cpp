// INI reading of arbitrary text through a temporary file: every failure is the typed exception,
// and a map that was read and written back reads as the written values.
#include "targets/targets.hpp"

#include "libs/config/inifile/inifile.hpp"
#include "libs/config/settings/exceptions.hpp"
#include "libs/string/text.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include <unistd.h>

namespace Fuzz {

namespace {

// A file of its own in the temporary folder, removed with the object.
class TemporaryFile {
public:
    TemporaryFile()
    {
        const char* folder = std::getenv("TMPDIR");
        path_ = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/qelt-fuzz-ini-XXXXXX";
        const int descriptor = ::mkstemp(path_.data());
        require(descriptor >= 0, "a temporary file can be created");
        ::close(descriptor);
    }
    ~TemporaryFile() { std::remove(path_.c_str()); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return path_; }

    void write(std::string_view content) const
    {
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        require(file != nullptr, "the temporary file can be opened");
        const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
        require(std::fclose(file) == 0 && written, "the temporary file can be written");
    }

private:
    std::string path_;
};

std::optional<Config::SettingMap> readSettings(const TemporaryFile& file)
{
    try {
        return Config::readIniFile(file.path());
    } catch (const Config::Exceptions::ReadIniFile&) {
        return std::nullopt;
    }
}

// What a written map reads back as: values trimmed, empty values left out.
Config::SettingMap writtenForm(const Config::SettingMap& settings)
{
    Config::SettingMap written;
    for (const auto& [key, value] : settings)
        if (!value.empty())
            written.set(key, String::trim(value));
    return written;
}

void checkRewrite(const Config::SettingMap& settings, const TemporaryFile& file)
{
    std::string text;
    try {
        text = Config::toIniText(settings);
    } catch (const Config::Exceptions::InvalidKey&) {
        return;
    }
    Config::writeIniFile(settings, file.path());
    const std::optional<Config::SettingMap> reread = readSettings(file);
    require(reread.has_value(), "written INI text reads again");
    require(*reread == writtenForm(settings), "written INI text reads as the written values");
}

void checkDecode(const std::string& raw)
{
    try {
        const std::string decoded = Config::decodeValue(raw);
        if (raw.find('\\') == std::string::npos)
            require(decoded == raw, "a value without backslashes decodes as it is");
        require(decoded.size() <= raw.size(), "decoding never lengthens a value");
    } catch (const Config::Exceptions::Exception&) {
        require(raw.find('\\') != std::string::npos, "only escapes make decoding fail");
    }
}

} // namespace

int iniFile(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = asText(data, size);
    checkDecode(std::string(text));

    TemporaryFile file;
    file.write(text);
    const std::optional<Config::SettingMap> settings = readSettings(file);
    if (settings)
        checkRewrite(*settings, file);
    return 0;
}

} // namespace Fuzz
