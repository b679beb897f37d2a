#include "support/registrysetting.hpp"

#include "support/filecontent.hpp"

#include <boost/filesystem/operations.hpp>

#include <stdexcept>

namespace TestSupport::RegistrySetting {

void apply(const std::string& file, const std::string& text) {
    writeFile(file, text);
}

void remove(const std::string& file) {
    boost::system::error_code error;
    boost::filesystem::remove(file, error);
    if (error)
        throw std::runtime_error("cannot remove " + file + ": " + error.message());
}

} // namespace TestSupport::RegistrySetting
