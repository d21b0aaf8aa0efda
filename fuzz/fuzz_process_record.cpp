// Feeds arbitrary bytes as a raw record, a calibration and a kernel to the
// processing stage: whatever the values, every index must stay inside the
// acquisition arrays (checked by the sanitizers).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "instrument/process_record.h"

namespace {

template <typename T>
T Take(const std::uint8_t*& data, std::size_t& size) {
    T value{};
    const std::size_t count = std::min(size, sizeof(T));
    std::memcpy(&value, data, count);
    data += count;
    size -= count;
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvik;
    static auto buffers = std::make_unique<AcquisitionBuffers>();
    const auto flags = Take<std::uint8_t>(data, size);
    const auto mode = ModeFromDifferential(flags & 1);
    const Derivative derivative = (flags & 2) != 0 ? Derivative::Raw : Derivative::Smoothed;
    CalibrationSet calibration;
    calibration.SetValues(
        mode, {Take<std::int32_t>(data, size), Take<double>(data, size), Take<double>(data, size)});
    const int count = Take<std::int16_t>(data, size);
    ResponseKernels kernels;
    const auto kernelLength = Take<std::uint16_t>(data, size) % 1200;
    std::vector<double> kernel(kernelLength);
    for (double& value : kernel) {
        value = Take<std::int16_t>(data, size) / 16.0;
    }
    kernels.For(mode).SetStored(std::move(kernel));
    buffers->ClearForAcquisition();
    for (int i = 0; i < kRecordSampleCount && size > 0; ++i) {
        buffers->Raw[i] = Take<std::int16_t>(data, size);
    }
    ConvertRecord(*buffers, calibration, kernels.For(mode), mode, count, derivative);
    return 0;
}
