#include "instrument/transfer_header.h"

namespace orvik {

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 2) {
        return 0;
    }
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4) {
        return 0;
    }
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | bytes[offset + static_cast<std::size_t>(i)];
    }
    return value;
}

void WriteU16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
    if (offset > bytes.size() || bytes.size() - offset < 2) {
        return;
    }
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void WriteU32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
    if (offset > bytes.size() || bytes.size() - offset < 4) {
        return;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

void TransferHeader::WriteTo(std::span<std::uint8_t> bytes) const {
    if (bytes.size() < kSize) {
        return;
    }
    bytes[0] = requestType;
    bytes[1] = request;
    WriteU16(bytes, 2, value);
    WriteU16(bytes, 4, index);
    WriteU16(bytes, 6, length);
    WriteU32(bytes, 8, timeoutSeconds);
    bytes[12] = flag;
    bytes[13] = endpointAddress;
    WriteU32(bytes, kStatusAOffset, statusA);
    WriteU32(bytes, kStatusBOffset, statusB);
    WriteU32(bytes, 22, packetTableOffset);
    WriteU32(bytes, 26, packetTableLength);
    WriteU32(bytes, 30, dataOffset);
    WriteU32(bytes, 34, dataLength);
}

TransferHeader TransferHeader::ReadFrom(std::span<const std::uint8_t> bytes) {
    TransferHeader header;
    if (bytes.size() < kSize) {
        return header;
    }
    header.requestType = bytes[0];
    header.request = bytes[1];
    header.value = ReadU16(bytes, 2);
    header.index = ReadU16(bytes, 4);
    header.length = ReadU16(bytes, 6);
    header.timeoutSeconds = ReadU32(bytes, 8);
    header.flag = bytes[12];
    header.endpointAddress = bytes[13];
    header.statusA = ReadU32(bytes, kStatusAOffset);
    header.statusB = ReadU32(bytes, kStatusBOffset);
    header.packetTableOffset = ReadU32(bytes, 22);
    header.packetTableLength = ReadU32(bytes, 26);
    header.dataOffset = ReadU32(bytes, 30);
    header.dataLength = ReadU32(bytes, 34);
    return header;
}

}  // namespace orvik
