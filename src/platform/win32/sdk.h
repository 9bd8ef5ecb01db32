// Plain-typed gateways to the Windows API.
//
// <windows.h> defines macros (INVALID_HANDLE_VALUE, WAIT_TIMEOUT, TRUE, IDOK, ...) that collide
// with the names of platform.h, and types (DWORD is unsigned long there) that differ from its
// fixed-width ones. So only sdk.cpp and layout.cpp include it; backend.cpp implements platform.h
// on top of these functions, which take and return nothing but plain types.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win32sdk {

using Handle = void*;
using Procedure = std::intptr_t (*)();

Handle createFile(const char* name, std::uint32_t desiredAccess, std::uint32_t shareMode,
                  void* securityAttributes, std::uint32_t creationDisposition,
                  std::uint32_t flagsAndAttributes, Handle templateFile);
std::int32_t closeHandle(Handle handle);
std::uint32_t getFileSize(Handle file, std::uint32_t* sizeHigh);
std::int32_t readFile(Handle file, void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead,
                      void* overlapped);
std::int32_t deviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                             std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                             std::uint32_t* bytesReturned, void* overlapped);
std::uint32_t getLastError();

std::int32_t messageBox(void* owner, const char* text, const char* caption, std::uint32_t type);
std::uint32_t getOemCodePage();

std::uint32_t timeBeginPeriod(std::uint32_t period);
std::uint32_t timeEndPeriod(std::uint32_t period);
std::uint32_t timeGetTime();

// `info` is a platform::OSVERSIONINFOA, whose layout layout.cpp checks against the SDK's.
std::int32_t getVersion(void* info);

std::int32_t regOpenKey(void* key, const char* subKey, std::uint32_t options, std::uint32_t access,
                        void** result);
std::int32_t regCloseKey(void* key);

void* globalAlloc(std::uint32_t flags, std::size_t bytes);
void* globalLock(void* memory);
std::int32_t globalUnlock(void* memory);
void* globalFree(void* memory);

void* loadLibrary(const char* fileName);
Procedure getProcAddress(void* module, const char* name);

Handle createEvent(void* securityAttributes, std::int32_t manualReset, std::int32_t initialState,
                   const char* name);
std::uint32_t waitForSingleObject(Handle handle, std::uint32_t milliseconds);
void sleep(std::uint32_t milliseconds);

}  // namespace win32sdk
