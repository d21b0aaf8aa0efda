// orvik-sim-images FOLDER [--replacing OLD-FOLDER]: writes the simulated
// instrument's controller program (TDR_XC.hex) and FPGA configuration
// (TdrSpartan.hex) into FOLDER, made when missing. With --replacing, copies
// of the same images in OLD-FOLDER (where earlier builds put them, beside the
// programs, where a real instrument's images are looked for) are removed;
// any other file there is left alone.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "instrument/image_loading.h"
#include "simulator/sim_images.h"

namespace {

namespace fs = std::filesystem;

void RemoveCopy(const fs::path& file, const std::string& content) {
    std::ifstream in(file, std::ios::binary);
    const std::string found{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.is_open() && found == content) {
        in.close();
        std::error_code error;
        fs::remove(file, error);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool replacing = argc == 4 && std::string(argv[2]) == "--replacing";
    if (argc != 2 && !replacing) {
        std::cerr << "usage: orvik-sim-images FOLDER [--replacing OLD-FOLDER]\n";
        return 2;
    }
    std::error_code error;
    fs::create_directories(argv[1], error);
    if (!orvik::sim::WriteSimulatorImages(argv[1])) {
        std::cerr << "orvik-sim-images: cannot write the images into " << argv[1] << '\n';
        return 1;
    }
    if (replacing) {
        const fs::path old = argv[3];
        RemoveCopy(old / orvik::kProgramImageFile, orvik::sim::GenerateProgramImageHex());
        RemoveCopy(old / orvik::kFpgaImageFile, orvik::sim::GenerateFpgaImageHex());
    }
    return 0;
}
