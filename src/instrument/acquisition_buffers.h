#pragma once

#include <array>
#include <vector>

namespace orvik {

// Length of every acquisition array.
inline constexpr int kAcquisitionLength = 9000;
// Samples taken from the instrument per acquisition (eight blocks of 1024).
inline constexpr int kRecordSampleCount = 8192;
// Samples that the acquisition hands to the processing.
inline constexpr int kProcessedSampleCount = 6000;
// Deconvolution steps per sweep.
inline constexpr int kDeconvolutionSteps = 1000;

// The arrays of one acquisition, allocated once and reused by every
// acquisition, calibration and characterisation of the program's run.
struct AcquisitionBuffers {
    AcquisitionBuffers();

    // Samples as received; after processing, entries below the processed
    // count have the first sample subtracted.
    std::vector<double> Raw;
    // The 10-sample difference of raw, smoothed, then the deconvolution's
    // residual (0 below the deconvolution start).
    std::vector<double> Derivative;
    // The derivative after smoothing, before the deconvolution.
    std::vector<double> DerivativeCopy;
    // Reconstructed step level in raw units, smoothed.
    std::vector<double> Level;
    // Impedance in ohms per sample.
    std::vector<double> Impedance;
    // Intermediate values of the two-stage smoothing. Never cleared: its ends
    // keep what earlier passes and acquisitions left there, which the
    // smoothing reads near the ends of the record. One entry longer than the
    // others because the second stage reads up to index count.
    std::vector<double> Scratch;

    // Step amplitudes of the two deconvolution sweeps, for the level update.
    std::array<double, 2 * kDeconvolutionSteps> StepAmplitudes{};

    // What an acquisition that opens the device clears: raw, derivative,
    // level and impedance (the derivative copy and scratch stay).
    void ClearForAcquisition();
};

}  // namespace orvik
