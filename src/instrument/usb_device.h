#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "instrument/driver_port.h"
#include "instrument/usb_config.h"
#include "instrument/usb_endpoint.h"

namespace orvik {

// The two failures of the USB layer that interrupt an operation.
class UsbError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kFailedToCloseHandle = "Failed to close handle to driver.";
inline constexpr const char* kFailedToFindEndpoint = "Failed to find endpoint.";

// Fields of the standard device descriptor.
struct DeviceDescriptorFields {
    std::uint16_t usbVersion = 0;
    std::uint8_t deviceClass = 0;
    std::uint8_t deviceSubclass = 0;
    std::uint8_t deviceProtocol = 0;
    std::uint8_t endpoint0PacketSize = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t releaseNumber = 0;  // bcdDevice, bytes 12-13
    std::uint8_t manufacturerIndex = 0;
    std::uint8_t productIndex = 0;
    std::uint8_t serialNumberIndex = 0;
    std::uint8_t configurationCount = 0;
};

// A USB device served by the instrument's driver, found by its interface
// class. While open it holds the device's descriptors and the object model of
// its configurations, interfaces and endpoints; closed it holds nothing.
class CUsbDevice {
  public:
    static constexpr std::size_t kDescriptorSize = 18;
    static constexpr std::size_t kStringFieldSize = 256;
    static constexpr std::uint32_t kDescriptorTimeoutSeconds = 5;

    // With `openNow` the device at member index 0 is opened at once.
    CUsbDevice(DriverPort& port, const Guid& guid, bool openNow);
    ~CUsbDevice();
    CUsbDevice(const CUsbDevice&) = delete;
    CUsbDevice& operator=(const CUsbDevice&) = delete;

    // Present devices exposing the interface class (at most 255 counted).
    std::uint8_t DeviceCount();
    // Opens the device at member `index` and reads its descriptors; a device
    // already open is closed first.
    bool Open(std::uint8_t index);
    // Releases the object model; throws UsbError with kFailedToCloseHandle
    // when the driver refuses to close (the model is released all the same).
    void Close();
    bool IsOpen() const { return handle_ != kInvalidDriverHandle; }
    // After an Open that failed: why, when the driver knows more than that
    // no instrument is attached (in the operator's words); empty otherwise.
    std::string OpenProblem() const { return port_.InstrumentProblem(); }

    // Address 0 is the control endpoint; other addresses are looked up in the
    // current interface's slots. Throws UsbError with kFailedToFindEndpoint
    // when an empty slot comes before the address.
    CUsbEndpoint* EndpointByAddress(std::uint8_t address);

    const Guid& InterfaceGuid() const { return guid_; }
    std::uint8_t OpenedIndex() const { return openedIndex_; }
    std::uint8_t LastDeviceCount() const { return deviceCount_; }
    const std::string& DevicePath() const { return devicePath_; }

    const std::array<std::uint8_t, kDescriptorSize>& DeviceDescriptor() const {
        return deviceDescriptor_;
    }
    const DeviceDescriptorFields& Descriptor() const { return fields_; }
    std::uint16_t ReleaseNumber() const { return fields_.releaseNumber; }

    std::uint16_t LanguageId() const { return languageId_; }
    // The string descriptors' UTF-16 characters, zero-padded.
    const std::array<std::uint8_t, kStringFieldSize>& ManufacturerBytes() const {
        return manufacturer_;
    }
    const std::array<std::uint8_t, kStringFieldSize>& ProductBytes() const { return product_; }
    const std::array<std::uint8_t, kStringFieldSize>& SerialNumberBytes() const {
        return serialNumber_;
    }
    // The same as text; characters outside ASCII shown as '?'.
    std::string Manufacturer() const;
    std::string Product() const;
    std::string SerialNumber() const;

    std::uint32_t DriverVersion() const { return driverVersion_; }
    std::uint32_t SecondVersionWord() const { return secondVersionWord_; }
    std::uint8_t AttributeByte() const { return attributeByte_; }
    const std::array<std::uint8_t, kStringFieldSize>& FirstDriverString() const {
        return driverString1_;
    }
    const std::array<std::uint8_t, kStringFieldSize>& SecondDriverString() const {
        return driverString2_;
    }

    std::size_t ConfigurationCount() const { return configurations_.size(); }
    const CUsbConfig& Configuration(std::size_t index) const {
        return configurations_[index].parsed;
    }
    const std::vector<std::uint8_t>& ConfigurationBytes(std::size_t index) const {
        return configurations_[index].bytes;
    }
    const CUsbInterface* CurrentInterface() const { return currentInterface_; }
    int CurrentConfigurationIndex() const { return currentConfiguration_; }
    int CurrentInterfaceIndex() const { return currentInterfaceIndex_; }
    std::uint8_t CurrentAlternateSetting() const { return currentAlternate_; }

    CUsbControlEndpoint* ControlEndpoint() const { return control_.get(); }
    CUsbEndpoint* IsocIn() const { return isocIn_; }
    CUsbEndpoint* IsocOut() const { return isocOut_; }
    CUsbEndpoint* BulkIn() const { return bulkIn_; }
    CUsbEndpoint* BulkOut() const { return bulkOut_; }
    CUsbEndpoint* InterruptIn() const { return interruptIn_; }
    CUsbEndpoint* InterruptOut() const { return interruptOut_; }

    std::uint32_t LastStatusA() const { return lastStatusA_; }
    std::uint32_t LastStatusB() const { return lastStatusB_; }

  private:
    struct StoredConfiguration {
        std::vector<std::uint8_t> bytes;
        CUsbConfig parsed;
    };

    // A standard device-to-host request on endpoint 0, issued synchronously;
    // the data received, or nothing when the request failed.
    bool ReadDescriptor(std::uint16_t value, std::uint16_t index, std::uint16_t length,
                        std::vector<std::uint8_t>& data);
    bool ReadStringDescriptor(std::uint8_t stringIndex, std::uint16_t language,
                              std::vector<std::uint8_t>& data);
    void ReadDeviceDescriptor();
    void ChooseLanguage();
    void ReadString(std::uint8_t stringIndex, std::array<std::uint8_t, kStringFieldSize>& field);
    void QueryDriver();
    void ReadConfigurations();
    void SelectInterface();
    void ReleaseModel();

    DriverPort& port_;
    Guid guid_;
    DriverHandle handle_ = kInvalidDriverHandle;
    std::uint8_t openedIndex_ = 0;
    std::uint8_t deviceCount_ = 0;
    std::string devicePath_;
    std::array<std::uint8_t, kDescriptorSize> deviceDescriptor_{};
    DeviceDescriptorFields fields_;
    std::uint16_t languageId_ = 0;
    std::array<std::uint8_t, kStringFieldSize> manufacturer_{};
    std::array<std::uint8_t, kStringFieldSize> product_{};
    std::array<std::uint8_t, kStringFieldSize> serialNumber_{};
    std::array<std::uint8_t, kStringFieldSize> driverString1_{};
    std::array<std::uint8_t, kStringFieldSize> driverString2_{};
    std::uint32_t driverVersion_ = 0;
    std::uint32_t secondVersionWord_ = 0;
    std::uint8_t attributeByte_ = 0;
    std::vector<StoredConfiguration> configurations_;
    std::unique_ptr<CUsbControlEndpoint> control_;
    int currentConfiguration_ = -1;
    int currentInterfaceIndex_ = -1;
    std::uint8_t currentAlternate_ = 0;
    CUsbInterface* currentInterface_ = nullptr;
    CUsbEndpoint* isocIn_ = nullptr;
    CUsbEndpoint* isocOut_ = nullptr;
    CUsbEndpoint* bulkIn_ = nullptr;
    CUsbEndpoint* bulkOut_ = nullptr;
    CUsbEndpoint* interruptIn_ = nullptr;
    CUsbEndpoint* interruptOut_ = nullptr;
    std::uint32_t lastStatusA_ = 0;
    std::uint32_t lastStatusB_ = 0;
};

}  // namespace orvik
