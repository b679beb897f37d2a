#include "libs/win32/library.hpp"

#include "libs/win32/error.hpp"
#include "libs/win32/exceptions.hpp"

#include <dlfcn.h>

#include <cerrno>

namespace Win32 {

void Library::open(const std::string& name, unsigned flags) {
    module_.reset();
    const int mode = flags != 0 ? static_cast<int>(flags) : RTLD_NOW | RTLD_LOCAL;
    void* module = dlopen(name.c_str(), mode);
    if (module == nullptr) {
        const char* reason = dlerror();
        BOOST_THROW_EXCEPTION(Exceptions::LoadLib()
                              << ::Exceptions::Filename_(name) << ErrorCode(ENOENT)
                              << ::Exceptions::Error_(reason ? reason : "cannot load " + name));
    }
    module_.reset(module, [](void* handle) { dlclose(handle); });
}

} // namespace Win32
