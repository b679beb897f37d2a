#include "libs/win32/registry/node.hpp"
#include "libs/win32/registry/registryfile.hpp"

#include "libs/win32/exceptions.hpp"
#include "libs/win32/win32testsupport.hpp"

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

using namespace Win32::Registry;
namespace RegistryErrors = Win32::Registry::Exceptions;
using Win32Test::Environment;
using Win32Test::TempFolder;

namespace {

const std::string settingsKey = "Software\\Quorlin Software\\Qelt\\Service\\Settings";
const std::string settingsName = "HKEY_LOCAL_MACHINE\\" + settingsKey;

// A registry file in a temporary folder, named by QELT_REGISTRY_FILE while the object lives.
class RegistryFixture : public testing::Test {
protected:
    RegistryFixture() : file_(folder_ / "registry.reg"), environment_("QELT_REGISTRY_FILE", file_.c_str()) {}

    void write(const std::string& bytes) { Win32Test::writeFile(file_, bytes); }

    std::string read(const std::string& value) const {
        std::string output = "untouched";
        Node(LocalMachine, settingsKey).read(value, output);
        return output;
    }

    template <class E>
    static std::string keyOf(const E& e) {
        const std::string* key = boost::get_error_info<RegistryErrors::Key_>(e);
        return key ? *key : "<no key>";
    }

    TempFolder folder_;
    std::string file_;
    Environment environment_;
};

std::string utf16File(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

} // namespace

TEST_F(RegistryFixture, ReadsStringValuesOnly) {
    const std::string longText(300, 'x');
    write("Windows Registry Editor Version 5.00\n\n"
          "[HKEY_LOCAL_MACHINE\\" + settingsKey + "]\n"
          "\"DataDirectory\"=\"/srv/qelt\"\n"
          "\"Long\"=\"" + longText + "\"\n"
          "\"Empty\"=\"\"\n"
          "\"TwoZeros\"=hex(1):61,00,62,00,00,00,00,00\n"
          "\"OnlyZeros\"=hex(1):00,00,00,00\n"
          "\"Expandable\"=hex(2):61,00,00,00\n"
          "\"Number\"=dword:00000001\n"
          "@=\"default\"\n");
    EXPECT_EQ(read("DataDirectory"), "/srv/qelt");
    EXPECT_EQ(read("datadirectory"), "/srv/qelt");
    EXPECT_EQ(read("Long"), longText);
    EXPECT_EQ(read("Empty"), "");
    EXPECT_EQ(read("TwoZeros"), "ab");
    EXPECT_EQ(read("OnlyZeros"), "");
    EXPECT_EQ(read(""), "default");
    for (const char* other : {"Expandable", "Number", "Missing"}) {
        try {
            read(other);
            FAIL() << other;
        } catch (const RegistryErrors::NotFound& e) {
            EXPECT_EQ(keyOf(e), settingsName + "\\" + other);
        }
    }
    std::string output = "kept";
    EXPECT_FALSE(Node(LocalMachine, settingsKey).impl().tryRead("Expandable", ValueType::String, output));
    EXPECT_EQ(output, "kept");
    EXPECT_TRUE(Node(LocalMachine, settingsKey).impl().tryRead("Expandable", ValueType::ExpandString, output));
    EXPECT_EQ(output, "a");
}

TEST_F(RegistryFixture, ReadsUtf16CrLfExports) {
    write(utf16File("Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorlin Software\\Qelt\\Service\\Settings]\r\n"
                    "\"DataDirectory\"=\"/srv/qelt\"\r\n\r\n"));
    EXPECT_EQ(read("DataDirectory"), "/srv/qelt");
}

TEST_F(RegistryFixture, MissingFileOrKeyIsNotFound) {
    try {
        Node(LocalMachine, settingsKey);
        FAIL() << "no file";
    } catch (const RegistryErrors::NotFound& e) {
        EXPECT_EQ(keyOf(e), settingsName);
    }
    write("REGEDIT4\n[HKLM\\Software\\Quorlin Software\\Qelt\\Service\\Other]\n\"a\"=\"b\"\n");
    try {
        Node(LocalMachine, settingsKey);
        FAIL() << "no key";
    } catch (const RegistryErrors::NotFound& e) {
        EXPECT_EQ(keyOf(e), settingsName);
    }
    EXPECT_NO_THROW(Node(LocalMachine, "Software\\Quorlin Software")) << "parents of a key exist";
}

TEST_F(RegistryFixture, MalformedFileIsAccessRegistryNamingFileAndLine) {
    write("Windows Registry Editor Version 5.00\n[HKLM\\" + settingsKey + "]\n\"DataDirectory\"=/srv\n");
    try {
        Node(LocalMachine, settingsKey);
        FAIL() << "malformed";
    } catch (const RegistryErrors::AccessRegistry& e) {
        EXPECT_EQ(keyOf(e), settingsName);
        const std::string* error = boost::get_error_info<::Exceptions::Error_>(e);
        ASSERT_NE(error, nullptr);
        EXPECT_NE(error->find(file_), std::string::npos) << *error;
        EXPECT_NE(error->find("line 3"), std::string::npos) << *error;
        EXPECT_EQ(error->find('\n'), std::string::npos);
        EXPECT_NE(boost::get_error_info<::Exceptions::WinErrorCode_>(e), nullptr);
    }
}

TEST_F(RegistryFixture, UnreadableFileIsAccessRegistry) {
    boost::filesystem::create_directories(file_);
    try {
        Node(LocalMachine, settingsKey);
        FAIL() << "a folder is not readable as a file";
    } catch (const RegistryErrors::AccessRegistry& e) {
        const std::string* error = boost::get_error_info<::Exceptions::Error_>(e);
        ASSERT_NE(error, nullptr);
        EXPECT_NE(error->find(file_), std::string::npos) << *error;
        EXPECT_NE(boost::get_error_info<::Exceptions::WinErrorCode_>(e), nullptr);
    }
}

TEST_F(RegistryFixture, WritableOpenIsRefused) {
    write("REGEDIT4\n[HKLM\\" + settingsKey + "]\n");
    EXPECT_THROW(Node(LocalMachine, settingsKey, true), RegistryErrors::AccessRegistry);
}

TEST_F(RegistryFixture, UnopenedNodesAndSharedCopies) {
    std::string output;
    EXPECT_THROW(Node().read("x", output), RegistryErrors::NotOpened);
    EXPECT_THROW(Node(NoRoot, settingsKey).read("x", output), RegistryErrors::NotOpened);

    write("REGEDIT4\n[HKLM\\" + settingsKey + "]\n\"a\"=\"1\"\n");
    Node node(LocalMachine, settingsKey);
    const Node copy = node;
    EXPECT_EQ(&copy.impl(), &node.impl());
    write("REGEDIT4\n[HKLM\\" + settingsKey + "]\n\"a\"=\"2\"\n");
    copy.read("a", output);
    EXPECT_EQ(output, "1") << "an opened key keeps what it read";
    node.impl().reset(NoRoot, "", false, nullptr);
    EXPECT_THROW(copy.read("a", output), RegistryErrors::NotOpened);
    EXPECT_EQ(copy.impl().path(), "");
}

// The registry file that stands in for the registry: named by QELT_REGISTRY_FILE, else the
// system-wide default.
TEST(RegistryFile, LocationComesFromTheEnvironment) {
    {
        Environment environment("QELT_REGISTRY_FILE", nullptr);
        EXPECT_EQ(RegistryFile::location(), "/etc/qelt/registry.reg");
    }
    {
        Environment environment("QELT_REGISTRY_FILE", "");
        EXPECT_EQ(RegistryFile::location(), "/etc/qelt/registry.reg");
    }
    Environment environment("QELT_REGISTRY_FILE", "/tmp/x.reg");
    EXPECT_EQ(RegistryFile::location(), "/tmp/x.reg");
}
