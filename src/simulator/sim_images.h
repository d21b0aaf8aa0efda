#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/program_image.h"

namespace orvik::sim {

// The simulated instrument's own controller program and FPGA configuration,
// made here so that the program has image files to load into it. The
// simulated controller runs a program only when its code memory carries the
// program's signature and checksum; the simulated FPGA takes a configuration
// only when the stream is whole.

inline constexpr std::uint16_t kProgramSignatureAddress = 0x0100;
inline constexpr const char* kProgramSignature = "ORVIK MV300 SIMULATED CONTROLLER 1.00";
static_assert(std::string_view(kProgramSignature).starts_with(kSimulatedControllerTag),
              "the simulated controller's program carries the words no real driver loads");
inline constexpr const char* kFpgaSignature = "ORVIK-MV300-FPGA";

// The program as Intel HEX text, 16 data bytes a record. Another signature
// makes the program of a controller that runs only that (a stand-in for an
// instrument's own program in tests of the real driver).
std::string GenerateProgramImageHex(std::string_view signature = kProgramSignature);
// The FPGA configuration as plain hexadecimal text, two digits a byte.
std::string GenerateFpgaImageHex();
// The FPGA configuration as the bytes that reach the FPGA.
std::vector<std::uint8_t> GenerateFpgaImage();

// Whether the controller accepts what its memories hold as its program.
bool ProgramAccepted(std::span<const std::uint8_t> code, std::span<const std::uint8_t> high,
                     std::string_view signature = kProgramSignature);
// Whether the FPGA accepts the bytes streamed to it as its configuration.
bool FpgaStreamAccepted(std::span<const std::uint8_t> stream);

// Writes TDR_XC.hex and TdrSpartan.hex into `folder`; false on a write failure.
bool WriteSimulatorImages(const std::filesystem::path& folder,
                          std::string_view signature = kProgramSignature);

}  // namespace orvik::sim
