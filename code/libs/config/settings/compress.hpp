#pragma once
// The compression methods of the service's transfers and their names in the configuration.

#include <string>
#include <string_view>

namespace Compress::Type {

// A fixed underlying type, so that any number read from outside is a valid (if unnamed) value.
enum Enum : int { none = 0, gzip = 1, bzip2 = 2 };

// bzip2 for «bzip2», gzip for «gzip» (ASCII letter case ignored); none for any other text.
Enum fromText(std::string_view text);

// "none", "gzip" or "bzip2"; "invalid" for a number outside the enumeration.
std::string toText(Enum type);

} // namespace Compress::Type
