#include "support/filecontent.hpp"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace TestSupport {

namespace fs = boost::filesystem;

std::string readFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& content) {
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty())
        fs::create_directories(parent);
    std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool exists(const std::string& path) {
    boost::system::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

std::vector<std::string> listFiles(const std::string& directory) {
    std::vector<std::string> files;
    boost::system::error_code error;
    if (!fs::is_directory(directory, error))
        return files;
    for (fs::recursive_directory_iterator it(directory), end; it != end; ++it) {
        if (fs::is_regular_file(it->status()))
            files.push_back(fs::relative(it->path(), directory).generic_string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace TestSupport
