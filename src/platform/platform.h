// The operating-system services rflash uses, under the names the platform gives them.
//
// Exactly one backend implements this header in each executable: emulated/ (tests and the
// demo), posix/ (Linux, SG_IO) or win32/ (the native program). No other code talks to the
// operating system. Types, structures and constants are written here from what the program
// needs; they keep the platform's names and layouts so that the win32 backend can pass them
// straight through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

// ---- Basic types (Win32 data model: LONG and ULONG are 32 bits everywhere) ----
using BYTE = std::uint8_t;
using UCHAR = std::uint8_t;
using BOOLEAN = std::uint8_t;
using CHAR = char;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
using SIZE_T = std::size_t;
using ULONG_PTR = std::uintptr_t;
using MMRESULT = UINT;
using REGSAM = DWORD;
using LPCSTR = const char*;
using LPVOID = void*;
using LPDWORD = DWORD*;

using HANDLE = void*;
using HWND = void*;
using HMODULE = void*;
using HGLOBAL = void*;
using HKEY = void*;
using FARPROC = std::intptr_t (*)();

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// ---- Standard output ----
// Writes the bytes unchanged (the program prints its texts through "%s", so a NUL ends them
// before they get here). Failures are not reported: the console is best effort.
void writeStandardOutput(std::string_view bytes);

// ---- Message boxes ----
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_OKCANCEL = 0x01;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Returns the button pressed, or 0 when the box could not be shown.
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

// ---- Code page ----
UINT GetOEMCP();

// ---- Multimedia timer ----
constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;

MMRESULT timeBeginPeriod(UINT uPeriod);
MMRESULT timeEndPeriod(UINT uPeriod);
DWORD timeGetTime();  // milliseconds, wraps at 2^32

// ---- Version ----
constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148);

BOOL GetVersionExA(OSVERSIONINFOA* lpVersionInformation);

// ---- Registry ----
// The predefined keys are 32-bit negative numbers, sign-extended on 64-bit Windows.
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000002u)));
constexpr REGSAM KEY_READ = 0x20019;
constexpr LONG ERROR_SUCCESS = 0;

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult);
LONG RegCloseKey(HKEY hKey);

// ---- Global memory ----
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
LPVOID GlobalLock(HGLOBAL hMem);
BOOL GlobalUnlock(HGLOBAL hMem);
HGLOBAL GlobalFree(HGLOBAL hMem);  // returns nullptr on success

// ---- Dynamic libraries ----
HMODULE LoadLibraryA(LPCSTR lpLibFileName);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

// An ordinal in place of a procedure name, as MAKEINTRESOURCEA forms it.
inline LPCSTR ordinalName(WORD ordinal) {
    return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal));
}

// ---- Files and devices ----
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPVOID lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL CloseHandle(HANDLE hObject);
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPVOID lpOverlapped);
BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                     DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                     LPDWORD lpBytesReturned, LPVOID lpOverlapped);
DWORD GetLastError();

// Codes GetLastError reports; the registry functions return them too.
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_SEM_TIMEOUT = 121;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NOT_LOCKED = 158;
constexpr DWORD ERROR_IO_DEVICE = 1117;

// ---- SCSI pass-through ----
constexpr DWORD IOCTL_SCSI_PASS_THROUGH_DIRECT = 0x0004D014;
constexpr DWORD IOCTL_STORAGE_MCN_CONTROL = 0x002D0944;

constexpr UCHAR SCSI_IOCTL_DATA_OUT = 0;
constexpr UCHAR SCSI_IOCTL_DATA_IN = 1;
constexpr UCHAR SCSI_IOCTL_DATA_UNSPECIFIED = 2;

struct SCSI_PASS_THROUGH_DIRECT {
    USHORT Length;
    UCHAR ScsiStatus;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    UCHAR CdbLength;
    UCHAR SenseInfoLength;
    UCHAR DataIn;
    ULONG DataTransferLength;
    ULONG TimeOutValue;  // seconds
    LPVOID DataBuffer;
    ULONG SenseInfoOffset;  // from the start of the structure
    UCHAR Cdb[16];
};

// The pass-through request together with room for the sense bytes the port driver returns.
struct SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER {
    SCSI_PASS_THROUGH_DIRECT sptd;
    ULONG Filler;  // keeps the sense area aligned
    UCHAR ucSenseBuf[32];
};

static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) == 16);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 20);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 28);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER, ucSenseBuf) == 48);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER) == 80);
#else
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 32);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 36);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER, ucSenseBuf) == 60);
#endif

// Input of IOCTL_STORAGE_MCN_CONTROL: 1 turns media change notification off, 0 back on.
struct PREVENT_MEDIA_REMOVAL {
    BOOLEAN PreventMediaRemoval;
};
static_assert(sizeof(PREVENT_MEDIA_REMOVAL) == 1);

// ---- Events and waiting ----
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

HANDLE CreateEventA(LPVOID lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
void Sleep(DWORD dwMilliseconds);

// ---- ASPI library (WNASPI32.DLL; entry points bound by ordinal) ----
constexpr WORD ASPI_ORDINAL_GET_SUPPORT_INFO = 1;
constexpr WORD ASPI_ORDINAL_SEND_COMMAND = 2;

constexpr BYTE SC_HA_INQUIRY = 0x00;
constexpr BYTE SC_EXEC_SCSI_CMD = 0x02;

constexpr BYTE SS_PENDING = 0x00;
constexpr BYTE SS_COMP = 0x01;
constexpr BYTE SS_ABORTED = 0x02;
constexpr BYTE SS_ERR = 0x04;
constexpr BYTE SS_INVALID_HA = 0x81;
constexpr BYTE SS_NO_DEVICE = 0x82;
constexpr BYTE SS_INVALID_SRB = 0xE0;
constexpr BYTE SS_FAILED_INIT = 0xE4;
constexpr BYTE SS_NO_ADAPTERS = 0xE8;

// Host adapter status (SRB_HaStat).
constexpr BYTE HASTAT_OK = 0x00;
constexpr BYTE HASTAT_SEL_TO = 0x11;  // selection time-out: no device answered

constexpr BYTE SRB_DIR_IN = 0x08;
constexpr BYTE SRB_DIR_OUT = 0x10;
constexpr BYTE SRB_EVENT_NOTIFY = 0x40;

constexpr std::size_t SENSE_LEN = 18;

#pragma pack(push, 1)
struct SRB_ExecSCSICmd {
    BYTE SRB_Cmd;
    BYTE SRB_Status;  // written by the library when the request completes
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    WORD SRB_Rsvd1;
    DWORD SRB_BufLen;
    BYTE* SRB_BufPointer;
    BYTE SRB_SenseLen;
    BYTE SRB_CDBLen;
    BYTE SRB_HaStat;
    BYTE SRB_TargStat;
    void* SRB_PostProc;  // the completion event in event-notify mode
    BYTE SRB_Rsvd2[20];
    BYTE CDBByte[16];
    BYTE SenseArea[SENSE_LEN + 2];
};

struct SRB_HAInquiry {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE HA_Count;
    BYTE HA_SCSI_ID;
    BYTE HA_ManagerId[16];
    BYTE HA_Identifier[16];
    BYTE HA_Unique[16];
    WORD HA_Rsvd1;
};
#pragma pack(pop)

static_assert(offsetof(SRB_HAInquiry, HA_Identifier) == 26);
static_assert(sizeof(SRB_HAInquiry) == 60);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48);
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 64);
static_assert(sizeof(SRB_ExecSCSICmd) == 84);
#endif

// Entry points of the library, as GetProcAddress hands them out (C calling convention).
using GetASPI32SupportInfoFunction = DWORD (*)();
using SendASPI32CommandFunction = DWORD (*)(LPVOID request);

}  // namespace platform
