#include "instrument/instrument_station.h"

#include <cstdio>

#include "instrument/calibration_from_store.h"

namespace orvik {

InstrumentStation::InstrumentStation(DriverPort& port, Clock& clock, OperatorPrompts& prompts)
    : clock_(clock),
      prompts_(prompts),
      device_(port, kInstrumentInterfaceGuid, true),
      trigger_(port, prompts),
      link_(device_, clock, 0),
      buffers_(std::make_unique<AcquisitionBuffers>()),
      acquisition_(link_, prompts, *buffers_, calibration_, kernels_) {
    acquisition_.SetRestart([this] { return Restart(); });
}

StartUpFindings InstrumentStation::StartUp(const StartUpOptions& options) {
    StartUpFindings findings = RunDeviceStartUp(device_, trigger_, clock_, prompts_, options);
    imageFolder_ = options.imageFolder;
    characterizeMode_ = findings.characterizeMode;
    ready_ = findings.InstrumentReady();
    if (findings.imageFailure) {
        // Told once now; every acquisition then ends at once with the reason
        // instead of waiting on an instrument that cannot answer.
        prompts_.Message(ImageFailureText(findings), kInstrumentNotReadyCaption, PromptIcon::Error);
        acquisition_.SetNotReady(RunTestNotReadyText(findings), kInstrumentNotReadyCaption);
    } else {
        acquisition_.ClearNotReady();
    }
    PutStoredCalibrationInForce(findings);
    LogStartUp(findings, options.imageFolder);
    return findings;
}

std::vector<std::string> InstrumentStation::PutStoredCalibrationInForce(StartUpFindings& findings) {
    std::vector<std::string> refused =
        ApplyStoredCalibration(findings.stored, calibration_, kernels_);
    findings.stored.notes.insert(findings.stored.notes.end(), refused.begin(), refused.end());
    return refused;
}

// The instrument came back without its program: start-up's instrument steps
// again (images with the "Initializing TDR" window, then the calibration and
// kernels of its store), so that the tests carry on.
bool InstrumentStation::Restart() {
    StartUpOptions options;
    options.imageFolder = imageFolder_;
    options.progress = restartProgress_;
    options.reloadImages = true;
    StartUpFindings findings = BringUpInstrument(device_, clock_, prompts_, options);
    if (!findings.InstrumentReady()) {
        std::string why = findings.imageFailure
                              ? findings.imageFailure->file.string() + " did not load (" +
                                    ImageLoadOutcomeText(findings.imageFailure->outcome) + ")"
                          : findings.unavailable.empty() ? std::string("it could not be opened")
                                                         : findings.unavailable;
        if (why.ends_with('.')) {
            why.pop_back();
        }
        log_->Error("instrument",
                    "The instrument lost its program and did not start again: " + why);
        prompts_.Message(
            "The MV300 lost its program (it was unplugged or switched off) and could "
            "not be started again: " +
                why + ".\nCheck its cable and the image files, then run the test again.",
            kInstrumentNotReadyCaption, PromptIcon::Error);
        return false;
    }
    PutStoredCalibrationInForce(findings);
    LogStartUp(findings, options.imageFolder, "Restart");
    return true;
}

void InstrumentStation::SetLog(DiagnosticLog& log) {
    log_ = &log;
    acquisition_.SetLog(log);
}

namespace {

std::string HexWord(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

void InstrumentStation::LogStartUp(const StartUpFindings& findings,
                                   const std::filesystem::path& imageFolder,
                                   const std::string& stage) {
    constexpr const char* kSource = "instrument";
    // The release number is the found instrument's; without one there is none to name.
    const std::string release =
        findings.instrumentFound ? ", release 0x" + HexWord(findings.releaseNumber) : "";
    const std::string triggers =
        stage == "Start-up"
            ? ", " + std::to_string(findings.triggerDevicesFound) + " trigger port(s)"
            : "";
    log_->Info(kSource, stage + ": " + InstrumentStatusText(findings) + release + triggers);
    if (findings.usbError) {
        log_->Error(kSource, stage + ": USB error: " + *findings.usbError);
    }
    if (findings.imageFailure) {
        log_->Error(kSource, stage + ": " + ImageFailureText(findings));
    } else if (findings.fpgaImage == ImageLoadOutcome::Loaded) {
        // The images are looked for in several folders: say which one served.
        log_->Info(kSource, stage + ": loaded the images from " + imageFolder.string());
    }
    for (const std::string& note : findings.stored.notes) {
        log_->Warning(kSource, "Stored calibration: " + note);
    }
}

AcquisitionOutcome InstrumentStation::Acquire(MeasurementMode mode, Derivative derivative) {
    lastAcquisition_ = acquisition_.Acquire(mode, derivative);
    return lastAcquisition_;
}

MeasuredProfile InstrumentStation::MeasureProfile(MeasurementMode mode) {
    const AcquisitionOutcome outcome = Acquire(mode, Derivative::Smoothed);
    const auto start = static_cast<std::size_t>(calibration_.EndOfCable(mode));
    MeasuredProfile profile;
    profile.Impedance =
        std::span<const double>(buffers_->Impedance).subspan(start, kMeasuredProfileLength);
    profile.StopLiveMode = outcome.stopLiveMode;
    profile.Incomplete = !outcome.WholeRecord();
    return profile;
}

CharacterizationOutcome InstrumentStation::CharacterizeCable(MeasurementMode mode) {
    CableCharacterization characterization(acquisition_, link_, prompts_, calibration_, kernels_);
    CharacterizationOutcome outcome = characterization.Run(mode);
    lastAcquisition_ = outcome.acquisition;
    return outcome;
}

}  // namespace orvik
