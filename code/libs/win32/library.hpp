#pragma once
// Shared ownership of one loaded library module: copies share the module, which is unloaded
// when the last copy lets go of it.

#include <memory>
#include <string>

namespace Win32 {

class Library {
public:
    // An empty library: no module, a null handle.
    Library() = default;

    // Releases the module held so far, then loads `name`. `flags` are the platform's load
    // flags; 0 selects the default (on POSIX RTLD_NOW | RTLD_LOCAL). Throws
    // Win32::Exceptions::LoadLib with ::Exceptions::Filename_, WinErrorCode_ and Error_.
    void open(const std::string& name, unsigned flags = 0);

    // Lets go of the module; the library is empty afterwards.
    void reset() { module_.reset(); }

    bool isOpen() const { return module_ != nullptr; }
    void* handle() const { return module_.get(); }

private:
    std::shared_ptr<void> module_;
};

} // namespace Win32
