#include "instrument/image_loading.h"

#include <array>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "instrument/instrument_link.h"
#include "instrument/program_image.h"

namespace orvik {
namespace {

constexpr std::uint32_t kCodeUploadChunk = 0x1000;
// The byte of the begin-load reply that says whether the FPGA took the image.
constexpr std::size_t kFpgaTakenByte = 2;

// Either image is hex text of a few hundred kilobytes at most. Reading stops
// past this size: a larger file (or a device file that never ends) is no
// image, and start-up must not wait on it or stream it into the instrument.
constexpr std::size_t kMaxImageFileBytes = std::size_t{16} << 20;

std::optional<std::vector<std::uint8_t>> ReadImageFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::array<char, 65536> part{};
    while (in && bytes.size() <= kMaxImageFileBytes) {
        in.read(part.data(), part.size());
        bytes.insert(bytes.end(), part.begin(), part.begin() + in.gcount());
    }
    if (in.bad() || bytes.size() > kMaxImageFileBytes) {
        return std::nullopt;
    }
    return bytes;
}

// False when the driver refused the bytes as a program that is not an
// instrument's; other failures are not looked at.
bool Upload(CUsbControlEndpoint& control, std::uint16_t address, std::span<std::uint8_t> bytes) {
    control.target = 0;
    control.requestType = 2;
    control.direction = 0;
    control.request = kProgramUploadRequest;
    control.index = 0;
    control.value = address;
    auto length = static_cast<std::uint32_t>(bytes.size());
    control.Transfer(bytes, length);
    return control.LastError() != os_error::kBadFormat;
}

void HoldController(CUsbControlEndpoint& control, bool held) {
    std::array<std::uint8_t, 2> reset{static_cast<std::uint8_t>(held ? 1 : 0), 0};
    Upload(control, kControllerResetAddress, reset);
}

// Closes the device whatever happens inside a load, so that an interrupted
// load never leaves it open.
class DeviceSession {
  public:
    explicit DeviceSession(CUsbDevice& device) : device_(device) {}
    ~DeviceSession() {
        if (device_.IsOpen()) {
            try {
                device_.Close();
            } catch (const UsbError&) {
                // Already leaving on an error; the model is released regardless.
            }
        }
    }
    void Close() { device_.Close(); }

  private:
    CUsbDevice& device_;
};

class ProgressWindow {
  public:
    explicit ProgressWindow(LoadProgress* progress) : progress_(progress) {
        if (progress_) {
            progress_->Show();
        }
    }
    ~ProgressWindow() {
        if (progress_) {
            progress_->Close();
        }
    }
    void SetRange(std::int64_t maximum) {
        if (progress_) {
            progress_->SetRange(0, maximum);
        }
    }
    void SetPosition(std::int64_t position) {
        if (progress_) {
            progress_->SetPosition(position);
        }
    }

  private:
    LoadProgress* progress_;
};

void ResetPipe(CUsbEndpoint* endpoint, bool abort) {
    if (endpoint) {
        abort ? endpoint->AbortPipe() : endpoint->ResetPipe();
    }
}

}  // namespace

const char* ImageLoadOutcomeText(ImageLoadOutcome outcome) {
    switch (outcome) {
        case ImageLoadOutcome::Loaded:
            return "loaded";
        case ImageLoadOutcome::FileMissing:
            return "image file missing";
        case ImageLoadOutcome::DeviceMissing:
            return "instrument not found";
        case ImageLoadOutcome::EndpointMissing:
            return "instrument has no FPGA endpoint";
        case ImageLoadOutcome::CommandFailed:
            return "instrument refused the load";
        case ImageLoadOutcome::StreamFailed:
            return "instrument refused part of the image";
        case ImageLoadOutcome::NotTaken:
            return "instrument did not take the image";
        case ImageLoadOutcome::UsbFailure:
            return "USB error";
        case ImageLoadOutcome::WrongImage:
            return "the simulated MV300's image, not an instrument's";
    }
    return "";
}

std::filesystem::path ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) {
        return std::filesystem::current_path(error);
    }
    return executable.parent_path();
}

ImageLoadOutcome LoadProgramImage(CUsbDevice& device, const std::filesystem::path& folder) {
    const auto text = ReadImageFile(folder / kProgramImageFile);
    if (!text) {
        return ImageLoadOutcome::FileMissing;
    }
    auto image = std::make_unique<ProgramImage>();
    if (!device.Open(device.OpenedIndex())) {
        return ImageLoadOutcome::DeviceMissing;
    }
    DeviceSession session(device);
    CUsbControlEndpoint& control = *device.ControlEndpoint();
    HoldController(control, true);
    *image = ParseProgramImage(*text);
    bool taken = true;
    for (std::uint32_t offset = 0; offset < ProgramImage::kCodeSize; offset += kCodeUploadChunk) {
        taken = Upload(control, static_cast<std::uint16_t>(offset),
                       std::span(image->code).subspan(offset, kCodeUploadChunk)) &&
                taken;
    }
    taken = Upload(control, ProgramImage::kHighBase, image->high) && taken;
    HoldController(control, false);
    session.Close();
    return taken ? ImageLoadOutcome::Loaded : ImageLoadOutcome::WrongImage;
}

ImageLoadOutcome LoadFpgaImage(CUsbDevice& device, Clock& clock,
                               const std::filesystem::path& folder, LoadProgress* progress) {
    ProgressWindow window(progress);
    clock.SleepMs(kFpgaLoadPauseMs);
    const auto text = ReadImageFile(folder / kFpgaImageFile);
    if (!text) {
        return ImageLoadOutcome::FileMissing;
    }
    if (!device.Open(device.OpenedIndex())) {
        return ImageLoadOutcome::DeviceMissing;
    }
    DeviceSession session(device);
    CUsbEndpoint* fpga = device.EndpointByAddress(kFpgaEndpoint);
    if (fpga == nullptr) {
        return ImageLoadOutcome::EndpointMissing;
    }
    ResetPipe(device.BulkOut(), true);
    ResetPipe(device.BulkIn(), true);
    ResetPipe(device.BulkOut(), false);
    ResetPipe(device.BulkIn(), false);
    fpga->AbortPipe();
    fpga->ResetPipe();

    CommandPacket command = BuildCommand(instrument_command::kBeginFpgaLoad, {});
    std::uint32_t length = kCommandSize;
    if (device.BulkOut() == nullptr || !device.BulkOut()->Transfer(command, length)) {
        return ImageLoadOutcome::CommandFailed;
    }
    const std::span<const std::uint8_t> characters(*text);
    window.SetRange(static_cast<std::int64_t>(characters.size()));
    std::size_t consumed = 0;
    bool written = true;
    do {
        const std::size_t count = std::min(kFpgaChunkCharacters, characters.size() - consumed);
        std::vector<std::uint8_t> chunk = HexPairsToBytes(characters.subspan(consumed, count));
        consumed += count;
        length = static_cast<std::uint32_t>(chunk.size());
        written = fpga->Transfer(chunk, length);
        window.SetPosition(static_cast<std::int64_t>(consumed));
    } while (consumed < characters.size() && written);
    if (!written) {
        return ImageLoadOutcome::StreamFailed;
    }
    CommandPacket reply{};
    length = kCommandSize;
    const bool answered = device.BulkIn() && device.BulkIn()->Transfer(reply, length);
    session.Close();
    const bool taken = answered && length >= kFpgaTakenByte + 1 &&
                       reply[0] == instrument_command::kBeginFpgaLoad && reply[kFpgaTakenByte] == 1;
    return taken ? ImageLoadOutcome::Loaded : ImageLoadOutcome::NotTaken;
}

}  // namespace orvik
