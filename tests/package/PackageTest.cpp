// The Windows Installer package under Wine's msiexec: refused property values, silent installs with
// the defaults and with properties, what they leave (the files, the Run value, the event source), an
// upgrade to a newer build while the tool watches, a refused downgrade and uninstalls that leave
// nothing but the users' logs. The cases share one Wine prefix and run in order, each from the state
// the one before left.
#include "BoxWatcher.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD kInstallFailure = 1603;   // ERROR_INSTALL_FAILURE: what a refused install ends with
constexpr DWORD kRestartRequired = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED
const std::string kFolder = "C:\\Program Files\\SetPrimaryKiv\\";
const std::string kDefaultCommand =
    "\"C:\\Program Files\\SetPrimaryKiv\\SetPrimaryKiv.exe\" -t 300 -l \"%LOCALAPPDATA%\\SetPrimaryKiv.log\"";
const std::string kLogFolder = "C:\\kiv logs\\";
const std::string kLogFile = kLogFolder + "kiv.log";

// A file of the build machine, by its path there: Wine's drive Z: is that machine's root.
std::string buildFile(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

// The build's package, and the package of the tool built again as a higher version.
const std::string kPackage = buildFile(KIV_PACKAGE);
const std::string kNewerPackage = buildFile(KIV_NEWER_PACKAGE);

struct OwnedHandle {
    HANDLE value = nullptr;
    ~OwnedHandle() {
        if (value != nullptr) {
            CloseHandle(value);
        }
    }
};

struct OwnedKey {
    HKEY value = nullptr;
    ~OwnedKey() {
        if (value != nullptr) {
            RegCloseKey(value);
        }
    }
};

struct OwnedSearch {
    HANDLE value = INVALID_HANDLE_VALUE;
    ~OwnedSearch() {
        if (value != INVALID_HANDLE_VALUE) {
            FindClose(value);
        }
    }
};

struct Finished {
    DWORD exitCode = 0;
    std::optional<boxwatch::ObservedBox> box;
};

enum class Box { Expected, NotExpected };

// Runs a command line to its end. An expected box is read and closed; a run that does not end in
// time fails the test and is ended.
Finished run(const std::string& commandLine, Box box = Box::NotExpected) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    Finished finished;
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        ADD_FAILURE() << "cannot start " << commandLine << ": error " << GetLastError();
        finished.exitCode = ~DWORD{0};
        return finished;
    }
    const OwnedHandle process{started.hProcess};
    const OwnedHandle thread{started.hThread};
    if (box == Box::Expected) {
        finished.box = boxwatch::closeNextBox("", started.dwProcessId, 60000);
        EXPECT_TRUE(finished.box.has_value()) << commandLine << ": no message box";
    }
    if (WaitForSingleObject(process.value, 120000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << commandLine << ": did not end in time";
        TerminateProcess(process.value, 255);
        WaitForSingleObject(process.value, INFINITE);
    }
    GetExitCodeProcess(process.value, &finished.exitCode);
    return finished;
}

Finished msiexec(const std::string& arguments, Box box = Box::NotExpected) {
    return run("msiexec.exe " + arguments, box);
}

std::string install(const std::string& package, const std::string& ui) { return "/i \"" + package + "\" " + ui; }

struct RegistryValue {
    DWORD type;
    std::string data;
    bool operator==(const RegistryValue& other) const { return type == other.type && data == other.data; }
};

std::ostream& operator<<(std::ostream& out, const RegistryValue& value) {
    return out << "type " << value.type << ": " << value.data;
}

using RegistryValues = std::map<std::string, RegistryValue>;

// Every value of a key of the machine (its 64-bit view) by name, unexpanded; a DWORD in decimal.
// Nothing when there is no such key.
std::optional<RegistryValues> machineValues(const char* keyPath) {
    OwnedKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key.value) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    RegistryValues values;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        BYTE data[2048];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key.value, index, name, &nameLength, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) {
            return values;
        }
        std::string text(reinterpret_cast<const char*>(data), dataSize);
        if (type == REG_DWORD && dataSize == sizeof(DWORD)) {
            DWORD number = 0;
            std::memcpy(&number, data, sizeof number);
            text = std::to_string(number);
        }
        text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
        values[name] = {type, text};
    }
}

// Every value of the machine's Run key that starts a program of the package (the tool only, never
// DesktopCapture).
std::vector<RegistryValue> toolRunValues() {
    std::vector<RegistryValue> values;
    for (const auto& [name, value] :
         machineValues("Software\\Microsoft\\Windows\\CurrentVersion\\Run").value_or(RegistryValues{})) {
        if (value.data.find(kFolder) != std::string::npos) {
            values.push_back(value);
        }
    }
    return values;
}

// The key of the tool's event source in the Application log.
constexpr char kEventSource[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\SetPrimaryKiv";

// The names in the install folder; nothing when there is no such folder.
std::set<std::string> installedFiles() {
    std::set<std::string> names;
    WIN32_FIND_DATAA found{};
    const OwnedSearch search{FindFirstFileA((kFolder + "*").c_str(), &found)};
    if (search.value == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") {
            names.insert(name);
        }
    } while (FindNextFileA(search.value, &found));
    return names;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// "major.minor.patch" of a file's version resource; empty when it has none.
std::string fileVersion(const std::string& path) {
    DWORD ignored = 0;
    std::vector<char> resource(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (resource.empty() ||
        !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(resource.size()), resource.data()) ||
        !VerQueryValueA(resource.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr) {
        return "";
    }
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(fixed->dwFileVersionLS));
}

// The version of every installed product called SetPrimaryKiv.
std::vector<std::string> installedVersions() {
    std::vector<std::string> versions;
    char productCode[39];
    for (DWORD index = 0; MsiEnumProductsA(index, productCode) == ERROR_SUCCESS; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        char version[64];
        DWORD versionLength = sizeof version;
        if (MsiGetProductInfoA(productCode, INSTALLPROPERTY_INSTALLEDPRODUCTNAME, name, &nameLength) == ERROR_SUCCESS &&
            std::string(name) == "SetPrimaryKiv" &&
            MsiGetProductInfoA(productCode, INSTALLPROPERTY_VERSIONSTRING, version, &versionLength) == ERROR_SUCCESS) {
            versions.push_back(version);
        }
    }
    return versions;
}

struct OwnedMsi {
    MSIHANDLE value = 0;
    ~OwnedMsi() {
        if (value != 0) {
            MsiCloseHandle(value);
        }
    }
};

// A property's value in the package's Property table; nothing when it has none.
std::optional<std::string> packageProperty(const std::string& package, const std::string& name) {
    OwnedMsi database;
    OwnedMsi view;
    OwnedMsi record;
    const std::string query = "SELECT `Value` FROM `Property` WHERE `Property` = '" + name + "'";
    if (MsiOpenDatabaseA(package.c_str(), MSIDBOPEN_READONLY, &database.value) != ERROR_SUCCESS ||
        MsiDatabaseOpenViewA(database.value, query.c_str(), &view.value) != ERROR_SUCCESS ||
        MsiViewExecute(view.value, 0) != ERROR_SUCCESS || MsiViewFetch(view.value, &record.value) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    char value[256];
    DWORD length = sizeof value;
    if (MsiRecordGetStringA(record.value, 1, value, &length) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::string(value, length);
}

void expectNothingInstalled() {
    EXPECT_FALSE(exists(kFolder)) << "the install folder is left";
    EXPECT_EQ(toolRunValues(), std::vector<RegistryValue>{});
    EXPECT_EQ(machineValues(kEventSource), std::nullopt) << "the event source's key is left";
    EXPECT_EQ(installedVersions(), std::vector<std::string>{});
}

void expectInstalled(const std::string& version, const std::string& command) {
    EXPECT_EQ(installedFiles(), (std::set<std::string>{"DesktopCapture.exe", "LICENSE.txt", "README.txt",
                                                       "SetPrimaryKiv.exe", "THIRD-PARTY-NOTICES.txt"}));
    EXPECT_EQ(toolRunValues(), (std::vector<RegistryValue>{{REG_EXPAND_SZ, command}}));
    EXPECT_EQ(machineValues(kEventSource),
              (RegistryValues{{"EventMessageFile", {REG_EXPAND_SZ, kFolder + "SetPrimaryKiv.exe"}},
                              {"TypesSupported", {REG_DWORD, "7"}}}));
    EXPECT_EQ(installedVersions(), std::vector<std::string>{version});
}

TEST(Package, RefusesBadPropertiesBeforeWritingAnything) {
    // A LOGFILE with a double quote is refused too, but Wine's msiexec drops a doubled quote from its
    // command line, so it cannot be given here.
    const char* const cases[] = {
        "MAXWAIT=abc",  "MAXWAIT=-1",   "MAXWAIT=2147483648", "MAXWAIT=4294967295",
        "MAXWAIT=12x",  "MAXWAIT=\"\"", "MAXWAIT=\" 5\"",     "MAXWAIT=+5",
        "MAXWAIT=0x10", "MAXWAIT=1e3",  "LOGFILE=\"\"",       "LOGFILE=C:\\logs\\",
        "WATCH=2",      "WATCH=yes",    "WATCH=\"\"",
    };
    for (const char* property : cases) {
        SCOPED_TRACE(property);
        EXPECT_EQ(msiexec(install(kPackage, "/qn ") + property).exitCode, kInstallFailure);
        expectNothingInstalled();
    }

    struct Shown {
        const char* property;
        const char* message;
    };
    const Shown shown[] = {
        {"MAXWAIT=12x", "MAXWAIT must be a whole number of seconds from 0 to 2147483647, not \"12x\"."},
        {"LOGFILE=C:\\logs\\",
         "LOGFILE must name a file, without a double quote and not ending in a backslash, not \"C:\\logs\\\"."},
        {"WATCH=yes", "WATCH must be 0 or 1, not \"yes\"."},
    };
    for (const Shown& row : shown) {
        const Finished refused = msiexec(install(kPackage, "/qb ") + row.property, Box::Expected);
        EXPECT_EQ(refused.exitCode, kInstallFailure) << row.property;
        EXPECT_EQ(refused.box ? refused.box->text : "", row.message);
    }
    expectNothingInstalled();
}

TEST(Package, InstallsSilentlyForEveryUserWithTheDefaults) {
    // An install as SYSTEM cannot close the watchers in users' sessions: it must end with 3010 rather
    // than restart the PC on its own.
    EXPECT_EQ(packageProperty(kPackage, "REBOOT"), "ReallySuppress");
    EXPECT_EQ(msiexec(install(kPackage, "/qn")).exitCode, 0u) << "0, not 3010: no restart needed";
    expectInstalled(KIV_VERSION, kDefaultCommand);

    // The texts, with Windows line ends.
    const std::map<std::string, std::string> firstLines = {
        {"README.txt", "# SetPrimaryKiv\r"},
        {"LICENSE.txt", "MIT License\r"},
        {"THIRD-PARTY-NOTICES.txt", "Third-party notices for SetPrimaryKiv " KIV_VERSION "\r"},
    };
    for (const auto& [name, expected] : firstLines) {
        std::ifstream text(kFolder + name, std::ios::binary);
        std::string firstLine;
        std::getline(text, firstLine);
        EXPECT_EQ(firstLine, expected) << name;
    }

    EXPECT_EQ(run("\"" + kFolder + "SetPrimaryKiv.exe\" -t 0").exitCode, 0u);
    EXPECT_EQ(run("\"" + kFolder + "DesktopCapture.exe\" --help").exitCode, 0u);
}

TEST(Package, UninstallsSilentlyLeavingNothing) {
    EXPECT_EQ(msiexec("/x \"" + kPackage + "\" /qn").exitCode, 0u);
    expectNothingInstalled();
}

TEST(Package, TakesTheWaitTheLogFileAndTheWatchFromTheCommandLine) {
    EXPECT_EQ(msiexec(install(kPackage, "/qn MAXWAIT=120 WATCH=1 LOGFILE=\"" + kLogFile + "\"")).exitCode, 0u);
    expectInstalled(KIV_VERSION,
                    "\"C:\\Program Files\\SetPrimaryKiv\\SetPrimaryKiv.exe\" -t 120 -l \"" + kLogFile + "\" --watch");

    // A log of the installed tool, which is the user's and stays when the package goes.
    ASSERT_TRUE(CreateDirectoryA(kLogFolder.c_str(), nullptr));
    EXPECT_EQ(run("\"" + kFolder + "SetPrimaryKiv.exe\" -t 0 -l \"" + kLogFile + "\"").exitCode, 0u);
    EXPECT_TRUE(exists(kLogFile));
}

// Wine's installer has no Restart Manager: it cannot close the watcher, whose executable is in use, so
// the upgrade ends with 3010 and the file is replaced at the next restart, as on Windows when the
// installer cannot close a watcher (one in another user's session, an install as SYSTEM). The helper
// then closes the watcher as the Restart Manager does, and `wineboot -r` restarts Wine's Windows.
TEST(Package, ANewerVersionTakesThePlaceOfAWatchingToolAtTheRestart) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::string watcher = "\"" + kFolder + "SetPrimaryKiv.exe\" -t 0 --watch -l \"" + kLogFile + "\"";
    ASSERT_TRUE(
        CreateProcessA(nullptr, watcher.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
    const OwnedHandle process{started.hProcess};
    const OwnedHandle thread{started.hThread};
    const auto logged = [](const std::string& text) {
        std::ifstream log(kLogFile, std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
        return content.find(text) != std::string::npos;
    };
    for (int tries = 0; tries < 300 && !logged("Watching the screens until the session ends"); ++tries) {
        Sleep(100);
    }
    ASSERT_TRUE(logged("Watching the screens until the session ends"));
    ASSERT_EQ(fileVersion(kFolder + "SetPrimaryKiv.exe"), KIV_VERSION);

    EXPECT_EQ(msiexec(install(kNewerPackage, "/qn")).exitCode, kRestartRequired);
    EXPECT_EQ(installedVersions(), std::vector<std::string>{KIV_NEWER_VERSION});
    EXPECT_EQ(toolRunValues(), (std::vector<RegistryValue>{{REG_EXPAND_SZ, kDefaultCommand}}));
    // Until the restart the old executable stays, which the watcher runs on and a sign-in starts; the
    // new one waits beside it.
    EXPECT_EQ(fileVersion(kFolder + "SetPrimaryKiv.exe"), KIV_VERSION);
    std::set<std::string> waiting = installedFiles();
    for (const char* name :
         {"DesktopCapture.exe", "LICENSE.txt", "README.txt", "SetPrimaryKiv.exe", "THIRD-PARTY-NOTICES.txt"}) {
        EXPECT_EQ(waiting.erase(name), 1u) << name;
    }
    ASSERT_EQ(waiting.size(), 1u);
    const std::string& newer = *waiting.begin();
    EXPECT_TRUE(newer.size() > 7 && newer.rfind("msi", 0) == 0 && newer.compare(newer.size() - 4, 4, ".tmp") == 0)
        << newer;
    EXPECT_EQ(fileVersion(kFolder + newer), KIV_NEWER_VERSION);
    EXPECT_EQ(WaitForSingleObject(process.value, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the watcher goes on";

    EXPECT_EQ(run("\"" + buildFile(std::string(KIV_BIN_DIR) + "/send_session_end.exe") + "\" closeapp").exitCode, 0u);
    ASSERT_EQ(WaitForSingleObject(process.value, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.value, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(logged("The tool was asked to close, no more changes will be performed"));

    EXPECT_EQ(run("wineboot.exe -r").exitCode, 0u);
    expectInstalled(KIV_NEWER_VERSION, kDefaultCommand);
    EXPECT_EQ(fileVersion(kFolder + "SetPrimaryKiv.exe"), KIV_NEWER_VERSION);
}

TEST(Package, AnOlderVersionIsRefusedWithAMessage) {
    const Finished refused = msiexec(install(kPackage, "/qb"), Box::Expected);
    EXPECT_EQ(refused.exitCode, kInstallFailure);
    EXPECT_EQ(refused.box ? refused.box->text : "", "A newer version of SetPrimaryKiv is already installed.");
    expectInstalled(KIV_NEWER_VERSION, kDefaultCommand);
}

TEST(Package, UninstallLeavesNothingButTheUsersLogs) {
    EXPECT_EQ(msiexec("/x \"" + kNewerPackage + "\" /qn").exitCode, 0u);
    expectNothingInstalled();
    EXPECT_TRUE(exists(kLogFile));
}

}  // namespace
