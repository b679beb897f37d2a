// Boost.Filesystem paths carry UTF-8 on Windows too: narrow path strings are converted to and
// from the system's UTF-16 as UTF-8 instead of the ANSI code page, before the first path is made.
// The files library's build pulls this object into every program that links the library.

#include <boost/filesystem/detail/utf8_codecvt_facet.hpp>
#include <boost/filesystem/path.hpp>

#include <locale>

extern "C" const bool qeltUtf8Paths = [] {
    boost::filesystem::path::imbue(
        std::locale(std::locale::classic(), new boost::filesystem::detail::utf8_codecvt_facet));
    return true;
}();
