#include "instrument/cable_characterization.h"

#include "instrument/store_layout.h"

namespace orvik {

std::uint8_t KernelFirstPage(MeasurementMode mode) {
    return IsDifferential(mode) ? store_page::kDifferentialKernel : store_page::kSingleEndedKernel;
}

namespace {

void CloseQuietly(CUsbDevice& device) {
    try {
        device.Close();
    } catch (const UsbError&) {
        // The model is released even when the driver refuses the close.
    }
}

}  // namespace

void CableCharacterization::Restore(MeasurementMode mode, Previous previous) {
    calibration_.SetEndOfCable(mode, previous.endOfCable);
    ResponseKernel& kernel = kernels_.For(mode);
    if (previous.kernel) {
        kernel.SetStored(std::move(*previous.kernel));
    } else {
        kernel.DiscardStored();
    }
}

CharacterizationOutcome CableCharacterization::Run(MeasurementMode mode) {
    prompts_.Message(
        IsDifferential(mode) ? kDisconnectDifferentialText : kDisconnectSingleEndedText,
        kCharacterizingCableCaption);

    ResponseKernel& kernel = kernels_.For(mode);
    Previous previous{calibration_.EndOfCable(mode), std::nullopt};
    if (kernel.HasStored()) {
        previous.kernel.emplace(kernel.Stored().begin(), kernel.Stored().end());
    }
    try {
        return Characterize(mode, previous);
    } catch (const UsbError& error) {
        // Only the store writes can raise here (the acquisition handles its
        // own errors): the store holds some new pages and some old ones, and
        // the operator must run the characterisation again.
        CloseQuietly(link_.Device());
        Restore(mode, previous);
        CharacterizationOutcome outcome;
        outcome.result = CharacterizationOutcome::Result::KernelWriteFailed;
        outcome.usbError = error.what();
        prompts_.Message(kCableKernelNotStoredText, kErrorCaption);
        return outcome;
    }
}

CharacterizationOutcome CableCharacterization::Characterize(MeasurementMode mode,
                                                            const Previous& previous) {
    using Result = CharacterizationOutcome::Result;
    // The search starts from a provisional end of cable, and the record is
    // processed with the built-in kernel.
    ResponseKernel& kernel = kernels_.For(mode);
    calibration_.SetEndOfCable(mode, CableSearch::kSearchStart);
    kernel.DiscardStored();

    CharacterizationOutcome outcome;
    outcome.acquisition = acquisition_.Acquire(mode, Derivative::Raw);
    if (!outcome.acquisition.processed) {
        // The operator has been told why; the arrays do not hold this
        // cable's record, so nothing is taken from them.
        outcome.result = Result::DeviceUnreachable;
        Restore(mode, previous);
        return outcome;
    }
    // The search and the kernel read only the processed part of the record.
    if (!outcome.acquisition.HasSamplesInPlace(kProcessedSampleCount)) {
        outcome.result = Result::IncompleteRecord;
        Restore(mode, previous);
        prompts_.Message(std::string(kCableLengthFailedText) + "\n\n" + kIncompleteRecordHint,
                         kErrorCaption);
        return outcome;
    }
    outcome.cable = MeasureCable(acquisition_.Buffers());
    if (!outcome.cable.Found || !ResponseKernel::Unusable(outcome.cable.Kernel).empty()) {
        outcome.result = Result::EdgeNotFound;
        Restore(mode, previous);
        prompts_.Message(
            std::string(kCableLengthFailedText) + "\n\n" +
                (IsDifferential(mode) ? kNoEdgeDifferentialHint : kNoEdgeSingleEndedHint),
            kErrorCaption);
        return outcome;
    }

    calibration_.SetEndOfCable(mode, outcome.cable.EndOfCable);
    kernel.SetStored(outcome.cable.Kernel);
    if (WriteKernelPages(link_, KernelFirstPage(mode), outcome.cable.Kernel)) {
        outcome.result = Result::Done;
    } else {
        // Some pages hold the new kernel and some the old one: the operator
        // must run the characterisation again before the next start-up reads
        // that mixture.
        outcome.result = Result::KernelNotStored;
        prompts_.Message(kCableKernelNotStoredText, kErrorCaption);
    }
    return outcome;
}

}  // namespace orvik
