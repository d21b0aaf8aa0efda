#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/clock.h"
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
    // The vendor and product id its USB controller reports before the
    // program runs; the running instrument's when empty.
    std::optional<std::array<std::uint16_t, 2>> coldIds;
    // The store file; empty for a store in memory.
    std::string storePath;
    // Replaces the configuration descriptor the device reports.
    std::optional<std::vector<std::uint8_t>> configurationDescriptor;
    // The serial number string, before and after the program runs.
    std::string serialNumber = "SIM0300001";
    // What the controller takes for its program (the signature in its code).
    std::string programSignature;
    // Language IDs of string descriptor 0.
    std::vector<std::uint16_t> languages{0x0409};
    // Seed of the sampler noise.
    std::uint64_t noiseSeed = 1;
};

// The instrument as its USB controller and firmware behave: descriptors,
// program upload through vendor request 0xA0, the command pipe, FPGA
// configuration, register writes, sample blocks and the store.
//
// It forgives nothing a real instrument would not:
// - A reply or a sample block that was not read stays in its IN pipe and is
//   what the next read gets, until the host aborts and then resets that pipe.
// - The sampler gives samples only after the register set-up: the front-end
//   value, then at least 50 ms later the arming value of the same cable, every
//   register write at least 10 ms after the one before, and the first block
//   asked for at least 120 ms after arming. An acquire-block command before
//   that, or with a parameter other than 4, captures nothing, and the read of
//   the sample pipe waits in vain.
// - When the controller's new program starts it reports the running release
//   number, whether or not the FPGA is configured, and (through the driver)
//   leaves the bus to come back as the running instrument.
class SimulatedMv300 {
  public:
    static constexpr std::uint16_t kVendorId = 0x2F4E;
    static constexpr std::uint16_t kProductId = 0x0300;
    static constexpr std::uint16_t kRunningReleaseNumber = 0x0064;
    static constexpr std::uint8_t kCommandOut = 0x01;
    static constexpr std::uint8_t kCommandIn = 0x81;
    static constexpr std::uint8_t kFpgaOut = 0x04;
    static constexpr std::uint8_t kSamplesIn = 0x88;

    static constexpr std::int64_t kRegisterSettleMs = 10;
    static constexpr std::int64_t kFrontEndSettleMs = 50;
    static constexpr std::int64_t kArmingSettleMs = 120;
    static constexpr std::uint8_t kAcquireParameter = 4;

    // Time for the set-up checks comes from `clock`; without one it stands still.
    explicit SimulatedMv300(Mv300Options options = {}, const Clock* clock = nullptr);

    // Endpoint 0.
    DeviceAnswer Control(const SetupPacket& setup, std::span<std::uint8_t> data);
    // The other endpoints.
    DeviceAnswer PipeOut(std::uint8_t endpoint, std::span<const std::uint8_t> data);
    DeviceAnswer PipeIn(std::uint8_t endpoint, std::span<std::uint8_t> data);
    // The host gave up what it had asked of the pipe. A reset after it
    // empties the pipe of what the device had put there.
    void AbortPipe(std::uint8_t endpoint);
    void ResetPipe(std::uint8_t endpoint);
    bool HasEndpoint(std::uint8_t endpoint) const;
    bool Halted(std::uint8_t endpoint) const;

    // Unplugged and plugged in again: program and FPGA are lost, the store stays.
    void PowerCycle();

    // True once after the controller's new program started: the device now
    // leaves the bus and comes back as the running instrument.
    bool TakeRenumeration() { return std::exchange(renumerate_, false); }

    std::uint16_t ReleaseNumber() const;
    bool ProgramRunning() const { return programRunning_; }
    bool FpgaConfigured() const { return fpgaConfigured_; }
    bool ControllerHeld() const { return controllerHeld_; }
    int ProgramUploads() const { return programUploads_; }
    int FpgaLoads() const { return fpgaLoads_; }
    // The controller's code memory as the uploads left it.
    const std::vector<std::uint8_t>& CodeMemory() const { return codeMemory_; }

    const std::vector<std::uint16_t>& RegistersWritten() const { return registersWritten_; }
    // The cable the front end is switched to (by bit 2 of the register values).
    MeasurementMode Mode() const { return mode_; }
    int BlocksSinceArming() const { return blocksSinceArming_; }
    // The register set-up is complete and has settled: blocks bring samples.
    bool ReadyForBlocks() const;
    // Replies and sample blocks waiting in their IN pipes.
    std::size_t RepliesWaiting() const { return replies_.size(); }
    std::size_t BlocksWaiting() const { return sampleFifo_.size() + (captured_ ? 1 : 0); }
    std::vector<std::uint8_t> CommandsReceived() const { return commandsReceived_; }

    SimulatedStore& Store() { return *store_; }
    // How writes of a store page go wrong.
    enum class PageWriteFault {
        Refused,             // stalled, the page keeps its contents: a worn-out cell
        ReplyLost,           // written, but the reply never comes
        WrittenThenRefused,  // the first write takes and its reply is lost; later ones are refused
        WrittenThenSilent,   // written, its reply lost, and no command is answered after it
    };
    void FailPageWrites(std::uint8_t page, PageWriteFault fault = PageWriteFault::Refused) {
        pageFaults_[page] = fault;
    }
    void ClearPageWriteFailures() {
        pageFaults_.clear();
        silent_ = false;
    }
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
    void AcquireBlock(std::uint8_t parameter);
    void PushReply(const std::array<std::uint8_t, 62>& reply);
    DeviceAnswer DeliverReply(std::span<std::uint8_t> data);
    DeviceAnswer DeliverBlock(std::span<std::uint8_t> data);
    void ReleaseController();
    void StopProgram();
    DeviceAnswer Stall(std::uint8_t endpoint);
    std::int64_t NowMs() const { return clock_ ? clock_->NowMs() : 0; }

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

    bool renumerate_ = false;

    const Clock* clock_;
    bool receivingFpga_ = false;
    std::vector<std::uint8_t> fpgaStream_;
    // The command IN pipe, oldest reply first.
    std::deque<std::array<std::uint8_t, 62>> replies_;
    // The block the sampler took for the latest acquire-block command, and
    // the earlier ones it handed on to the sample pipe, oldest first.
    std::optional<std::vector<std::int16_t>> captured_;
    std::deque<std::vector<std::int16_t>> sampleFifo_;
    std::vector<std::uint8_t> halted_;
    std::vector<std::uint8_t> aborted_;

    std::map<std::uint8_t, PageWriteFault> pageFaults_;
    bool silent_ = false;  // the instrument answers no command
    std::vector<std::uint16_t> registersWritten_;
    std::vector<std::uint8_t> commandsReceived_;
    MeasurementMode mode_ = MeasurementMode::SingleEnded;
    int blocksSinceArming_ = 0;
    // The register set-up since the last reset value.
    std::optional<std::int64_t> lastRegisterAtMs_;
    bool setupPaced_ = true;
    std::optional<std::int64_t> frontEndAtMs_;
    MeasurementMode frontEndMode_ = MeasurementMode::SingleEnded;
    std::optional<std::int64_t> armedAtMs_;
};

}  // namespace orvik::sim
