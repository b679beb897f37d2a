#pragma once
// Copying, linking, moving, creating, deleting and syncing files and directories.

#include "libs/files/flags.hpp"

#include <cstdint>
#include <functional>
#include <string>

namespace Files {

// Copies from to to. Hardlink makes a hard link instead; when that fails the copy
// goes on with CopyIfHardlinkFails, else HardlinkFile is thrown. CreateDirectories creates the
// target's parents, Overwrite replaces an existing target, Touch stamps the copy with the
// current time. The copy is streamed, never held in memory. A missing source throws NotFound
// (the target is left alone), other failures CopyFile_ with What_; every failure carries
// SourceFilename_ and DestinationFilename_. A failed copy leaves no partial target behind.
// The copy has the source's permissions (Windows: attributes) but is always writable: a
// read-only source gives a copy the program can work on.
void copyFile(const std::string& from, const std::string& to, Flags::Enum flags);

// Called during a copy with the number of bytes copied so far; must not throw.
using CopyProgress = std::function<void(std::uintmax_t copied)>;

// copyFile that calls onProgress after every chunk of the content it copies (not for a link).
void copyFile(const std::string& from, const std::string& to, Flags::Enum flags, const CopyProgress& onProgress);

// Renames from to to. CreateDirectories creates the target's parents; with Overwrite an
// existing target file is replaced atomically by the rename. The Boost.Filesystem error of a
// failed rename passes through unchanged; CreateDir gets the two file name tags.
void moveFile(const std::string& from, const std::string& to, Flags::Enum flags);

// Creates the directory and every missing parent; an existing directory is left alone.
// Throws CreateDir with ErrorNumber_, ErrorString_ and Dirname_.
void createDirectory(const std::string& name);

// Gives to the permissions (Windows: the read-only, hidden, system, archive and not-indexed
// attributes) that from has, so that a file put in from's place keeps them. Throws CopyFile_
// with What_, SourceFilename_ and DestinationFilename_.
void copyAttributes(const std::string& from, const std::string& to);

// Removes the file (a symbolic link itself, never its target). A write protection that refuses
// the removal (Windows: the read-only attribute) is lifted first, as by every removal here. A
// missing file counts as removed. A failure is logged (warn, debug) and gives false. Never throws.
bool deleteFile(const std::string& name);

// Removes the directory, with recursive its content first, each entry as deleteFile does. A
// missing directory counts as removed; a symbolic link is removed as a link. Failures are
// logged and give false.
bool deleteDirectory(const std::string& name, bool recursive);

// Removes everything inside the directory, never following symbolic links: a link is removed
// as a link, and every entry as deleteFile removes a file, write protection lifted. Each
// failure is logged. Goes on after failures; true only when everything was removed. A path that is not
// a directory gives true.
bool clearDirectory(const std::string& name);

// Called with (source path, target path).
using CopyCallback = std::function<void(const std::string&, const std::string&)>;

// Copies the regular files of from into to with copyFile (flags without CreateDirectories),
// calling onFile after each; with Recursive also the subdirectories (links to directories are
// not descended into). CreateDirectories creates to first. onDirectory is called with
// (from, to) at the end. Either callback may be empty. Throws the Boost.Filesystem error of the
// listing, what copyFile throws, and CopyFile_ when to lies inside from.
void copyDirectory(const std::string& from, const std::string& to, Flags::Enum flags,
                   const CopyCallback& onFile = {}, const CopyCallback& onDirectory = {});

// Forces the file's content, respectively the directory's entries (after renames inside it),
// to the storage device. Throws WriteFile with Filename_ and the errno tags, or OpenFile when
// the path cannot be opened.
void syncFile(const std::string& name);
void syncDirectory(const std::string& name);

} // namespace Files
