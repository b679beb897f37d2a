// The platform layer against the real Windows interfaces: registry, shell folders, libraries and
// message texts.

#include "libs/win32/error.hpp"
#include "libs/win32/exceptions.hpp"
#include "libs/win32/file/folderpath.hpp"
#include "libs/win32/library.hpp"
#include "libs/win32/registry/node.hpp"

#include <boost/exception/get_error_info.hpp>
#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

using namespace Win32::Registry;
namespace RegistryErrors = Win32::Registry::Exceptions;

namespace {

const std::string testKey = "Software\\Quorlin Software\\Qelt\\Tests\\Node";

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// A key of its own below HKEY_CURRENT_USER, removed with everything in it when the test ends.
class RegistryKey : public testing::Test {
protected:
    RegistryKey() {
        RegDeleteTreeW(HKEY_CURRENT_USER, wide(testKey).c_str());
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, wide(testKey).c_str(), 0, nullptr, 0,
                                                 KEY_WRITE, nullptr, &key_, nullptr));
    }
    ~RegistryKey() override {
        RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, wide(testKey).c_str());
    }

    void set(const wchar_t* name, DWORD type, const std::wstring& units) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key_, name, 0, type, reinterpret_cast<const BYTE*>(units.data()),
                                                static_cast<DWORD>(units.size() * sizeof(wchar_t))));
    }

    std::string read(const std::string& name) const {
        std::string output = "untouched";
        Node(CurrentUser, testKey).read(name, output);
        return output;
    }

    static std::string keyOf(const RegistryErrors::Exception& e) {
        const std::string* key = boost::get_error_info<RegistryErrors::Key_>(e);
        return key ? *key : "<no key>";
    }

    HKEY key_ = nullptr;
};

TEST_F(RegistryKey, ReadsStringValuesThroughTheRegistry) {
    const std::wstring longValue(300, L'x');
    set(L"Long", REG_SZ, longValue + L'\0');
    set(L"TwoZeros", REG_SZ, std::wstring(L"C:\\D\u00e1ta\\Slu\u017eba") + L'\0' + L'\0');
    set(L"Empty", REG_SZ, std::wstring());
    set(L"Expand", REG_EXPAND_SZ, std::wstring(L"%TEMP%") + L'\0');
    const DWORD number = 42;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key_, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                            sizeof number));

    EXPECT_EQ(std::string(300, 'x'), read("Long"));
    EXPECT_EQ("C:\\D\xc3\xa1ta\\Slu\xc5\xbe" "ba", read("TwoZeros"));
    EXPECT_EQ("", read("Empty"));
    EXPECT_EQ(std::string(300, 'x'), read("long"));
    for (const char* other : {"Expand", "Number", "Missing"}) {
        try {
            read(other);
            ADD_FAILURE() << other;
        } catch (const RegistryErrors::NotFound& e) {
            EXPECT_EQ("HKEY_CURRENT_USER\\" + testKey + "\\" + other, keyOf(e));
        }
    }
}

TEST_F(RegistryKey, MissingKeysAreNotFoundAndUnopenedNodesRefuseReading) {
    try {
        Node(CurrentUser, testKey + "\\Missing");
        ADD_FAILURE();
    } catch (const RegistryErrors::NotFound& e) {
        EXPECT_EQ("HKEY_CURRENT_USER\\" + testKey + "\\Missing", keyOf(e));
    }
    std::string output;
    EXPECT_THROW(Node().read("DataDirectory", output), RegistryErrors::NotOpened);
    EXPECT_THROW(Node(NoRoot, testKey).read("DataDirectory", output), RegistryErrors::NotOpened);
}

TEST_F(RegistryKey, WritableNodesCreateTheirKey) {
    const Node created(CurrentUser, testKey + "\\Created", true);
    EXPECT_TRUE(created.impl().writable());
    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, wide(testKey + "\\Created").c_str(), 0, KEY_READ, &opened));
    RegCloseKey(opened);
}

// The key in one view of HKEY_LOCAL_MACHINE\Software, with the value Where naming that view.
void writeView(REGSAM view, const std::wstring& where) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide(testKey).c_str(), 0, nullptr, 0,
                                             KEY_WRITE | view, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"Where", 0, REG_SZ, reinterpret_cast<const BYTE*>(where.c_str()),
                                            static_cast<DWORD>((where.size() + 1) * sizeof(wchar_t))));
    RegCloseKey(key);
}

void removeView(REGSAM view) {
    HKEY software = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view, &software) != ERROR_SUCCESS)
        return;
    RegDeleteTreeW(software, wide(testKey.substr(std::strlen("Software\\"))).c_str());
    RegCloseKey(software);
}

// The service's 32-bit installation writes the 32-bit view, which the 32-bit program reads
// without asking; the 64-bit build reads that view too.
TEST(RegistryView, MachineKeysAreReadInTheViewOfThe32BitProgram) {
    writeView(KEY_WOW64_64KEY, L"64");
    writeView(KEY_WOW64_32KEY, L"32");
    std::string where;
    Node(LocalMachine, testKey).read("Where", where);
    EXPECT_EQ("32", where);
    removeView(KEY_WOW64_32KEY);
    EXPECT_THROW(Node(LocalMachine, testKey), RegistryErrors::NotFound);
    removeView(KEY_WOW64_64KEY);
}

TEST(ErrorDescription, GivesTheSystemsTextOnOneLine) {
    const std::string notFound = Win32::errorDescription(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(notFound.empty());
    EXPECT_EQ(std::string::npos, notFound.find_first_of("\r\n")) << notFound;
    EXPECT_EQ(notFound, Win32::errorDescription(2));
    EXPECT_EQ("", Win32::errorDescription(0x2FFFFFFF));
    // Network and internet codes come from their own message modules; where a module is missing
    // (Wine has no netmsg.dll) the failure to load it names the module.
    for (const auto& [code, module] : {std::pair{2250u, "netmsg.dll"}, std::pair{12007u, "wininet.dll"}}) {
        try {
            EXPECT_EQ(std::string::npos, Win32::errorDescription(code).find('\n')) << code;
        } catch (const Win32::Exceptions::LoadLib& e) {
            EXPECT_EQ(module, *boost::get_error_info<::Exceptions::Filename_>(e));
        }
    }

    SetLastError(ERROR_ACCESS_DENIED);
    const Win32::ErrorCode last;
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_ACCESS_DENIED), last.value());
}

TEST(Library, LoadsByUtf8NameAndNamesWhatFailed) {
    Win32::Library kernel;
    kernel.open("kernel32.dll");
    EXPECT_TRUE(kernel.isOpen());
    EXPECT_NE(nullptr, GetProcAddress(static_cast<HMODULE>(kernel.handle()), "CreateHardLinkW"));
    const Win32::Library copy = kernel;
    kernel.reset();
    EXPECT_TRUE(copy.isOpen());
    Win32::Library missing;
    try {
        missing.open("no-such-library-\xc3\xa1.dll");
        ADD_FAILURE();
    } catch (const Win32::Exceptions::LoadLib& e) {
        EXPECT_EQ("no-such-library-\xc3\xa1.dll", *boost::get_error_info<::Exceptions::Filename_>(e));
        EXPECT_NE(nullptr, boost::get_error_info<::Exceptions::WinErrorCode_>(e));
    }
    EXPECT_FALSE(missing.isOpen());
}

TEST(FolderPath, AllUsersFolderIsTheShellsCommonAppData) {
    const std::string path = Win32::Files::allUsersAppDataPath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(boost::filesystem::is_directory(path)) << path;
    EXPECT_EQ(path, Win32::Files::folderPath(Win32::Files::Folder::CommonAppData));
    try {
        Win32::Files::folderPath(0xFF);
        ADD_FAILURE();
    } catch (const Win32::Files::Exceptions::ShGetFolderPath& e) {
        EXPECT_EQ(0xFF, *boost::get_error_info<Win32::Files::Exceptions::FolderType_>(e));
    }
}

} // namespace
