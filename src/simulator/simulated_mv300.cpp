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

// What the IN pipes hold at most: older replies and blocks are overwritten.
constexpr std::size_t kPipeDepth = 4;
constexpr std::uint16_t kResetValue = 0x0000;
constexpr std::uint16_t kFrontEndValue = 0x8241;
constexpr std::uint16_t kArmingValue = 0x0082;
constexpr std::uint16_t kDifferentialBit = 4;

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

SimulatedMv300::SimulatedMv300(Mv300Options options, const Clock* clock)
    : options_(std::move(options)),
      store_(options_.storePath.empty() ? std::make_unique<SimulatedStore>()
                                        : std::make_unique<SimulatedStore>(options_.storePath)),
      source_(std::make_unique<PhysicsWaveformSource>(options_.noiseSeed)),
      codeMemory_(kCodeSize, 0),
      highMemory_(kHighSize, 0),
      clock_(clock) {
    if (options_.warm) {
        programRunning_ = true;
        fpgaConfigured_ = true;
    }
}

std::uint16_t SimulatedMv300::ReleaseNumber() const {
    // The controller's program reports the release; it knows nothing of the FPGA.
    return programRunning_ ? kRunningReleaseNumber : options_.coldReleaseNumber;
}

void SimulatedMv300::StopProgram() {
    programRunning_ = false;
    fpgaConfigured_ = false;
    receivingFpga_ = false;
    fpgaStream_.clear();
    replies_.clear();
    captured_.reset();
    sampleFifo_.clear();
    frontEndAtMs_.reset();
    armedAtMs_.reset();
    lastRegisterAtMs_.reset();
    setupPaced_ = true;
}

void SimulatedMv300::PowerCycle() {
    std::fill(codeMemory_.begin(), codeMemory_.end(), 0);
    std::fill(highMemory_.begin(), highMemory_.end(), 0);
    controllerHeld_ = false;
    renumerate_ = false;
    StopProgram();
    halted_.clear();
    aborted_.clear();
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

void SimulatedMv300::AbortPipe(std::uint8_t endpoint) {
    if (std::find(aborted_.begin(), aborted_.end(), endpoint) == aborted_.end()) {
        aborted_.push_back(endpoint);
    }
}

void SimulatedMv300::ResetPipe(std::uint8_t endpoint) {
    halted_.erase(std::remove(halted_.begin(), halted_.end(), endpoint), halted_.end());
    const auto aborted = std::find(aborted_.begin(), aborted_.end(), endpoint);
    if (aborted == aborted_.end()) {
        return;
    }
    aborted_.erase(aborted);
    if (endpoint == kCommandIn) {
        replies_.clear();
    } else if (endpoint == kSamplesIn) {
        sampleFifo_.clear();
    }
}

std::vector<std::uint8_t> SimulatedMv300::DeviceDescriptor() const {
    std::vector<std::uint8_t> bytes{18, 1};
    Put16(bytes, 0x0200);
    bytes.insert(bytes.end(), {0, 0, 0, 64});
    const bool cold = !programRunning_ && options_.coldIds;
    Put16(bytes, cold ? (*options_.coldIds)[0] : kVendorId);
    Put16(bytes, cold ? (*options_.coldIds)[1] : kProductId);
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
            return Utf16Descriptor(options_.serialNumber);
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
                StopProgram();
            } else if (controllerHeld_) {
                ReleaseController();
            }
        }
    }
    return {DeviceAnswer::Kind::Done, static_cast<std::uint32_t>(data.size())};
}

void SimulatedMv300::ReleaseController() {
    controllerHeld_ = false;
    programRunning_ = options_.programSignature.empty()
                          ? ProgramAccepted(codeMemory_, highMemory_)
                          : ProgramAccepted(codeMemory_, highMemory_, options_.programSignature);
    if (programRunning_) {
        ++programUploads_;
        renumerate_ = true;
    }
}

DeviceAnswer SimulatedMv300::PipeOut(std::uint8_t endpoint, std::span<const std::uint8_t> data) {
    if (Halted(endpoint) || !programRunning_) {
        return Stall(endpoint);
    }
    if (endpoint == kCommandOut && data.size() == kPacketSize) {
        if (silent_) {
            return Stall(endpoint);
        }
        const auto fault = data[0] == kWritePage ? pageFaults_.find(data[2]) : pageFaults_.end();
        if (fault != pageFaults_.end() && fault->second == PageWriteFault::Refused) {
            return Stall(endpoint);
        }
        Command(data);
        if (fault != pageFaults_.end()) {
            replies_.pop_back();  // the page is written, its reply lost
            silent_ = fault->second == PageWriteFault::WrittenThenSilent;
            if (fault->second == PageWriteFault::WrittenThenRefused) {
                fault->second = PageWriteFault::Refused;
            }
        }
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
        return DeliverReply(data);
    }
    if (endpoint == kSamplesIn) {
        return DeliverBlock(data);
    }
    return Stall(endpoint);
}

DeviceAnswer SimulatedMv300::DeliverReply(std::span<std::uint8_t> data) {
    if (receivingFpga_ && replies_.empty()) {
        // The end of the stream: the FPGA says whether it took the image.
        receivingFpga_ = false;
        fpgaConfigured_ = FpgaStreamAccepted(fpgaStream_);
        fpgaLoads_ += fpgaConfigured_ ? 1 : 0;
        fpgaStream_.clear();
        std::array<std::uint8_t, kPacketSize> reply{};
        reply[0] = kBeginFpgaLoad;
        reply[2] = fpgaConfigured_ ? 1 : 0;
        PushReply(reply);
    }
    if (replies_.empty()) {
        return {DeviceAnswer::Kind::Nak, 0};
    }
    const std::size_t count = std::min(kPacketSize, data.size());
    std::copy_n(replies_.front().begin(), count, data.begin());
    replies_.pop_front();
    return {DeviceAnswer::Kind::Done, static_cast<std::uint32_t>(count)};
}

DeviceAnswer SimulatedMv300::DeliverBlock(std::span<std::uint8_t> data) {
    std::vector<std::int16_t> block;
    if (!sampleFifo_.empty()) {
        block = std::move(sampleFifo_.front());
        sampleFifo_.pop_front();
    } else if (captured_) {
        block = std::move(*captured_);
        captured_.reset();
    } else {
        return {DeviceAnswer::Kind::Nak, 0};
    }
    // Whatever the read does not take of the block is lost.
    const std::size_t count = std::min(block.size(), data.size() / 2);
    for (std::size_t i = 0; i < count; ++i) {
        const auto bits = static_cast<std::uint16_t>(block[i]);
        data[2 * i] = static_cast<std::uint8_t>(bits & 0xFF);
        data[2 * i + 1] = static_cast<std::uint8_t>(bits >> 8);
    }
    return {DeviceAnswer::Kind::Done, static_cast<std::uint32_t>(2 * count)};
}

void SimulatedMv300::PushReply(const std::array<std::uint8_t, kPacketSize>& reply) {
    if (replies_.size() == kPipeDepth) {
        replies_.pop_front();
    }
    replies_.push_back(reply);
}

bool SimulatedMv300::ReadyForBlocks() const {
    return fpgaConfigured_ && armedAtMs_ && NowMs() - *armedAtMs_ >= kArmingSettleMs;
}

void SimulatedMv300::AcquireBlock(std::uint8_t parameter) {
    // The sampler hands its last block on to the sample pipe, where it waits
    // to be read, and takes the next one.
    if (captured_) {
        if (sampleFifo_.size() == kPipeDepth) {
            sampleFifo_.pop_front();
        }
        sampleFifo_.push_back(std::move(*captured_));
        captured_.reset();
    }
    if (parameter == kAcquireParameter && ReadyForBlocks()) {
        captured_ = source_->Block(mode_, Attached(mode_), blocksSinceArming_);
    }
    ++blocksSinceArming_;
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
            AcquireBlock(packet[2]);
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
            captured_.reset();
            armedAtMs_.reset();
            return;
        default:
            reply[1] = 0xFF;  // not a command of this firmware
            break;
    }
    PushReply(reply);
}

void SimulatedMv300::RegisterWrite(std::uint16_t value,
                                   std::array<std::uint8_t, kPacketSize>& reply) {
    registersWritten_.push_back(value);
    const std::int64_t now = NowMs();
    // A write that comes before the previous one has settled spoils the set-up.
    if (lastRegisterAtMs_ && now - *lastRegisterAtMs_ < kRegisterSettleMs) {
        setupPaced_ = false;
    }
    lastRegisterAtMs_ = now;
    // Bit 2 of the front-end and arming values selects the differential path.
    const std::uint16_t withoutMode = value & ~kDifferentialBit;
    const MeasurementMode mode = ModeFromDifferential((value & kDifferentialBit) != 0);
    if (value == kResetValue) {
        frontEndAtMs_.reset();
        armedAtMs_.reset();
        setupPaced_ = true;
    } else if (withoutMode == kFrontEndValue) {
        mode_ = mode;
        frontEndMode_ = mode;
        frontEndAtMs_ = now;
        armedAtMs_.reset();
    } else if (withoutMode == kArmingValue) {
        mode_ = mode;
        blocksSinceArming_ = 0;
        const bool settled =
            frontEndAtMs_ && frontEndMode_ == mode && now - *frontEndAtMs_ >= kFrontEndSettleMs;
        armedAtMs_.reset();
        if (settled && setupPaced_ && fpgaConfigured_) {
            armedAtMs_ = now;
        }
    }
    // The FPGA echoes what its register now holds; without it nothing answers.
    const std::uint16_t readBack = fpgaConfigured_ ? value : 0;
    reply[2] = static_cast<std::uint8_t>(readBack & 0xFF);
    reply[3] = static_cast<std::uint8_t>(readBack >> 8);
}

}  // namespace orvik::sim
