#include "libs/files/directoryiterator.hpp"

#include "support/filecontent.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

TEST(DirectoryIterator, ListsEveryEntryOnce)
{
    TestSupport::TemporaryDirectory dir;
    TestSupport::writeFile(dir / "jobs.db", "j");
    TestSupport::writeFile(dir / "1/job.db", "1");
    TestSupport::writeFile(dir / "2/job.db", "2");

    std::map<std::string, bool> seen;
    Files::DirectoryIterator it(dir.path());
    for (bool more = it.hasEntry(); more; more = it.next()) {
        EXPECT_EQ(it.path(), dir / it.filename());
        EXPECT_TRUE(seen.emplace(it.filename(), it.isDirectory()).second);
    }
    EXPECT_EQ(seen, (std::map<std::string, bool>{{"1", true}, {"2", true}, {"jobs.db", false}}));
    EXPECT_FALSE(it.hasEntry());
    EXPECT_FALSE(it.next());
}

TEST(DirectoryIterator, NoEntriesWithoutADirectory)
{
    TestSupport::TemporaryDirectory dir;
    EXPECT_FALSE(Files::DirectoryIterator(dir.path()).hasEntry());
    EXPECT_FALSE(Files::DirectoryIterator(dir / "missing").hasEntry());
    TestSupport::writeFile(dir / "file", "f");
    Files::DirectoryIterator onFile(dir / "file");
    EXPECT_FALSE(onFile.hasEntry());
    EXPECT_FALSE(onFile.next());
}

} // namespace
