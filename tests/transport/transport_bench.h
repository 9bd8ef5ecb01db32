// A bench for transport tests: drives attached on the chosen path, a target list that names
// them, and test-owned memory in place of the shared buffers the host checks would allocate.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "discovery/state.h"
#include "platform/emulated/clock.h"
#include "platform/emulated/devices.h"
#include "platform/emulated/handles.h"
#include "platform/platform.h"
#include "transport/state.h"
#include "transport/transport.h"

namespace transport_test {

enum class Route { PassThrough, Aspi };

inline void PrintTo(Route route, std::ostream* out) {
    *out << (route == Route::PassThrough ? "pass-through" : "ASPI");
}

inline std::string routeName(const ::testing::TestParamInfo<Route>& info) {
    return info.param == Route::PassThrough ? "PassThrough" : "Aspi";
}

// What the discovery code binds by ordinal, forwarding to the emulated library.
inline platform::DWORD sendToEmulatedLibrary(platform::LPVOID request) {
    return emu::executeAspiRequest(static_cast<platform::SRB_ExecSCSICmd*>(request));
}

class Bench : public ::testing::Test {
public:
    void use(Route route) {
        route_ = route;
        rflash::discovery.useAspi = route == Route::Aspi ? 1 : 0;
        rflash::discovery.ieee1394Adapter = -1;
        rflash::discovery.workBuffer = {nullptr, workBuffer_.data(), workBuffer_.size()};
        if (route == Route::Aspi) {
            rflash::discovery.sendAspi32Command = sendToEmulatedLibrary;
            rflash::discovery.aspiRequestBlock = {nullptr, requestBlock_.data(), requestBlock_.size()};
        }
    }

    // A drive on the next letter from D (pass-through) or the next target id on adapter 0 (ASPI),
    // listed as the next target.
    emu::DeviceId addTarget(const emu::DeviceConfig& config = {}) {
        auto index = rflash::discovery.targetCount;
        rflash::TargetEntry& entry = rflash::discovery.targetList[static_cast<std::size_t>(index)];
        emu::DeviceId device;
        if (route_ == Route::PassThrough) {
            entry = {0, 0, static_cast<char>('D' + index)};
            device = emu::attachDrive(entry.driveLetter, config);
        } else {
            entry = {0, index, 0};
            device = emu::attachAspiDrive(0, static_cast<std::uint8_t>(index), config);
        }
        ++rflash::discovery.targetCount;
        return device;
    }

    static rflash::CommandRequest request(std::int32_t target, std::vector<std::uint8_t> cdb,
                                          std::int32_t direction = rflash::DirectionNone,
                                          std::uint8_t* buffer = nullptr, std::int32_t length = 0,
                                          std::int32_t timeoutMs = 60000) {
        rflash::CommandRequest built{};
        built.targetIndex = target;
        built.direction = direction;
        built.cdbLength = static_cast<std::int32_t>(cdb.size());
        built.timeoutMs = timeoutMs;
        built.transferLength = length;
        built.buffer = buffer;
        std::copy(cdb.begin(), cdb.end(), built.cdb.begin());
        return built;
    }

    static std::int32_t run(rflash::CommandRequest built) { return rflash::executeCommand(built); }

    static rflash::SenseData sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
        rflash::SenseData data{};
        data[0] = 0x70;
        data[2] = key;
        data[7] = 10;
        data[12] = asc;
        data[13] = ascq;
        return data;
    }

    static const std::vector<std::uint8_t> kTestUnitReady;
    static const std::vector<std::uint8_t> kInquiry;
    static const std::vector<std::uint8_t> kReadDriveInfo;

    Route route_ = Route::PassThrough;
    std::vector<std::uint8_t> workBuffer_ = std::vector<std::uint8_t>(0x10000, 0);
    std::vector<std::uint8_t> requestBlock_ = std::vector<std::uint8_t>(2 * 1048576, 0);
};

inline const std::vector<std::uint8_t> Bench::kTestUnitReady = {0x00, 0, 0, 0, 0, 0};
inline const std::vector<std::uint8_t> Bench::kInquiry = {0x12, 0, 0, 0, 0x60, 0};
inline const std::vector<std::uint8_t> Bench::kReadDriveInfo = {0x3C, 2, 0xF1, 0, 0, 0, 0, 0, 0x30, 0};

}  // namespace transport_test
