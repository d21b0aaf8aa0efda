#pragma once

#include <cstdint>
#include <filesystem>

#include "base/clock.h"
#include "instrument/usb_device.h"

namespace orvik {

inline constexpr const char* kProgramImageFile = "TDR_XC.hex";
inline constexpr const char* kFpgaImageFile = "TdrSpartan.hex";

// The "Initializing TDR" window while the FPGA image streams.
class LoadProgress {
  public:
    virtual ~LoadProgress() = default;
    // Shows the window and paints it at once.
    virtual void Show() = 0;
    virtual void SetRange(std::int64_t minimum, std::int64_t maximum) = 0;
    virtual void SetPosition(std::int64_t position) = 0;
    virtual void Close() = 0;
};

enum class ImageLoadOutcome {
    Loaded,           // every step was carried out (program requests are not checked)
    FileMissing,      // the image file could not be read
    DeviceMissing,    // the instrument could not be opened
    EndpointMissing,  // the instrument has no FPGA endpoint
    CommandFailed,    // the begin-load command was refused
    StreamFailed,     // a chunk of the FPGA image was refused
    NotTaken,         // the FPGA did not confirm the image once it was streamed
    UsbFailure,       // the USB layer gave up during the load
    WrongImage,       // the driver refused the program: it is the simulated MV300's
};

const char* ImageLoadOutcomeText(ImageLoadOutcome outcome);

// The folder of the running program, where the two image files live.
std::filesystem::path ExecutableFolder();

// Writes the controller program from `folder`/TDR_XC.hex into the instrument
// through vendor request 0xA0: the controller is held in reset, the whole
// code and high images are sent (zeros included), then it is released. The
// requests' results are not looked at, except for the driver's refusal of
// a program that only the simulated MV300 runs (WrongImage).
ImageLoadOutcome LoadProgramImage(CUsbDevice& device, const std::filesystem::path& folder);

// Streams `folder`/TdrSpartan.hex to the FPGA endpoint in chunks of 512
// bytes after a 3-second pause, reporting the characters consumed. The
// instrument's reply after the stream says whether its FPGA took the image
// (byte 0 the begin-load command, byte 2 1 when configured): the release
// number cannot say so, since it follows the controller's program alone.
ImageLoadOutcome LoadFpgaImage(CUsbDevice& device, Clock& clock,
                               const std::filesystem::path& folder, LoadProgress* progress);

inline constexpr std::int64_t kFpgaLoadPauseMs = 3000;
inline constexpr std::size_t kFpgaChunkCharacters = 1024;
inline constexpr std::uint8_t kProgramUploadRequest = 0xA0;
inline constexpr std::uint16_t kControllerResetAddress = 0xE600;

}  // namespace orvik
