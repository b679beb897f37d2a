#include "libs/exceptions/exception.hpp"
#include "libs/exceptions/errnodescription.hpp"
#include "libs/config/settings/exceptions.hpp"
#include "libs/db/exceptions.hpp"
#include "libs/files/exceptions.hpp"

#include <gtest/gtest.h>

#include <boost/exception_ptr.hpp>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

const std::string thisFile = __FILE__;

std::string location(int line, const std::string& function)
{
    return thisFile + "(" + std::to_string(line) + "): Throw in function " + function;
}

int versionNotFoundLine;
void throwVersionNotFound()
{
    versionNotFoundLine = __LINE__ + 1;
    BOOST_THROW_EXCEPTION(Config::Exceptions::VersionNotFound());
}

int writeFileLine;
void throwWriteFile(const std::string& name, unsigned int size)
{
    writeFileLine = __LINE__ + 1;
    BOOST_THROW_EXCEPTION(Files::Exceptions::WriteFile()
                          << Files::Exceptions::Filename_(name) << Files::Exceptions::WrittenSize_(3)
                          << ::Exceptions::SystemErrorDescription_("No space left on device")
                          << Files::Exceptions::Size_(size) << ::Exceptions::SystemErrorCode_(ENOSPC));
}

// Keeps the library's own throw site out of the picture: a result-code type has no location.
void throwBusyWithoutLocation()
{
    boost::throw_exception(Sqlite::Exceptions::Busy() << Sqlite::Exceptions::StatusCode_(5)
                                                      << Sqlite::Exceptions::ErrorMsg_("database is locked"));
}

template <class F>
std::string whatOf(F throwing)
{
    try {
        throwing();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "nothing thrown";
}

} // namespace

TEST(ExceptionText, LocationAndTypeSegments)
{
    const std::string text = whatOf(throwVersionNotFound);
    EXPECT_EQ(text,
              location(versionNotFoundLine, "void #::throwVersionNotFound()") +
                  "|boost::wrapexcept<Config::Exceptions::VersionNotFound>");
}

TEST(ExceptionText, TagsOrderedByTheirOwnNameThenCommonNamespaceFirst)
{
    const std::string text = whatOf([] { throwWriteFile("/data/conf/main.conf", 10); });
    EXPECT_EQ(text,
              location(writeFileLine, "void #::throwWriteFile(const std::string&, unsigned int)") +
                  "|boost::wrapexcept<Files::Exceptions::WriteFile>"
                  "|Files::Exceptions::Filename=/data/conf/main.conf"
                  "|Files::Exceptions::Size=10"
                  "|Exceptions::SystemErrorCode=28"
                  "|Exceptions::SystemErrorDescription=No space left on device"
                  "|Files::Exceptions::WrittenSize=3");
}

TEST(ExceptionText, SameOwnNameSortsCommonTagBeforeLibraryTags)
{
    const std::string text = whatOf([] {
        boost::throw_exception(Sqlite::Exceptions::Error() << Sqlite::Exceptions::Filename_("b.db")
                                                           << Files::Exceptions::Filename_("f")
                                                           << ::Exceptions::Filename_("a.conf"));
    });
    EXPECT_EQ(text, "boost::wrapexcept<Sqlite::Exceptions::Error>|Exceptions::Filename=a.conf"
                    "|Files::Exceptions::Filename=f|Sqlite::Exceptions::Filename=b.db");
}

TEST(ExceptionText, WithoutLocationOnlyTypeAndTags)
{
    EXPECT_EQ(whatOf(throwBusyWithoutLocation),
              "boost::wrapexcept<Sqlite::Exceptions::Busy>|Sqlite::Exceptions::ErrorMsg=database is locked"
              "|Sqlite::Exceptions::StatusCode=5");
}

TEST(ExceptionText, RethrowAddsTagsAndTextFollows)
{
    std::string before;
    const std::string after = whatOf([&] {
        try {
            throwBusyWithoutLocation();
        } catch (Sqlite::Exceptions::Exception& e) {
            before = e.what();
            e << Sqlite::Exceptions::SqlQuery_("SELECT 1") << Sqlite::Exceptions::Details_("line one\nline two");
            throw;
        }
    });
    EXPECT_EQ(before.find("SqlQuery"), std::string::npos);
    EXPECT_EQ(after, "boost::wrapexcept<Sqlite::Exceptions::Busy>|Sqlite::Exceptions::Details=line one|line two"
                     "|Sqlite::Exceptions::ErrorMsg=database is locked|Sqlite::Exceptions::SqlQuery=SELECT 1"
                     "|Sqlite::Exceptions::StatusCode=5");
}

TEST(ExceptionText, CopyRecomposesTheSameTextAndSharesTags)
{
    try {
        throwWriteFile("x", 1);
    } catch (const Files::Exceptions::WriteFile& e) {
        const std::string original = e.what();
        // A sliced copy has its own dynamic type but the same location and tags.
        const Files::Exceptions::WriteFile copy(e);
        std::string expected = original;
        expected.replace(expected.find("boost::wrapexcept<Files::Exceptions::WriteFile>"),
                         std::strlen("boost::wrapexcept<Files::Exceptions::WriteFile>"), "Files::Exceptions::WriteFile");
        EXPECT_EQ(std::string(copy.what()), expected);
        boost::exception_ptr cloned = boost::current_exception();
        try {
            boost::rethrow_exception(cloned);
        } catch (const std::exception& again) {
            EXPECT_EQ(std::string(again.what()), original);
        }
    }
}

TEST(ExceptionText, DefaultConstructedExceptionHasOnlyItsType)
{
    const Files::Exceptions::NotFound e;
    EXPECT_EQ(std::string(e.what()), "Files::Exceptions::NotFound");
    EXPECT_STREQ(e.description(), "");
}

TEST(CleanDiagnostic, FoldsOtherCompilersFormsIntoTheSameLayout)
{
    const std::string raw =
        "c:\\src\\file.cpp(12): Throw in function void __thiscall Files::File::open(void)\n"
        "Dynamic exception type: struct boost::exception_detail::clone_impl<struct Files::Exceptions::OpenFile>\n"
        "[struct Files::Exceptions::Filename_ *] = C:\\data\\x\n"
        "  \t\n"
        "[struct Exceptions::What_ *] = class A\n";
    EXPECT_EQ(Exceptions::cleanDiagnostic(raw),
              "c:\\src\\file.cpp(12): Throw in function void Files::File::open()"
              "|Files::Exceptions::OpenFile|Files::Exceptions::Filename=C:\\data\\x|Exceptions::What=A");
}

TEST(CleanDiagnostic, UnwrapStopsAtLineBreaksAndRemovesBlankRemainders)
{
    EXPECT_EQ(Exceptions::cleanDiagnostic("[struct A\n_ *] = x\n \r"), "[A|_ *] = x");
    EXPECT_EQ(Exceptions::cleanDiagnostic("Throw location unknown (consider using BOOST_THROW_EXCEPTION)\nT\n"), "T");
    EXPECT_EQ(Exceptions::cleanDiagnostic("[Sqlite::Exceptions::Details_*] = a\nb\n"), "Sqlite::Exceptions::Details=a|b");
}

TEST(ErrnoDescription, KnownNumberIsTheRuntimeText)
{
    EXPECT_EQ(Exceptions::errnoDescription(ENOENT), std::strerror(ENOENT));
}

TEST(ErrnoDescription, FallbackForUnknown)
{
    EXPECT_EQ(Exceptions::errnoDescription(-12345), "The value -12345 is not a valid error number");
}
