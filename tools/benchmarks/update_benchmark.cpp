// How long the program itself takes for a whole update and for one command, on the emulated
// host in virtual time (the pauses and the drive's own time cost no real time there).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "discovery/enumeration.h"
#include "discovery/host_environment.h"
#include "discovery/state.h"
#include "driver/definitions.h"
#include "driver/program.h"
#include "driver/state.h"
#include "platform/emulated/clock.h"
#include "platform/emulated/console.h"
#include "platform/emulated/devices.h"
#include "platform/emulated/files.h"
#include "platform/emulated/machine.h"
#include "platform/emulated/scenarios.h"
#include "platform/scsi.h"
#include "support/fresh_state.h"
#include "transport/transport.h"
#include "update/update_procedure.h"

namespace {

constexpr std::int32_t kPieceLength = 0x8000;

// The one-drive machine with its image, fresh for every run.
void setUpOneDrive(const emu::Scenario& scenario, const std::vector<emu::ScenarioFile>& files) {
    rflash_test::resetEverything();
    scenario.setUpMachine();
    for (const emu::ScenarioFile& file : files) emu::addFile(file.name, file.bytes);
    emu::scriptAnswers({platform::IDYES});
}

// The whole program: start-up, host checks, enumeration, the update of one drive with a 2 MiB
// image, the summary and the release.
void WholeRunOfOneDrive(benchmark::State& state) {
    const emu::Scenario& scenario = *emu::findScenario("one-drive");
    const std::vector<emu::ScenarioFile> files = scenario.files();
    std::uint64_t virtualMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        setUpOneDrive(scenario, files);
        state.ResumeTiming();
        int exitCode = rflash::runMainSequence();
        benchmark::DoNotOptimize(exitCode);
        state.PauseTiming();
        virtualMs = emu::elapsedMs();
        if (exitCode != 0 || emu::drive(0).restarts() != 1) state.SkipWithError("the update did not succeed");
        state.ResumeTiming();
    }
    state.counters["virtual_s"] = static_cast<double>(virtualMs) / 1000.0;
}
BENCHMARK(WholeRunOfOneDrive)->Unit(benchmark::kMillisecond);

// updateDrive alone, for the drive found by the program's own start-up.
void UpdateDriveAlone(benchmark::State& state) {
    const emu::Scenario& scenario = *emu::findScenario("one-drive");
    const std::vector<emu::ScenarioFile> files = scenario.files();
    for (auto _ : state) {
        state.PauseTiming();
        setUpOneDrive(scenario, files);
        rflash::setUpDefinitions();
        rflash::checkHostEnvironment();
        rflash::enumerateDrives();
        rflash::program.currentTarget = 0;
        rflash::program.updateAllDrives = 0;
        state.ResumeTiming();
        std::int32_t result = rflash::updateDrive();
        benchmark::DoNotOptimize(result);
        state.PauseTiming();
        if (result != rflash::kDriveUpdated) state.SkipWithError("the update did not succeed");
        rflash::finalRelease();
        state.ResumeTiming();
    }
}
BENCHMARK(UpdateDriveAlone)->Unit(benchmark::kMillisecond);

enum class Route { PassThrough, AspiEvent, AspiPolled };

// One drive in kernel mode, reached by the route, found by the program's start-up.
void setUpRoute(Route route) {
    rflash_test::resetEverything();
    emu::DeviceConfig config;
    config.hardwareRevision = "SAT     ";
    config.startsInKernelMode = true;
    if (route == Route::PassThrough) {
        emu::setWindowsVersion(platform::VER_PLATFORM_WIN32_NT, 5, 1);
        emu::attachDrive('D', config);
    } else {
        emu::setWindowsVersion(platform::VER_PLATFORM_WIN32_WINDOWS, 4, 10);
        emu::installAspiLibrary();
        int adapter = emu::addAspiAdapter(route == Route::AspiPolled ? "NTMAPHLP" : "ATAPI");
        emu::attachAspiDrive(static_cast<std::uint8_t>(adapter), 0, config);
    }
    rflash::setUpDefinitions();
    rflash::checkHostEnvironment();
    rflash::enumerateDrives();
    rflash::program.currentTarget = 0;
}

rflash::CommandRequest pieceRequest() {
    rflash::CommandRequest request{};
    request.targetIndex = 0;
    request.direction = rflash::DirectionOut;
    request.cdbLength = 10;
    request.timeoutMs = 60000;
    request.transferLength = kPieceLength;
    request.buffer = rflash::discovery.imageBuffer.data;
    request.cdb = {scsi::WRITE_BUFFER, scsi::BUFFER_MODE_DOWNLOAD_OFFSETS_SAVE_ACTIVATE, 0xF0, 0, 0, 0, 0, 0x80, 0x00, 0};
    return request;
}

rflash::CommandRequest inquiryRequest() {
    rflash::CommandRequest request{};
    request.targetIndex = 0;
    request.direction = rflash::DirectionIn;
    request.cdbLength = 6;
    request.timeoutMs = 5000;
    request.transferLength = 96;
    request.buffer = rflash::discovery.workBuffer.data;
    request.cdb = {scsi::INQUIRY, 0, 0, 0, 96, 0};
    return request;
}

void ExecuteCommand(benchmark::State& state, Route route, rflash::CommandRequest (*build)()) {
    setUpRoute(route);
    rflash::CommandRequest request = build();
    std::uint64_t startMs = emu::elapsedMs();
    for (auto _ : state) {
        rflash::CommandRequest sent = request;
        std::int32_t status = rflash::executeCommand(sent);
        benchmark::DoNotOptimize(status);
        if (status != 0) {
            state.SkipWithError("the command failed");
            break;
        }
    }
    state.counters["virtual_ms_per_command"] =
        static_cast<double>(emu::elapsedMs() - startMs) / static_cast<double>(state.iterations());
    rflash::finalRelease();
}
BENCHMARK_CAPTURE(ExecuteCommand, PassThroughPiece, Route::PassThrough, pieceRequest)->Unit(benchmark::kMicrosecond)->Iterations(20000);
BENCHMARK_CAPTURE(ExecuteCommand, PassThroughInquiry, Route::PassThrough, inquiryRequest)->Unit(benchmark::kMicrosecond)->Iterations(20000);
BENCHMARK_CAPTURE(ExecuteCommand, AspiEventPiece, Route::AspiEvent, pieceRequest)->Unit(benchmark::kMicrosecond)->Iterations(20000);
BENCHMARK_CAPTURE(ExecuteCommand, AspiEventInquiry, Route::AspiEvent, inquiryRequest)->Unit(benchmark::kMicrosecond)->Iterations(20000);
BENCHMARK_CAPTURE(ExecuteCommand, AspiPolledPiece, Route::AspiPolled, pieceRequest)->Unit(benchmark::kMicrosecond)->Iterations(20000);

}  // namespace

BENCHMARK_MAIN();
