#include "instrument/driver_port.h"

#include <cstdio>
#include <string>

namespace orvik {

std::string Guid::ToString() const {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(data1), static_cast<unsigned>(data2),
                  static_cast<unsigned>(data3), data4[0], data4[1], data4[2], data4[3], data4[4],
                  data4[5], data4[6], data4[7]);
    return text;
}

std::string SystemErrorText(std::uint32_t error) {
    switch (error) {
        case os_error::kSuccess:
            return "The operation completed successfully.";
        case os_error::kInvalidFunction:
            return "Incorrect function.";
        case os_error::kFileNotFound:
            return "The system cannot find the file specified.";
        case os_error::kAccessDenied:
            return "Access is denied.";
        case os_error::kBadFormat:
            return "An attempt was made to load a program with an incorrect format.";
        case os_error::kInvalidHandle:
            return "The handle is invalid.";
        case os_error::kGeneralFailure:
            return "A device attached to the system is not functioning.";
        case os_error::kSharingViolation:
            return "The process cannot access the file because it is being used by another "
                   "process.";
        case os_error::kInvalidParameter:
            return "The parameter is incorrect.";
        case os_error::kSemaphoreTimeout:
            return "The semaphore timeout period has expired.";
        case os_error::kInsufficientBuffer:
            return "The data area passed to a system call is too small.";
        case os_error::kOperationAborted:
            return "The I/O operation has been aborted because of either a thread exit or an "
                   "application request.";
        case os_error::kDeviceNotConnected:
            return "The device is not connected.";
        default:
            return "Unknown error " + std::to_string(error) + ".";
    }
}

}  // namespace orvik
