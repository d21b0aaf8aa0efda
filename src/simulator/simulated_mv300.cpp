#include "simulator/simulated_mv300.h"

#include <algorithm>

#include "simulator/physics_waveform_source.h"
#include "simulator/sim_images.h"

namespace orvik::sim {
namespace {

constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint8_t kStandardIn = 0x80;
constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kUploadRequest = 0xA0;
constexpr std::size_t kCodeSize = 0x4000;
constexpr std::uint16_t kHighBase = 0xE000;
constexpr std::size_t kHighSize = 0x200;
constexpr std::uint16_t kControllerReset = 0xE600;
constexpr std::size_t kPacketSize = 62;
// More than any configuration the FPGA could take; a longer stream is refused.
constexpr std::size_t kMaxFpgaStream = 1 << 20;

constexpr std::uint8_t kRegisterWrite = 0x58;
constexpr std::uint8_t kAcquireBlock = 0xA5;
constexpr std::uint8_t kReadPage = 0xC3;
constexpr std::uint8_t kWritePage = 0xC6;
constexpr std::uint8_t kBeginFpgaLoad = 0x53;

void Put16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> Utf16Descriptor(const std::string& text) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
    for (const char c : text) {
        Put16(bytes, static_cast<std::uint8_t>(c));
    }
    return bytes;
}

std::vector<std::uint8_t> DefaultConfiguration() {
    std::vector<std::uint8_t> bytes{9, 2, 0, 0, 1, 1, 0, 0x80, 0xFA};
    // One vendor-specific interface with the command pipe and the two data pipes.
    const std::vector<std::uint8_t> interface { 9, 4, 0, 0, 4, 0xFF, 0, 0, 0 };
    bytes.insert(bytes.end(), interface.begin(), interface.end());
    const std::pair<std::uint8_t, std::uint16_t> endpoints[] = {
        {SimulatedMv300::kCommandOut, 64},
        {SimulatedMv300::kCommandIn, 64},
        {SimulatedMv300::kFpgaOut, 512},
        {SimulatedMv300::kSamplesIn, 512},
    };
    for (const auto& [address, packetSize] : endpoints) {
        bytes.insert(bytes.end(), {7, 5, address, 2});
        Put16(bytes, packetSize);
        bytes.push_back(0);
    }
    bytes[2] = static_cast<std::uint8_t>(bytes.size());
    bytes[3] = static_cast<std::uint8_t>(bytes.size() >> 8);
    return bytes;
}

}  // namespace

SimulatedMv300::SimulatedMv300(Mv300Options options)
    : options_(std::move(options)),
      store_(options_.storePath.empty() ? std::make_unique<SimulatedStore>()
                                        : std::make_unique<SimulatedStore>(options_.storePath)),
      source_(std::make_unique<PhysicsWaveformSource>(options_.noiseSeed)),
      codeMemory_(kCodeSize, 0),
      highMemory_(kHighSize, 0) {
    if (options_.warm) {
        programRunning_ = true;
        fpgaConfigured_ = true;
    }
}

std::uint16_t SimulatedMv300::ReleaseNumber() const {
    return programRunning_ && fpgaConfigured_ ? kRunningReleaseNumber : options_.coldReleaseNumber;
}

void SimulatedMv300::PowerCycle() {
    std::fill(codeMemory_.begin(), codeMemory_.end(), 0);
    std::fill(highMemory_.begin(), highMemory_.end(), 0);
    controllerHeld_ = false;
    programRunning_ = false;
    fpgaConfigured_ = false;
    receivingFpga_ = false;
    fpgaStream_.clear();
    reply_.reset();
    block_.reset();
    halted_.clear();
    blocksSinceArming_ = 0;
}

bool SimulatedMv300::HasEndpoint(std::uint8_t endpoint) const {
    return endpoint == kCommandOut || endpoint == kCommandIn || endpoint == kFpgaOut ||
           endpoint == kSamplesIn;
}

bool SimulatedMv300::Halted(std::uint8_t endpoint) const {
    return std::find(halted_.begin(), halted_.end(), endpoint) != halted_.end();
}

DeviceAnswer SimulatedMv300::Stall(std::uint8_t endpoint) {
    if (endpoint != 0 && !Halted(endpoint)) {
        halted_.push_back(endpoint);
    }
    return {DeviceAnswer::Kind::Stall, 0};
}

void SimulatedMv300::ResetPipe(std::uint8_t endpoint) {
    halted_.erase(std::remove(halted_.begin(), halted_.end(), endpoint), halted_.end());
}

std::vector<std::uint8_t> SimulatedMv300::DeviceDescriptor() const {
    std::vector<std::uint8_t> bytes{18, 1};
    Put16(bytes, 0x0200);
    bytes.insert(bytes.end(), {0, 0, 0, 64});
    Put16(bytes, kVendorId);
    Put16(bytes, kProductId);
    Put16(bytes, ReleaseNumber());
    bytes.insert(bytes.end(), {1, 2, 3, 1});
    return bytes;
}

std::vector<std::uint8_t> SimulatedMv300::ConfigurationDescriptor() const {
    return options_.configurationDescriptor ? *options_.configurationDescriptor
                                            : DefaultConfiguration();
}

std::vector<std::uint8_t> SimulatedMv300::StringDescriptor(std::uint8_t index) const {
    switch (index) {
        case 0: {
            std::vector<std::uint8_t> bytes{
                static_cast<std::uint8_t>(2 + 2 * options_.languages.size()), 3};
            for (const std::uint16_t language : options_.languages) {
                Put16(bytes, language);
            }
            return bytes;
        }
        case 1:
            return Utf16Descriptor("Orvik");
        case 2:
            return Utf16Descriptor("MV300 TDR (simulated)");
        case 3:
            return Utf16Descriptor("SIM0300001");
        default:
            return {};
    }
}

DeviceAnswer SimulatedMv300::Control(const SetupPacket& setup, std::span<std::uint8_t> data) {
    if (setup.requestType == kStandardIn && setup.request == kGetDescriptor) {
        return StandardRead(setup, data);
    }
    if (setup.requestType == kVendorOut && setup.request == kUploadRequest) {
        return VendorWrite(setup, data);
    }
    return Stall(0);
}

DeviceAnswer SimulatedMv300::StandardRead(const SetupPacket& setup, std::span<std::uint8_t> data) {
    std::vector<std::uint8_t> descriptor;
    const std::uint8_t type = static_cast<std::uint8_t>(setup.value >> 8);
    const std::uint8_t index = static_cast<std::uint8_t>(setup.value & 0xFF);
    if (type == 1) {
        descriptor = DeviceDescriptor();
    } else if (type == 2 && index == 0) {
        descriptor = ConfigurationDescriptor();
    } else if (type == 3) {
        descriptor = StringDescriptor(index);
    }
    if (descriptor.empty()) {
        return Stall(0);
    }
    const std::size_t count = std::min({descriptor.size(), data.size(), std::size_t{setup.length}});
    std::copy_n(descriptor.begin(), count, data.begin());
    return {DeviceAnswer::Kind::Done, static_cast<std::uint32_t>(count)};
}

DeviceAnswer SimulatedMv300::VendorWrite(const SetupPacket& setup,
                                         std::span<const std::uint8_t> data) {
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::size_t address = std::size_t{setup.value} + i;
        if (address < kCodeSize) {
            codeMemory_[address] = data[i];
        } else if (address >= kHighBase && address < kHighBase + kHighSize) {
            highMemory_[address - kHighBase] = data[i];
        } else if (address == kControllerReset) {
            if (data[i] & 1) {
                // Holding the controller stops its program and with it the FPGA.
                controllerHeld_ = true;
                programRunning_ = false;
                fpgaConfigured_ = false;
                receivingFpga_ = false;
                reply_.reset();
                block_.reset();
            } else if (controllerHeld_) {
                ReleaseController();
            }
        }
    }
    return {DeviceAnswer::Kind::Done, static_cast<std::uint32_t>(data.size())};
}

void SimulatedMv300::ReleaseController() {
    controllerHeld_ = false;
    programRunning_ = ProgramAccepted(codeMemory_, highMemory_);
    if (programRunning_) {
        ++programUploads_;
    }
}

DeviceAnswer SimulatedMv300::PipeOut(std::uint8_t endpoint, std::span<const std::uint8_t> data) {
    if (Halted(endpoint) || !programRunning_) {
        return Stall(endpoint);
    }
    if (endpoint == kCommandOut && data.size() == kPacketSize) {
        Command(data);
        return {DeviceAnswer::Kind::Done, static_cast<std::uint32_t>(data.size())};
    }
    if (endpoint == kFpgaOut && receivingFpga_ &&
        fpgaStream_.size() + data.size() <= kMaxFpgaStream) {
        fpgaStream_.insert(fpgaStream_.end(), data.begin(), data.end());
        return {DeviceAnswer::Kind::Done, static_cast<std::uint32_t>(data.size())};
    }
    return Stall(endpoint);
}

DeviceAnswer SimulatedMv300::PipeIn(std::uint8_t endpoint, std::span<std::uint8_t> data) {
    if (Halted(endpoint) || !programRunning_) {
        return Stall(endpoint);
    }
    if (endpoint == kCommandIn) {
        if (receivingFpga_ && !reply_) {
            // The end of the stream: the FPGA says whether it took the image.
            receivingFpga_ = false;
            fpgaConfigured_ = FpgaStreamAccepted(fpgaStream_);
            fpgaLoads_ += fpgaConfigured_ ? 1 : 0;
            fpgaStream_.clear();
            std::array<std::uint8_t, kPacketSize> reply{};
            reply[0] = kBeginFpgaLoad;
            reply[2] = fpgaConfigured_ ? 1 : 0;
            reply_ = reply;
        }
        if (!reply_) {
            return {DeviceAnswer::Kind::Nak, 0};
        }
        const std::size_t count = std::min(kPacketSize, data.size());
        std::copy_n(reply_->begin(), count, data.begin());
        reply_.reset();
        return {DeviceAnswer::Kind::Done, static_cast<std::uint32_t>(count)};
    }
    if (endpoint == kSamplesIn) {
        if (!block_) {
            return {DeviceAnswer::Kind::Nak, 0};
        }
        const std::size_t count = std::min(block_->size(), data.size() / 2);
        for (std::size_t i = 0; i < count; ++i) {
            const auto bits = static_cast<std::uint16_t>((*block_)[i]);
            data[2 * i] = static_cast<std::uint8_t>(bits & 0xFF);
            data[2 * i + 1] = static_cast<std::uint8_t>(bits >> 8);
        }
        block_.reset();
        return {DeviceAnswer::Kind::Done, static_cast<std::uint32_t>(2 * count)};
    }
    return Stall(endpoint);
}

void SimulatedMv300::Command(std::span<const std::uint8_t> packet) {
    const std::uint8_t code = packet[0];
    commandsReceived_.push_back(code);
    std::array<std::uint8_t, kPacketSize> reply{};
    reply[0] = code;
    switch (code) {
        case kRegisterWrite:
            RegisterWrite(static_cast<std::uint16_t>(packet[2] | (packet[3] << 8)), reply);
            break;
        case kAcquireBlock:
            reply[2] = packet[2];
            block_.reset();
            if (fpgaConfigured_) {
                block_ = source_->Block(mode_, Attached(mode_), blocksSinceArming_++);
            }
            break;
        case kReadPage: {
            reply[2] = packet[2];
            const SimulatedStore::Page& page = store_->Read(packet[2]);
            std::copy(page.begin(), page.end(), reply.begin() + 3);
            break;
        }
        case kWritePage: {
            reply[2] = packet[2];
            SimulatedStore::Page page{};
            std::copy_n(packet.begin() + 3, page.size(), page.begin());
            store_->Write(packet[2], page);
            break;
        }
        case kBeginFpgaLoad:
            // The reply comes once the whole image has been streamed.
            receivingFpga_ = true;
            fpgaConfigured_ = false;
            fpgaStream_.clear();
            reply_.reset();
            return;
        default:
            reply[1] = 0xFF;  // not a command of this firmware
            break;
    }
    reply_ = reply;
}

void SimulatedMv300::RegisterWrite(std::uint16_t value,
                                   std::array<std::uint8_t, kPacketSize>& reply) {
    registersWritten_.push_back(value);
    // Bit 2 of the front-end and arming values selects the differential path.
    const std::uint16_t withoutMode = value & 0xFFFB;
    if (withoutMode == 0x8241 || withoutMode == 0x0082) {
        mode_ = ModeFromDifferential((value & 4) != 0);
    }
    if (withoutMode == 0x0082) {
        blocksSinceArming_ = 0;
    }
    // The FPGA echoes what its register now holds; without it nothing answers.
    const std::uint16_t readBack = fpgaConfigured_ ? value : 0;
    reply[2] = static_cast<std::uint8_t>(readBack & 0xFF);
    reply[3] = static_cast<std::uint8_t>(readBack >> 8);
}

}  // namespace orvik::sim
