#pragma once
// A migration framework without commands of its own whose console is a string, for the tests of
// what the framework and the steps do with it. Header-only, as only the migrator's tests use it.

#include "migrator/service/framework/framework.hpp"

#include <sstream>
#include <string>

namespace TestSupport {

class FrameworkDouble : public Migration::Framework {
public:
    explicit FrameworkDouble(const std::string& configFile = "main.conf") : Framework(configFile, "migrator") {
        setConsole(console);
    }
    std::string title() const override { return "test"; }
    bool analyze() override { return false; }
    bool repair() override { return false; }
    bool migrate() override { return false; }

    // Everything the framework printed.
    std::ostringstream console;
};

} // namespace TestSupport
