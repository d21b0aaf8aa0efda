// Device nodes that refuse this user, as the kernel's do without the udev
// rule: libusb's open of a USB device node fails with EACCES while denied.
// The test program's own open() comes first in the symbol search, ahead of
// umockdev's preloaded one, to which every other open goes on.
#include <dlfcn.h>
#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "emulated_usb_bus.h"

namespace {

std::atomic<bool> denied{false};

bool Refused(const char* path) {
    return denied.load() && path != nullptr && std::strncmp(path, "/dev/bus/usb/", 13) == 0;
}

template <class Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

namespace orvik::testing {

void DenyDeviceNodes(bool deny) {
    denied = deny;
}

}  // namespace orvik::testing

extern "C" int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    if (Refused(path)) {
        errno = EACCES;
        return -1;
    }
    static const auto next = Next<int (*)(const char*, int, ...)>("open");
    return next(path, flags, mode);
}

extern "C" int __open_2(const char* path, int flags) {
    if (Refused(path)) {
        errno = EACCES;
        return -1;
    }
    static const auto next = Next<int (*)(const char*, int)>("__open_2");
    return next(path, flags);
}
