// What the shipped executable carries: the GUI subsystem, a manifest that asks for the invoker's
// execution level and the UTF-8 code page and nothing else, a version resource, a message for each
// event id, and imports from system DLLs only.
#include "ToolRunner.h"

#include "app/RunEvents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

namespace {

struct Module {
    HMODULE handle;
    explicit Module(const std::string& path)
        : handle(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~Module() {
        if (handle != nullptr) {
            FreeLibrary(handle);
        }
    }
};

std::string manifestOf(const std::string& path) {
    const Module module(path);
    if (module.handle == nullptr) {
        return "";
    }
    const HRSRC resource = FindResourceA(module.handle, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (resource == nullptr) {
        return "";
    }
    const HGLOBAL loaded = LoadResource(module.handle, resource);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return data != nullptr ? std::string(data, SizeofResource(module.handle, resource)) : "";
}

TEST(Executable, AsksForTheInvokersExecutionLevelTheUtf8CodePageAndLongPathsOnly) {
    const std::string manifest = manifestOf(e2e::toolPath());
    ASSERT_FALSE(manifest.empty()) << "no embedded manifest";
    for (const char* wanted :
         {"<requestedExecutionLevel level=\"asInvoker\"/>",
          "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8</activeCodePage>",
          "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>"}) {
        EXPECT_NE(manifest.find(wanted), std::string::npos) << wanted << " in\n" << manifest;
    }
    for (const char* unwanted : {"uiAccess", "dpiAware", "dpiAwareness", "requireAdministrator", "highestAvailable"}) {
        EXPECT_EQ(manifest.find(unwanted), std::string::npos) << unwanted;
    }
}

TEST(Executable, CarriesAVersionResource) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(e2e::toolPath().c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string data(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(e2e::toolPath().c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
}

// Event Viewer shows an event's text through the message of its id: each message is the event's
// one string.
TEST(Executable, CarriesAMessageForEveryEventId) {
    const Module module(e2e::toolPath());
    ASSERT_NE(module.handle, nullptr);
    using orvi::RunEvent;
    for (const RunEvent id : {RunEvent::KivMadePrimary, RunEvent::KivAlreadyPrimary, RunEvent::NoKivWithoutWaiting,
                              RunEvent::NoKivWhenTheWaitRanOut, RunEvent::OtherInstanceRunning, RunEvent::RunFailed,
                              RunEvent::WrongCommandLine}) {
        wchar_t text[] = L"the event's text";
        DWORD_PTR strings[] = {reinterpret_cast<DWORD_PTR>(text)};
        wchar_t message[64] = {};
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module.handle,
                                            static_cast<DWORD>(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                            message, 64, reinterpret_cast<va_list*>(strings));
        EXPECT_EQ(std::wstring(message, length), L"the event's text") << "event id " << static_cast<DWORD>(id);
    }
}

TEST(Executable, IsAGuiProgramImportingOnlySystemDlls) {
    const Module module(e2e::toolPath());
    ASSERT_NE(module.handle, nullptr);
    // A data-file mapping is tagged in the low bits of its handle; the image starts at the rest.
    const auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module.handle) & ~ULONG_PTR{3});
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);

    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(directory.VirtualAddress, 0u);
    // Mapped as an image resource, the sections lie at their virtual addresses.
    std::set<std::string> imports;
    for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
        std::string name(reinterpret_cast<const char*>(base + entry->Name));
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        imports.insert(name);
    }
    EXPECT_EQ(imports,
              (std::set<std::string>{"advapi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll", "wtsapi32.dll"}));
}

}  // namespace
