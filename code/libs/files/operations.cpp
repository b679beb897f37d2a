#include "libs/files/operations.hpp"

#include "libs/datetime/timepoint.hpp"
#include "libs/files/exceptions.hpp"
#include "libs/files/impl.hpp"
#include "libs/files/native.hpp"
#include "libs/files/pathencoding.hpp"
#include "libs/files/paths.hpp"
#include "libs/files/systemerrornumber.hpp"
#include "libs/files/writeprotection.hpp"

#include <boost/filesystem/operations.hpp>

namespace Files {

namespace fs = boost::filesystem;

namespace {

template <class Action>
void withFileNames(const std::string& from, const std::string& to, Action action)
{
    try {
        action();
    } catch (Exceptions::Exception& e) {
        e << ::Exceptions::SourceFilename_(from) << ::Exceptions::DestinationFilename_(to);
        throw;
    }
}

void throwCopyFailure(const boost::system::error_code& error, const std::string& what)
{
    if (error == boost::system::errc::no_such_file_or_directory)
        BOOST_THROW_EXCEPTION(Exceptions::NotFound() << ::Exceptions::What_(what));
    BOOST_THROW_EXCEPTION(Exceptions::CopyFile_() << ::Exceptions::What_(what));
}

// True when from and to name one file whose data would go with the target's deletion: the same
// entry, a link to it, or its only hard link.
bool deletingTargetLosesSource(const std::string& from, const std::string& to)
{
    boost::system::error_code error;
    if (!fs::equivalent(systemPath(from), systemPath(to), error) || error)
        return false;
    const auto links = fs::hard_link_count(systemPath(to), error);
    if (error || links <= 1)
        return true;
    const fs::path a = fs::canonical(from, error);
    const fs::path b = error ? fs::path() : fs::canonical(to, error);
    return error || a == b;
}

// A missing source or a copy onto itself fails before anything is deleted at the target.
void checkCopySource(const std::string& from, const std::string& to)
{
    boost::system::error_code error;
    const fs::file_status source = fs::status(systemPath(from), error);
    if (!fs::exists(source)) {
        if (!error)
            error = boost::system::errc::make_error_code(boost::system::errc::no_such_file_or_directory);
        throwCopyFailure(error, fs::filesystem_error("copy file", from, to, error).what());
    }
    if (deletingTargetLosesSource(from, to))
        BOOST_THROW_EXCEPTION(Exceptions::CopyFile_() << ::Exceptions::What_("source and target are the same file"));
}

void copyContent(const std::string& from, const std::string& to, const CopyProgress& onProgress)
{
    bool created = false;
    const boost::system::error_code error = Native::copyContent(from, to, created, onProgress);
    if (!error)
        return;
    if (created) {
        boost::system::error_code ignored;
        fs::remove(systemPath(to), ignored);
    }
    throwCopyFailure(error, fs::filesystem_error("copy file", from, to, error).what());
}

void touch(const std::string& name)
{
    boost::system::error_code error;
    fs::last_write_time(systemPath(name), Datetime::toTimeT(Datetime::now(Datetime::Zone::Utc)), error);
    if (error)
        BOOST_THROW_EXCEPTION(Exceptions::CopyFile_()
                              << ::Exceptions::What_(fs::filesystem_error("touch", name, error).what()));
}

bool isLinkOrFile(fs::file_type type)
{
    return type == fs::regular_file || type == fs::symlink_file;
}

// Removes the file, link or empty directory. When the entry's own write protection (the
// read-only attribute on Windows) refused that, the protection is lifted and the removal tried
// again, for every kind of entry alike. A failure is logged, naming the entry as a file or a
// directory, and gives false.
bool removeEntry(const std::string& name, const char* kind)
{
    boost::system::error_code error;
    fs::remove(systemPath(name), error);
    if (error && WriteProtection::liftForDeletion(name, error))
        fs::remove(systemPath(name), error);
    if (!error)
        return true;
    Impl::reportFailure(std::string("Failed to delete ") + kind + " " + name + ", error: " + error.message() + ".");
    return false;
}

// The directory's entries with their own status; links are never followed.
bool clearEntries(const std::string& directory)
{
    boost::system::error_code error;
    fs::directory_iterator it(systemPath(directory), error);
    if (error)
        return false;
    bool cleared = true;
    const fs::directory_iterator end;
    while (it != end) {
        const std::string entry = join(directory, it->path().filename().string());
        const fs::file_type type = fs::symlink_status(it->path(), error).type();
        if (error)
            cleared = false;
        else if (type == fs::directory_file)
            cleared = clearEntries(entry) && removeEntry(entry, "directory") && cleared;
        else if (isLinkOrFile(type))
            cleared = removeEntry(entry, "file") && cleared;
        else
            cleared = false;
        it.increment(error);
        if (error)
            return false;
    }
    return cleared;
}

bool isInside(const fs::path& inner, const fs::path& outer)
{
    boost::system::error_code error;
    const fs::path a = fs::weakly_canonical(fs::absolute(inner), error);
    if (error)
        return false;
    const fs::path b = fs::weakly_canonical(fs::absolute(outer), error);
    if (error)
        return false;
    auto ai = a.begin();
    for (auto bi = b.begin(); bi != b.end(); ++bi, ++ai) {
        if (*bi == "." && std::next(bi) == b.end())
            break;
        if (ai == a.end() || *ai != *bi)
            return false;
    }
    return true;
}

// Throws OpenFile or WriteFile with Filename_ and the errno tags for a failed sync.
void checkSynced(Native::SyncOutcome outcome, const std::string& name)
{
    const ::Exceptions::SystemErrorNumber error;
    if (outcome == Native::SyncOutcome::NotOpened)
        BOOST_THROW_EXCEPTION(Exceptions::OpenFile() << Exceptions::Filename_(name) << error);
    if (outcome == Native::SyncOutcome::NotSynced)
        BOOST_THROW_EXCEPTION(Exceptions::WriteFile() << Exceptions::Filename_(name) << error);
}

} // namespace

namespace Impl {

void prepareTarget(const std::string& target, Flags::Enum flags)
{
    const std::string parent = fs::path(target).parent_path().string();
    if (Flags::has(flags, Flags::CreateDirectories) && !parent.empty())
        createDirectory(parent);
    if (Flags::has(flags, Flags::Overwrite))
        deleteFile(target);
}

void createDirectory(const std::string& path)
{
    if (fs::is_directory(fs::status(systemPath(path))))
        return;
    const std::string parent = fs::path(path).parent_path().string();
    if (!parent.empty() && parent != path)
        createDirectory(parent);
    boost::system::error_code error;
    fs::create_directory(systemPath(path), error);
    if (error)
        BOOST_THROW_EXCEPTION(Exceptions::CreateDir() << Exceptions::ErrorNumber_(error.value())
                                                      << Exceptions::ErrorString_(error.message()));
}

void copyFile(const std::string& from, const std::string& to, Flags::Enum flags,
              const std::function<void(std::uintmax_t)>& onProgress)
{
    checkCopySource(from, to);
    prepareTarget(to, flags);
    if (Flags::has(flags, Flags::Hardlink)) {
        if (Native::makeHardLink(from, to))
            return;
        if (!Flags::has(flags, Flags::CopyIfHardlinkFails)) {
            const ::Exceptions::SystemErrorNumber error;
            BOOST_THROW_EXCEPTION(Exceptions::HardlinkFile() << error);
        }
    }
    copyContent(from, to, onProgress);
    if (Flags::has(flags, Flags::Touch))
        touch(to);
}

} // namespace Impl

void copyFile(const std::string& from, const std::string& to, Flags::Enum flags)
{
    withFileNames(from, to, [&] { Impl::copyFile(from, to, flags); });
}

void copyFile(const std::string& from, const std::string& to, Flags::Enum flags, const CopyProgress& onProgress)
{
    withFileNames(from, to, [&] { Impl::copyFile(from, to, flags, onProgress); });
}

void copyAttributes(const std::string& from, const std::string& to)
{
    const boost::system::error_code error = Native::copyAttributes(from, to);
    if (!error)
        return;
    const std::string what = fs::filesystem_error("copy attributes", from, to, error).what();
    withFileNames(from, to, [&] { BOOST_THROW_EXCEPTION(Exceptions::CopyFile_() << ::Exceptions::What_(what)); });
}

void moveFile(const std::string& from, const std::string& to, Flags::Enum flags)
{
    withFileNames(from, to, [&] {
        const std::string parent = fs::path(to).parent_path().string();
        if (Flags::has(flags, Flags::CreateDirectories) && !parent.empty())
            Impl::createDirectory(parent);
    });
    boost::system::error_code ignored;
    if (Flags::has(flags, Flags::Overwrite) && fs::is_directory(fs::symlink_status(systemPath(to), ignored)))
        deleteFile(to);
    Native::rename(from, to);
}

void createDirectory(const std::string& name)
{
    try {
        Impl::createDirectory(name);
    } catch (Exceptions::Exception& e) {
        e << ::Exceptions::Dirname_(name);
        throw;
    }
}

bool deleteFile(const std::string& name)
{
    return removeEntry(name, "file");
}

bool clearDirectory(const std::string& name)
{
    boost::system::error_code error;
    if (!fs::is_directory(fs::symlink_status(systemPath(name), error)))
        return true;
    return clearEntries(name);
}

bool deleteDirectory(const std::string& name, bool recursive)
{
    if (recursive && !clearDirectory(name))
        return false;
    return removeEntry(name, "directory");
}

void copyDirectory(const std::string& from, const std::string& to, Flags::Enum flags,
                   const CopyCallback& onFile, const CopyCallback& onDirectory)
{
    if (Flags::has(flags, Flags::Recursive) && isInside(to, from))
        withFileNames(from, to, [] {
            BOOST_THROW_EXCEPTION(Exceptions::CopyFile_()
                                  << ::Exceptions::What_("target directory lies inside the source directory"));
        });
    if (Flags::has(flags, Flags::CreateDirectories))
        createDirectory(to);
    const Flags::Enum fileFlags = flags & ~Flags::CreateDirectories;
    for (fs::directory_iterator it(systemPath(from)), end; it != end; ++it) {
        const std::string name = it->path().filename().string();
        const std::string source = join(from, name);
        const std::string target = join(to, name);
        if (fs::is_regular_file(fs::status(it->path()))) {
            copyFile(source, target, fileFlags);
            if (onFile)
                onFile(source, target);
        } else if (Flags::has(flags, Flags::Recursive) && fs::is_directory(fs::symlink_status(it->path()))) {
            copyDirectory(source, target, flags, onFile, onDirectory);
        }
    }
    if (onDirectory)
        onDirectory(from, to);
}

void syncFile(const std::string& name)
{
    checkSynced(Native::syncFile(name), name);
}

void syncDirectory(const std::string& name)
{
    checkSynced(Native::syncDirectory(name), name);
}

} // namespace Files
