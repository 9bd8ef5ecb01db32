#include "platform/emulated/scenarios.h"

#include "platform/emulated/console.h"
#include "platform/emulated/devices.h"
#include "platform/emulated/files.h"
#include "platform/emulated/firmware_images.h"
#include "platform/emulated/machine.h"
#include "platform/scsi.h"

namespace emu {
namespace {

constexpr platform::UINT kJapaneseCodePage = 932;

// A drive the compiled-in definition updates, running firmware 1.05 of 2009-03-04, empty.
DeviceConfig driveNeedingUpdate() {
    DeviceConfig config;
    config.hardwareRevision = "SAT     ";
    config.revision = "1.05";
    config.dateText = "09/03/04";
    config.medium = MediumState::NoDisc;
    // A few milliseconds per command, a few seconds to store an image: a person sees the
    // progress line move and the whole run stays short.
    config.commandDurationMs = 3;
    config.storeDurationMs = 4000;
    return config;
}

// The image of the definition: 1.07 of 2009-04-01, newer than the drive's firmware.
std::vector<ScenarioFile> defaultImage() {
    return {{kDefaultImageName, buildFirmwareImage()}};
}

std::vector<ScenarioFile> imageWith(void (*change)(ImageRecipe&)) {
    ImageRecipe recipe;
    change(recipe);
    return {{kDefaultImageName, buildFirmwareImage(recipe)}};
}

std::vector<ScenarioFile> noFiles() {
    return {};
}

// Windows XP: SCSI pass-through.
void passThroughMachine() {
    setWindowsVersion(platform::VER_PLATFORM_WIN32_NT, 5, 1);
}

// Windows 98: the ASPI library with one host adapter of the given identifier.
int libraryMachine(std::string_view adapterIdentifier) {
    setWindowsVersion(platform::VER_PLATFORM_WIN32_WINDOWS, 4, 10);
    installAspiLibrary();
    return addAspiAdapter(adapterIdentifier);
}

DeviceId oneDrive(const DeviceConfig& config = driveNeedingUpdate()) {
    passThroughMachine();
    return attachDrive('D', config);
}

void failTestUnitReady(DeviceId drive, Sense sense, unsigned occurrence) {
    injectFault(drive, {.when = {.opcode = scsi::TEST_UNIT_READY, .occurrence = occurrence}, .sense = sense});
}

std::vector<Scenario> makeScenarios() {
    std::vector<Scenario> all;
    all.push_back({"one-drive", "one drive on D: that needs the update (pass-through, Windows XP)", "yes,ok",
                   [] { oneDrive(); }, defaultImage});
    all.push_back({"several-drives", "three drives on D:, E: and F: that need the update", "yes,ok",
                   [] {
                       passThroughMachine();
                       for (char letter : {'D', 'E', 'F'}) attachDrive(letter, driveNeedingUpdate());
                   },
                   defaultImage});
    all.push_back({"fatal-second", "three drives; the second refuses to enter kernel mode", "yes,ok",
                   [] {
                       passThroughMachine();
                       attachDrive('D', driveNeedingUpdate());
                       DeviceId second = attachDrive('E', driveNeedingUpdate());
                       injectFault(second, {.when = {.opcode = scsi::WRITE_BUFFER, .mode = scsi::BUFFER_MODE_DOWNLOAD_ACTIVATE},
                                            .sense = {scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_FIELD_IN_PARAMETER_LIST, 0}});
                       attachDrive('F', driveNeedingUpdate());
                   },
                   defaultImage});
    all.push_back({"disc-turning", "one drive with a disc turning in it that it will not stop", "ok", [] {
                       DeviceConfig config = driveNeedingUpdate();
                       config.medium = MediumState::DiscTurning;
                       DeviceId drive = oneDrive(config);
                       injectFault(drive, {.when = {.opcode = scsi::START_STOP_UNIT},
                                           .sense = {scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_FIELD_IN_CDB, 0}});
                   },
                   defaultImage});
    all.push_back({"disc-stopped", "one drive with a disc turning in it, which the program stops", "yes,ok", [] {
                       DeviceConfig config = driveNeedingUpdate();
                       config.medium = MediumState::DiscTurning;
                       oneDrive(config);
                   },
                   defaultImage});
    all.push_back({"becoming-ready", "one drive spinning a disc up", "", [] {
                       DeviceConfig config = driveNeedingUpdate();
                       config.medium = MediumState::BecomingReady;
                       oneDrive(config);
                   },
                   defaultImage});
    all.push_back({"unit-attention", "one empty drive that reports a unit attention first", "yes,ok", [] {
                       DeviceId drive = oneDrive();
                       failTestUnitReady(drive, {scsi::UNIT_ATTENTION, scsi::ASC_POWER_ON_RESET, 0}, 1);
                   },
                   defaultImage});
    all.push_back({"not-ready-other", "one drive that is not ready for another reason", "", [] {
                       DeviceId drive = oneDrive();
                       failTestUnitReady(drive, {scsi::NOT_READY, scsi::ASC_LOGICAL_UNIT_NOT_READY, 0x07}, 0);
                   },
                   defaultImage});
    all.push_back({"no-normal-firmware", "one drive that holds only its loader (kernel mode)", "yes,ok", [] {
                       DeviceConfig config = driveNeedingUpdate();
                       config.normalVendorCode = "        ";
                       oneDrive(config);
                   },
                   defaultImage});
    all.push_back({"stuck-in-kernel", "one drive that never leaves kernel mode after storing the image",
                   "yes,yes,yes,no,ok", [] {
                       DeviceId drive = oneDrive();
                       injectFault(drive, {.when = {.opcode = scsi::WRITE_BUFFER,
                                                    .mode = scsi::BUFFER_MODE_DOWNLOAD_SAVE_ACTIVATE},
                                           .sense = {scsi::HARDWARE_ERROR, 0x44, 0}});
                   },
                   defaultImage});
    all.push_back({"failing-piece", "one drive that fails the tenth image piece once", "yes,ok,yes,yes,ok", [] {
                       DeviceId drive = oneDrive();
                       injectFault(drive, {.when = {.opcode = scsi::WRITE_BUFFER,
                                                    .mode = scsi::BUFFER_MODE_DOWNLOAD_OFFSETS_SAVE_ACTIVATE,
                                                    .occurrence = 10},
                                           .sense = {scsi::HARDWARE_ERROR, 0x44, 0}});
                   },
                   defaultImage});
    all.push_back({"ieee1394", "Windows 98, ASPI library, one drive behind an IEEE 1394 adapter; the drive's restart "
                               "interrupts the reply to the store command",
                   "yes,ok", [] {
                       int adapter = libraryMachine("NTMAPHLP 1394");
                       DeviceId drive = attachAspiDrive(static_cast<std::uint8_t>(adapter), 0, driveNeedingUpdate());
                       injectFault(drive, {.when = {.opcode = scsi::WRITE_BUFFER,
                                                    .mode = scsi::BUFFER_MODE_DOWNLOAD_SAVE_ACTIVATE},
                                           .effect = FaultEffect::CarriedOutThenCheckCondition,
                                           .sense = {scsi::UNIT_ATTENTION, scsi::ASC_POWER_ON_RESET, 0}});
                   },
                   defaultImage});
    all.push_back({"intel-ide", "Windows 98, ASPI library, one drive behind the Intel IDE driver's adapter; the "
                               "drive answers Inquiry only after its restart",
                   "yes,ok", [] {
                       int adapter = libraryMachine("intelata");
                       DeviceId drive = attachAspiDrive(static_cast<std::uint8_t>(adapter), 0, driveNeedingUpdate());
                       // Inquiries: enumeration, selection, current revision, kernel check, then three
                       // while the drive restarts.
                       for (unsigned occurrence : {5u, 6u, 7u}) {
                           injectFault(drive, {.when = {.opcode = scsi::INQUIRY, .occurrence = occurrence},
                                               .sense = {scsi::UNIT_ATTENTION, scsi::ASC_POWER_ON_RESET, 0}});
                       }
                   },
                   defaultImage});
    all.push_back({"japanese", "one drive on a Japanese PC (code page 932)", "yes,ok", [] {
                       setOemCodePage(kJapaneseCodePage);
                       oneDrive();
                   },
                   defaultImage});
    all.push_back({"image-too-old", "the image is older than the oldest date the program accepts", "ok,ok,ok",
                   [] { oneDrive(); }, [] { return imageWith([](ImageRecipe& s) { s.date = 0x20090303; }); }});
    all.push_back({"image-wrong-edition", "the image's loader edition is not the one the program writes", "ok,ok,ok",
                   [] { oneDrive(); }, [] { return imageWith([](ImageRecipe& s) { s.kernelVendorCode = "KITSET  "; }); }});
    all.push_back({"image-wrong-part", "the image is not a normal-part image", "ok,ok,ok", [] { oneDrive(); },
                   [] { return imageWith([](ImageRecipe& s) { s.partLetter = 'K'; }); }});
    all.push_back({"image-missing", "the current directory holds no image", "ok,ok", [] { oneDrive(); }, noFiles});
    all.push_back({"already-latest", "the drive already runs the image's revision and date", "ok", [] { oneDrive(); },
                   [] {
                       return imageWith([](ImageRecipe& s) {
                           s.revision = "1.05";
                           s.date = 0x20090304;
                       });
                   }});
    all.push_back({"pre-production", "the drive runs a pre-production firmware (0.99)", "ok", [] {
                       DeviceConfig config = driveNeedingUpdate();
                       config.revision = "0.99";
                       oneDrive(config);
                   },
                   defaultImage});
    all.push_back({"hardware-mismatch", "the image is for another hardware revision", "ok", [] { oneDrive(); },
                   [] { return imageWith([](ImageRecipe& s) { s.hardwareRevision = "SAT2    "; }); }});
    all.push_back({"no-drive", "Windows XP without a drive the program updates", "ok", [] {
                       passThroughMachine();
                       DeviceConfig other = driveNeedingUpdate();
                       other.vendor = "OTHERCO ";
                       attachDrive('D', other);
                   },
                   defaultImage});
    return all;
}

}  // namespace

const std::vector<Scenario>& scenarios() {
    static const std::vector<Scenario> all = makeScenarios();
    return all;
}

const Scenario* findScenario(std::string_view name) {
    for (const Scenario& scenario : scenarios()) {
        if (scenario.name == name) return &scenario;
    }
    return nullptr;
}

void setUpScenario(const Scenario& scenario) {
    scenario.setUpMachine();
    for (ScenarioFile& file : scenario.files()) addFile(file.name, std::move(file.bytes));
}

}  // namespace emu
