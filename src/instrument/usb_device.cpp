#include "instrument/usb_device.h"

#include <algorithm>

#include "instrument/transfer_header.h"

namespace orvik {
namespace {

constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint8_t kStandardDeviceToHost = 0x80;
constexpr std::uint16_t kDeviceDescriptorValue = 0x0100;
constexpr std::uint16_t kConfigurationDescriptorValue = 0x0200;
constexpr std::uint16_t kStringDescriptorValue = 0x0300;
constexpr std::uint16_t kEnglishUnitedStates = 0x0409;
constexpr std::uint16_t kConfigurationHeaderSize = 9;

std::string FieldText(const std::array<std::uint8_t, CUsbDevice::kStringFieldSize>& field) {
    std::string text;
    for (std::size_t i = 0; i + 1 < field.size(); i += 2) {
        const unsigned character = field[i] | (field[i + 1] << 8);
        if (character == 0) {
            break;
        }
        text.push_back(character < 0x80 ? static_cast<char>(character) : '?');
    }
    return text;
}

}  // namespace

CUsbDevice::CUsbDevice(DriverPort& port, const Guid& guid, bool openNow)
    : port_(port), guid_(guid) {
    if (openNow) {
        Open(0);
    }
}

CUsbDevice::~CUsbDevice() {
    if (IsOpen()) {
        port_.Close(handle_);
    }
}

std::uint8_t CUsbDevice::DeviceCount() {
    const std::size_t found = port_.EnumerateInterfaces(guid_).size();
    deviceCount_ = static_cast<std::uint8_t>(std::min<std::size_t>(found, 255));
    return deviceCount_;
}

bool CUsbDevice::Open(std::uint8_t index) {
    if (IsOpen()) {
        Close();
    }
    ReleaseModel();
    const std::vector<std::string> paths = port_.EnumerateInterfaces(guid_);
    deviceCount_ = static_cast<std::uint8_t>(std::min<std::size_t>(paths.size(), 255));
    if (deviceCount_ == 0 || index > deviceCount_ - 1) {
        return false;
    }
    const OpenResult opened = port_.Open(paths[index], OpenOptions{true, true});
    if (opened.handle == kInvalidDriverHandle) {
        handle_ = kInvalidDriverHandle;
        openedIndex_ = 0;
        return false;
    }
    handle_ = opened.handle;
    devicePath_ = paths[index];
    openedIndex_ = index;

    ReadDeviceDescriptor();
    ChooseLanguage();
    ReadString(fields_.manufacturerIndex, manufacturer_);
    ReadString(fields_.productIndex, product_);
    ReadString(fields_.serialNumberIndex, serialNumber_);
    QueryDriver();
    ReadConfigurations();

    EndpointDescriptor controlDescriptor;
    controlDescriptor.length = 7;
    controlDescriptor.type = 5;
    controlDescriptor.address = 0;
    controlDescriptor.attributes = 0;
    controlDescriptor.maxPacketSize = fields_.endpoint0PacketSize;
    controlDescriptor.interval = 0;
    control_ = std::make_unique<CUsbControlEndpoint>(port_, handle_, controlDescriptor);

    SelectInterface();
    return true;
}

void CUsbDevice::Close() {
    bool closed = true;
    if (IsOpen()) {
        closed = port_.Close(handle_) == os_error::kSuccess;
        handle_ = kInvalidDriverHandle;
    }
    ReleaseModel();
    if (!closed) {
        throw UsbError(kFailedToCloseHandle);
    }
}

void CUsbDevice::ReleaseModel() {
    deviceDescriptor_.fill(0);
    fields_ = DeviceDescriptorFields{};
    languageId_ = 0;
    manufacturer_.fill(0);
    product_.fill(0);
    serialNumber_.fill(0);
    driverString1_.fill(0);
    driverString2_.fill(0);
    driverVersion_ = 0;
    secondVersionWord_ = 0;
    attributeByte_ = 0;
    isocIn_ = isocOut_ = bulkIn_ = bulkOut_ = interruptIn_ = interruptOut_ = nullptr;
    currentInterface_ = nullptr;
    configurations_.clear();
    control_.reset();
    currentConfiguration_ = -1;
    currentInterfaceIndex_ = -1;
    currentAlternate_ = 0;
    deviceCount_ = 0;
    devicePath_.clear();
}

CUsbEndpoint* CUsbDevice::EndpointByAddress(std::uint8_t address) {
    if (address == 0) {
        return control_.get();
    }
    if (currentInterface_ == nullptr) {
        return nullptr;
    }
    for (std::size_t slot = 1; slot <= currentInterface_->LastEndpointSlot(); ++slot) {
        CUsbEndpoint* endpoint = currentInterface_->Slot(slot);
        if (endpoint == nullptr) {
            throw UsbError(kFailedToFindEndpoint);
        }
        if (endpoint->Address() == address) {
            return endpoint;
        }
    }
    return nullptr;
}

std::string CUsbDevice::Manufacturer() const {
    return FieldText(manufacturer_);
}
std::string CUsbDevice::Product() const {
    return FieldText(product_);
}
std::string CUsbDevice::SerialNumber() const {
    return FieldText(serialNumber_);
}

bool CUsbDevice::ReadDescriptor(std::uint16_t value, std::uint16_t index, std::uint16_t length,
                                std::vector<std::uint8_t>& data) {
    data.clear();
    std::vector<std::uint8_t> buffer(TransferHeader::kSize + length, 0);
    TransferHeader header;
    header.requestType = kStandardDeviceToHost;
    header.request = kGetDescriptor;
    header.value = value;
    header.index = index;
    header.length = length;
    header.timeoutSeconds = kDescriptorTimeoutSeconds;
    header.dataOffset = TransferHeader::kSize;
    header.dataLength = length;
    header.WriteTo(buffer);
    const IoResult result = port_.IoControl(handle_, usb_request::kControlTransfer, buffer, buffer);
    const TransferHeader reply = TransferHeader::ReadFrom(buffer);
    lastStatusA_ = reply.statusA;
    lastStatusB_ = reply.statusB;
    if (!result.ok || reply.statusA != 0 || reply.statusB != 0) {
        return false;
    }
    std::size_t received = 0;
    if (result.bytesReturned > TransferHeader::kSize) {
        received = std::min<std::size_t>(result.bytesReturned - TransferHeader::kSize, length);
    }
    data.assign(buffer.begin() + TransferHeader::kSize,
                buffer.begin() + static_cast<std::ptrdiff_t>(TransferHeader::kSize + received));
    return true;
}

bool CUsbDevice::ReadStringDescriptor(std::uint8_t stringIndex, std::uint16_t language,
                                      std::vector<std::uint8_t>& data) {
    const std::uint16_t value = kStringDescriptorValue + stringIndex;
    if (!ReadDescriptor(value, language, 2, data) || data.empty()) {
        return false;
    }
    const std::uint8_t length = data[0];
    if (length < 2) {
        return false;
    }
    return ReadDescriptor(value, language, length, data) && data.size() >= 2;
}

void CUsbDevice::ReadDeviceDescriptor() {
    std::vector<std::uint8_t> data;
    if (!ReadDescriptor(kDeviceDescriptorValue, 0, kDescriptorSize, data)) {
        return;
    }
    std::copy(data.begin(), data.end(), deviceDescriptor_.begin());
    const std::span<const std::uint8_t> d(deviceDescriptor_);
    fields_.usbVersion = ReadU16(d, 2);
    fields_.deviceClass = d[4];
    fields_.deviceSubclass = d[5];
    fields_.deviceProtocol = d[6];
    fields_.endpoint0PacketSize = d[7];
    fields_.vendorId = ReadU16(d, 8);
    fields_.productId = ReadU16(d, 10);
    fields_.releaseNumber = ReadU16(d, 12);
    fields_.manufacturerIndex = d[14];
    fields_.productIndex = d[15];
    fields_.serialNumberIndex = d[16];
    fields_.configurationCount = d[17];
}

void CUsbDevice::ChooseLanguage() {
    std::vector<std::uint8_t> data;
    if (!ReadStringDescriptor(0, 0, data)) {
        return;
    }
    // The first language listed, unless English (United States) is offered.
    const std::size_t length = std::min<std::size_t>(data[0], data.size());
    for (std::size_t i = 2; i + 1 < length; i += 2) {
        const std::uint16_t language = static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8));
        if (i == 2) {
            languageId_ = language;
        }
        if (language == kEnglishUnitedStates) {
            languageId_ = language;
            break;
        }
    }
}

void CUsbDevice::ReadString(std::uint8_t stringIndex,
                            std::array<std::uint8_t, kStringFieldSize>& field) {
    field.fill(0);
    // Index 0 means the device has no such string; descriptor 0 would be the
    // language list.
    std::vector<std::uint8_t> data;
    if (stringIndex == 0 || !ReadStringDescriptor(stringIndex, languageId_, data)) {
        return;
    }
    const std::size_t length = std::min<std::size_t>(data[0], data.size());
    if (length > 2) {
        std::copy(data.begin() + 2, data.begin() + static_cast<std::ptrdiff_t>(length),
                  field.begin());
    }
}

void CUsbDevice::QueryDriver() {
    std::uint8_t attribute = 0;
    const IoResult attributeResult = port_.IoControl(
        handle_, usb_request::kAttributeByte, std::span(&attribute, 1), std::span(&attribute, 1));
    attributeByte_ = attributeResult.ok && attributeResult.bytesReturned > 0 ? attribute : 0;

    port_.IoControl(handle_, usb_request::kFirstDriverString, driverString1_, driverString1_);
    port_.IoControl(handle_, usb_request::kSecondDriverString, driverString2_, driverString2_);

    auto queryWord = [&](std::uint32_t code) -> std::uint32_t {
        std::array<std::uint8_t, 4> word{};
        const IoResult result = port_.IoControl(handle_, code, word, word);
        if (!result.ok || result.bytesReturned < word.size()) {
            return 0;
        }
        return ReadU32(word, 0);
    };
    driverVersion_ = queryWord(usb_request::kDriverVersion);
    secondVersionWord_ = queryWord(usb_request::kSecondVersionWord);
}

void CUsbDevice::ReadConfigurations() {
    for (std::uint8_t i = 0; i < fields_.configurationCount; ++i) {
        StoredConfiguration configuration;
        std::vector<std::uint8_t> head;
        const auto value = static_cast<std::uint16_t>(kConfigurationDescriptorValue + i);
        if (ReadDescriptor(value, 0, kConfigurationHeaderSize, head) && head.size() >= 4) {
            const std::uint16_t totalLength = ReadU16(head, 2);
            if (totalLength > 0 && ReadDescriptor(value, 0, totalLength, configuration.bytes)) {
                configuration.parsed = CUsbConfig::Parse(configuration.bytes, port_, handle_);
            }
        }
        configurations_.push_back(std::move(configuration));
    }
}

void CUsbDevice::SelectInterface() {
    if (configurations_.empty() || configurations_[0].parsed.interfaces.empty()) {
        return;
    }
    currentConfiguration_ = 0;
    std::uint8_t alternate = 0;
    const IoResult result = port_.IoControl(handle_, usb_request::kAlternateSetting,
                                            std::span(&alternate, 1), std::span(&alternate, 1));
    if (!result.ok) {
        alternate = 0;
    }
    currentAlternate_ = alternate;
    std::vector<CUsbInterface>& interfaces = configurations_[0].parsed.interfaces;
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        if (interfaces[i].alternateSetting == alternate) {
            currentInterface_ = &interfaces[i];
            currentInterfaceIndex_ = static_cast<int>(i);
            break;
        }
    }
    if (currentInterface_ == nullptr) {
        return;
    }
    currentInterface_->SetControlSlot(control_.get());
    const bool olderDriver = driverVersion_ < kFirstDirectDriverVersion;
    for (std::size_t slot = 1; slot <= currentInterface_->LastEndpointSlot(); ++slot) {
        CUsbEndpoint* endpoint = currentInterface_->Slot(slot);
        if (endpoint == nullptr) {
            continue;
        }
        if (olderDriver) {
            endpoint->SetUseDirect(false);
        }
        auto assignFirst = [&](CUsbEndpoint*& in, CUsbEndpoint*& out) {
            CUsbEndpoint*& role = endpoint->IsIn() ? in : out;
            if (role == nullptr) {
                role = endpoint;
            }
        };
        switch (endpoint->Type()) {
            case TransferType::Isochronous:
                assignFirst(isocIn_, isocOut_);
                break;
            case TransferType::Bulk:
                assignFirst(bulkIn_, bulkOut_);
                break;
            case TransferType::Interrupt:
                assignFirst(interruptIn_, interruptOut_);
                break;
            case TransferType::Control:
                break;
        }
    }
}

}  // namespace orvik
