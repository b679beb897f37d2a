#include "support/registrysetting.hpp"

#include "support/filecontent.hpp"

namespace TestSupport::RegistrySetting {

void apply(const std::string& file, const std::string& text) {
    writeFile(file, text);
}

} // namespace TestSupport::RegistrySetting
