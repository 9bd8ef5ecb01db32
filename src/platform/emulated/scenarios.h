// Named emulated PCs: the machines the whole-run scenario tests and the rflash-emu demo run the
// program on. Each one sets up a fresh machine (operating system, host drivers, drives, code
// page) and says which files its current directory holds.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace emu {

struct ScenarioFile {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

struct Scenario {
    std::string name;
    std::string summary;
    // The answers that take the run down its intended road, in the form rflash-emu's --answers
    // takes them; empty when no question is asked.
    std::string answers;
    std::function<void()> setUpMachine;             // on a machine fresh from emu::reset()
    std::function<std::vector<ScenarioFile>()> files;  // the current directory's files
};

// Every named machine; the first is the default one (one drive that needs the update).
const std::vector<Scenario>& scenarios();
// The scenario of that name, or nullptr.
const Scenario* findScenario(std::string_view name);

// Sets up the scenario's machine and puts its files into the emulated current directory.
void setUpScenario(const Scenario& scenario);

}  // namespace emu
