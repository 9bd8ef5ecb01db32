// A test ASPI library, WNASPI32.DLL, for running the real rflash.exe under Wine on the library
// path. It behaves as the real library does towards the program: GetASPI32SupportInfo and host
// adapter inquiries answer at once; an SC_EXEC_SCSI_CMD returns SS_PENDING, is carried out on
// the library's own thread (by the emulated drive model) and completes by writing the record and
// then setting the request's event. The scenario comes from RFLASH_ASPI_SCENARIO.
//
// Without a display the program's questions cannot be answered, so on loading the library
// replaces the program's MessageBoxA import with a box that answers from RFLASH_ASPI_ANSWERS
// ("6,6": Yes, Yes; 0 once they run out) and records each box.
//
// Files written in the current directory: the scenario's firmware image (when the scenario
// starts), and aspi-boxes.txt, aspi-requests.txt, aspi-trace.txt, aspi-drives.txt and
// aspi-library.txt for the checks.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "scenario.h"
#include "world.h"

// The library's entry points (exported by ordinal, see wnaspi32.def) and its DllMain.
extern "C" DWORD __cdecl GetASPI32SupportInfo();
extern "C" DWORD __cdecl SendASPI32Command(LPVOID record);
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID);

namespace {

CRITICAL_SECTION worldLock;  // one call into the emulated world at a time
CRITICAL_SECTION queueLock;
std::deque<void*> queue;     // requests waiting for the library's thread
HANDLE queued = nullptr;     // semaphore: one count per queued request
HANDLE worker = nullptr;
bool worldStarted = false;
std::vector<int> answers;
std::size_t answersGiven = 0;

void writeFile(const char* name, const std::string& text, const char* mode) {
    if (std::FILE* file = std::fopen(name, mode)) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}

// Called with worldLock held.
void startWorld() {
    if (worldStarted) return;
    worldStarted = true;
    const char* scenario = std::getenv("RFLASH_ASPI_SCENARIO");
    bool started = aspi_world::start(scenario != nullptr ? scenario : "");
    // The image file the scenario's drive takes, where the program looks for it.
    if (started) {
        std::vector<std::uint8_t> image = aspi_test::imageBytes();
        writeFile(aspi_test::imageFileName(), std::string(image.begin(), image.end()), "wb");
    }
    writeFile("aspi-library.txt",
              std::string("scenario ") + (scenario != nullptr ? scenario : "(none)") +
                  (started ? " started\n" : " unknown\n"),
              "ab");
}

DWORD WINAPI serveRequests(LPVOID) {
    for (;;) {
        WaitForSingleObject(queued, INFINITE);
        EnterCriticalSection(&queueLock);
        void* record = queue.front();
        queue.pop_front();
        LeaveCriticalSection(&queueLock);

        EnterCriticalSection(&worldLock);
        std::string request = aspi_world::describeRequest(record);
        aspi_world::Completion completion = aspi_world::execute(record);
        writeFile("aspi-requests.txt", request, "ab");
        writeFile("aspi-trace.txt", aspi_test::traceText(), "wb");
        writeFile("aspi-drives.txt", aspi_world::drivesText(), "wb");
        LeaveCriticalSection(&worldLock);

        aspi_world::publishStatus(record, completion.status);
        if (completion.event != nullptr) SetEvent(completion.event);
    }
}

int WINAPI scriptedMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    int answer = answersGiven < answers.size() ? answers[answersGiven++] : 0;
    writeFile("aspi-boxes.txt", aspi_test::boxLine(type, answer, caption, text), "ab");
    return answer;
}

// Points the module's import of `function` from `dll` at `replacement`.
bool replaceImport(HMODULE module, const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return false;
    for (auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + descriptor->Name), dll) != 0) continue;
        if (descriptor->OriginalFirstThunk == 0) return false;  // no names left to find it by
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            DWORD protection = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection)) {
                return false;
            }
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" DWORD __cdecl GetASPI32SupportInfo() {
    EnterCriticalSection(&worldLock);
    startWorld();
    DWORD info = aspi_world::supportInfo();
    LeaveCriticalSection(&worldLock);
    return info;
}

extern "C" DWORD __cdecl SendASPI32Command(LPVOID record) {
    if (record == nullptr) return 0;
    EnterCriticalSection(&worldLock);
    startWorld();
    bool later = aspi_world::completesLater(record);
    DWORD result = later ? 0 : aspi_world::sendAtOnce(record);
    if (later) aspi_world::markPending(record);
    LeaveCriticalSection(&worldLock);
    if (!later) return result;

    EnterCriticalSection(&queueLock);
    queue.push_back(record);
    if (worker == nullptr) worker = CreateThread(nullptr, 0, serveRequests, nullptr, 0, nullptr);
    LeaveCriticalSection(&queueLock);
    ReleaseSemaphore(queued, 1, nullptr);
    return 0;  // SS_PENDING
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    DisableThreadLibraryCalls(instance);
    InitializeCriticalSection(&worldLock);
    InitializeCriticalSection(&queueLock);
    queued = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
    answers = aspi_test::parseAnswers(std::getenv("RFLASH_ASPI_ANSWERS"));
    bool replaced = replaceImport(GetModuleHandleA(nullptr), "USER32.dll", "MessageBoxA",
                                  reinterpret_cast<void*>(&scriptedMessageBox));
    writeFile("aspi-library.txt", replaced ? "MessageBoxA replaced\n" : "MessageBoxA not replaced\n", "ab");
    return queued != nullptr;
}
