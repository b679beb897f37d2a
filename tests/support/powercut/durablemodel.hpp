#pragma once
// What a power cut leaves of a folder tree, under the strict rules a file system promises:
// a file's content (with its mode and modification time) is on disk once the file was synced (fsync, fdatasync); a name
// made, changed or removed in a folder (create, rename, unlink, mkdir, rmdir, link, symlink) is
// on disk once that folder was synced. The live tree is a real folder (the backing folder) that
// the file system changes as told; the model keeps beside it, per inode, the content last
// synced and, per folder, the entries last synced, and can write out at any moment what a power
// cut would leave.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace PowerCut {

// The images a cut can leave, from the strictest to the kindest.
enum class Image {
    // Only the synced names with only the synced contents.
    Durable,
    // The synced names, and the latest rename not yet synced done before every earlier one:
    // a file system may write a rename early and keeps no order between renames.
    LatestRenameEarly,
    // Every name as it is live (all renames, creations and deletions written early), with only
    // the synced contents.
    NamesEarly,
};

class DurableModel {
public:
    // Takes everything below the backing folder as on disk.
    explicit DurableModel(std::string backing);

    // After a file, folder or symbolic link came into being at the path (relative to the
    // backing folder, starting with "/"): a new inode with empty content on disk.
    void created(const std::string& path);
    // After a rename with this sequence number, remembered for LatestRenameEarly.
    void renamed(std::uint64_t sequence, const std::string& from, const std::string& to);
    // The file open at the descriptor was synced: its content and mode are on disk.
    void fileSynced(int descriptor);
    // The folder was synced with this sequence number: its entries are on disk.
    void folderSynced(std::uint64_t sequence, const std::string& path);

    // Writes the image into the folder, which must not exist; false when the image does not
    // apply (LatestRenameEarly without a rename not yet synced).
    bool write(Image image, const std::string& folder);

private:
    enum class Kind { File, Folder, Link };
    struct Node {
        Kind kind = Kind::File;
        unsigned mode = 0644;
        // The modification time that went to disk with the content: a rename keeps it.
        std::int64_t modifiedSeconds = 0;
        long modifiedNanoseconds = 0;
        std::string content;                          // file content or link target
        std::map<std::string, std::uint64_t> entries; // folder entries on disk
        std::uint64_t syncedAt = 0;                   // sequence number of the folder's last sync
    };
    struct Rename {
        std::uint64_t sequence;
        std::uint64_t fromFolder, toFolder, node;
        std::string fromName, toName;
    };
    using Entries = std::map<std::string, std::uint64_t>;

    // The node of the inode at the path (relative to the backing folder); a new one when the
    // inode is unknown, holding the live content when takeContent is set, else none.
    std::uint64_t nodeAt(const std::string& path, bool takeContent);
    std::uint64_t add(const std::string& path, bool takeContent);
    Entries liveEntries(const std::string& path, bool takeContent);
    // Every folder's live entries, from the folder at the path down.
    void addLiveTree(const std::string& path, std::uint64_t folder, std::map<std::uint64_t, Entries>& tree,
                     bool takeContent);
    const Rename* latestUnsyncedRename() const;
    void writeNode(std::uint64_t id, const std::string& target, const std::map<std::uint64_t, Entries>& tree,
                   int depth) const;

    std::string backing_;
    std::map<std::uint64_t, Node> nodes_;
    std::map<std::uint64_t, std::uint64_t> nodeOfInode_;
    std::uint64_t root_ = 0;
    std::uint64_t nextId_ = 1;
    std::vector<Rename> renames_;
};

} // namespace PowerCut
