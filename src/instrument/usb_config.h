#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "instrument/usb_endpoint.h"

namespace orvik {

// One interface descriptor (one alternate setting) with its endpoints.
class CUsbInterface {
  public:
    static constexpr std::size_t kSlotCount = 16;

    std::uint8_t interfaceNumber = 0;
    std::uint8_t alternateSetting = 0;
    std::uint8_t endpointCount = 0;  // as the descriptor announces it
    std::uint8_t interfaceClass = 0;
    std::uint8_t subclass = 0;
    std::uint8_t protocol = 0;
    std::uint8_t stringIndex = 0;
    // Entries of the configuration sharing this interface number.
    int alternateCount = 0;
    // From the interface descriptor to the end of the last descriptor it took.
    std::vector<std::uint8_t> descriptorBytes;

    // Slot 0 is the device's control endpoint while this interface is
    // selected; slots 1 .. endpoint count hold the interface's endpoints in
    // descriptor order. A slot stays empty when the device announced more
    // endpoints than it described.
    CUsbEndpoint* Slot(std::size_t index) const {
        return index < kSlotCount ? slots_[index] : nullptr;
    }
    // The last slot that may hold one of the interface's own endpoints.
    std::size_t LastEndpointSlot() const {
        return endpointCount < kSlotCount ? endpointCount : kSlotCount - 1;
    }
    void SetControlSlot(CUsbEndpoint* control) { slots_[0] = control; }
    std::size_t OwnEndpointCount() const { return endpoints_.size(); }
    // Adds the next endpoint; false when every slot is taken.
    bool AddEndpoint(std::unique_ptr<CUsbEndpoint> endpoint);

  private:
    std::array<CUsbEndpoint*, kSlotCount> slots_{};
    std::vector<std::unique_ptr<CUsbEndpoint>> endpoints_;
};

// A configuration descriptor taken apart.
class CUsbConfig {
  public:
    static constexpr std::size_t kMaxInterfaces = 8;
    // Descriptors other than endpoints stepped over inside one interface.
    static constexpr int kMaxSkippedDescriptors = 11;

    std::uint8_t configurationValue = 0;
    std::uint8_t attributes = 0;
    std::uint8_t maxPower = 0;
    std::uint16_t totalLength = 0;
    std::uint8_t interfaceCount = 0;  // as the descriptor announces it
    std::vector<CUsbInterface> interfaces;

    // Walks the descriptors of `bytes` (the whole configuration descriptor as
    // the device returned it). Any bytes are safe: the walk never reads past
    // the end of `bytes` nor past wTotalLength, stops at a zero length, and
    // takes no more endpoints than an interface announces.
    static CUsbConfig Parse(std::span<const std::uint8_t> bytes, DriverPort& port,
                            DriverHandle handle);
};

}  // namespace orvik
