#include "libs/win32/registry/registryfile.hpp"

#include <gtest/gtest.h>

#include <cstdint>

using namespace Win32::Registry;
using RegistryFile::Hive;
using RegistryFile::ParseFailure;

namespace {

const char* const settingsKey = "Software\\Quorlin Software\\Qelt\\Service\\Settings";

// UTF-16LE with byte-order mark, for ASCII text.
std::string utf16File(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

std::string utf16Bytes(const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::string withLineEnds(std::string text, const char* lineEnd) {
    std::string result;
    for (char c : text) {
        if (c == '\n') {
            result += lineEnd;
        } else {
            result += c;
        }
    }
    return result;
}

Hive parsed(const std::string& bytes) {
    Hive hive;
    ParseFailure failure;
    EXPECT_TRUE(hive.parse(bytes, failure)) << "line " << failure.line << ": " << failure.reason;
    return hive;
}

ParseFailure failureOf(const std::string& bytes) {
    Hive hive;
    ParseFailure failure;
    EXPECT_FALSE(hive.parse(bytes, failure)) << bytes;
    return failure;
}

const RegistryFile::Value* find(const RegistryFile::Values& values, const std::string& name) {
    const auto it = values.find(name);
    return it == values.end() ? nullptr : &it->second;
}

const std::string everySyntax =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "; written by hand\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Quorlin Software\\Qelt\\Service\\Settings]\n"
    "\"DataDirectory\"=\"C:\\\\data \\\"x\\\"\"\n"
    "@=\"default\"\n"
    "\"Count\"=dword:0000002a\n"
    "\"Blob\"=hex:01,ff,7F\n"
    "\"Expand\"=hex(2):25,00,41,00,00,00\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
    "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"
    "\"Odd\"=hex(4e20):  01 , 02\n"
    "\"Empty\"=hex:\n"
    "\"Continued\"=hex:01,02,\\\n"
    "  03,04,\\\n"
    "\t05\n";

void expectEverySyntax(const Hive& hive) {
    const RegistryFile::Values values = hive.values(LocalMachine, settingsKey);
    ASSERT_EQ(values.size(), 10u);
    EXPECT_EQ(find(values, "datadirectory")->type, ValueType::String);
    EXPECT_EQ(find(values, "datadirectory")->data, utf16Bytes(u"C:\\data \"x\"" + std::u16string(1, 0)));
    EXPECT_EQ(find(values, "")->data, utf16Bytes(u"default" + std::u16string(1, 0)));
    EXPECT_EQ(find(values, "count")->type, ValueType::Dword);
    EXPECT_EQ(find(values, "count")->data, std::string("\x2a\0\0\0", 4));
    EXPECT_EQ(find(values, "blob")->type, ValueType::Binary);
    EXPECT_EQ(find(values, "blob")->data, "\x01\xff\x7f");
    EXPECT_EQ(find(values, "expand")->type, ValueType::ExpandString);
    EXPECT_EQ(find(values, "expand")->data, std::string("%\0A\0\0\0", 6));
    EXPECT_EQ(find(values, "multi")->type, ValueType::MultiString);
    EXPECT_EQ(find(values, "multi")->data.size(), 10u);
    EXPECT_EQ(find(values, "big")->type, ValueType::Qword);
    EXPECT_EQ(find(values, "odd")->type, 0x4e20u);
    EXPECT_EQ(find(values, "odd")->data, "\x01\x02");
    EXPECT_EQ(find(values, "empty")->data, "");
    EXPECT_EQ(find(values, "continued")->data, "\x01\x02\x03\x04\x05");
}

} // namespace

TEST(RegistryFile, ReadsEveryValueSyntaxInEveryEncodingAndLineEnd) {
    expectEverySyntax(parsed(everySyntax));
    expectEverySyntax(parsed(withLineEnds(everySyntax, "\r\n")));
    expectEverySyntax(parsed("\xEF\xBB\xBF" + everySyntax));
    expectEverySyntax(parsed(utf16File(everySyntax)));
    expectEverySyntax(parsed(utf16File(withLineEnds(everySyntax, "\r\n"))));
}

TEST(RegistryFile, Utf16FileKeepsNonAsciiText) {
    std::u16string text = u"Windows Registry Editor Version 5.00\r\n[HKLM\\K]\r\n\"Name\"=\"Zürich \u20ac\"\r\n";
    const Hive hive = parsed("\xFF\xFE" + utf16Bytes(text));
    EXPECT_EQ(find(hive.values(LocalMachine, "K"), "name")->data,
              utf16Bytes(u"Zürich \u20ac" + std::u16string(1, 0)));
}

TEST(RegistryFile, Regedit4HeaderAndShortRootNames) {
    const Hive hive = parsed("REGEDIT4\n\n[hklm\\A\\B]\n\"v\"=\"1\"\n[HKCU\\C]\n");
    EXPECT_TRUE(hive.hasKey(LocalMachine, "a\\b"));
    EXPECT_TRUE(hive.hasKey(LocalMachine, "A"));
    EXPECT_TRUE(hive.hasKey(CurrentUser, "C"));
    EXPECT_FALSE(hive.hasKey(LocalMachine, "C"));
    EXPECT_FALSE(hive.hasKey(LocalMachine, "A\\B\\C"));
    EXPECT_FALSE(hive.hasKey(LocalMachine, "A\\"
                                           "Bx"));
    EXPECT_TRUE(hive.hasKey(Users, "")) << "a root always exists";
}

TEST(RegistryFile, KeysAndValueNamesIgnoreLetterCase) {
    const Hive hive = parsed("Windows Registry Editor Version 5.00\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Q]\n\"Name\"=\"first\"\n"
                             "[hkey_local_machine\\SOFTWARE\\q]\n\"NAME\"=\"second\"\n\"Other\"=\"o\"\n");
    const RegistryFile::Values values = hive.values(LocalMachine, "software\\Q");
    ASSERT_EQ(values.size(), 2u) << "blocks of one key merge";
    EXPECT_EQ(find(values, "name")->data, utf16Bytes(u"second" + std::u16string(1, 0)));
}

TEST(RegistryFile, RemovalsDropValuesAndWholeSubtrees) {
    const Hive hive = parsed("Windows Registry Editor Version 5.00\n"
                             "[HKLM\\S\\Settings]\n\"a\"=\"1\"\n\"b\"=\"2\"\n"
                             "[HKLM\\S\\Settings\\Sub]\n\"c\"=\"3\"\n"
                             "[HKLM\\S\\Settings2]\n\"d\"=\"4\"\n"
                             "[HKLM\\S\\Settings]\n\"b\"=-\n"
                             "[HKLM\\S\\Other]\n\"e\"=\"5\"\n"
                             "[-HKLM\\S\\Other]\n\"ignored\"=\"x\"\n"
                             "[HKLM\\S\\Gone\\Deep]\n\"f\"=\"6\"\n"
                             "[-HKEY_LOCAL_MACHINE\\s\\gone]\n");
    EXPECT_EQ(hive.values(LocalMachine, "S\\Settings").size(), 1u);
    EXPECT_NE(find(hive.values(LocalMachine, "S\\Settings"), "a"), nullptr);
    EXPECT_TRUE(hive.hasKey(LocalMachine, "S\\Settings\\Sub"));
    EXPECT_TRUE(hive.hasKey(LocalMachine, "S\\Settings2"));
    EXPECT_FALSE(hive.hasKey(LocalMachine, "S\\Other"));
    EXPECT_FALSE(hive.hasKey(LocalMachine, "S\\Gone"));
    EXPECT_FALSE(hive.hasKey(LocalMachine, "S\\Gone\\Deep"));

    const Hive readded = parsed("REGEDIT4\n[HKLM\\A\\B]\n\"x\"=\"1\"\n[-HKLM\\A]\n[HKLM\\A\\B]\n\"y\"=\"2\"\n");
    EXPECT_EQ(readded.values(LocalMachine, "A\\B").size(), 1u);
    EXPECT_NE(find(readded.values(LocalMachine, "A\\B"), "y"), nullptr);
}

TEST(RegistryFile, MalformedLinesNameTheirLineNumber) {
    const std::string header = "Windows Registry Editor Version 5.00\n";
    EXPECT_EQ(failureOf("").line, 1u);
    EXPECT_EQ(failureOf("\n\n").line, 3u);
    EXPECT_EQ(failureOf("\n[HKLM\\A]\n").line, 2u);
    EXPECT_EQ(failureOf("Windows Registry Editor Version 4.00\n").line, 1u);
    const std::pair<const char*, std::size_t> cases[] = {
        {"\"a\"=\"1\"\n", 2},                         // a value before any key
        {"[HKLM\\A]\n\"a\"=word:1\n", 3},              // unknown data type
        {"[HKLM\\A]\n\n\"a\"=\"open\n", 4},            // unterminated text
        {"[HKLM\\A]\n\"a\"=\"1\" trailing\n", 3},      // text after the string
        {"[HKLM\\A]\n\"a\"\"1\"\n", 3},                // no "="
        {"[HKLM\\A]\na=\"1\"\n", 3},                   // unquoted name
        {"[HKLM\\A]\n\"unterminated=\"1\n", 3},        // name never closed
        {"[HKLM\\A]\n\"a\"=dword:\n", 3},               // no digits
        {"[HKLM\\A]\n\"a\"=dword:123456789\n", 3},      // nine digits
        {"[HKLM\\A]\n\"a\"=dword:12g4\n", 3},           // not hex
        {"[HKLM\\A]\n\"a\"=hex:01,0g\n", 3},            // bad byte
        {"[HKLM\\A]\n\"a\"=hex:01,100\n", 3},           // three digits
        {"[HKLM\\A]\n\"a\"=hex:01,,02\n", 3},           // empty byte
        {"[HKLM\\A]\n\"a\"=hex(2:01\n", 3},             // no ")"
        {"[HKLM\\A]\n\"a\"=hex()01\n", 3},              // no type digits
        {"[HKLM\\A]\n\"a\"=hex(1)01\n", 3},             // no ":"
        {"[HKLM\\A]\n\"a\"=hex:01,\\\n  02,zz\n", 4},    // bad byte on a continuation line
        {"[HKLM\\A]\n\"a\"=\n", 3},                     // no data
        {"[HKLM\\A\n", 2},                             // key without "]"
        {"[HKEY_NOWHERE\\A]\n", 2},                    // unknown root
        {"[]\n", 2},                                   // no root
        {"[HKLM\\A]\ngarbage\n", 3},
    };
    for (const auto& [body, line] : cases) {
        const ParseFailure failure = failureOf(header + body);
        EXPECT_EQ(failure.line, line) << body << " -> " << failure.reason;
        EXPECT_FALSE(failure.reason.empty());
    }
}

TEST(RegistryFile, TruncatedFilesFailOrParseButNeverOverrun) {
    const std::string whole = withLineEnds(everySyntax, "\r\n");
    for (std::size_t size = 0; size < whole.size(); ++size) {
        Hive hive;
        ParseFailure failure;
        if (!hive.parse(std::string_view(whole.data(), size), failure)) {
            EXPECT_GE(failure.line, 1u);
            EXPECT_LE(failure.line, 17u);
            EXPECT_FALSE(hive.hasKey(LocalMachine, "Software")) << "a failed parse keeps nothing";
        }
    }
    const std::string utf16 = utf16File(whole);
    for (std::size_t size = 0; size < utf16.size(); size += 7) {
        Hive hive;
        ParseFailure failure;
        hive.parse(std::string_view(utf16.data(), size), failure);
    }
    EXPECT_EQ(failureOf("Windows Registry Editor Version 5.00\n[HKLM\\A]\n\"a\"=hex:01,\\\n").reason,
              "a continued hex list has no next line");
    EXPECT_EQ(failureOf("Windows Registry Editor Version 5.00\n[HKLM\\A]\n\"a\"=hex:01,\\").line, 3u);
    EXPECT_EQ(failureOf(utf16File("Windows Registry Editor Version 5.00\r\n[HKLM\\A]").substr(0, 83)).line,
              2u);
}

TEST(RegistryFile, GarbageNeverCrashes) {
    std::uint32_t state = 12345;
    static const char characters[] = "[]\\\"=@-:,;()hexdwordHKLM0123456789abcdef \t\r\n\xFF\xFE\x00";
    const std::string alphabet(characters, sizeof characters - 1);
    for (int round = 0; round < 300; ++round) {
        std::string text = round % 2 ? "Windows Registry Editor Version 5.00\n" : "";
        const int length = round % 97;
        for (int i = 0; i < length; ++i) {
            state = state * 1103515245u + 12345u;
            text.push_back(alphabet[(state >> 16) % alphabet.size()]);
        }
        Hive hive;
        ParseFailure failure;
        if (!hive.parse(text, failure)) {
            EXPECT_GE(failure.line, 1u);
        }
    }
}

