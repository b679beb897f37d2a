#pragma once
// The power-cut file system (powercutfs) mounted for a test: a folder whose operations reach a
// backing folder, numbered, with a power cut at a chosen operation; see powercutfs_posix.cpp
// for what it writes into its output folder.

#include <cstdint>
#include <string>

namespace PowerCut {

// Why the file system cannot be mounted here (no program built, no /dev/fuse, a refused mount),
// as a sentence; empty when it can.
std::string mountRefusal(const std::string& program);

class Mount {
public:
    // Mounts the program's file system over the mount point (an empty folder), passing through
    // to the backing folder; cutAt 0 means no cut. The output folder must not exist yet. Throws
    // std::runtime_error with the file system's error output when it is not mounted within ten
    // seconds.
    Mount(const std::string& program, const std::string& backing, const std::string& mountPoint,
          const std::string& output, std::uint64_t cutAt = 0);
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    // Unmounts when still mounted; never throws.
    ~Mount();

    // Unmounts and waits until the file system has written its output. Throws
    // std::runtime_error when it ended with a failure.
    void unmount();

private:
    int pid_ = -1;
    std::string errors_;
};

} // namespace PowerCut
