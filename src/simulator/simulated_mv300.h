#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "simulator/block_source.h"
#include "simulator/simulated_store.h"

namespace orvik::sim {

// The standard setup packet of a control transfer.
struct SetupPacket {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
};

// How the device answered one transfer.
struct DeviceAnswer {
    enum class Kind {
        Done,   // moved `bytes` bytes
        Stall,  // refused; the endpoint is halted until its pipe is reset
        Nak,    // nothing to give yet: the request waits
    };
    Kind kind = Kind::Done;
    std::uint32_t bytes = 0;
};

struct Mv300Options {
    // Program and FPGA already loaded at power-on (an instrument already
    // started once since it was plugged in).
    bool warm = false;
    std::uint16_t coldReleaseNumber = 0x0001;
    // The store file; empty for a store in memory.
    std::string storePath;
    // Replaces the configuration descriptor the device reports.
    std::optional<std::vector<std::uint8_t>> configurationDescriptor;
    // Language IDs of string descriptor 0.
    std::vector<std::uint16_t> languages{0x0409};
    // Seed of the sampler noise.
    std::uint64_t noiseSeed = 1;
};

// The instrument as its USB controller and firmware behave: descriptors,
// program upload through vendor request 0xA0, the command pipe, FPGA
// configuration, register writes, sample blocks and the store.
class SimulatedMv300 {
  public:
    static constexpr std::uint16_t kVendorId = 0x2F4E;
    static constexpr std::uint16_t kProductId = 0x0300;
    static constexpr std::uint16_t kRunningReleaseNumber = 0x0064;
    static constexpr std::uint8_t kCommandOut = 0x01;
    static constexpr std::uint8_t kCommandIn = 0x81;
    static constexpr std::uint8_t kFpgaOut = 0x04;
    static constexpr std::uint8_t kSamplesIn = 0x88;

    explicit SimulatedMv300(Mv300Options options = {});

    // Endpoint 0.
    DeviceAnswer Control(const SetupPacket& setup, std::span<std::uint8_t> data);
    // The other endpoints.
    DeviceAnswer PipeOut(std::uint8_t endpoint, std::span<const std::uint8_t> data);
    DeviceAnswer PipeIn(std::uint8_t endpoint, std::span<std::uint8_t> data);
    void ResetPipe(std::uint8_t endpoint);
    bool HasEndpoint(std::uint8_t endpoint) const;
    bool Halted(std::uint8_t endpoint) const;

    // Unplugged and plugged in again: program and FPGA are lost, the store stays.
    void PowerCycle();

    std::uint16_t ReleaseNumber() const;
    bool ProgramRunning() const { return programRunning_; }
    bool FpgaConfigured() const { return fpgaConfigured_; }
    bool ControllerHeld() const { return controllerHeld_; }
    int ProgramUploads() const { return programUploads_; }
    int FpgaLoads() const { return fpgaLoads_; }

    const std::vector<std::uint16_t>& RegistersWritten() const { return registersWritten_; }
    // The cable the front end is switched to (by bit 2 of the register values).
    MeasurementMode Mode() const { return mode_; }
    int BlocksSinceArming() const { return blocksSinceArming_; }
    std::vector<std::uint8_t> CommandsReceived() const { return commandsReceived_; }

    SimulatedStore& Store() { return *store_; }
    // What is attached to each cable: nothing at first. Takes effect with
    // the next record the sampler takes.
    void Attach(MeasurementMode mode, CableAttachment attachment) {
        attachments_[IsDifferential(mode)] = std::move(attachment);
    }
    const CableAttachment& Attached(MeasurementMode mode) const {
        return attachments_[IsDifferential(mode)];
    }
    // The physics of the reflected step by default (PhysicsWaveformSource).
    void SetWaveformSource(std::unique_ptr<WaveformSource> source) { source_ = std::move(source); }
    WaveformSource& Source() { return *source_; }

    std::vector<std::uint8_t> DeviceDescriptor() const;
    std::vector<std::uint8_t> ConfigurationDescriptor() const;
    // String descriptor `index`; empty when the device has none.
    std::vector<std::uint8_t> StringDescriptor(std::uint8_t index) const;

  private:
    DeviceAnswer VendorWrite(const SetupPacket& setup, std::span<const std::uint8_t> data);
    DeviceAnswer StandardRead(const SetupPacket& setup, std::span<std::uint8_t> data);
    void Command(std::span<const std::uint8_t> packet);
    void RegisterWrite(std::uint16_t value, std::array<std::uint8_t, 62>& reply);
    void ReleaseController();
    DeviceAnswer Stall(std::uint8_t endpoint);

    Mv300Options options_;
    std::unique_ptr<SimulatedStore> store_;
    std::unique_ptr<WaveformSource> source_;
    std::array<CableAttachment, 2> attachments_{};

    std::vector<std::uint8_t> codeMemory_;
    std::vector<std::uint8_t> highMemory_;
    bool controllerHeld_ = false;
    bool programRunning_ = false;
    bool fpgaConfigured_ = false;
    int programUploads_ = 0;
    int fpgaLoads_ = 0;

    bool receivingFpga_ = false;
    std::vector<std::uint8_t> fpgaStream_;
    std::optional<std::array<std::uint8_t, 62>> reply_;
    std::optional<std::vector<std::int16_t>> block_;
    std::vector<std::uint8_t> halted_;

    std::vector<std::uint16_t> registersWritten_;
    std::vector<std::uint8_t> commandsReceived_;
    MeasurementMode mode_ = MeasurementMode::SingleEnded;
    int blocksSinceArming_ = 0;
};

}  // namespace orvik::sim
