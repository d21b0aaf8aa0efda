#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "instrument/driver_port.h"

namespace orvik {

// One call that went through a recording port.
struct RecordedCall {
    enum class Kind { Enumerate, Open, Close, IoControl };
    Kind kind = Kind::IoControl;
    std::string path;  // Enumerate: the class; Open: the path
    DriverHandle handle = kInvalidDriverHandle;
    std::uint32_t code = 0;
    std::vector<std::uint8_t> input;   // as issued
    std::vector<std::uint8_t> output;  // as it came back
    bool overlapped = false;
    bool ok = false;
};

// Passes every call to another port and records it; I/O-control requests can
// also be written to a log, one line each:
//   0x<code> in=<input bytes> out=<output bytes> ok=<0|1>
// with the bytes as lowercase hex pairs, the input as issued and the output as
// it came back. Overlapped requests are recorded when they are finished.
class RecordingDriverPort : public DriverPort {
  public:
    explicit RecordingDriverPort(DriverPort& inner, std::ostream* log = nullptr)
        : inner_(inner), log_(log) {}

    // Off: calls are only written to the log, not kept, so that a program
    // running for days does not grow with every request.
    void KeepCalls(bool keep) { keepCalls_ = keep; }

    std::vector<std::string> EnumerateInterfaces(const Guid& guid) override;
    OpenResult Open(const std::string& path, OpenOptions options) override;
    std::uint32_t Close(DriverHandle handle) override;
    IoResult IoControl(DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> input,
                       std::span<std::uint8_t> output) override;
    IoStart StartIoControl(DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> input,
                           std::span<std::uint8_t> output) override;
    bool WaitIoControl(RequestId request, std::optional<std::int64_t> timeoutMs) override;
    IoResult FinishIoControl(RequestId request) override;
    std::string ErrorText(std::uint32_t error) override { return inner_.ErrorText(error); }
    std::string InstrumentProblem() override { return inner_.InstrumentProblem(); }

    const std::vector<RecordedCall>& Calls() const { return calls_; }
    // The I/O-control requests alone, in the order they completed.
    std::vector<RecordedCall> Requests() const;
    void Clear() { calls_.clear(); }

    // One log line for a request.
    static std::string FormatLogLine(const RecordedCall& call);

  private:
    struct Pending {
        RecordedCall call;
        std::span<std::uint8_t> output;
    };
    void Record(RecordedCall call);
    bool keepCalls_ = true;

    DriverPort& inner_;
    std::ostream* log_;
    std::vector<RecordedCall> calls_;
    std::map<RequestId, Pending> pending_;
};

}  // namespace orvik
