#include "instrument/trigger_port.h"

namespace orvik {
namespace {

constexpr std::uint8_t kInput1Idle = 0x01;  // a clear bit means the input is pressed
constexpr std::uint8_t kInput2Idle = 0x02;

}  // namespace

CTriggerPort::CTriggerPort(DriverPort& port, OperatorPrompts& prompts)
    : port_(port), prompts_(prompts) {}

CTriggerPort::~CTriggerPort() {
    if (IsOpen()) {
        port_.Close(handle_);
    }
}

int CTriggerPort::FindTriggerDevices(std::vector<std::string>& paths) {
    const std::vector<std::string> found = port_.EnumerateInterfaces(kTriggerInterfaceGuid);
    paths.clear();
    for (const std::string& path : found) {
        if (paths.size() == kMaxPaths) {
            break;
        }
        paths.push_back(path.substr(0, kMaxPathLength));
    }
    return static_cast<int>(found.size());
}

bool CTriggerPort::OpenTrigger(const std::string& path) {
    const OpenResult opened = port_.Open(path, OpenOptions{false, false});
    if (opened.handle == kInvalidDriverHandle) {
        handle_ = kInvalidDriverHandle;
        prompts_.Message(port_.ErrorText(opened.error), "Failed to open Device", PromptIcon::Error);
        return false;
    }
    handle_ = opened.handle;
    return true;
}

bool CTriggerPort::CloseTrigger() {
    if (!IsOpen()) {
        return false;
    }
    const std::uint32_t error = port_.Close(handle_);
    handle_ = kInvalidDriverHandle;
    if (error != os_error::kSuccess) {
        prompts_.Message(port_.ErrorText(error), "Failed to close Device", PromptIcon::Error);
        return false;
    }
    return true;
}

bool CTriggerPort::SendTriggerPacket() {
    if (!IsOpen()) {
        prompts_.Message("Device not open!", "SendPacket Failed!", PromptIcon::Error);
        return false;
    }
    packet_[0] = 8;
    packet_[1] = 0x12;
    packet_[6] = 0;
    packet_[7] = 0;
    const IoResult result = port_.IoControl(handle_, kTriggerRequest, packet_, packet_);
    if (result.ok) {
        return true;
    }
    // The timer stops before the message, so the operator sees it only once.
    if (listener_) {
        listener_->StopTriggerPoll();
    }
    prompts_.Message(port_.ErrorText(result.error), "Failed to send USBIODS packet! Timer Disabled",
                     PromptIcon::Error);
    CloseTrigger();
    return false;
}

void CTriggerPort::TriggerPoll() {
    packet_[2] = 0x0B;
    packet_[3] = 0;
    packet_[4] = 0;
    packet_[5] = 0;
    if (!SendTriggerPacket()) {
        return;
    }
    const std::uint8_t inputs = packet_[0];
    // Both inputs pressed at the same instant is taken as no press at all.
    if ((inputs & (kInput1Idle | kInput2Idle)) == 0) {
        return;
    }
    if (inputs & kInput1Idle) {
        input1Latched_ = false;
    } else if (!input1Latched_) {
        input1Latched_ = true;
        if (listener_) {
            listener_->TriggerRunTest();
        }
    }
    if (inputs & kInput2Idle) {
        input2Latched_ = false;
    } else if (!input2Latched_) {
        input2Latched_ = true;
        if (listener_) {
            listener_->TriggerRecordTest();
        }
    }
}

}  // namespace orvik
