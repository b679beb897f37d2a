#include "support/powercut/durablemodel.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace PowerCut {

namespace {

// Deeper folder nesting than any test makes; a guard against a cycle of synced folder entries.
const int deepestFolder = 64;

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void setModified(const std::string& path, std::int64_t seconds, long nanoseconds) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanoseconds}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        fail("utimensat " + path);
}

struct stat statusOf(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        fail("lstat " + path);
    return status;
}

// The whole content of the file, read through a descriptor of its own, so that a file open for
// writing only, or already unlinked, can be read too.
std::string contentOf(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        fail("open " + path);
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got <= 0) {
            ::close(descriptor);
            if (got < 0)
                fail("read " + path);
            return content;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

void writeFile(const std::string& path, const std::string& content, unsigned mode) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (descriptor < 0)
        fail("create " + path);
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t written = ::write(descriptor, content.data() + done, content.size() - done);
        if (written <= 0) {
            ::close(descriptor);
            fail("write " + path);
        }
        done += static_cast<std::size_t>(written);
    }
    ::close(descriptor);
}

std::string parentOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string joined(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

} // namespace

DurableModel::DurableModel(std::string backing) : backing_(std::move(backing)) {
    root_ = add("/", false);
    std::map<std::uint64_t, Entries> tree;
    addLiveTree("/", root_, tree, true);
    for (auto& [id, entries] : tree)
        nodes_.at(id).entries = entries;
}

std::uint64_t DurableModel::add(const std::string& path, bool takeContent) {
    const std::string real = backing_ + path;
    const struct stat status = statusOf(real);
    Node node;
    node.mode = status.st_mode & 07777;
    node.modifiedSeconds = status.st_mtim.tv_sec;
    node.modifiedNanoseconds = status.st_mtim.tv_nsec;
    if (S_ISDIR(status.st_mode)) {
        node.kind = Kind::Folder;
    } else if (S_ISLNK(status.st_mode)) {
        node.kind = Kind::Link;
        char target[4096];
        const ssize_t size = ::readlink(real.c_str(), target, sizeof target);
        if (size < 0)
            fail("readlink " + real);
        node.content.assign(target, static_cast<std::size_t>(size));
    } else if (takeContent) {
        node.content = contentOf(real);
    }
    const std::uint64_t id = nextId_++;
    nodes_[id] = node;
    nodeOfInode_[status.st_ino] = id;
    return id;
}

std::uint64_t DurableModel::nodeAt(const std::string& path, bool takeContent) {
    const auto found = nodeOfInode_.find(statusOf(backing_ + path).st_ino);
    return found != nodeOfInode_.end() ? found->second : add(path, takeContent);
}

DurableModel::Entries DurableModel::liveEntries(const std::string& path, bool takeContent) {
    DIR* folder = ::opendir((backing_ + path).c_str());
    if (!folder)
        fail("opendir " + backing_ + path);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(folder);
    Entries entries;
    for (const std::string& name : names)
        entries[name] = nodeAt(joined(path, name), takeContent);
    return entries;
}

void DurableModel::addLiveTree(const std::string& path, std::uint64_t folder, std::map<std::uint64_t, Entries>& tree,
                               bool takeContent) {
    const Entries entries = liveEntries(path, takeContent);
    tree[folder] = entries;
    for (const auto& [name, id] : entries) {
        if (nodes_.at(id).kind == Kind::Folder)
            addLiveTree(joined(path, name), id, tree, takeContent);
    }
}

void DurableModel::created(const std::string& path) {
    add(path, false);
}

void DurableModel::renamed(std::uint64_t sequence, const std::string& from, const std::string& to) {
    renames_.push_back({sequence, nodeAt(parentOf(from), false), nodeAt(parentOf(to), false), nodeAt(to, false),
                        nameOf(from), nameOf(to)});
}

void DurableModel::fileSynced(int descriptor) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0)
        fail("fstat of a synced file");
    const auto found = nodeOfInode_.find(status.st_ino);
    if (found == nodeOfInode_.end())
        return;
    Node& node = nodes_.at(found->second);
    node.content = contentOf("/proc/self/fd/" + std::to_string(descriptor));
    node.mode = status.st_mode & 07777;
    node.modifiedSeconds = status.st_mtim.tv_sec;
    node.modifiedNanoseconds = status.st_mtim.tv_nsec;
}

void DurableModel::folderSynced(std::uint64_t sequence, const std::string& path) {
    Node& node = nodes_.at(nodeAt(path, false));
    node.entries = liveEntries(path, false);
    node.syncedAt = sequence;
}

const DurableModel::Rename* DurableModel::latestUnsyncedRename() const {
    for (auto rename = renames_.rbegin(); rename != renames_.rend(); ++rename) {
        if (nodes_.at(rename->fromFolder).syncedAt < rename->sequence ||
            nodes_.at(rename->toFolder).syncedAt < rename->sequence)
            return &*rename;
    }
    return nullptr;
}

bool DurableModel::write(Image image, const std::string& folder) {
    std::map<std::uint64_t, Entries> tree;
    if (image == Image::NamesEarly) {
        addLiveTree("/", root_, tree, false);
    } else {
        for (const auto& [id, node] : nodes_) {
            if (node.kind == Kind::Folder)
                tree[id] = node.entries;
        }
    }
    if (image == Image::LatestRenameEarly) {
        const Rename* rename = latestUnsyncedRename();
        if (!rename)
            return false;
        Entries& from = tree[rename->fromFolder];
        const auto moved = from.find(rename->fromName);
        if (moved != from.end() && moved->second == rename->node)
            from.erase(moved);
        tree[rename->toFolder][rename->toName] = rename->node;
    }
    writeNode(root_, folder, tree, 0);
    return true;
}

void DurableModel::writeNode(std::uint64_t id, const std::string& target, const std::map<std::uint64_t, Entries>& tree,
                             int depth) const {
    const Node& node = nodes_.at(id);
    switch (node.kind) {
    case Kind::File:
        writeFile(target, node.content, node.mode);
        setModified(target, node.modifiedSeconds, node.modifiedNanoseconds);
        return;
    case Kind::Link:
        if (::symlink(node.content.c_str(), target.c_str()) != 0)
            fail("symlink " + target);
        return;
    case Kind::Folder:
        if (::mkdir(target.c_str(), node.mode | 0700) != 0)
            fail("mkdir " + target);
        const auto entries = tree.find(id);
        if (depth < deepestFolder && entries != tree.end()) {
            for (const auto& [name, child] : entries->second)
                writeNode(child, target + "/" + name, tree, depth + 1);
        }
        return;
    }
}

} // namespace PowerCut
