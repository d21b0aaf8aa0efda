// orvik-sim-images FOLDER: writes the simulated instrument's controller
// program (TDR_XC.hex) and FPGA configuration (TdrSpartan.hex) into FOLDER.
#include <iostream>

#include "simulator/sim_images.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: orvik-sim-images FOLDER\n";
        return 2;
    }
    if (!orvik::sim::WriteSimulatorImages(argv[1])) {
        std::cerr << "orvik-sim-images: cannot write the images into " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
