#pragma once
// The console as the key source of the interactive prompt.

#include "migrator/service/framework/framework.hpp"

namespace Migration {

// Reads one key from standard input. On a terminal the terminal is switched to non-canonical
// mode without echo and without signal keys (Ctrl-C is read as a key) for the one read and
// restored afterwards, also on failure; otherwise one byte is read, so keys can be piped in.
// End of input or a failed read gives no key.
class ConsoleKeys : public KeySource {
public:
    std::optional<char> readKey() override;
};

} // namespace Migration
