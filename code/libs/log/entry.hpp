#pragma once
// A log message on its way to a logger: its verbosity, its level and the text written into it.

#include "libs/log/level.hpp"

#include <optional>
#include <sstream>
#include <string>

namespace Log {

class Entry {
public:
    // An entry without verbosity and level; a logger writes it only once both are set.
    Entry() = default;
    Entry(Verbosity verbosity, Level level) : verbosity_(verbosity), level_(level) {}

    const std::optional<Verbosity>& verbosity() const { return verbosity_; }
    const std::optional<Level>& level() const { return level_; }
    void setVerbosity(Verbosity verbosity) { verbosity_ = verbosity; }
    void setLevel(Level level) { level_ = level; }

    // The stream that receives the message text.
    std::ostream& stream() { return text_; }

    // Appends a value as a standard output stream formats it.
    template <class T>
    Entry& operator<<(const T& value) {
        text_ << value;
        return *this;
    }

    // The text written so far.
    std::string text() const { return text_.str(); }

private:
    std::optional<Verbosity> verbosity_;
    std::optional<Level> level_;
    std::ostringstream text_;
};

} // namespace Log
