#include "instrument/device_startup.h"

#include <cmath>
#include <cstdio>

#include "instrument/store_layout.h"

namespace orvik {
namespace {

std::string Describe(const char* format, double value) {
    char text[160];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// An end-of-cable index outside 201..5000 would move the processing and the
// trace outside their arrays.
std::optional<int> AcceptEndOfCable(double stored, const char* mode,
                                    std::vector<std::string>& notes) {
    if (std::isfinite(stored) && stored >= kMinEndOfCable && stored < kMaxEndOfCable + 1.0) {
        return static_cast<int>(stored);
    }
    notes.push_back(Describe((std::string("Stored ") + mode +
                              " end-of-cable index %g is outside 201..5000; the built-in index "
                              "stays.")
                                 .c_str(),
                             stored));
    return std::nullopt;
}

std::optional<double> AcceptDivisor(double stored, const char* mode,
                                    std::vector<std::string>& notes) {
    if (std::isfinite(stored) && stored != 0.0) {
        return stored;
    }
    notes.push_back(Describe(
        (std::string("Stored ") + mode + " divisor %g is unusable; the built-in divisor stays.")
            .c_str(),
        stored));
    return std::nullopt;
}

std::optional<double> AcceptConstant(double stored, const char* mode,
                                     std::vector<std::string>& notes) {
    if (std::isfinite(stored)) {
        return stored;
    }
    notes.push_back(Describe((std::string("Stored ") + mode +
                              " calibration constant %g is unusable; the built-in constant stays.")
                                 .c_str(),
                             stored));
    return std::nullopt;
}

std::string Unreadable(int page) {
    return "Store page " + std::to_string(page) +
           " could not be read; the values it holds keep their built-in settings.";
}

std::optional<std::vector<double>> AcceptKernel(const StoredKernelRead& read, const char* mode,
                                                std::vector<std::string>& notes) {
    if (!read.marked) {
        // No kernel stored: the built-in kernel applies.
        if (!read.allPagesRead) {
            notes.push_back(std::string("Store page ") + std::to_string(read.pagesRead.front()) +
                            " could not be read; the built-in " + mode + " kernel stays.");
        }
        return std::nullopt;
    }
    const std::string prefix = std::string("Stored ") + mode + " kernel ";
    if (!std::isfinite(read.storedCount) || read.storedCount < kMinKernelCount ||
        read.storedCount >= kMaxKernelCount + 1.0) {
        notes.push_back(Describe((prefix + "has %g values, outside 50..350; the built-in kernel "
                                           "stays.")
                                     .c_str(),
                                 read.storedCount));
        return std::nullopt;
    }
    if (!read.allPagesRead) {
        notes.push_back(prefix + "could not be read whole; the built-in kernel stays.");
        return std::nullopt;
    }
    for (const double value : read.values) {
        if (!std::isfinite(value)) {
            notes.push_back(prefix +
                            "holds values that are not numbers; the built-in kernel "
                            "stays.");
            return std::nullopt;
        }
    }
    return read.values;
}

void ReadCalibrationPages(InstrumentLink& link, StoredCalibration& stored) {
    auto& notes = stored.notes;
    StorePage page{};  // a failed read leaves the magic at 0
    if (!link.ReadPage(store_page::kEndOfCable, page)) {
        notes.push_back(Unreadable(store_page::kEndOfCable));
    }
    if (PageDouble(page, 0) != kCalibratedStoreMagic) {
        return;
    }
    stored.calibrated = true;
    stored.singleEnded.endOfCable = AcceptEndOfCable(PageDouble(page, 1), "single-ended", notes);
    stored.differential.endOfCable = AcceptEndOfCable(PageDouble(page, 2), "differential", notes);

    // A page that does not come back leaves the buffer holding the previous
    // page, whose numbers mean something else: take nothing from it.
    if (link.ReadPage(store_page::kDivisors, page)) {
        stored.singleEnded.divisor = AcceptDivisor(PageDouble(page, 0), "single-ended", notes);
        stored.differential.divisor = AcceptDivisor(PageDouble(page, 1), "differential", notes);
        stored.singleEnded.calibrationConstant =
            AcceptConstant(PageDouble(page, 2), "single-ended", notes);
    } else {
        notes.push_back(Unreadable(store_page::kDivisors));
    }
    if (link.ReadPage(store_page::kDifferentialConstant, page)) {
        stored.differential.calibrationConstant =
            AcceptConstant(PageDouble(page, 0), "differential", notes);
    } else {
        notes.push_back(Unreadable(store_page::kDifferentialConstant));
    }
    if (link.ReadPage(store_page::kLastOperator, page)) {
        stored.lastOperator = PageText(page);
    } else {
        notes.push_back(Unreadable(store_page::kLastOperator));
    }
    if (link.ReadPage(store_page::kLastDate, page)) {
        stored.lastDate = PageText(page);
    } else {
        notes.push_back(Unreadable(store_page::kLastDate));
    }
}

void CloseQuietly(CUsbDevice& device) {
    try {
        device.Close();
    } catch (const UsbError&) {
        // The model is released even when the driver refuses the close.
    }
}

}  // namespace

StoredCalibration ReadStoredCalibration(InstrumentLink& link) {
    StoredCalibration stored;
    ReadCalibrationPages(link, stored);
    const PageReader reader = [&](std::uint8_t page, StorePage& buffer) {
        return link.ReadPage(page, buffer);
    };
    stored.singleEnded.kernel = AcceptKernel(
        ReadKernelPages(reader, store_page::kSingleEndedKernel), "single-ended", stored.notes);
    stored.differential.kernel = AcceptKernel(
        ReadKernelPages(reader, store_page::kDifferentialKernel), "differential", stored.notes);
    return stored;
}

namespace {

void ReportUsbError(const UsbError& error, CUsbDevice& device, OperatorPrompts& prompts,
                    StartUpFindings& findings) {
    // The operator sees the USB layer's text; the step it interrupted is
    // abandoned.
    if (!findings.usbError) {
        findings.usbError = error.what();
    }
    CloseQuietly(device);
    prompts.Message(error.what(), "", PromptIcon::Error);
}

bool ProgramRuns(CUsbDevice& device) {
    try {
        const bool runs = device.Open(0) && device.ReleaseNumber() == kRunningReleaseNumber;
        device.Close();
        return runs;
    } catch (const UsbError&) {
        CloseQuietly(device);
        return false;
    }
}

void LoadImages(CUsbDevice& device, Clock& clock, OperatorPrompts& prompts,
                const StartUpOptions& options, StartUpFindings& findings) {
    // The load under way when the USB layer gives up.
    std::optional<ImageLoadOutcome>* loading = &findings.programImage;
    try {
        findings.programImage = LoadProgramImage(device, options.imageFolder);
        if (findings.programImage == ImageLoadOutcome::WrongImage) {
            // Nor does the FPGA image that lies beside it go anywhere.
            findings.imageFailure =
                ImageFailure{options.imageFolder / kProgramImageFile, *findings.programImage};
            return;
        }
        loading = &findings.fpgaImage;
        findings.fpgaImage = LoadFpgaImage(device, clock, options.imageFolder, options.progress);
    } catch (const UsbError& error) {
        *loading = ImageLoadOutcome::UsbFailure;
        ReportUsbError(error, device, prompts, findings);
    }
    if (findings.programImage == ImageLoadOutcome::Loaded &&
        findings.fpgaImage != ImageLoadOutcome::Loaded && !ProgramRuns(device)) {
        // The program requests are not checked, but an instrument whose new
        // program runs reports the running release: without it the FPGA
        // load could not work, and the program image is to blame.
        findings.programImage = ImageLoadOutcome::NotTaken;
    }
    const std::pair<const std::optional<ImageLoadOutcome>&, const char*> images[] = {
        {findings.programImage, kProgramImageFile}, {findings.fpgaImage, kFpgaImageFile}};
    for (const auto& [outcome, file] : images) {
        if (outcome && *outcome != ImageLoadOutcome::Loaded) {
            findings.imageFailure = ImageFailure{options.imageFolder / file, *outcome};
            return;
        }
    }
}

}  // namespace

std::string ImageFailureText(const StartUpFindings& findings) {
    if (!findings.imageFailure) {
        return "";
    }
    if (findings.imageFailure->outcome == ImageLoadOutcome::WrongImage) {
        return findings.imageFailure->file.string() +
               " is the simulated MV300's image, not an instrument's: it was not loaded.\nThe "
               "MV300 is not ready: tests cannot be run until the program is started again with "
               "the instrument's own image files in place.";
    }
    return "The instrument image " + findings.imageFailure->file.string() + " did not load (" +
           ImageLoadOutcomeText(findings.imageFailure->outcome) +
           ").\nThe MV300 is not ready: tests cannot be run until the program is started "
           "again with its image files in place.";
}

std::string RunTestNotReadyText(const StartUpFindings& findings) {
    if (!findings.imageFailure) {
        return "";
    }
    return "The instrument image " + findings.imageFailure->file.filename().string() +
           " did not load at start-up (" + ImageLoadOutcomeText(findings.imageFailure->outcome) +
           "): tests cannot be run.";
}

std::string InstrumentStatusText(const StartUpFindings& findings) {
    if (!findings.instrumentFound) {
        return findings.unavailable.empty() ? "No MV300 found" : findings.unavailable;
    }
    if (findings.imageFailure) {
        return "MV300 not ready - " + findings.imageFailure->file.filename().string() +
               " did not load (" + ImageLoadOutcomeText(findings.imageFailure->outcome) + ")";
    }
    return "MV300 ready";
}

StartUpFindings RunDeviceStartUp(CUsbDevice& device, CTriggerPort& trigger, Clock& clock,
                                 OperatorPrompts& prompts, const StartUpOptions& options) {
    std::vector<std::string> paths;
    const int triggerDevices = trigger.FindTriggerDevices(paths);
    const bool triggerOpened =
        triggerDevices > 0 && !paths.empty() && trigger.OpenTrigger(paths[0]);
    StartUpFindings findings = BringUpInstrument(device, clock, prompts, options);
    findings.triggerDevicesFound = triggerDevices;
    findings.triggerOpened = triggerOpened;
    findings.characterizeMode = options.commandLine.find("Characterize") != std::string::npos;
    return findings;
}

StartUpFindings BringUpInstrument(CUsbDevice& device, Clock& clock, OperatorPrompts& prompts,
                                  const StartUpOptions& options) {
    StartUpFindings findings;
    try {
        if (!device.Open(0)) {
            findings.unavailable = device.OpenProblem();
            return findings;
        }
    } catch (const UsbError& error) {
        ReportUsbError(error, device, prompts, findings);
        return findings;
    }
    findings.instrumentFound = true;
    findings.releaseNumber = device.ReleaseNumber();
    findings.serialNumber = device.SerialNumber();
    if (findings.releaseNumber != kRunningReleaseNumber || options.reloadImages) {
        LoadImages(device, clock, prompts, options, findings);
    }
    try {
        InstrumentLink link(device, clock, 0);
        findings.stored = ReadStoredCalibration(link);
        device.Close();
    } catch (const UsbError& error) {
        // The built-in values stay.
        findings.stored = StoredCalibration{};
        ReportUsbError(error, device, prompts, findings);
    }
    return findings;
}

}  // namespace orvik
