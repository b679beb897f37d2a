#pragma once
// The fuzz targets: each takes one input of arbitrary bytes, feeds it to a parser and checks the
// promises the parser makes about its result. Bad input must end in a documented exception; a
// crash, a sanitizer report or a broken promise (which aborts) is a finding.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Fuzz {

// Each returns 0; a broken promise aborts the process after naming it on stderr.
int integer(const std::uint8_t* data, std::size_t size);
int unicode(const std::uint8_t* data, std::size_t size);
int institutionId(const std::uint8_t* data, std::size_t size);
int iniFile(const std::uint8_t* data, std::size_t size);
int registryFile(const std::uint8_t* data, std::size_t size);
int sendingRules(const std::uint8_t* data, std::size_t size);
int storingRules(const std::uint8_t* data, std::size_t size);

// Aborts with the message when the condition does not hold.
void require(bool condition, const char* promise);

inline std::string_view asText(const std::uint8_t* data, std::size_t size)
{
    return size == 0 ? std::string_view() : std::string_view(reinterpret_cast<const char*>(data), size);
}

} // namespace Fuzz
