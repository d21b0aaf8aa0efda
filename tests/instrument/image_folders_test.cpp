// Where the program looks for the instrument's image files: a build tree, the
// user's data folder and an installed (or unpacked) package, in that order.
#include <gtest/gtest.h>

#include "instrument/image_folders.h"
#include "instrument/image_loading.h"
#include "test_files.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using Folders = std::vector<fs::path>;

ImageSearchPlaces Installed() {
    ImageSearchPlaces places;
    places.executableFolder = "/opt/orvik/bin";
    places.home = "/home/ann";
    return places;
}

TEST(ImageFolders, BesideTheProgramThenTheUsersThenTheInstalledFolder) {
    EXPECT_EQ(
        ImageFolderCandidates(Installed(), ImageSet::Instrument),
        (Folders{"/opt/orvik/bin", "/home/ann/.local/share/orvik", "/opt/orvik/share/orvik"}));
    // The simulator's own images never share a folder with a real
    // instrument's, which carry the same file names: not even in a build
    // tree, where a real instrument's are looked for beside the program.
    EXPECT_EQ(ImageFolderCandidates(Installed(), ImageSet::Simulator),
              (Folders{"/opt/orvik/bin/simulator", "/home/ann/.local/share/orvik/simulator",
                       "/opt/orvik/share/orvik/simulator"}));
}

TEST(ImageFolders, UserFolderFollowsTheDesktopsDataHome) {
    ImageSearchPlaces places = Installed();
    places.xdgDataHome = "/data/ann";
    EXPECT_EQ(ImageFolderCandidates(places, ImageSet::Instrument)[1], fs::path("/data/ann/orvik"));
    places.xdgDataHome = "relative/data";  // not a data home: ignored
    EXPECT_EQ(ImageFolderCandidates(places, ImageSet::Instrument)[1],
              fs::path("/home/ann/.local/share/orvik"));
    places.xdgDataHome.clear();
    places.home.clear();  // no user folder can be named: it is left out
    EXPECT_EQ(ImageFolderCandidates(places, ImageSet::Instrument),
              (Folders{"/opt/orvik/bin", "/opt/orvik/share/orvik"}));
}

class ImageFolderChoice : public ::testing::Test {
  protected:
    fs::path Folder(const std::string& name, bool program, bool fpga) {
        const fs::path folder = root.Path() / name;
        fs::create_directories(folder);
        if (program) {
            testing::WriteFile((folder / kProgramImageFile).string(), {':'});
        }
        if (fpga) {
            testing::WriteFile((folder / kFpgaImageFile).string(), {'0'});
        }
        return folder;
    }
    testing::TemporaryFolder root;
};

TEST_F(ImageFolderChoice, FirstFolderHoldingBothImagesWins) {
    const Folders folders{Folder("build", false, false), Folder("user", true, true),
                          Folder("installed", true, true)};
    EXPECT_EQ(ChooseImageFolder(folders), folders[1]);
}

TEST_F(ImageFolderChoice, AHalfSetGivesWayToACompleteOneFurtherOn) {
    const Folders folders{Folder("build", true, false), Folder("installed", true, true)};
    EXPECT_EQ(ChooseImageFolder(folders), folders[1]);
}

TEST_F(ImageFolderChoice, WithoutACompleteSetTheLoadNamesWhatIsMissing) {
    // The half set is used so that the load names the missing file where its
    // partner lies; with nothing anywhere, the folder beside the program.
    const Folders folders{Folder("build", false, false), Folder("user", false, true)};
    EXPECT_EQ(ChooseImageFolder(folders), folders[1]);
    const Folders empty{Folder("a", false, false), Folder("b", false, false)};
    EXPECT_EQ(ChooseImageFolder(empty), empty[0]);
}

TEST_F(ImageFolderChoice, AFolderNamedLikeAnImageIsNoImage) {
    const fs::path odd = Folder("odd", false, false);
    fs::create_directories(odd / kProgramImageFile);
    fs::create_directories(odd / kFpgaImageFile);
    const Folders folders{odd, Folder("good", true, true)};
    EXPECT_EQ(ChooseImageFolder(folders), folders[1]);
}

}  // namespace
}  // namespace orvik
