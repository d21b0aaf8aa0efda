// Feeds arbitrary descriptor bytes to the configuration walk, alone and
// through a whole open of the instrument whose driver answers every
// descriptor request from the input. Nothing may read outside a buffer, and
// the object model must keep its limits.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "instrument/transfer_header.h"
#include "instrument/usb_config.h"
#include "instrument/usb_device.h"

namespace {

using orvik::IoResult;
using orvik::IoStart;

// A driver whose device describes itself with the fuzzer's bytes.
class DescriptorPort : public orvik::DriverPort {
  public:
    explicit DescriptorPort(std::span<const std::uint8_t> input) : input_(input) {}

    std::vector<std::string> EnumerateInterfaces(const orvik::Guid&) override { return {"dev"}; }
    orvik::OpenResult Open(const std::string&, orvik::OpenOptions) override { return {7, 0}; }
    std::uint32_t Close(orvik::DriverHandle) override { return 0; }
    IoResult IoControl(orvik::DriverHandle, std::uint32_t code, std::span<std::uint8_t> in,
                       std::span<std::uint8_t> out) override {
        if (code != orvik::usb_request::kControlTransfer) {
            // Driver queries: the first input bytes, as many as fit.
            const std::size_t count = std::min(out.size(), input_.size());
            std::copy_n(input_.begin(), count, out.begin());
            return {true, static_cast<std::uint32_t>(count), 0};
        }
        const orvik::TransferHeader header = orvik::TransferHeader::ReadFrom(in);
        const std::size_t room =
            out.size() > 38 ? std::min<std::size_t>(out.size() - 38, header.length) : 0;
        std::vector<std::uint8_t> answer;
        switch (header.value >> 8) {
            case 1:  // device descriptor: one configuration, strings 1-3
                answer = {18, 1, 0, 2, 0, 0, 0, 64, 0x4E, 0x2F, 0, 3, 1, 0, 1, 2, 3, 1};
                break;
            case 2:
                answer.assign(input_.begin(), input_.end());
                break;
            default:  // strings and the language list: the input again
                answer.assign(input_.begin(), input_.end());
                if (!answer.empty() && answer[0] > answer.size()) {
                    answer[0] = static_cast<std::uint8_t>(answer.size());
                }
                break;
        }
        const std::size_t count = std::min(room, answer.size());
        std::copy_n(answer.begin(), count, out.begin() + 38);
        return {true, static_cast<std::uint32_t>(38 + count), 0};
    }
    IoStart StartIoControl(orvik::DriverHandle, std::uint32_t, std::span<std::uint8_t>,
                           std::span<std::uint8_t>) override {
        return {orvik::os_error::kGeneralFailure, 0};
    }
    bool WaitIoControl(orvik::RequestId, std::optional<std::int64_t>) override { return true; }
    IoResult FinishIoControl(orvik::RequestId) override { return {false, 0, 1}; }
    std::string ErrorText(std::uint32_t) override { return {}; }

  private:
    std::span<const std::uint8_t> input_;
};

void CheckLimits(const orvik::CUsbConfig& config, std::size_t inputSize) {
    if (config.interfaces.size() > orvik::CUsbConfig::kMaxInterfaces) {
        std::abort();
    }
    for (const orvik::CUsbInterface& entry : config.interfaces) {
        if (entry.OwnEndpointCount() > entry.endpointCount ||
            entry.OwnEndpointCount() >= orvik::CUsbInterface::kSlotCount ||
            entry.descriptorBytes.size() > inputSize) {
            std::abort();
        }
        for (std::size_t slot = 1; slot <= entry.OwnEndpointCount(); ++slot) {
            if (entry.Slot(slot) == nullptr) {
                std::abort();
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    DescriptorPort port(input);

    CheckLimits(orvik::CUsbConfig::Parse(input, port, orvik::kInvalidDriverHandle), size);

    orvik::CUsbDevice device(port, orvik::kInstrumentInterfaceGuid, true);
    if (!device.IsOpen()) {
        std::abort();
    }
    for (std::size_t i = 0; i < device.ConfigurationCount(); ++i) {
        CheckLimits(device.Configuration(i), size);
    }
    for (int address = 0; address < 256; ++address) {
        try {
            device.EndpointByAddress(static_cast<std::uint8_t>(address));
        } catch (const orvik::UsbError&) {
            // An interface announcing more endpoints than it described.
        }
    }
    device.Close();
    return 0;
}
