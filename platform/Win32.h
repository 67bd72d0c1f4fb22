// The one way to Win32 for all code of the tool.
//
// On Windows this is <windows.h>. Elsewhere it declares the subset of Win32 types, constants and
// calls that the tool uses, with the same layouts, so that the same sources build natively against
// the host stand-ins (simulation/) for tests, sanitizers and fuzzing.
#pragma once

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// Documented for Windows 11 ("QueryDisplayConfig function", "SetDisplayConfig function",
// "DISPLAYCONFIG_PATH_INFO structure"), newer than the mingw-w64 headers.
#ifndef QDC_VIRTUAL_REFRESH_RATE_AWARE
#define QDC_VIRTUAL_REFRESH_RATE_AWARE 0x00000040
#endif
#ifndef SDC_VIRTUAL_REFRESH_RATE_AWARE
#define SDC_VIRTUAL_REFRESH_RATE_AWARE 0x00020000
#endif
#ifndef DISPLAYCONFIG_PATH_BOOST_REFRESH_RATE
#define DISPLAYCONFIG_PATH_BOOST_REFRESH_RATE 0x00000010
#endif

#else  // host stand-in declarations

#include <cstdint>

#define WINAPI
#define CALLBACK

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using UINT16 = std::uint16_t;
using UINT32 = std::uint32_t;
using BOOL = int;
using WCHAR = char16_t;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPCWSTR = const WCHAR*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPDWORD = DWORD*;
using HANDLE = void*;
using HLOCAL = void*;
using HWND = struct HWND__*;
using HDC = struct HDC__*;
using HMONITOR = struct HMONITOR__*;
using LPARAM = std::intptr_t;
using va_list_ptr = void*;

#define TRUE 1
#define FALSE 0

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;

struct POINTL {
    LONG x;
    LONG y;
};

struct LUID {
    DWORD LowPart;
    LONG HighPart;
};

struct SECURITY_ATTRIBUTES;

// Error codes
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;

// Error texts
constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr WORD LANG_NEUTRAL = 0x00;
constexpr WORD SUBLANG_DEFAULT = 0x01;
constexpr WORD MAKELANGID(WORD primary, WORD sub) { return static_cast<WORD>((sub << 10) | primary); }

DWORD GetLastError();
void SetLastError(DWORD code);
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                     va_list_ptr arguments);
HLOCAL LocalFree(HLOCAL memory);

// Message boxes
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr int IDOK = 1;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Named mutexes, handles, waiting
#define INFINITE 0xFFFFFFFFu
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD ERROR_NOT_OWNER = 288;

HANDLE CreateMutexA(SECURITY_ATTRIBUTES* attributes, BOOL initialOwner, LPCSTR name);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);
BOOL CloseHandle(HANDLE handle);

// Files
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
constexpr DWORD FILE_WRITE_DATA = 0x0002;
constexpr DWORD FILE_APPEND_DATA = 0x0004;
constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
struct OVERLAPPED;

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* attributes, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, OVERLAPPED* overlapped);

// Clock and sleep
union LARGE_INTEGER {
    std::int64_t QuadPart;
};
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
void Sleep(DWORD milliseconds);

// Display devices and monitors
constexpr DWORD DISPLAY_DEVICE_ATTACHED_TO_DESKTOP = 0x00000001;
constexpr DWORD DISPLAY_DEVICE_PRIMARY_DEVICE = 0x00000004;
constexpr DWORD MONITORINFOF_PRIMARY = 0x00000001;

struct DISPLAY_DEVICEW {
    DWORD cb;
    WCHAR DeviceName[32];
    WCHAR DeviceString[128];
    DWORD StateFlags;
    WCHAR DeviceID[128];
    WCHAR DeviceKey[128];
};

struct MONITORINFO {
    DWORD cbSize;
    RECT rcMonitor;
    RECT rcWork;
    DWORD dwFlags;
};

struct MONITORINFOEXW : MONITORINFO {
    WCHAR szDevice[32];
};

using MONITORENUMPROC = BOOL(CALLBACK*)(HMONITOR monitor, HDC dc, LPRECT clip, LPARAM data);

// Display settings. Of the printer/display unions only the display members are declared.
constexpr DWORD ENUM_CURRENT_SETTINGS = 0xFFFFFFFF;
constexpr DWORD DM_POSITION = 0x00000020;
constexpr DWORD DM_BITSPERPEL = 0x00040000;
constexpr DWORD DM_PELSWIDTH = 0x00080000;
constexpr DWORD DM_PELSHEIGHT = 0x00100000;
constexpr DWORD DM_DISPLAYFREQUENCY = 0x00400000;
constexpr DWORD CDS_UPDATEREGISTRY = 0x00000001;
constexpr DWORD CDS_NORESET = 0x10000000;
constexpr DWORD CDS_SET_PRIMARY = 0x00000010;
constexpr DWORD CDS_GLOBAL = 0x00000008;
constexpr LONG DISP_CHANGE_SUCCESSFUL = 0;
constexpr LONG DISP_CHANGE_RESTART = 1;
constexpr LONG DISP_CHANGE_FAILED = -1;
constexpr LONG DISP_CHANGE_BADMODE = -2;
constexpr LONG DISP_CHANGE_NOTUPDATED = -3;
constexpr LONG DISP_CHANGE_BADFLAGS = -4;
constexpr LONG DISP_CHANGE_BADPARAM = -5;

struct DEVMODEW {
    WCHAR dmDeviceName[32];
    WORD dmSpecVersion;
    WORD dmDriverVersion;
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    POINTL dmPosition;
    DWORD dmDisplayOrientation;
    DWORD dmDisplayFixedOutput;
    short dmColor;
    short dmDuplex;
    short dmYResolution;
    short dmTTOption;
    short dmCollate;
    WCHAR dmFormName[32];
    WORD dmLogPixels;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmDisplayFlags;
    DWORD dmDisplayFrequency;
    DWORD dmICMMethod;
    DWORD dmICMIntent;
    DWORD dmMediaType;
    DWORD dmDitherType;
    DWORD dmReserved1;
    DWORD dmReserved2;
    DWORD dmPanningWidth;
    DWORD dmPanningHeight;
};

// Display configuration
constexpr UINT32 QDC_ALL_PATHS = 0x00000001;
constexpr UINT32 QDC_ONLY_ACTIVE_PATHS = 0x00000002;
constexpr UINT32 QDC_DATABASE_CURRENT = 0x00000004;
constexpr UINT32 QDC_VIRTUAL_MODE_AWARE = 0x00000010;
constexpr UINT32 QDC_VIRTUAL_REFRESH_RATE_AWARE = 0x00000040;
constexpr UINT32 DISPLAYCONFIG_PATH_MODE_IDX_INVALID = 0xffffffff;
constexpr UINT32 DISPLAYCONFIG_PATH_TARGET_MODE_IDX_INVALID = 0xffff;
constexpr UINT32 DISPLAYCONFIG_PATH_DESKTOP_IMAGE_IDX_INVALID = 0xffff;
constexpr UINT32 DISPLAYCONFIG_PATH_SOURCE_MODE_IDX_INVALID = 0xffff;
constexpr UINT32 DISPLAYCONFIG_PATH_CLONE_GROUP_INVALID = 0xffff;
constexpr UINT32 DISPLAYCONFIG_PATH_ACTIVE = 0x00000001;
constexpr UINT32 DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE = 0x00000008;
constexpr UINT32 DISPLAYCONFIG_PATH_BOOST_REFRESH_RATE = 0x00000010;
constexpr UINT32 SDC_TOPOLOGY_INTERNAL = 0x00000001;
constexpr UINT32 SDC_TOPOLOGY_CLONE = 0x00000002;
constexpr UINT32 SDC_TOPOLOGY_EXTEND = 0x00000004;
constexpr UINT32 SDC_TOPOLOGY_EXTERNAL = 0x00000008;
constexpr UINT32 SDC_USE_DATABASE_CURRENT =
    SDC_TOPOLOGY_INTERNAL | SDC_TOPOLOGY_CLONE | SDC_TOPOLOGY_EXTEND | SDC_TOPOLOGY_EXTERNAL;
constexpr UINT32 SDC_USE_SUPPLIED_DISPLAY_CONFIG = 0x00000020;
constexpr UINT32 SDC_VALIDATE = 0x00000040;
constexpr UINT32 SDC_APPLY = 0x00000080;
constexpr UINT32 SDC_SAVE_TO_DATABASE = 0x00000200;
constexpr UINT32 SDC_ALLOW_CHANGES = 0x00000400;
constexpr UINT32 SDC_VIRTUAL_MODE_AWARE = 0x00008000;
constexpr UINT32 SDC_VIRTUAL_REFRESH_RATE_AWARE = 0x00020000;
constexpr UINT32 DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INTERNAL = 0x80000000;
constexpr UINT32 DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED = 16;
constexpr UINT32 DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_VIRTUAL = 17;

enum DISPLAYCONFIG_MODE_INFO_TYPE : UINT32 {
    DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE = 1,
    DISPLAYCONFIG_MODE_INFO_TYPE_TARGET = 2,
    DISPLAYCONFIG_MODE_INFO_TYPE_DESKTOP_IMAGE = 3,
};

enum DISPLAYCONFIG_DEVICE_INFO_TYPE : UINT32 {
    DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME = 1,
    DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME = 2,
};

enum DISPLAYCONFIG_TOPOLOGY_ID : UINT32 {
    DISPLAYCONFIG_TOPOLOGY_INTERNAL = 1,
    DISPLAYCONFIG_TOPOLOGY_CLONE = 2,
    DISPLAYCONFIG_TOPOLOGY_EXTEND = 4,
    DISPLAYCONFIG_TOPOLOGY_EXTERNAL = 8,
};

struct DISPLAYCONFIG_RATIONAL {
    UINT32 Numerator;
    UINT32 Denominator;
};

// A path that supports virtual modes (DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE), as a virtual-mode-aware
// query gives it, packs two 16-bit indexes into modeInfoIdx, the first member in the low half.
struct DISPLAYCONFIG_PATH_SOURCE_INFO {
    LUID adapterId;
    UINT32 id;
    union {
        UINT32 modeInfoIdx;
        __extension__ struct {
            UINT32 cloneGroupId : 16;
            UINT32 sourceModeInfoIdx : 16;
        };
    };
    UINT32 statusFlags;
};

struct DISPLAYCONFIG_PATH_TARGET_INFO {
    LUID adapterId;
    UINT32 id;
    union {
        UINT32 modeInfoIdx;
        __extension__ struct {
            UINT32 desktopModeInfoIdx : 16;
            UINT32 targetModeInfoIdx : 16;
        };
    };
    UINT32 outputTechnology;
    UINT32 rotation;
    UINT32 scaling;
    DISPLAYCONFIG_RATIONAL refreshRate;
    UINT32 scanLineOrdering;
    BOOL targetAvailable;
    UINT32 statusFlags;
};

struct DISPLAYCONFIG_PATH_INFO {
    DISPLAYCONFIG_PATH_SOURCE_INFO sourceInfo;
    DISPLAYCONFIG_PATH_TARGET_INFO targetInfo;
    UINT32 flags;
};

struct DISPLAYCONFIG_SOURCE_MODE {
    UINT32 width;
    UINT32 height;
    UINT32 pixelFormat;
    POINTL position;
};

// The target, source and desktop image modes share their storage on Windows; the host keeps the
// source mode and pads to the size of the largest member (the target mode, 48 bytes).
struct DISPLAYCONFIG_MODE_INFO {
    DISPLAYCONFIG_MODE_INFO_TYPE infoType;
    UINT32 id;
    LUID adapterId;
    union {
        DISPLAYCONFIG_SOURCE_MODE sourceMode;
        BYTE modeStorage[48];
    };
};

struct DISPLAYCONFIG_DEVICE_INFO_HEADER {
    DISPLAYCONFIG_DEVICE_INFO_TYPE type;
    UINT32 size;
    LUID adapterId;
    UINT32 id;
};

struct DISPLAYCONFIG_SOURCE_DEVICE_NAME {
    DISPLAYCONFIG_DEVICE_INFO_HEADER header;
    WCHAR viewGdiDeviceName[32];
};

struct DISPLAYCONFIG_TARGET_DEVICE_NAME_FLAGS {
    UINT32 value;
};

struct DISPLAYCONFIG_TARGET_DEVICE_NAME {
    DISPLAYCONFIG_DEVICE_INFO_HEADER header;
    DISPLAYCONFIG_TARGET_DEVICE_NAME_FLAGS flags;
    UINT32 outputTechnology;
    UINT16 edidManufactureId;
    UINT16 edidProductCodeId;
    UINT32 connectorInstance;
    WCHAR monitorFriendlyDeviceName[64];
    WCHAR monitorDevicePath[128];
};

#endif  // _WIN32

// The layouts the tool relies on, checked on every build.
static_assert(sizeof(WCHAR) == 2, "WCHAR is a UTF-16 code unit");
static_assert(sizeof(LONG) == 4 && sizeof(DWORD) == 4, "LONG and DWORD are 32 bits");
static_assert(sizeof(DISPLAY_DEVICEW) == 840, "DISPLAY_DEVICEW layout");
static_assert(sizeof(MONITORINFOEXW) == 104, "MONITORINFOEXW layout");
static_assert(sizeof(DEVMODEW) == 220, "DEVMODEW layout");
static_assert(sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME) == 84, "DISPLAYCONFIG_SOURCE_DEVICE_NAME layout");
static_assert(sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME) == 420, "DISPLAYCONFIG_TARGET_DEVICE_NAME layout");
static_assert(sizeof(DISPLAYCONFIG_PATH_SOURCE_INFO) == 20, "DISPLAYCONFIG_PATH_SOURCE_INFO layout");
static_assert(sizeof(DISPLAYCONFIG_PATH_TARGET_INFO) == 48, "DISPLAYCONFIG_PATH_TARGET_INFO layout");
static_assert(sizeof(DISPLAYCONFIG_PATH_INFO) == 72, "DISPLAYCONFIG_PATH_INFO layout");
static_assert(sizeof(DISPLAYCONFIG_MODE_INFO) == 64, "DISPLAYCONFIG_MODE_INFO layout");
