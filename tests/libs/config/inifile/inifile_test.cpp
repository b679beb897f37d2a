#include "libs/config/inifile/inifile.hpp"

#include "libs/config/settings/exceptions.hpp"
#include "libs/files/exceptions.hpp"
#include "libs/log/logger.hpp"
#include "libs/string/text.hpp"
#include "support/filecontent.hpp"
#include "support/platform.hpp"
#include "support/temporarydirectory.hpp"

#include <boost/exception/get_error_info.hpp>
#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Config::SettingMap;
namespace Ex = Config::Exceptions;

std::vector<std::string> segments(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = text.find('|', start);
        parts.push_back(text.substr(start, bar - start));
        if (bar == std::string::npos)
            return parts;
        start = bar + 1;
    }
}

bool hasSegment(const std::string& text, const std::string& segment)
{
    for (const auto& part : segments(text))
        if (part == segment)
            return true;
    return false;
}

class IniFileTest : public ::testing::Test {
protected:
    SettingMap parse(const std::string& text)
    {
        TestSupport::writeFile(file(), text);
        return Config::readIniFile(file());
    }

    // The Error_ text of the ReadIniFile failure for the content; fails the test without one.
    std::string errorOf(const std::string& text)
    {
        TestSupport::writeFile(file(), text);
        try {
            Config::readIniFile(file());
        } catch (const Ex::ReadIniFile& e) {
            const std::string* filename = boost::get_error_info<::Exceptions::Filename_>(e);
            EXPECT_TRUE(filename && *filename == file());
            const std::string* error = boost::get_error_info<::Exceptions::Error_>(e);
            return error ? *error : std::string("no Error_ tag");
        }
        ADD_FAILURE() << "read succeeded for: " << text;
        return std::string();
    }

    // Checks that the content fails with the exception type at the line.
    void expectSyntaxError(const std::string& text, const std::string& type, unsigned line)
    {
        const std::string error = errorOf(text);
        EXPECT_NE(error.find("Config::Exceptions::" + type + ">"), std::string::npos)
            << "expected " << type << " in: " << error;
        EXPECT_TRUE(hasSegment(error, "Config::Exceptions::Line=" + std::to_string(line)))
            << "expected line " << line << " in: " << error;
    }

    std::string file() const { return dir_ / "conf/main.conf"; }

    TestSupport::TemporaryDirectory dir_;
};

std::string valueOf(const SettingMap& map, const std::string& key)
{
    std::string value;
    EXPECT_TRUE(map.tryGet(key, value)) << "missing " << key;
    return value;
}

TEST_F(IniFileTest, BlankAndCommentLinesGiveNoSettings)
{
    EXPECT_TRUE(parse("").empty());
    EXPECT_TRUE(parse("\n\n  \t\r\n# comment = 1\n   ! other : 2\n\f\v\n").empty());
}

TEST_F(IniFileTest, KeyValueFormsAndSeparators)
{
    for (const char* line : {"Key=value", "key : value", "  key   =   value  ", "KEY\t=\tvalue\r"})
        EXPECT_EQ(valueOf(parse(line), "key"), "value") << line;

    const SettingMap map = parse("a:b = c\nempty =\n; note = 3\nx.y=1=2\n");
    EXPECT_EQ(valueOf(map, "a"), "b = c");
    EXPECT_EQ(valueOf(map, "empty"), "");
    EXPECT_EQ(valueOf(map, "; note"), "3");
    EXPECT_EQ(valueOf(map, "x.y"), "1=2");
    EXPECT_EQ(map.size(), 4u);
}

TEST_F(IniFileTest, SectionsPrefixKeys)
{
    const SettingMap map = parse("Address = a\n[Server]\nAddress = b\n[]\nport = 1\n"
                                 "[ Server ] words\nAddress = c\n[a.b] trailing\nk=v\n[#x]\ny=z\n");
    EXPECT_EQ(valueOf(map, "address"), "a");
    EXPECT_EQ(valueOf(map, "server.address"), "b");
    EXPECT_EQ(valueOf(map, "port"), "1");
    EXPECT_EQ(valueOf(map, " server .address"), "c");
    EXPECT_EQ(valueOf(map, "a.b.k"), "v");
    EXPECT_EQ(valueOf(map, "#x.y"), "z");
    EXPECT_EQ(map.size(), 6u);
}

TEST_F(IniFileTest, LaterLineWinsInAnyLetterCase)
{
    const SettingMap map = parse("Port = 1\nport = 2\n[PORT]\nx=1\n[port]\nX=3\n");
    EXPECT_EQ(valueOf(map, "port"), "2");
    EXPECT_EQ(valueOf(map, "port.x"), "3");
    EXPECT_EQ(map.size(), 2u);
}

TEST_F(IniFileTest, CommentsAndQuotesInValues)
{
    const SettingMap map = parse("a = x # note\nb = x \\# y\nc = x ! y\nd = \"x # y\"\n"
                                 "e = ' padded '\nf = 'x\ng = ''\nh = \"mixed'\ni = \"\"\"\n"
                                 "j = \"a\\!b\"\nk = x\\\\# tail\nl = #\n");
    EXPECT_EQ(valueOf(map, "a"), "x");
    EXPECT_EQ(valueOf(map, "b"), "x # y");
    EXPECT_EQ(valueOf(map, "c"), "x");
    EXPECT_EQ(valueOf(map, "d"), "\"x");
    EXPECT_EQ(valueOf(map, "e"), " padded ");
    EXPECT_EQ(valueOf(map, "f"), "'x");
    EXPECT_EQ(valueOf(map, "g"), "");
    EXPECT_EQ(valueOf(map, "h"), "\"mixed'");
    EXPECT_EQ(valueOf(map, "i"), "\"");
    EXPECT_EQ(valueOf(map, "j"), "a!b");
    EXPECT_EQ(valueOf(map, "k"), "x\\");
    EXPECT_EQ(valueOf(map, "l"), "");
}

TEST_F(IniFileTest, EscapesDecodeInValues)
{
    const SettingMap map =
        parse("path = C:\\\\data\ntab = a\\tb\nall = \\ \\!\\#\\:\\;\\=\\\\\\a\\b\\f\\n\\r\\t.\n"
              "lead = \\  x\n");
    EXPECT_EQ(valueOf(map, "path"), "C:\\data");
    EXPECT_EQ(valueOf(map, "tab"), "a\tb");
    EXPECT_EQ(valueOf(map, "all"), std::string(" !#:;=\\\a\b\f\n\r\t."));
    EXPECT_EQ(valueOf(map, "lead"), "  x");
}

TEST_F(IniFileTest, EverySyntaxErrorCarriesItsLine)
{
    expectSyntaxError("just words", "InvalidKey", 1);
    expectSyntaxError("a = 1\n= 5\n", "EmptyKey", 2);
    expectSyntaxError("a = 1\n\n  : 5\n", "EmptyKey", 3);
    expectSyntaxError("; note\n", "InvalidKey", 1);
    expectSyntaxError("[server\nx = 1\n", "InvalidSection", 1);
    expectSyntaxError("ok = 1\n[\n", "InvalidSection", 2);
    expectSyntaxError("[a\n]\n", "InvalidSection", 1);
    expectSyntaxError("k = abc\\", "EscapeAtTheEndOfLine", 1);
    expectSyntaxError("k = abc\\ \n", "EscapeAtTheEndOfLine", 1);
    expectSyntaxError("k = 'abc\\'\n", "EscapeAtTheEndOfLine", 1);
    expectSyntaxError("k = \\x41", "HexEscapesNotSupported", 1);
    expectSyntaxError("k = \\u0041", "UnicodeEscapesNotSupported", 1);
    expectSyntaxError("k = \\U0041", "UnicodeEscapesNotSupported", 1);
    expectSyntaxError("k = \\\"quoted\\\"", "InvalidEscapeChar", 1);

    const std::string error = errorOf("a=1\nk = C:\\data\n");
    EXPECT_NE(error.find("InvalidEscapeChar>"), std::string::npos) << error;
    EXPECT_TRUE(hasSegment(error, "Config::Exceptions::EscapeChar=d")) << error;
    EXPECT_TRUE(hasSegment(error, "Config::Exceptions::Line=2")) << error;
}

TEST_F(IniFileTest, LineNumbersCountBlankCommentAndSectionLinesAndCrLf)
{
    expectSyntaxError("\n# c\n\n! d\nbroken\n", "InvalidKey", 5);
    expectSyntaxError("\r\n# c\r\n[s]\r\n\r\nbroken\r\n", "InvalidKey", 5);
    expectSyntaxError("a=1\r\nb=2\r\nc=3\r\nd=4\r\ne = \\q\r\n", "InvalidEscapeChar", 5);
    EXPECT_EQ(valueOf(parse("a = 1\r\nb = 2\r\n"), "a"), "1");
}

TEST_F(IniFileTest, HandEditedGarbage)
{
    const std::string longValue(1 << 20, 'v');
    const std::string nul(1, '\0');
    const SettingMap map = parse("long = " + longValue + "\nnul = a" + nul + "b\n" + nul +
                                 "key" + nul + "= z\nhigh = \xc3\xa9\xff\xfe\n\xef\xbb\xbf" "bom = 1"
                                 "\nnoend = last");
    EXPECT_EQ(valueOf(map, "long"), longValue);
    EXPECT_EQ(valueOf(map, "nul"), "a" + nul + "b");
    EXPECT_EQ(valueOf(map, nul + "key" + nul), "z");
    EXPECT_EQ(valueOf(map, "high"), "\xc3\xa9\xff\xfe");
    EXPECT_EQ(valueOf(map, "\xef\xbb\xbf" "bom"), "1");
    EXPECT_EQ(valueOf(map, "noend"), "last");

    expectSyntaxError("a = 1\n" + std::string(100000, 'x') + "\n", "InvalidKey", 2);
    expectSyntaxError("a = 1\nb = 2\nc = " + std::string(50000, 'y') + "\\", "EscapeAtTheEndOfLine",
                      3);
    expectSyntaxError("a = 1\n\n[\xff\xfe", "InvalidSection", 3);
    expectSyntaxError("[s]\nno separator # here ! either\n", "InvalidKey", 2);
    EXPECT_EQ(valueOf(parse("[s]\nkey # with ! = 1\n"), "s.key # with !"), "1");
    EXPECT_EQ(valueOf(parse("Case = MiXeD\n"), "case"), "MiXeD");
    expectSyntaxError("k = a\\", "EscapeAtTheEndOfLine", 1);
    expectSyntaxError("k = \\", "EscapeAtTheEndOfLine", 1);
    expectSyntaxError("k = \\\n", "EscapeAtTheEndOfLine", 1);
    expectSyntaxError("k = ok\nk2 = \\\r\n", "EscapeAtTheEndOfLine", 2);
}

TEST_F(IniFileTest, ReadFailuresNameTheAbsoluteFile)
{
    const std::string missing = dir_ / "none/main.conf";
    try {
        Config::readIniFile(missing);
        ADD_FAILURE() << "a missing file must fail";
    } catch (const Ex::ReadIniFile& e) {
        const std::string* filename = boost::get_error_info<::Exceptions::Filename_>(e);
        ASSERT_TRUE(filename);
        EXPECT_EQ(*filename, missing);
        ASSERT_TRUE(boost::get_error_info<::Exceptions::Error_>(e));
        EXPECT_NE(boost::get_error_info<::Exceptions::Error_>(e)->find("Files::Exceptions"),
                  std::string::npos);
    }

    TestSupport::writeFile(dir_ / "relative.conf", "broken\n");
    const boost::filesystem::path previous = boost::filesystem::current_path();
    boost::filesystem::current_path(dir_.path());
    try {
        Config::readIniFile("relative.conf");
        ADD_FAILURE() << "a syntax error must fail";
    } catch (const Ex::ReadIniFile& e) {
        const std::string* filename = boost::get_error_info<::Exceptions::Filename_>(e);
        EXPECT_TRUE(filename && *filename == dir_ / "relative.conf");
    }
    boost::filesystem::current_path(previous);
}

TEST_F(IniFileTest, TryReadKeepsTheMapOnFailureAndReplacesItOnSuccess)
{
    SettingMap map;
    map.set("kept", "1");
    TestSupport::writeFile(file(), "a = 1\nb = 2\nbroken line\n");
    Log::Logger& logger = Log::mainLogger();
    const Log::Verbosity verbosity = logger.verbosity();
    const std::string log = dir_ / "test.log";
    logger.setFile(log, std::string());
    logger.setVerbosity(Log::Debug);
    EXPECT_FALSE(Config::tryReadIniFile(file(), map));
    logger.setVerbosity(verbosity);
    logger.setFile("stdout", std::string());
    const std::string logged = TestSupport::readFile(log);
    EXPECT_NE(logged.find("read ini file " + file() + ": "), std::string::npos) << logged;
    EXPECT_NE(logged.find("Config::Exceptions::Line=3"), std::string::npos) << logged;

    EXPECT_FALSE(Config::tryReadIniFile(dir_ / "missing.conf", map));
    EXPECT_FALSE(Config::tryReadIniFile(dir_.path(), map));
    EXPECT_EQ(map.size(), 1u);
    EXPECT_EQ(valueOf(map, "kept"), "1");

    TestSupport::writeFile(file(), "a = 1\n");
    EXPECT_TRUE(Config::tryReadIniFile(file(), map));
    EXPECT_EQ(map.size(), 1u);
    EXPECT_EQ(valueOf(map, "a"), "1");
}

TEST(DecodeValue, EscapeFailuresWithoutLine)
{
    EXPECT_EQ(Config::decodeValue("a\\=b\\;c"), "a=b;c");
    EXPECT_EQ(Config::decodeValue(""), "");
    EXPECT_THROW(Config::decodeValue("\\x"), Ex::HexEscapesNotSupported);
    EXPECT_THROW(Config::decodeValue("\\u"), Ex::UnicodeEscapesNotSupported);
    EXPECT_THROW(Config::decodeValue("abc\\"), Ex::EscapeAtTheEndOfLine);
    for (const char c : {'0', 'v', '"', '\'', 'd', 'Z'}) {
        try {
            Config::decodeValue(std::string("a\\") + c);
            ADD_FAILURE() << "no escape for " << c;
        } catch (const Ex::InvalidEscapeChar& e) {
            const char* escape = boost::get_error_info<Ex::EscapeChar_>(e);
            EXPECT_TRUE(escape && *escape == c);
            EXPECT_FALSE(boost::get_error_info<Ex::Line_>(e));
        }
    }
}

TEST(IniText, FlatSortedTrimmedAndEscaped)
{
    SettingMap map;
    map.set("b", "2");
    map.set("a", " x#y ");
    map.set("c", "");
    EXPECT_EQ(Config::toIniText(map), "a = x\\#y\nb = 2\n");
    EXPECT_EQ(Config::toIniText(SettingMap()), "");

    map.set("Server.Path", "C:\\data!x");
    map.set("ws", " \t ");
    map.set("quoted", "\"x\"");
    map.set("lines", "one\ntwo\rthree");
    EXPECT_EQ(Config::toIniText(map), "a = x\\#y\nb = 2\nlines = one\\ntwo\\rthree\n"
                                      "quoted = \"\"x\"\"\nserver.path = C:\\\\data\\!x\nws = \n");
}

TEST_F(IniFileTest, KeysOfUnusualSectionsAreWrittenBelowTheirSection)
{
    const SettingMap map = parse("plain = 1\n[ Server ]\naddress = a\n[a=b]\nk = 2\n[x:y z]\nk.l = 3\n"
                                 "[#c]\nd = 4\n[!c]\nd = 5\n[[s]\nt = 6\n[ ]\nu = 7\n[q]\nr = 8\n"
                                 "[s]x]\nv = 9\n");
    EXPECT_EQ(valueOf(map, " server .address"), "a");
    EXPECT_EQ(valueOf(map, "a=b.k"), "2");
    EXPECT_EQ(valueOf(map, "x:y z.k.l"), "3");
    EXPECT_EQ(valueOf(map, " .u"), "7");
    EXPECT_EQ(valueOf(map, "s.v"), "9");

    const std::string text = Config::toIniText(map);
    EXPECT_EQ(text.substr(0, text.find('[')), "plain = 1\nq.r = 8\ns.v = 9\n");
    EXPECT_NE(text.find("\n[a=b]\nk = 2\n"), std::string::npos) << text;
    TestSupport::writeFile(file(), text);
    EXPECT_EQ(Config::readIniFile(file()), map) << text;
}

TEST(IniText, KeysThatCannotReadBackAreRefused)
{
    for (const std::string key : {"", " lead", "trail ", "#c", "!c", "[s", "a=b", "a:b", "a\nb",
                                  "a.b=c", "s]x.=k", "a\n.b", "x.k "}) {
        SettingMap map;
        map.set(key, "v");
        try {
            Config::toIniText(map);
            ADD_FAILURE() << "accepted key «" << key << "»";
        } catch (const Ex::InvalidKey& e) {
            const std::string* tag = boost::get_error_info<Ex::Key_>(e);
            EXPECT_TRUE(tag && *tag == key);
        }
    }
}

TEST_F(IniFileTest, EveryByteOfAValueReadsBackAsWritten)
{
    SettingMap map;
    std::string everything;
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        everything += c;
        map.set("middle." + std::to_string(b), std::string("a") + c + "z");
        map.set("alone." + std::to_string(b), std::string(1, c));
        map.set("escaped." + std::to_string(b), std::string("\\") + c + "\\");
        map.set("quoted." + std::to_string(b), std::string("'") + c + "'");
    }
    map.set("everything", "<" + everything + ">");
    const std::vector<std::string> specials = {"\"\"", "''", "\"'", "'x'", "\"a\"b\"", "\\",
                                               "#", "!", "\\#", "C:\\data\\new", "x # y ! z"};
    for (std::size_t i = 0; i < specials.size(); ++i)
        map.set("special." + std::to_string(i), specials[i]);

    Config::writeIniFile(map, file());
    const SettingMap back = Config::readIniFile(file());
    for (const auto& [key, value] : map) {
        const std::string expected = String::trim(value);
        EXPECT_EQ(valueOf(back, key), expected) << key;
    }
}

} // namespace

namespace {

TEST(WriteIniFile, ReplacesContentAndPassesFileFailuresOn)
{
    TestSupport::TemporaryDirectory dir;
    const std::string name = dir / "a/b/main.conf";
    TestSupport::writeFile(name, "old = content that is longer than the new one\n");
    SettingMap map;
    map.set("K", "v");
    Config::writeIniFile(map, name);
    EXPECT_EQ(TestSupport::readFile(name), TestSupport::textModeLines("k = v\n"));

    Config::writeIniFile(SettingMap(), name);
    EXPECT_EQ(TestSupport::readFile(name), "");

    EXPECT_THROW(Config::writeIniFile(map, name + "/below.conf"), Files::Exceptions::Exception);
}

} // namespace
