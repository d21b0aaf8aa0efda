#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "instrument/driver_port.h"

namespace orvik {

// The fields of a standard endpoint descriptor that the link keeps.
struct EndpointDescriptor {
    std::uint8_t length = 7;
    std::uint8_t type = 5;
    std::uint8_t address = 0;
    std::uint8_t attributes = 0;      // bmAttributes as the device gave it
    std::uint16_t maxPacketSize = 0;  // wMaxPacketSize as the device gave it
    std::uint8_t interval = 0;
};

enum class TransferType : std::uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

// One request handed to the driver: its buffer (the header, then the packet
// table and the data where the form carries them) lives here until the
// request is finished.
struct PendingTransfer {
    std::vector<std::uint8_t> buffer;
    std::uint32_t code = 0;
    std::span<std::uint8_t> output;  // the buffer itself, or the caller's bytes
    bool overlapped = false;
    bool started = false;  // the driver accepted the request
    RequestId request = 0;
    IoResult completed;  // result of a synchronous request
};

// An endpoint of the open instrument, reached through the driver's requests.
class CUsbEndpoint {
  public:
    static constexpr std::uint32_t kDefaultTimeoutMs = 10000;
    // How long a timed-out request may take to come back after its pipe was
    // aborted before it is given up.
    static constexpr std::int64_t kAbortCompletionTimeoutMs = 1000;

    CUsbEndpoint(DriverPort& port, DriverHandle handle, const EndpointDescriptor& descriptor);
    virtual ~CUsbEndpoint() = default;
    CUsbEndpoint(const CUsbEndpoint&) = delete;
    CUsbEndpoint& operator=(const CUsbEndpoint&) = delete;

    // Request forms. Each returns no request when the device is closed.
    virtual std::unique_ptr<PendingTransfer> BeginDirect(std::span<std::uint8_t> buffer,
                                                         std::uint32_t length, bool overlapped);
    virtual std::unique_ptr<PendingTransfer> BeginBuffered(std::span<std::uint8_t> buffer,
                                                           std::uint32_t length, bool overlapped);
    // The form this kind of endpoint uses; none in the base.
    virtual std::unique_ptr<PendingTransfer> BeginTransfer(std::span<std::uint8_t> buffer,
                                                           std::uint32_t length, bool overlapped);
    // Takes the result of a finished request: bytes transferred, status words,
    // received data and the packet table. True when the driver succeeded and
    // both status words are 0.
    virtual bool FinishTransfer(std::span<std::uint8_t> buffer, std::uint32_t& length,
                                PendingTransfer& request, std::span<std::uint8_t> packetInfo);

    // A transfer bounded by the endpoint's time-out: a request still running
    // then is aborted, and the transfer fails once it has completed (or once
    // the abort has had a second to complete it). `length`
    // goes in as the bytes to move (at most buffer.size()) and comes back as
    // the bytes moved.
    bool Transfer(std::span<std::uint8_t> buffer, std::uint32_t& length,
                  std::span<std::uint8_t> packetInfo = {});
    bool AbortPipe();
    bool ResetPipe();

    std::uint8_t DescriptorLength() const { return descriptorLength_; }
    std::uint8_t DescriptorType() const { return descriptorType_; }
    std::uint8_t Address() const { return address_; }
    TransferType Type() const { return static_cast<TransferType>(attributes_); }
    std::uint8_t Attributes() const { return attributes_; }
    std::uint16_t MaxPacketSize() const { return maxPacketSize_; }
    std::uint16_t TransactionsPerFrame() const { return transactionsPerFrame_; }
    std::uint8_t Interval() const { return interval_; }
    bool IsIn() const { return isIn_; }

    std::uint32_t TimeoutMs() const { return timeoutMs_; }
    void SetTimeoutMs(std::uint32_t milliseconds) { timeoutMs_ = milliseconds; }
    bool UseDirect() const { return useDirect_; }
    void SetUseDirect(bool useDirect) { useDirect_ = useDirect; }

    std::uint32_t StatusA() const { return statusA_; }
    std::uint32_t StatusB() const { return statusB_; }
    std::uint32_t BytesTransferred() const { return bytesTransferred_; }
    std::uint32_t LastError() const { return lastError_; }

  protected:
    // Direct or buffered, as the driver's version allows: the form of bulk,
    // interrupt and isochronous endpoints.
    std::unique_ptr<PendingTransfer> BeginInUsualForm(std::span<std::uint8_t> buffer,
                                                      std::uint32_t length, bool overlapped);
    // Abort or reset of this endpoint's pipe.
    bool PipeRequest(std::uint32_t code);

    // Hands a built request to the driver and remembers the OS error.
    std::unique_ptr<PendingTransfer> Issue(std::unique_ptr<PendingTransfer> request);
    bool HandleValid() const { return handle_ != kInvalidDriverHandle; }
    // Whether the data of a buffered request comes back to the caller.
    virtual bool ReadsBack() const { return isIn_; }

    DriverPort& port_;

  private:
    bool WaitTransfer(PendingTransfer& request);

    DriverHandle handle_;
    std::uint8_t descriptorLength_;
    std::uint8_t descriptorType_;
    std::uint8_t address_;
    std::uint8_t attributes_;
    std::uint16_t maxPacketSize_;
    std::uint16_t transactionsPerFrame_;
    std::uint8_t interval_;
    std::uint32_t timeoutMs_ = kDefaultTimeoutMs;
    std::uint32_t statusA_ = 0;
    std::uint32_t statusB_ = 0;
    std::uint32_t bytesTransferred_ = 0;
    std::uint32_t lastError_ = 0;
    bool isIn_;
    bool useDirect_ = true;
};

// Endpoint 0 of the device and any control endpoint an interface lists.
// Its setup fields describe the next request: they start as device, vendor,
// host-to-device, request 0, value 0, index 0.
class CUsbControlEndpoint : public CUsbEndpoint {
  public:
    using CUsbEndpoint::CUsbEndpoint;

    std::unique_ptr<PendingTransfer> BeginTransfer(std::span<std::uint8_t> buffer,
                                                   std::uint32_t length, bool overlapped) override;

    std::uint8_t target = 0;       // 0 device
    std::uint8_t requestType = 2;  // 2 vendor
    std::uint8_t direction = 0;    // 0 host-to-device, 1 device-to-host
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;

  protected:
    bool ReadsBack() const override { return direction == 1; }
};

class CUsbBulkEndpoint : public CUsbEndpoint {
  public:
    using CUsbEndpoint::CUsbEndpoint;
    std::unique_ptr<PendingTransfer> BeginTransfer(std::span<std::uint8_t> buffer,
                                                   std::uint32_t length, bool overlapped) override;
};

class CUsbInterruptEndpoint : public CUsbEndpoint {
  public:
    using CUsbEndpoint::CUsbEndpoint;
    std::unique_ptr<PendingTransfer> BeginTransfer(std::span<std::uint8_t> buffer,
                                                   std::uint32_t length, bool overlapped) override;
};

// Isochronous transfers carry a table of 8 bytes per packet for the driver.
class CUsbIsocEndpoint : public CUsbEndpoint {
  public:
    using CUsbEndpoint::CUsbEndpoint;
    std::unique_ptr<PendingTransfer> BeginDirect(std::span<std::uint8_t> buffer,
                                                 std::uint32_t length, bool overlapped) override;
    std::unique_ptr<PendingTransfer> BeginBuffered(std::span<std::uint8_t> buffer,
                                                   std::uint32_t length, bool overlapped) override;
    std::unique_ptr<PendingTransfer> BeginTransfer(std::span<std::uint8_t> buffer,
                                                   std::uint32_t length, bool overlapped) override;

    // Packets needed for `length` bytes; 0 for no bytes or no packet size.
    std::uint32_t PacketCount(std::uint32_t length) const;
};

// The endpoint object for a descriptor, by its transfer type.
std::unique_ptr<CUsbEndpoint> MakeEndpoint(DriverPort& port, DriverHandle handle,
                                           const EndpointDescriptor& descriptor);

}  // namespace orvik
