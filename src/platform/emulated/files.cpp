// Ordinary files: the firmware image in the current directory.
#include "platform/emulated/files.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <sys/stat.h>

#include "platform/emulated/handles.h"
#include "platform/emulated/host.h"

namespace emu {
namespace {


struct StoredFile {
    std::string name;  // as added
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
    FileFault fault = FileFault::None;
};

struct RealFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct OpenFile {
    std::string name;
    FileFault fault = FileFault::None;
    // One of the two: a table file (kept alive while open, even if replaced) or a real one.
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
    std::unique_ptr<std::FILE, RealFileCloser> real;
    std::uint64_t position = 0;
    bool shortReadDone = false;
};

struct FilesState {
    std::map<std::string, StoredFile> table;  // by lower-case name
    bool realFiles = false;
    std::map<std::uint32_t, OpenFile> open;
    std::uint32_t nextObject = 1;
    std::vector<FileRead> reads;
    std::vector<std::string> opened;
};

FilesState& state() {
    static FilesState files;
    return files;
}

std::string lowerCase(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

OpenFile* openFileFor(platform::HANDLE handle) {
    auto target = findHandle(handle);
    if (!target || target->kind != HandleKind::File) return nullptr;
    auto found = state().open.find(target->object);
    return found == state().open.end() ? nullptr : &found->second;
}

std::optional<std::uint64_t> sizeOf(OpenFile& file) {
    if (file.bytes) return file.bytes->size();
    struct stat info{};
    if (fstat(fileno(file.real.get()), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

// Copies up to `count` bytes from the file's position into `destination`; returns how many.
platform::DWORD readFrom(OpenFile& file, void* destination, platform::DWORD count) {
    if (file.bytes) {
        const auto& bytes = *file.bytes;
        std::uint64_t available = file.position < bytes.size() ? bytes.size() - file.position : 0;
        auto length = static_cast<platform::DWORD>(std::min<std::uint64_t>(count, available));
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(file.position), length,
                    static_cast<std::uint8_t*>(destination));
        file.position += length;
        return length;
    }
    auto length = static_cast<platform::DWORD>(std::fread(destination, 1, count, file.real.get()));
    file.position += length;
    return length;
}

}  // namespace

void resetFiles() {
    state() = FilesState{};
}

void addFile(const std::string& name, std::vector<std::uint8_t> bytes) {
    state().table[lowerCase(name)] =
        StoredFile{name, std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes)), FileFault::None};
}

void removeFile(const std::string& name) {
    state().table.erase(lowerCase(name));
}

void setFileFault(const std::string& name, FileFault fault) {
    auto found = state().table.find(lowerCase(name));
    if (found != state().table.end()) found->second.fault = fault;
}

void useRealFiles(bool enabled) {
    state().realFiles = enabled;
}

const std::vector<FileRead>& fileReads() {
    return state().reads;
}

const std::vector<std::string>& filesOpened() {
    return state().opened;
}

platform::HANDLE openFile(const char* path, platform::DWORD desiredAccess) {
    FilesState& files = state();
    files.opened.emplace_back(path);
    // The program only ever reads files.
    if ((desiredAccess & platform::GENERIC_WRITE) != 0) {
        setLastError(platform::ERROR_ACCESS_DENIED);
        return platform::INVALID_HANDLE_VALUE;
    }
    OpenFile file;
    file.name = path;
    if (files.realFiles) {
        file.real.reset(std::fopen(path, "rb"));
        if (!file.real) {
            setLastError(platform::ERROR_FILE_NOT_FOUND);
            return platform::INVALID_HANDLE_VALUE;
        }
    } else {
        auto found = files.table.find(lowerCase(path));
        if (found == files.table.end()) {
            setLastError(platform::ERROR_FILE_NOT_FOUND);
            return platform::INVALID_HANDLE_VALUE;
        }
        if (found->second.fault == FileFault::OpenRefused) {
            setLastError(platform::ERROR_ACCESS_DENIED);
            return platform::INVALID_HANDLE_VALUE;
        }
        file.bytes = found->second.bytes;
        file.fault = found->second.fault;
    }
    std::uint32_t object = files.nextObject++;
    files.open.emplace(object, std::move(file));
    return allocateHandle(HandleKind::File, object);
}

void closeFile(std::uint32_t object) {
    state().open.erase(object);
}

}  // namespace emu

namespace platform {

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    emu::OpenFile* file = emu::openFileFor(hFile);
    if (file == nullptr) {
        emu::setLastError(platform::ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    auto size = file->fault == emu::FileFault::SizeFails ? std::nullopt : emu::sizeOf(*file);
    if (!size) {
        emu::setLastError(platform::ERROR_READ_FAULT);
        return INVALID_FILE_SIZE;
    }
    if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(*size >> 32);
    emu::setLastError(0);
    return static_cast<DWORD>(*size);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPVOID /*lpOverlapped*/) {
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    emu::OpenFile* file = emu::openFileFor(hFile);
    if (file == nullptr) {
        emu::setLastError(platform::ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto& reads = emu::state().reads;
    if (file->fault == emu::FileFault::ReadFails) {
        reads.push_back(emu::FileRead{file->name, lpBuffer, nNumberOfBytesToRead, 0});
        emu::setLastError(platform::ERROR_READ_FAULT);
        return FALSE;
    }
    DWORD count = nNumberOfBytesToRead;
    if (file->fault == emu::FileFault::ShortRead) {
        count = file->shortReadDone ? 0 : count / 2;
        file->shortReadDone = true;
    }
    DWORD delivered = emu::readFrom(*file, lpBuffer, count);
    reads.push_back(emu::FileRead{file->name, lpBuffer, nNumberOfBytesToRead, delivered});
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = delivered;
    return TRUE;
}

}  // namespace platform
