// Ordinary files of the emulated PC: the current directory the program reads its firmware image
// from. Files live in an in-memory table that tests fill by name; the demo can instead let the
// program read the real current directory. Files are read-only: the program writes none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace emu {

// Puts a file into the emulated current directory, replacing one of the same name. Names are
// matched without regard to letter case, as the program's platform does.
void addFile(const std::string& name, std::vector<std::uint8_t> bytes);
void removeFile(const std::string& name);

// Faults a file can show when the program touches it.
enum class FileFault {
    None,
    OpenRefused,   // CreateFileA fails (access denied)
    SizeFails,     // GetFileSize returns INVALID_FILE_SIZE
    ReadFails,     // ReadFile returns FALSE
    ShortRead,     // ReadFile delivers half of what was asked, then nothing more
};
void setFileFault(const std::string& name, FileFault fault);

// true: names are opened in the real current directory (the table is not consulted).
void useRealFiles(bool enabled);

// One ReadFile call as the program made it: where the bytes went and how many arrived.
struct FileRead {
    std::string name;
    const void* destination;
    platform::DWORD requested;
    platform::DWORD delivered;
};
const std::vector<FileRead>& fileReads();
// Every name the program tried to open, found or not.
const std::vector<std::string>& filesOpened();

}  // namespace emu
