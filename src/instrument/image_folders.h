#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace orvik {

// Which instrument the image files are for. The simulated MV300 runs only
// its own program, and a real instrument must never be sent the simulator's,
// so the two sets never share a data folder: the simulated instrument's
// images live in a `simulator` subfolder of each data folder.
enum class ImageSet { Instrument, Simulator };

// What the image search starts from, taken from the running process.
struct ImageSearchPlaces {
    std::filesystem::path executableFolder;
    std::string home;         // $HOME
    std::string xdgDataHome;  // $XDG_DATA_HOME, empty when unset
    // The installed data folder relative to the program's own folder.
    std::filesystem::path dataFromExecutable = "../share/orvik";
};

// The folders where TDR_XC.hex and TdrSpartan.hex are looked for, in order:
// beside the executable (a build tree), the user's data folder
// (~/.local/share/orvik), and the installed data folder found from the
// executable, so that a package unpacked anywhere finds its own images. The
// simulator's are looked for in the `simulator` subfolder of each.
std::vector<std::filesystem::path> ImageFolderCandidates(const ImageSearchPlaces& places,
                                                         ImageSet set);

// The first candidate holding both image files; else the first holding one
// of them, so that a load names the file missing beside its partner; else
// the first candidate.
std::filesystem::path ChooseImageFolder(const std::vector<std::filesystem::path>& candidates);

// The search places of this process.
ImageSearchPlaces ProcessImageSearchPlaces();

// The image folder for `set`, searched from this process's places.
std::filesystem::path InstrumentImageFolder(ImageSet set);

}  // namespace orvik
