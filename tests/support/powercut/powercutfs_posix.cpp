// powercutfs: a FUSE file system for power-cut tests. It passes every operation through to a
// backing folder and keeps, beside it, what the disk would hold after a power cut
// (durablemodel.hpp). Every operation that changes the tree or makes it durable gets the next
// sequence number. At the cut number the operation is not made: the file system writes the
// images a power cut may leave, kills the process that asked for the operation, as the power
// would, and refuses every later change. Without a cut, the images are written when it is
// unmounted, so that they show what an uninterrupted run left on disk.
//
//     powercutfs <backing folder> <mount point> <output folder> [<cut number>]
//
// The output folder (created) receives "operations", one line per numbered operation
// ("<number> <kind> <path>[ <path>]"), "cut", the line of the operation cut, and the images
// "durable", "latest-rename-early" (when a rename was not yet synced) and "names-early".
// It runs single-threaded in the foreground and ends on SIGTERM or an unmount.
#define FUSE_USE_VERSION 31

#include "support/powercut/durablemodel.hpp"

#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <string>

namespace {

struct State {
    std::string backing;
    std::string output;
    std::uint64_t cutAt = 0;
    std::uint64_t sequence = 0;
    bool cut = false;
    std::string operations;
    std::unique_ptr<PowerCut::DurableModel> model;
};

State& state() {
    return *static_cast<State*>(fuse_get_context()->private_data);
}

std::string real(const char* path) {
    return state().backing + path;
}

int failure() {
    return -errno;
}

void writeText(const std::string& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

void writeImages(State& s) {
    s.model->write(PowerCut::Image::Durable, s.output + "/durable");
    s.model->write(PowerCut::Image::LatestRenameEarly, s.output + "/latest-rename-early");
    s.model->write(PowerCut::Image::NamesEarly, s.output + "/names-early");
}

// Runs a step of the model; an exception must not cross the file system's C interface, and a
// model that failed cannot tell the truth any more, so the file system stops.
template <typename Step>
int modelled(Step&& step) {
    try {
        step();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "powercutfs: %s\n", e.what());
        std::_Exit(3);
    }
}

// Numbers the change; false when it must not be made: at the cut, which happens now, and after.
bool change(const char* kind, const char* path, const char* second = nullptr) {
    State& s = state();
    if (s.cut)
        return false;
    const std::string line =
        std::to_string(++s.sequence) + " " + kind + " " + path + (second ? std::string(" ") + second : "");
    s.operations += line + "\n";
    if (s.sequence != s.cutAt)
        return true;
    s.cut = true;
    modelled([&] { writeImages(s); });
    writeText(s.output + "/cut", line + "\n");
    if (fuse_get_context()->pid > 0)
        ::kill(fuse_get_context()->pid, SIGKILL);
    return false;
}

void* init(fuse_conn_info* connection, fuse_config* config) {
    connection->want &= ~FUSE_CAP_WRITEBACK_CACHE;
    config->use_ino = 1;
    config->hard_remove = 1;
    return fuse_get_context()->private_data;
}

int getattr(const char* path, struct stat* status, fuse_file_info* file) {
    const int result = file ? ::fstat(static_cast<int>(file->fh), status) : ::lstat(real(path).c_str(), status);
    return result == 0 ? 0 : failure();
}

int readlink(const char* path, char* buffer, size_t size) {
    const ssize_t length = ::readlink(real(path).c_str(), buffer, size - 1);
    if (length < 0)
        return failure();
    buffer[length] = '\0';
    return 0;
}

int mknod(const char* path, mode_t mode, dev_t device) {
    if (!change("mknod", path))
        return -EIO;
    if (::mknod(real(path).c_str(), mode, device) != 0)
        return failure();
    return modelled([&] { state().model->created(path); });
}

int mkdir(const char* path, mode_t mode) {
    if (!change("mkdir", path))
        return -EIO;
    if (::mkdir(real(path).c_str(), mode) != 0)
        return failure();
    return modelled([&] { state().model->created(path); });
}

int unlink(const char* path) {
    if (!change("unlink", path))
        return -EIO;
    return ::unlink(real(path).c_str()) == 0 ? 0 : failure();
}

int rmdir(const char* path) {
    if (!change("rmdir", path))
        return -EIO;
    return ::rmdir(real(path).c_str()) == 0 ? 0 : failure();
}

int symlink(const char* target, const char* path) {
    if (!change("symlink", path))
        return -EIO;
    if (::symlink(target, real(path).c_str()) != 0)
        return failure();
    return modelled([&] { state().model->created(path); });
}

int rename(const char* from, const char* to, unsigned int flags) {
    if (!change("rename", from, to))
        return -EIO;
    if (::renameat2(AT_FDCWD, real(from).c_str(), AT_FDCWD, real(to).c_str(), flags) != 0)
        return failure();
    if ((flags & RENAME_EXCHANGE) != 0)
        return 0;
    return modelled([&] { state().model->renamed(state().sequence, from, to); });
}

int link(const char* from, const char* to) {
    if (!change("link", from, to))
        return -EIO;
    return ::link(real(from).c_str(), real(to).c_str()) == 0 ? 0 : failure();
}

int chmod(const char* path, mode_t mode, fuse_file_info*) {
    if (!change("chmod", path))
        return -EIO;
    return ::chmod(real(path).c_str(), mode) == 0 ? 0 : failure();
}

int chown(const char* path, uid_t user, gid_t group, fuse_file_info*) {
    if (!change("chown", path))
        return -EIO;
    return ::lchown(real(path).c_str(), user, group) == 0 ? 0 : failure();
}

int truncate(const char* path, off_t size, fuse_file_info* file) {
    if (!change("truncate", path))
        return -EIO;
    const int result = file ? ::ftruncate(static_cast<int>(file->fh), size) : ::truncate(real(path).c_str(), size);
    return result == 0 ? 0 : failure();
}

int utimens(const char* path, const struct timespec times[2], fuse_file_info* file) {
    if (!change("utimens", path))
        return -EIO;
    const int result = file ? ::futimens(static_cast<int>(file->fh), times)
                            : ::utimensat(AT_FDCWD, real(path).c_str(), times, AT_SYMLINK_NOFOLLOW);
    return result == 0 ? 0 : failure();
}

int open(const char* path, fuse_file_info* file) {
    if ((file->flags & O_TRUNC) != 0 && !change("truncate", path))
        return -EIO;
    const int descriptor = ::open(real(path).c_str(), file->flags);
    if (descriptor < 0)
        return failure();
    file->fh = static_cast<std::uint64_t>(descriptor);
    return 0;
}

int create(const char* path, mode_t mode, fuse_file_info* file) {
    if (!change("create", path))
        return -EIO;
    const int descriptor = ::open(real(path).c_str(), file->flags | O_CREAT, mode);
    if (descriptor < 0)
        return failure();
    file->fh = static_cast<std::uint64_t>(descriptor);
    return modelled([&] { state().model->created(path); });
}

int read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    const ssize_t got = ::pread(static_cast<int>(file->fh), buffer, size, offset);
    return got < 0 ? failure() : static_cast<int>(got);
}

int write(const char* path, const char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    if (!change("write", path))
        return -EIO;
    const ssize_t written = ::pwrite(static_cast<int>(file->fh), buffer, size, offset);
    return written < 0 ? failure() : static_cast<int>(written);
}

int statfs(const char* path, struct statvfs* status) {
    return ::statvfs(real(path).c_str(), status) == 0 ? 0 : failure();
}

int release(const char*, fuse_file_info* file) {
    ::close(static_cast<int>(file->fh));
    return 0;
}

int fsync(const char* path, int, fuse_file_info* file) {
    if (!change("fsync", path))
        return -EIO;
    return modelled([&] { state().model->fileSynced(static_cast<int>(file->fh)); });
}

int fallocate(const char* path, int mode, off_t offset, off_t length, fuse_file_info* file) {
    if (!change("fallocate", path))
        return -EIO;
    return ::fallocate(static_cast<int>(file->fh), mode, offset, length) == 0 ? 0 : failure();
}

int opendir(const char* path, fuse_file_info* file) {
    DIR* folder = ::opendir(real(path).c_str());
    if (!folder)
        return failure();
    file->fh = reinterpret_cast<std::uint64_t>(folder);
    return 0;
}

int readdir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info* file, fuse_readdir_flags) {
    DIR* folder = reinterpret_cast<DIR*>(file->fh);
    ::rewinddir(folder);
    while (const dirent* entry = ::readdir(folder)) {
        struct stat status {};
        status.st_ino = entry->d_ino;
        status.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &status, 0, static_cast<fuse_fill_dir_flags>(0)) != 0)
            break;
    }
    return 0;
}

int releasedir(const char*, fuse_file_info* file) {
    ::closedir(reinterpret_cast<DIR*>(file->fh));
    return 0;
}

int fsyncdir(const char* path, int, fuse_file_info*) {
    if (!change("fsyncdir", path))
        return -EIO;
    return modelled([&] { state().model->folderSynced(state().sequence, path); });
}

fuse_operations operations() {
    fuse_operations ops{};
    ops.init = init;
    ops.getattr = getattr;
    ops.readlink = readlink;
    ops.mknod = mknod;
    ops.mkdir = mkdir;
    ops.unlink = unlink;
    ops.rmdir = rmdir;
    ops.symlink = symlink;
    ops.rename = rename;
    ops.link = link;
    ops.chmod = chmod;
    ops.chown = chown;
    ops.truncate = truncate;
    ops.utimens = utimens;
    ops.open = open;
    ops.create = create;
    ops.read = read;
    ops.write = write;
    ops.statfs = statfs;
    ops.release = release;
    ops.fsync = fsync;
    ops.fallocate = fallocate;
    ops.opendir = opendir;
    ops.readdir = readdir;
    ops.releasedir = releasedir;
    ops.fsyncdir = fsyncdir;
    return ops;
}

int serve(State& s, const std::string& mountPoint) {
    char program[] = "powercutfs";
    char options[] = "-ofsname=powercut,subtype=powercut";
    char* arguments[] = {program, options, nullptr};
    fuse_args args = FUSE_ARGS_INIT(2, arguments);
    const fuse_operations ops = operations();
    fuse* fs = fuse_new(&args, &ops, sizeof ops, &s);
    fuse_opt_free_args(&args);
    if (!fs)
        return 1;
    // The handlers come first: a test may end the file system as soon as it sees it mounted.
    fuse_session* session = fuse_get_session(fs);
    if (fuse_set_signal_handlers(session) != 0 || fuse_mount(fs, mountPoint.c_str()) != 0) {
        fuse_remove_signal_handlers(session);
        fuse_destroy(fs);
        return 1;
    }
    const int result = fuse_loop(fs);
    fuse_remove_signal_handlers(session);
    fuse_unmount(fs);
    fuse_destroy(fs);
    return result < 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s <backing folder> <mount point> <output folder> [<cut number>]\n", argv[0]);
        return 2;
    }
    try {
        State s;
        s.backing = argv[1];
        s.output = argv[3];
        s.cutAt = argc == 5 ? std::strtoull(argv[4], nullptr, 10) : 0;
        if (::mkdir(s.output.c_str(), 0755) != 0) {
            std::perror(argv[3]);
            return 2;
        }
        s.model = std::make_unique<PowerCut::DurableModel>(s.backing);
        const int result = serve(s, argv[2]);
        if (!s.cut)
            writeImages(s);
        writeText(s.output + "/operations", s.operations);
        return result;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "powercutfs: %s\n", e.what());
        return 1;
    }
}
