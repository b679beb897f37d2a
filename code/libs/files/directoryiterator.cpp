#include "libs/files/directoryiterator.hpp"

#include "libs/files/pathencoding.hpp"
#include "libs/files/paths.hpp"

namespace Files {

namespace fs = boost::filesystem;

DirectoryIterator::DirectoryIterator(const std::string& name) : name_(name)
{
    boost::system::error_code error;
    if (fs::is_directory(systemPath(name), error))
        iterator_ = std::make_shared<fs::directory_iterator>(systemPath(name));
    if (!hasEntry())
        iterator_.reset();
}

bool DirectoryIterator::hasEntry() const
{
    return iterator_ && *iterator_ != fs::directory_iterator();
}

bool DirectoryIterator::next()
{
    if (!hasEntry())
        return false;
    ++*iterator_;
    if (!hasEntry())
        iterator_.reset();
    return hasEntry();
}

bool DirectoryIterator::isDirectory() const
{
    return fs::is_directory((*iterator_)->status());
}

std::string DirectoryIterator::path() const
{
    return join(name_, filename());
}

std::string DirectoryIterator::filename() const
{
    return (*iterator_)->path().filename().string();
}

} // namespace Files
