#include "platform/emulated/handles.h"

#include <cstring>
#include <map>

#include "platform/emulated/host.h"

namespace emu {
namespace {

struct HandleTable {
    std::map<std::uintptr_t, HandleTarget> open;
    std::uintptr_t next = 0x1000;
    platform::DWORD lastError = 0;
};

HandleTable& table() {
    static HandleTable handles;
    return handles;
}

bool isDevicePath(const char* path) {
    return std::strncmp(path, "\\\\.\\", 4) == 0;
}

}  // namespace

platform::HANDLE allocateHandle(HandleKind kind, std::uint32_t object) {
    HandleTable& handles = table();
    std::uintptr_t value = handles.next;
    handles.next += 4;
    handles.open.emplace(value, HandleTarget{kind, object});
    return reinterpret_cast<platform::HANDLE>(value);
}

bool adoptHandle(platform::HANDLE value, HandleKind kind, std::uint32_t object) {
    return table().open.emplace(reinterpret_cast<std::uintptr_t>(value), HandleTarget{kind, object}).second;
}

std::optional<HandleTarget> findHandle(platform::HANDLE handle) {
    auto& open = table().open;
    auto found = open.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == open.end()) return std::nullopt;
    return found->second;
}

void forgetHandle(platform::HANDLE handle) {
    table().open.erase(reinterpret_cast<std::uintptr_t>(handle));
}

int openHandleCount(HandleKind kind) {
    int count = 0;
    for (const auto& [value, target] : table().open) count += target.kind == kind ? 1 : 0;
    return count;
}

void setLastError(platform::DWORD error) {
    table().lastError = error;
}

void resetHandles() {
    table() = HandleTable{};
}

}  // namespace emu

namespace platform {


HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                   LPVOID /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/) {
    if (lpFileName == nullptr || dwCreationDisposition != OPEN_EXISTING) {
        emu::setLastError(platform::ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return emu::isDevicePath(lpFileName) ? emu::openDevice(lpFileName, dwDesiredAccess)
                                         : emu::openFile(lpFileName, dwDesiredAccess);
}

BOOL CloseHandle(HANDLE hObject) {
    auto target = emu::findHandle(hObject);
    if (!target) {
        emu::setLastError(platform::ERROR_INVALID_HANDLE);
        return FALSE;
    }
    emu::forgetHandle(hObject);
    switch (target->kind) {
        case emu::HandleKind::Device: emu::closeDevice(target->object); break;
        case emu::HandleKind::Event: emu::closeEvent(target->object); break;
        case emu::HandleKind::File: emu::closeFile(target->object); break;
    }
    return TRUE;
}

DWORD GetLastError() {
    return emu::table().lastError;
}

}  // namespace platform
