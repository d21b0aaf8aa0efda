#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/diagnostic_log.h"
#include "base/operator_prompts.h"
#include "base/station_ports.h"
#include "instrument/acquisition.h"
#include "instrument/acquisition_buffers.h"
#include "instrument/cable_characterization.h"
#include "instrument/calibration_set.h"
#include "instrument/device_startup.h"
#include "instrument/driver_port.h"
#include "instrument/instrument_link.h"
#include "instrument/response_kernel.h"
#include "instrument/trigger_port.h"
#include "instrument/usb_device.h"

namespace orvik {

// Samples handed to Run Test per acquisition: 10 inches from the end of cable.
inline constexpr int kMeasuredProfileLength = 750;

// The MV300 as the main window owns it for the whole run: the instrument
// device and the trigger port on one driver port, the instrument link, the
// calibration values, the two response kernels and the acquisition arrays,
// with the operations the program performs on them. Messages for the
// operator go through `prompts`; pauses pass on `clock`.
class InstrumentStation : public ProfileInstrument {
  public:
    // Creates the instrument device with its open-now flag, as the main
    // window does, so the instrument is opened once here already.
    InstrumentStation(DriverPort& port, Clock& clock, OperatorPrompts& prompts);
    InstrumentStation(const InstrumentStation&) = delete;
    InstrumentStation& operator=(const InstrumentStation&) = delete;

    // The instrument side of the main window's creation: trigger port,
    // characterisation switch, images, stored calibration and kernels, which
    // are then put in force. The findings' notes include the stored values
    // that were refused. Start the trigger poll when `triggerOpened`.
    StartUpFindings StartUp(const StartUpOptions& options);
    // "Characterize" was on the command line at start-up.
    bool CharacterizeMode() const { return characterizeMode_; }
    // The "Initializing TDR" window for an instrument that comes back
    // without its program while the program runs (none by default).
    void SetRestartProgress(LoadProgress* progress) { restartProgress_ = progress; }
    // Start-up found the instrument and it got its images. When the images
    // did not load, the operator was told at start-up and every acquisition
    // (Run Test, calibration, characterisation) ends at once with a message.
    bool InstrumentReady() const { return ready_; }

    // Run Test's acquisition: the 750 impedance values from the mode's end of
    // cable, valid until the next acquisition.
    MeasuredProfile MeasureProfile(MeasurementMode mode) override;
    // One acquisition and its processing; the results are in Buffers().
    AcquisitionOutcome Acquire(MeasurementMode mode, Derivative derivative);
    // The "eoc" button of the Calibration dialog.
    CharacterizationOutcome CharacterizeCable(MeasurementMode mode);

    CalibrationSet& Calibration() { return calibration_; }
    const CalibrationSet& Calibration() const { return calibration_; }
    ResponseKernels& Kernels() { return kernels_; }
    const ResponseKernels& Kernels() const { return kernels_; }
    AcquisitionBuffers& Buffers() { return *buffers_; }
    const AcquisitionBuffers& Buffers() const { return *buffers_; }
    // The outcome of the latest acquisition.
    const AcquisitionOutcome& LastAcquisition() const { return lastAcquisition_; }

    // Where every acquisition's diagnostic dump goes (TDR_Data.csv in the
    // current directory unless changed; empty for none).
    void SetDumpPath(std::string path) { acquisition_.SetDumpPath(std::move(path)); }
    const std::string& DumpPath() const { return acquisition_.DumpPath(); }

    CUsbDevice& Device() { return device_; }
    CTriggerPort& Trigger() { return trigger_; }
    InstrumentLink& Link() { return link_; }
    Clock& GetClock() { return clock_; }
    // Where what the operator is not told goes (start-up findings, refused
    // store values, short blocks); nothing is written until a log is given.
    void SetLog(DiagnosticLog& log);
    DiagnosticLog& Log() { return *log_; }
    OperatorPrompts& Prompts() { return prompts_; }

  private:
    // `stage`: "Start-up", or "Restart" for an instrument brought up again.
    void LogStartUp(const StartUpFindings& findings, const std::filesystem::path& imageFolder,
                    const std::string& stage = "Start-up");
    bool Restart();
    std::vector<std::string> PutStoredCalibrationInForce(StartUpFindings& findings);

    Clock& clock_;
    OperatorPrompts& prompts_;
    CUsbDevice device_;
    CTriggerPort trigger_;
    InstrumentLink link_;
    CalibrationSet calibration_;
    ResponseKernels kernels_;
    std::unique_ptr<AcquisitionBuffers> buffers_;
    Acquisition acquisition_;
    AcquisitionOutcome lastAcquisition_;
    bool characterizeMode_ = false;
    bool ready_ = false;
    std::filesystem::path imageFolder_;
    LoadProgress* restartProgress_ = nullptr;
    DiagnosticLog* log_ = &DiagnosticLog::Null();
};

}  // namespace orvik
