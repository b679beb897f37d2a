// The Windows stream open: _wfsopen with the share flag of the flags' share field.

#include "libs/files/sharedopen.hpp"

#include "libs/files/pathencoding.hpp"

#include <share.h>

#include <cerrno>

namespace Files::SharedOpen {

namespace {

// _SH_DENYRW, _SH_DENYWR, _SH_DENYRD and _SH_DENYNO for the share field values 0 to 3.
int shareFlag(Flags::Enum flags)
{
    switch (flags & Flags::ShareMask) {
    case Flags::DenyWrite: return _SH_DENYWR;
    case Flags::DenyRead: return _SH_DENYRD;
    case Flags::DenyNone: return _SH_DENYNO;
    default: return _SH_DENYRW;
    }
}

// The runtime's text mode ends a stream that it reads at the first Ctrl-Z byte (0x1A), so that
// everything after such a byte in a configuration file would be silently lost. A text file
// that is only read is read in binary mode instead; its readers take CR LF line ends as they
// do on POSIX. Writing keeps text mode and its CR LF line ends.
std::string streamMode(const std::string& mode)
{
    return mode == "rt" ? "rb" : mode;
}

} // namespace

std::FILE* open(const std::string& name, const std::string& mode, Flags::Enum flags)
{
    const boost::filesystem::path wideName = systemPath(name);
    if (wideName.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    const std::string narrowMode = streamMode(mode);
    const std::wstring wideMode(narrowMode.begin(), narrowMode.end());
    errno = 0;
    return _wfsopen(wideName.c_str(), wideMode.c_str(), shareFlag(flags));
}

} // namespace Files::SharedOpen
