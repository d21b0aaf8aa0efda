// orvik-cli against real instruments on the emulated bus: which images a
// build tree loads, the devices list, and the instrument chosen by serial
// number from the program's settings file or the command line.
#include <gtest/gtest.h>

#include <filesystem>

#include "../cli/cli_run.h"
#include "emulated_instrument.h"
#include "instrument/image_loading.h"
#include "instrument/program_image.h"
#include "test_files.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using testing::EmulatedInstrument;
using testing::ScopedEnvironment;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A fresh user: an empty home, no desktop folders named.
class FreshUser {
  public:
    FreshUser()
        : home_("HOME", root.Path().string()),
          data_("XDG_DATA_HOME", std::nullopt),
          config_("XDG_CONFIG_HOME", std::nullopt) {}
    fs::path DataFolder() const { return root.Path() / ".local" / "share" / "orvik"; }
    void WriteSettings(const std::string& text) const {
        const fs::path folder = root.Path() / ".config" / "Local AppWizard-Generated Applications";
        fs::create_directories(folder);
        testing::WriteFile((folder / "Orvik.conf").string(),
                           std::vector<std::uint8_t>(text.begin(), text.end()));
    }

  private:
    testing::TemporaryFolder root;
    ScopedEnvironment home_;
    ScopedEnvironment data_;
    ScopedEnvironment config_;
};

class ColdInstrumentOnTheWallClock : public EmulatedInstrument {
  protected:
    ColdInstrumentOnTheWallClock() : EmulatedInstrument(false, &wallClock) {}
    static inline SystemClock wallClock;
};

// A build tree's orvik-cli and a real instrument whose images the user keeps
// in ~/.local/share/orvik: the simulator's images, made beside the build's
// programs in a folder of their own, are not what the instrument gets.
TEST_F(ColdInstrumentOnTheWallClock, ABuildTreeLoadsTheUsersImagesNotTheSimulators) {
    ASSERT_TRUE(fs::is_regular_file(ExecutableFolder() / "simulator" / kProgramImageFile))
        << "the build puts the simulator's images into simulator/ beside the program";
    const FreshUser user;
    ASSERT_TRUE(testing::WriteInstrumentImages(user.DataFolder()));
    AttachCoupon(testing::kSingle, "50");

    const testing::CliRun measured = testing::RunTool({"measure"});

    EXPECT_EQ(measured.exitCode, 0) << measured.err;
    EXPECT_TRUE(Contains(measured.out, "\"passed\": true")) << measured.err;
    bus.WithInstrument([](sim::SimulatedMv300& instrument) {
        EXPECT_TRUE(instrument.ProgramRunning());
        EXPECT_FALSE(CarriesSimulatedControllerTag(instrument.CodeMemory()));
    });
}

class TwoInstrumentsOnTheWallClock : public EmulatedInstrument {
  protected:
    TwoInstrumentsOnTheWallClock() : EmulatedInstrument(true, &wallClock) {
        bus.AddInstrument(testing::InstrumentOptions(true, "SIM0300002"));
    }
    void SetUp() override {
        EmulatedInstrument::SetUp();
        bus.PlugInInstrument(1);
        ASSERT_TRUE(WaitUntilAttached(2));
    }
    // Register writes instrument `index` has had: whether it measured.
    std::size_t Measured(int index) {
        std::size_t writes = 0;
        bus.WithInstrument(
            index, [&](auto& instrument) { writes = instrument.RegistersWritten().size(); });
        return writes;
    }
    static inline SystemClock wallClock;
};

TEST_F(TwoInstrumentsOnTheWallClock, DevicesListsPortSerialAndAccessOfEach) {
    const FreshUser user;
    // Another program, using the second instrument.
    UsbSettings second = settings;
    second.serial = "SIM0300002";
    auto holder = LibusbDriverPort::Create(second);
    ASSERT_TRUE(holder);
    ASSERT_EQ((*holder)->EnumerateInterfaces(kInstrumentInterfaceGuid).size(), 1u);

    const testing::CliRun listed = testing::RunTool({"devices"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    for (const char* part :
         {R"("port": "1-1",)", R"("serial": "SIM0300001",)", R"("access": "available")",
          R"("port": "1-2",)", R"("serial": "SIM0300002",)",
          R"("access": "in use by another program")"}) {
        EXPECT_TRUE(Contains(listed.out, part)) << part << " in " << listed.out;
    }
    EXPECT_LT(listed.out.find("1-1"), listed.out.find("1-2")) << "in hub port order";
}

// The serial comes from the program's settings file, and --usb-serial wins
// over it for one run.
TEST_F(TwoInstrumentsOnTheWallClock, MeasureUsesTheInstrumentTheSettingsOrTheOptionName) {
    const FreshUser user;
    user.WriteSettings(
        "[General]\nx=1\n\n[usb]\ninstrumentIds=\"04B4:8613,2F4E:0300\"\n"
        "serial=SIM0300002\n");
    const testing::CliRun fromSettings = testing::RunTool({"measure"});
    EXPECT_EQ(fromSettings.exitCode, 0) << fromSettings.err;
    EXPECT_GT(Measured(1), 0u);
    EXPECT_EQ(Measured(0), 0u);

    const testing::CliRun fromOption = testing::RunTool({"measure", "--usb-serial", "SIM0300001"});
    EXPECT_EQ(fromOption.exitCode, 0) << fromOption.err;
    EXPECT_GT(Measured(0), 0u);

    const testing::CliRun missing = testing::RunTool({"measure", "--usb-serial", "SIM0300009"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(Contains(missing.err, "No MV300 with serial SIM0300009 is attached"))
        << missing.err;
    EXPECT_EQ(testing::RunTool({"measure", "--simulate", "--usb-serial", "X"}).exitCode, 2);
}

}  // namespace
}  // namespace orvik
