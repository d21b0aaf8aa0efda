#include "instrument/acquisition.h"

#include <algorithm>
#include <string>

#include "instrument/device_startup.h"

namespace orvik {
namespace {

// Bit 2 of the front-end and arming values switches to the differential cables.
constexpr std::uint16_t kDifferentialBit = 4;

constexpr const char* kLogSource = "instrument";

void CloseQuietly(CUsbDevice& device, DiagnosticLog& log) {
    try {
        device.Close();
    } catch (const UsbError& error) {
        // The model is released even when the driver refuses the close.
        log.Warning(kLogSource, std::string("The instrument's close was refused: ") + error.what());
    }
}

}  // namespace

std::array<RegisterStep, 5> AcquisitionRegisterSteps(MeasurementMode mode) {
    const std::uint16_t bit = IsDifferential(mode) ? kDifferentialBit : 0;
    return {{{0x0000, 0},
             {0x0000, 0},
             {0x0023, 0},
             {static_cast<std::uint16_t>(0x8241 | bit), Acquisition::kFrontEndSettleMs},
             {static_cast<std::uint16_t>(0x0082 | bit), Acquisition::kArmingSettleMs}}};
}

void Acquisition::TakeRecord(MeasurementMode mode, AcquisitionOutcome& outcome) {
    Clock& clock = link_.GetClock();
    for (const RegisterStep& step : AcquisitionRegisterSteps(mode)) {
        link_.RegisterWrite(step.value);  // the replies are not examined
        if (step.pauseAfterMs > 0) {
            clock.SleepMs(step.pauseAfterMs);
        }
    }
    // A block that brings nothing leaves its place to the next one, so the
    // samples received always lie at the front of the record.
    std::size_t position = 0;
    bool inPlace = true;
    for (int block = 0; block < kBlocksPerAcquisition; ++block) {
        const std::vector<std::int16_t> samples = link_.AcquireBlock();
        const std::size_t room = static_cast<std::size_t>(kRecordSampleCount) - position;
        const std::size_t count = std::min(samples.size(), room);
        if (count > 0) {
            std::copy_n(samples.begin(), count, buffers_.Raw.begin() + position);
            position += count;
            ++outcome.blocksReceived;
        }
        if (inPlace) {
            outcome.samplesInPlace = static_cast<int>(position);
            inPlace = samples.size() == kSamplesPerBlock;
        }
        if (samples.size() != kSamplesPerBlock) {
            log_->Warning(kLogSource, "Sample block " + std::to_string(block + 1) + " of " +
                                          std::to_string(kBlocksPerAcquisition) + " brought " +
                                          std::to_string(samples.size()) + " samples");
        }
    }
    outcome.samplesReceived = static_cast<int>(position);
}

// Opens the instrument for the record; false (the operator told, live mode
// to stop) when it cannot be had.
bool Acquisition::OpenInstrument(AcquisitionOutcome& outcome) {
    CUsbDevice& device = link_.Device();
    bool opened = device.Open(link_.DeviceIndex());
    // A descriptor that did not come (the device left meanwhile) says nothing.
    const bool described = device.DeviceDescriptor()[0] != 0;
    const bool programLost = described && device.ReleaseNumber() != kRunningReleaseNumber;
    // A restart that failed half-way may leave the program running without
    // the FPGA image, which the release number cannot tell: it is tried again.
    if (opened && restart_ && (programLost || restartFailed_)) {
        log_->Warning(kLogSource, "The instrument no longer runs its program: starting it again");
        device.Close();
        restartFailed_ = !restart_();
        if (restartFailed_) {
            outcome.stopLiveMode = true;
            return false;
        }
        opened = device.Open(link_.DeviceIndex());
    }
    if (!opened) {
        outcome.stopLiveMode = true;
        const std::string problem = device.OpenProblem();
        log_->Warning(kLogSource, "Acquisition: the instrument could not be opened" +
                                      (problem.empty() ? std::string() : ": " + problem));
        prompts_.Message(problem.empty() ? kDeviceNotFoundText : problem, kDeviceNotFoundCaption);
        return false;
    }
    outcome.deviceOpened = true;
    return true;
}

AcquisitionOutcome Acquisition::Acquire(MeasurementMode mode, Derivative derivative) {
    AcquisitionOutcome outcome;
    if (notReady_) {
        outcome.instrumentNotReady = true;
        outcome.stopLiveMode = true;
        log_->Warning(kLogSource, "Acquisition refused: " + *notReady_);
        prompts_.Message(*notReady_, notReadyCaption_, PromptIcon::Error);
        return outcome;
    }
    CUsbDevice& device = link_.Device();
    try {
        if (!OpenInstrument(outcome)) {
            return outcome;
        }
        buffers_.ClearForAcquisition();
        TakeRecord(mode, outcome);
        device.Close();
    } catch (const UsbError& error) {
        // The USB layer gave up on the instrument: the operator sees its
        // text and the acquisition is abandoned unprocessed, so that no
        // result is made from a record cut off at an unknown point.
        CloseQuietly(device, *log_);
        log_->Error(kLogSource,
                    std::string("Acquisition abandoned after a USB error: ") + error.what());
        outcome.usbError = error.what();
        outcome.stopLiveMode = true;
        prompts_.Message(error.what(), "", PromptIcon::Error);
        return outcome;
    }
    ProcessRecord(buffers_, calibration_, kernels_, mode, kProcessedSampleCount, derivative,
                  dumpPath_);
    outcome.processed = true;
    // Every live-mode tick passes here: the text is only made for a log that keeps it.
    if (log_->Enabled(LogLevel::Debug)) {
        log_->Debug(kLogSource, std::string("Acquired ") + ModeName(mode) + ": " +
                                    std::to_string(outcome.samplesReceived) + " samples");
    }
    return outcome;
}

}  // namespace orvik
