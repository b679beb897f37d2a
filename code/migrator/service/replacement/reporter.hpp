#pragma once
// Where the replacement of files tells the administrator what it does: the migrator's message
// channel, which shows each report on the console and writes it to the log.

#include <string>

namespace Migration {

class Reporter {
public:
    enum class Severity { Information, Warning, Error };

    virtual ~Reporter() = default;
    // Shows one report; must not throw.
    virtual void report(Severity severity, const std::string& text) = 0;
};

} // namespace Migration
