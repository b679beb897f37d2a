#pragma once
// A forward listing of the entries of one directory.

#include <boost/filesystem/operations.hpp>

#include <memory>
#include <string>

namespace Files {

class DirectoryIterator {
public:
    // Starts listing name when it is a directory (a failure throws the Boost.Filesystem
    // error); otherwise the iterator has no entry.
    explicit DirectoryIterator(const std::string& name);

    bool hasEntry() const;
    // Advances to the next entry (errors throw the Boost.Filesystem error); returns hasEntry().
    bool next();

    // For the current entry, which must exist: whether it is a directory (following links), its
    // full path and its file name.
    bool isDirectory() const;
    std::string path() const;
    std::string filename() const;

private:
    std::string name_;
    std::shared_ptr<boost::filesystem::directory_iterator> iterator_;
};

} // namespace Files
