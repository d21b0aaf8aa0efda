#include "instrument/image_folders.h"

#include <cstdlib>

#include "instrument/image_loading.h"

#ifndef ORVIK_DATA_FROM_BIN
#define ORVIK_DATA_FROM_BIN "../share/orvik"
#endif

namespace orvik {

namespace {

namespace fs = std::filesystem;

// The user's data folder as the desktop defines it: $XDG_DATA_HOME when it
// is an absolute path (a relative one is to be ignored), else
// ~/.local/share; empty when neither can be known.
fs::path UserDataFolder(const ImageSearchPlaces& places) {
    const fs::path xdg = places.xdgDataHome;
    if (!xdg.empty() && xdg.is_absolute()) {
        return xdg / "orvik";
    }
    if (places.home.empty()) {
        return {};
    }
    return fs::path(places.home) / ".local" / "share" / "orvik";
}

bool IsFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::vector<fs::path> ImageFolderCandidates(const ImageSearchPlaces& places, ImageSet set) {
    std::vector<fs::path> candidates;
    std::vector<fs::path> folders{places.executableFolder};
    if (fs::path user = UserDataFolder(places); !user.empty()) {
        folders.push_back(user);
    }
    folders.push_back((places.executableFolder / places.dataFromExecutable).lexically_normal());
    for (fs::path& folder : folders) {
        candidates.push_back(set == ImageSet::Simulator ? folder / "simulator" : folder);
    }
    return candidates;
}

fs::path ChooseImageFolder(const std::vector<fs::path>& candidates) {
    const fs::path* partial = nullptr;
    for (const fs::path& folder : candidates) {
        const bool program = IsFile(folder / kProgramImageFile);
        const bool fpga = IsFile(folder / kFpgaImageFile);
        if (program && fpga) {
            return folder;
        }
        if ((program || fpga) && partial == nullptr) {
            partial = &folder;
        }
    }
    if (partial != nullptr) {
        return *partial;
    }
    return candidates.empty() ? fs::path() : candidates.front();
}

ImageSearchPlaces ProcessImageSearchPlaces() {
    ImageSearchPlaces places;
    places.executableFolder = ExecutableFolder();
    places.home = Environment("HOME");
    places.xdgDataHome = Environment("XDG_DATA_HOME");
    places.dataFromExecutable = ORVIK_DATA_FROM_BIN;
    return places;
}

fs::path InstrumentImageFolder(ImageSet set) {
    return ChooseImageFolder(ImageFolderCandidates(ProcessImageSearchPlaces(), set));
}

}  // namespace orvik
