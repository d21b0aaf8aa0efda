// Arbitrary replies from the trigger port: each poll's request succeeds with
// any number of reply bytes (a short reply leaves the rest of the packet as
// it was sent, as the USB port does) or fails with any error, and the driver
// lists any number of interface paths of any length. Whatever comes back,
// every poll sends the same request, each press of an input fires once, and
// a failure stops the poll for good with the port closed.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/operator_prompts.h"
#include "input_bytes.h"
#include "instrument/trigger_port.h"

namespace {

using namespace orvik;

using fuzzing::InputBytes;

constexpr DriverHandle kTriggerHandle = 7;
constexpr std::array<std::uint8_t, 8> kPollRequest{8, 0x12, 0x0B, 0, 0, 0, 0, 0};

class FuzzedTriggerDriver : public DriverPort {
  public:
    explicit FuzzedTriggerDriver(InputBytes& replies) : replies_(replies) {}

    std::vector<std::string> EnumerateInterfaces(const Guid& guid) override {
        if (!(guid == kTriggerInterfaceGuid)) {
            std::abort();
        }
        std::vector<std::string> paths(replies_.Next() + replies_.Next());
        for (std::string& path : paths) {
            path.assign(static_cast<std::size_t>(replies_.Next()) * 3, 'p');
        }
        return paths;
    }
    OpenResult Open(const std::string&, OpenOptions) override {
        ++opens;
        return OpenResult{kTriggerHandle, os_error::kSuccess};
    }
    std::uint32_t Close(DriverHandle handle) override {
        if (handle != kTriggerHandle) {
            std::abort();
        }
        ++closes;
        return replies_.Next() == 0xFF ? os_error::kGeneralFailure : os_error::kSuccess;
    }
    IoResult IoControl(DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> input,
                       std::span<std::uint8_t> output) override {
        if (handle != kTriggerHandle || code != CTriggerPort::kTriggerRequest ||
            input.size() != 8 || output.size() != 8 || closes != 0) {
            std::abort();
        }
        if (!std::equal(input.begin(), input.end(), kPollRequest.begin())) {
            std::abort();  // an earlier reply leaked into the request
        }
        ++requests;
        const std::uint8_t control = replies_.Next();
        if (control & 0x80) {
            return IoResult{false, 0, static_cast<std::uint32_t>(replies_.Next()) * 13};
        }
        std::copy(input.begin(), input.end(), output.begin());
        const std::size_t length = std::min<std::size_t>(control & 0x0F, 8);
        for (std::size_t i = 0; i < length; ++i) {
            output[i] = replies_.Next();
        }
        lastInputs = output[0];
        // A driver may claim any byte count; the packet is 8 bytes whatever it says.
        return IoResult{true, static_cast<std::uint32_t>(control) * 1000u, os_error::kSuccess};
    }
    IoStart StartIoControl(DriverHandle, std::uint32_t, std::span<std::uint8_t>,
                           std::span<std::uint8_t>) override {
        std::abort();  // the trigger port only makes synchronous requests
    }
    bool WaitIoControl(RequestId, std::optional<std::int64_t>) override { std::abort(); }
    IoResult FinishIoControl(RequestId) override { std::abort(); }
    std::string ErrorText(std::uint32_t error) override { return SystemErrorText(error); }

    int opens = 0;
    int closes = 0;
    int requests = 0;
    std::uint8_t lastInputs = 0xFF;

  private:
    InputBytes& replies_;
};

class CountingPrompts : public OperatorPrompts {
  public:
    void Message(const std::string&, const std::string&, PromptIcon) override { ++messages; }
    bool AskYesNo(const std::string&, const std::string&) override { std::abort(); }
    std::optional<std::string> AskTraceName(const std::string&) override { std::abort(); }
    std::optional<std::string> AskCouponSerial() override { std::abort(); }
    int messages = 0;
};

// Counts presses and checks that an input fires again only after a poll
// that read it released.
class PressCounter : public TriggerPortListener {
  public:
    void StopTriggerPoll() override { ++stops; }
    void TriggerRunTest() override { Fire(input1Armed, 0x01); }
    void TriggerRecordTest() override { Fire(input2Armed, 0x02); }
    void AfterPoll(std::uint8_t read, bool replied) {
        if (replied && (read & 0x01)) {
            input1Armed = true;
        }
        if (replied && (read & 0x02)) {
            input2Armed = true;
        }
    }
    int stops = 0;
    int presses = 0;
    const std::uint8_t* inputs = nullptr;  // the reply's input byte

  private:
    void Fire(bool& armed, std::uint8_t idleBit) {
        // Pressed means the input's bit is clear, and never both at once.
        if (!armed || (*inputs & idleBit) || (*inputs & 0x03) == 0) {
            std::abort();
        }
        armed = false;
        ++presses;
    }
    bool input1Armed = true;
    bool input2Armed = true;
};

void CheckPaths(CTriggerPort& trigger) {
    std::vector<std::string> paths;
    const int found = trigger.FindTriggerDevices(paths);
    if (paths.size() > CTriggerPort::kMaxPaths || found < static_cast<int>(paths.size())) {
        std::abort();
    }
    for (const std::string& path : paths) {
        if (path.size() > CTriggerPort::kMaxPathLength) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputBytes replies(data, size, 0);
    FuzzedTriggerDriver driver(replies);
    CountingPrompts prompts;
    PressCounter listener;
    listener.inputs = &driver.lastInputs;
    {
        CTriggerPort trigger(driver, prompts);
        trigger.SetListener(&listener);
        CheckPaths(trigger);
        if (!trigger.OpenTrigger("trigger")) {
            std::abort();
        }
        // The poll timer ticks until the port stops it, as the main window's does.
        while (!replies.Empty() && listener.stops == 0) {
            const int before = driver.requests;
            trigger.TriggerPoll();
            const bool replied = trigger.IsOpen();
            if (driver.requests != before + 1 || (!replied && listener.stops != 1)) {
                std::abort();
            }
            listener.AfterPoll(trigger.Packet()[0], replied);
        }
        if (listener.stops > 1 ||
            (listener.stops == 1 && (trigger.IsOpen() || driver.closes != 1))) {
            std::abort();
        }
    }
    // The port closes its handle once, whether it failed or was destroyed.
    if (driver.closes != 1 || driver.opens != 1) {
        std::abort();
    }
    return 0;
}
