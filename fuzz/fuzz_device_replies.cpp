// An instrument that answers every request with arbitrary bytes: each
// descriptor request, command reply, store page and sample block, and each
// transfer header's status words, comes from the input, as do failures,
// requests that never complete and byte counts that do not match. Start-up,
// a Run Test and a cable characterisation run against it. Nothing may read
// or write outside its buffers (checked by the sanitizers), every wait must
// end, and the values put in force must stay usable.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "base/clock.h"
#include "input_bytes.h"
#include "instrument/instrument_station.h"
#include "silent_prompts.h"

namespace {

using namespace orvik;

using fuzzing::InputBytes;

constexpr std::uint32_t kErrors[] = {os_error::kGeneralFailure, os_error::kSemaphoreTimeout,
                                     os_error::kDeviceNotConnected, os_error::kOperationAborted,
                                     os_error::kInvalidParameter};

// Every answer starts with a control byte: its top bits choose failure,
// success or (for overlapped requests) a request that stays pending; its low
// bits, with the next byte, how many bytes of reply follow. Once the input is
// used up, every request fails, as an unplugged instrument's would.
class ArbitraryInstrumentPort : public DriverPort {
  public:
    explicit ArbitraryInstrumentPort(InputBytes& replies) : replies_(replies) {}

    std::vector<std::string> EnumerateInterfaces(const Guid& guid) override {
        return guid == kInstrumentInterfaceGuid ? std::vector<std::string>{"mv300"}
                                                : std::vector<std::string>{};
    }
    OpenResult Open(const std::string&, OpenOptions) override {
        if (replies_.Empty()) {
            return OpenResult{kInvalidDriverHandle, os_error::kFileNotFound};
        }
        ++open_;
        return OpenResult{100 + open_, os_error::kSuccess};
    }
    std::uint32_t Close(DriverHandle) override { return os_error::kSuccess; }

    IoResult IoControl(DriverHandle, std::uint32_t, std::span<std::uint8_t> input,
                       std::span<std::uint8_t> output) override {
        return Answer(input, output);
    }
    IoStart StartIoControl(DriverHandle, std::uint32_t, std::span<std::uint8_t> input,
                           std::span<std::uint8_t> output) override {
        const std::uint8_t choice = replies_.Next();
        if (choice >= 0xF0) {
            return IoStart{kErrors[choice % std::size(kErrors)], 0};
        }
        const RequestId id = ++lastRequest_;
        pending_[id] = Request{input, output, choice >= 0xC0};
        return IoStart{choice & 1 ? os_error::kIoPending : os_error::kSuccess, id};
    }
    bool WaitIoControl(RequestId request, std::optional<std::int64_t>) override {
        const auto found = pending_.find(request);
        if (found == pending_.end()) {
            std::abort();  // waiting for a request that was never started or already finished
        }
        return !found->second.neverCompletes;
    }
    IoResult FinishIoControl(RequestId request) override {
        const auto found = pending_.find(request);
        if (found == pending_.end()) {
            std::abort();
        }
        const Request started = found->second;
        pending_.erase(found);
        if (started.neverCompletes) {
            return IoResult{false, 0, os_error::kOperationAborted};
        }
        return Answer(started.input, started.output);
    }
    std::string ErrorText(std::uint32_t error) override { return SystemErrorText(error); }

    // Requests started and not finished when the station is done with the port.
    std::size_t Unfinished() const { return pending_.size(); }

  private:
    struct Request {
        std::span<std::uint8_t> input;
        std::span<std::uint8_t> output;
        bool neverCompletes = false;
    };

    IoResult Answer(std::span<std::uint8_t> input, std::span<std::uint8_t> output) {
        const std::uint8_t control = replies_.Next();
        if (control >= 0xE0) {
            return IoResult{false, 0, kErrors[control % std::size(kErrors)]};
        }
        // The driver may write status words into the request's header.
        if ((control & 0x40) && !input.empty()) {
            input[replies_.Next() % input.size()] = replies_.Next();
        }
        const std::size_t wanted =
            (static_cast<std::size_t>(control & 0x1F) << 8) | replies_.Next();
        const std::size_t length = std::min(wanted, output.size());
        for (std::size_t i = 0; i < length; ++i) {
            output[i] = replies_.Next();
        }
        return IoResult{true, static_cast<std::uint32_t>(length), os_error::kSuccess};
    }

    InputBytes& replies_;
    std::int64_t open_ = 0;
    RequestId lastRequest_ = 0;
    std::map<RequestId, Request> pending_;
};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckValuesInForce(const InstrumentStation& station) {
    for (const MeasurementMode mode :
         {MeasurementMode::SingleEnded, MeasurementMode::Differential}) {
        const int end = station.Calibration().EndOfCable(mode);
        Check(end >= kMinEndOfCable && end <= kMaxEndOfCable);
        Check(ResponseKernel::Unusable(station.Kernels().For(mode).Values()).empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    InputBytes replies(data + 1, size - 1, 0xFF);
    ArbitraryInstrumentPort port(replies);
    VirtualClock clock;
    SilentPrompts prompts;
    {
        InstrumentStation station(port, clock, prompts);
        station.SetDumpPath("");
        station.StartUp({});
        CheckValuesInForce(station);
        const MeasurementMode mode = ModeFromDifferential(flags & 1);
        const MeasuredProfile profile = station.MeasureProfile(mode);
        Check(profile.Failed() || profile.Impedance.size() == kMeasuredProfileLength);
        if (flags & 2) {
            station.CharacterizeCable(mode);
            CheckValuesInForce(station);
        }
    }
    // A request the station started must have been finished (or given up)
    // before its buffers went away.
    Check(port.Unfinished() == 0);
    return 0;
}
