#include "instrument/usb_config.h"

#include <algorithm>

#include "instrument/transfer_header.h"

namespace orvik {
namespace {

constexpr std::uint8_t kInterfaceDescriptor = 4;
constexpr std::uint8_t kEndpointDescriptor = 5;
constexpr std::size_t kConfigurationHeaderSize = 9;
constexpr std::size_t kInterfaceDescriptorSize = 9;
constexpr std::size_t kEndpointDescriptorSize = 7;

CUsbInterface ReadInterface(std::span<const std::uint8_t> d) {
    CUsbInterface entry;
    entry.interfaceNumber = d[2];
    entry.alternateSetting = d[3];
    entry.endpointCount = d[4];
    entry.interfaceClass = d[5];
    entry.subclass = d[6];
    entry.protocol = d[7];
    entry.stringIndex = d[8];
    return entry;
}

EndpointDescriptor ReadEndpoint(std::span<const std::uint8_t> d) {
    EndpointDescriptor endpoint;
    endpoint.length = d[0];
    endpoint.type = d[1];
    endpoint.address = d[2];
    endpoint.attributes = d[3];
    endpoint.maxPacketSize = ReadU16(d, 4);
    endpoint.interval = d[6];
    return endpoint;
}

}  // namespace

bool CUsbInterface::AddEndpoint(std::unique_ptr<CUsbEndpoint> endpoint) {
    const std::size_t slot = endpoints_.size() + 1;
    if (slot >= kSlotCount) {
        return false;
    }
    slots_[slot] = endpoint.get();
    endpoints_.push_back(std::move(endpoint));
    return true;
}

CUsbConfig CUsbConfig::Parse(std::span<const std::uint8_t> bytes, DriverPort& port,
                             DriverHandle handle) {
    CUsbConfig config;
    if (bytes.size() >= kConfigurationHeaderSize) {
        config.totalLength = ReadU16(bytes, 2);
        config.interfaceCount = bytes[4];
        config.configurationValue = bytes[5];
        config.attributes = bytes[7];
        config.maxPower = bytes[8];
    }
    const std::size_t end = std::min<std::size_t>(config.totalLength, bytes.size());

    CUsbInterface* current = nullptr;
    std::size_t currentStart = 0;
    int skipped = 0;
    std::size_t position = 0;
    while (end - position >= 2) {
        const std::size_t length = bytes[position];
        const std::uint8_t type = bytes[position + 1];
        if (length == 0 || length > end - position) {
            break;  // a descriptor must lie wholly inside the configuration
        }
        const auto descriptor = bytes.subspan(position, length);
        position += length;

        if (type == kInterfaceDescriptor && length >= kInterfaceDescriptorSize) {
            if (config.interfaces.size() >= kMaxInterfaces) {
                break;
            }
            config.interfaces.push_back(ReadInterface(descriptor));
            current = &config.interfaces.back();
            currentStart = position - length;
            skipped = 0;
        } else if (current == nullptr) {
            continue;  // the configuration's own descriptor, or anything before the first interface
        } else if (type == kEndpointDescriptor && length >= kEndpointDescriptorSize &&
                   current->OwnEndpointCount() < current->endpointCount &&
                   skipped <= kMaxSkippedDescriptors) {
            if (!current->AddEndpoint(MakeEndpoint(port, handle, ReadEndpoint(descriptor)))) {
                continue;
            }
        } else {
            ++skipped;
            continue;
        }
        current->descriptorBytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(currentStart),
                                        bytes.begin() + static_cast<std::ptrdiff_t>(position));
    }

    for (CUsbInterface& entry : config.interfaces) {
        entry.alternateCount = static_cast<int>(std::count_if(
            config.interfaces.begin(), config.interfaces.end(), [&](const CUsbInterface& other) {
                return other.interfaceNumber == entry.interfaceNumber;
            }));
    }
    return config;
}

}  // namespace orvik
