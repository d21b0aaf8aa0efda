#include "base/file_identity.h"

#include "base/crc32.h"
#include "base/file_store.h"

namespace orvik {

FileIdentity IdentifyBytes(std::span<const std::uint8_t> bytes) {
    return {bytes.size(), Crc32(bytes)};
}

Result<FileIdentity> IdentifyFile(const std::string& path) {
    const Result<FileBytes> bytes = ReadWholeFile(path);
    if (!bytes) {
        return bytes.Error();
    }
    return IdentifyBytes(*bytes);
}

}  // namespace orvik
