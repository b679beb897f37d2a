#include "libs/config/settings/compress.hpp"

#include "libs/string/text.hpp"

namespace Compress::Type {

Enum fromText(std::string_view text)
{
    if (String::compareNoCase(text, "bzip2") == 0)
        return bzip2;
    if (String::compareNoCase(text, "gzip") == 0)
        return gzip;
    return none;
}

std::string toText(Enum type)
{
    switch (type) {
    case none: return "none";
    case gzip: return "gzip";
    case bzip2: return "bzip2";
    }
    return "invalid";
}

} // namespace Compress::Type
