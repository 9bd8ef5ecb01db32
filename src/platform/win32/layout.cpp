// Compile-time proof that platform.h matches the Windows SDK: the structures the backend hands
// straight to the system have the SDK's sizes and field offsets, and every constant has the
// SDK's value. Nothing here runs.
#include <cstddef>

#include "platform/platform.h"

// <windows.h> turns most of these names into macros, so take the platform's values first under
// names of their own.
#define RFLASH_SDK_CONSTANTS(X)                                                                    \
    X(MB_OK) X(MB_OKCANCEL) X(MB_YESNO) X(MB_ICONERROR) X(MB_ICONQUESTION) X(MB_ICONWARNING)       \
    X(MB_ICONINFORMATION) X(IDOK) X(IDCANCEL) X(IDYES) X(IDNO)                                     \
    X(TIMERR_NOERROR) X(TIMERR_NOCANDO)                                                            \
    X(VER_PLATFORM_WIN32s) X(VER_PLATFORM_WIN32_WINDOWS) X(VER_PLATFORM_WIN32_NT)                  \
    X(KEY_READ) X(ERROR_SUCCESS) X(ERROR_FILE_NOT_FOUND)                                           \
    X(GMEM_FIXED) X(GMEM_MOVEABLE) X(GMEM_ZEROINIT) X(GHND)                                        \
    X(GENERIC_READ) X(GENERIC_WRITE) X(FILE_SHARE_READ) X(FILE_SHARE_WRITE) X(OPEN_EXISTING)       \
    X(FILE_ATTRIBUTE_NORMAL) X(INVALID_FILE_SIZE)                                                  \
    X(IOCTL_SCSI_PASS_THROUGH_DIRECT) X(IOCTL_STORAGE_MCN_CONTROL)                                 \
    X(SCSI_IOCTL_DATA_OUT) X(SCSI_IOCTL_DATA_IN) X(SCSI_IOCTL_DATA_UNSPECIFIED)                    \
    X(INFINITE) X(WAIT_OBJECT_0) X(WAIT_TIMEOUT) X(WAIT_FAILED)

namespace {
#define RFLASH_TAKE_PLATFORM_VALUE(name) constexpr long long platform_##name = platform::name;
RFLASH_SDK_CONSTANTS(RFLASH_TAKE_PLATFORM_VALUE)
#undef RFLASH_TAKE_PLATFORM_VALUE
}  // namespace

#include <windows.h>
#include <mmsystem.h>
#include <winioctl.h>
#include <ntddscsi.h>

namespace {

#define RFLASH_CHECK_CONSTANT(name) \
    static_assert(platform_##name == static_cast<long long>(name), "platform.h differs from the SDK: " #name);
RFLASH_SDK_CONSTANTS(RFLASH_CHECK_CONSTANT)
#undef RFLASH_CHECK_CONSTANT

#define RFLASH_CHECK_FIELD(mine, theirs, field)                                                    \
    static_assert(offsetof(mine, field) == offsetof(theirs, field) &&                              \
                      sizeof(mine::field) == sizeof(theirs::field),                                \
                  "platform.h differs from the SDK: " #theirs "::" #field);

using MyPassThrough = platform::SCSI_PASS_THROUGH_DIRECT;
using SdkPassThrough = ::SCSI_PASS_THROUGH_DIRECT;
static_assert(sizeof(MyPassThrough) == sizeof(SdkPassThrough));
static_assert(alignof(MyPassThrough) == alignof(SdkPassThrough));
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, Length)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, ScsiStatus)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, PathId)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, TargetId)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, Lun)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, CdbLength)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, SenseInfoLength)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, DataIn)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, DataTransferLength)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, TimeOutValue)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, DataBuffer)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, SenseInfoOffset)
RFLASH_CHECK_FIELD(MyPassThrough, SdkPassThrough, Cdb)

// The SDK has no record around the request; the sense area must follow the request and a ULONG
// of filler, so that SenseInfoOffset can point at it.
using MyPassThroughRecord = platform::SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER;
static_assert(offsetof(MyPassThroughRecord, sptd) == 0);
static_assert(offsetof(MyPassThroughRecord, Filler) == sizeof(SdkPassThrough));
static_assert(offsetof(MyPassThroughRecord, ucSenseBuf) == sizeof(SdkPassThrough) + sizeof(ULONG));
static_assert(sizeof(MyPassThroughRecord::ucSenseBuf) >= platform::SENSE_LEN);

static_assert(sizeof(platform::PREVENT_MEDIA_REMOVAL) == sizeof(::PREVENT_MEDIA_REMOVAL));
RFLASH_CHECK_FIELD(platform::PREVENT_MEDIA_REMOVAL, ::PREVENT_MEDIA_REMOVAL, PreventMediaRemoval)

using MyVersionInfo = platform::OSVERSIONINFOA;
using SdkVersionInfo = ::OSVERSIONINFOA;
static_assert(sizeof(MyVersionInfo) == sizeof(SdkVersionInfo));
RFLASH_CHECK_FIELD(MyVersionInfo, SdkVersionInfo, dwOSVersionInfoSize)
RFLASH_CHECK_FIELD(MyVersionInfo, SdkVersionInfo, dwMajorVersion)
RFLASH_CHECK_FIELD(MyVersionInfo, SdkVersionInfo, dwMinorVersion)
RFLASH_CHECK_FIELD(MyVersionInfo, SdkVersionInfo, dwBuildNumber)
RFLASH_CHECK_FIELD(MyVersionInfo, SdkVersionInfo, dwPlatformId)
RFLASH_CHECK_FIELD(MyVersionInfo, SdkVersionInfo, szCSDVersion)

// Handles and procedure addresses pass through the platform's types unchanged.
static_assert(sizeof(platform::HANDLE) == sizeof(::HANDLE));
static_assert(sizeof(platform::HKEY) == sizeof(::HKEY));
static_assert(sizeof(platform::FARPROC) == sizeof(::FARPROC));
static_assert(sizeof(platform::SIZE_T) == sizeof(::SIZE_T));
static_assert(sizeof(platform::DWORD) == sizeof(::DWORD) && sizeof(platform::LONG) == sizeof(::LONG));

#undef RFLASH_CHECK_FIELD

// The ASPI library exists for 32-bit Windows only and has no SDK header: its records are checked
// against the published layout, field by field.
#if defined(_WIN32) && !defined(_WIN64)
using platform::SRB_ExecSCSICmd;
using platform::SRB_HAInquiry;
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Cmd) == 0);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Status) == 1);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaId) == 2);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Flags) == 3);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Hdr_Rsvd) == 4);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Target) == 8);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Lun) == 9);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd1) == 10);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 20);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_CDBLen) == 21);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 22);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_TargStat) == 23);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 24);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd2) == 28);
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48);
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 64);
static_assert(sizeof(SRB_ExecSCSICmd) == 84);

static_assert(offsetof(SRB_HAInquiry, SRB_Cmd) == 0);
static_assert(offsetof(SRB_HAInquiry, SRB_Status) == 1);
static_assert(offsetof(SRB_HAInquiry, SRB_HaId) == 2);
static_assert(offsetof(SRB_HAInquiry, SRB_Flags) == 3);
static_assert(offsetof(SRB_HAInquiry, SRB_Hdr_Rsvd) == 4);
static_assert(offsetof(SRB_HAInquiry, HA_Count) == 8);
static_assert(offsetof(SRB_HAInquiry, HA_SCSI_ID) == 9);
static_assert(offsetof(SRB_HAInquiry, HA_ManagerId) == 10);
static_assert(offsetof(SRB_HAInquiry, HA_Identifier) == 26);
static_assert(offsetof(SRB_HAInquiry, HA_Unique) == 42);
static_assert(offsetof(SRB_HAInquiry, HA_Rsvd1) == 58);
static_assert(sizeof(SRB_HAInquiry) == 60);
#endif

}  // namespace
