#pragma once
// Builds a text from values the way a standard output stream writes them, for messages.

#include <locale>
#include <sstream>
#include <string>

namespace String {

class Builder {
public:
    // Starts with the empty text.
    Builder() { stream_.imbue(std::locale::classic()); }

    // Appends exactly what `std::ostream << value` writes with default formatting.
    template <typename Value>
    Builder& operator<<(const Value& value)
    {
        stream_ << value;
        return *this;
    }

    // Applies a stream manipulator such as std::hex, as the stream would.
    Builder& operator<<(std::ostream& (*manipulator)(std::ostream&))
    {
        stream_ << manipulator;
        return *this;
    }

    // The text built so far.
    std::string str() const { return stream_.str(); }
    operator std::string() const { return str(); }

private:
    std::ostringstream stream_;
};

} // namespace String
