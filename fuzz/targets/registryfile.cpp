// Registry file parsing: a failure names a line and leaves no key, the same bytes always parse
// the same way, and the keys named in the file hold values under lower-case names only.
#include "targets/targets.hpp"

#include "libs/string/unicode.hpp"
#include "libs/win32/registry/registryfile.hpp"

#include <string>
#include <vector>

namespace Fuzz {

namespace {

namespace Registry = Win32::Registry;
namespace RegistryFile = Win32::Registry::RegistryFile;

struct KeyName {
    Registry::Root root;
    std::string path;
};

// The content as UTF-8 text, whichever of the two encodings it is in.
std::string textOf(std::string_view bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string units;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i])
                                           | (static_cast<unsigned char>(bytes[i + 1]) << 8));
        return String::utf16ToUtf8Lenient(units);
    }
    return std::string(bytes);
}

// The keys that "[root\path]" lines of the text name, by a rough reading of their brackets.
std::vector<KeyName> namedKeys(const std::string& text)
{
    std::vector<KeyName> keys;
    std::size_t start = 0;
    while (start < text.size() && keys.size() < 64) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t open = line.find('[');
        const std::size_t close = line.rfind(']');
        if (open == std::string::npos || close == std::string::npos || close <= open)
            continue;
        std::string name = line.substr(open + 1, close - open - 1);
        if (!name.empty() && name.front() == '-')
            name.erase(0, 1);
        const std::size_t slash = name.find('\\');
        const Registry::Root root = RegistryFile::rootFromName(name.substr(0, slash));
        if (root != Registry::NoRoot)
            keys.push_back(KeyName{root, slash == std::string::npos ? std::string() : name.substr(slash + 1)});
    }
    return keys;
}

// A path of nothing but backslashes names the root itself.
bool isRoot(const std::string& path)
{
    return path.find_first_not_of('\\') == std::string::npos;
}

void checkKeys(const RegistryFile::Hive& hive, const std::vector<KeyName>& keys)
{
    for (const KeyName& key : keys) {
        const bool known = hive.hasKey(key.root, key.path);
        for (const auto& entry : hive.values(key.root, key.path)) {
            require(known, "a key with values exists");
            for (const char c : entry.first)
                require(!(c >= 'A' && c <= 'Z'), "value names are in lower case");
        }
    }
}

} // namespace

int registryFile(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = asText(data, size);
    const std::vector<KeyName> keys = namedKeys(textOf(bytes));

    RegistryFile::Hive hive;
    RegistryFile::ParseFailure failure;
    const bool parsed = hive.parse(bytes, failure);

    RegistryFile::Hive again;
    RegistryFile::ParseFailure againFailure;
    require(again.parse(bytes, againFailure) == parsed, "the same bytes parse the same way");

    if (!parsed) {
        require(failure.line >= 1, "a parse failure names a line");
        require(!failure.reason.empty(), "a parse failure gives a reason");
        require(againFailure.line == failure.line && againFailure.reason == failure.reason,
                "the same bytes fail the same way");
        for (const KeyName& key : keys)
            require(hive.values(key.root, key.path).empty() && (isRoot(key.path) || !hive.hasKey(key.root, key.path)),
                    "a failed parse leaves the hive empty");
        return 0;
    }
    checkKeys(hive, keys);
    return 0;
}

} // namespace Fuzz
