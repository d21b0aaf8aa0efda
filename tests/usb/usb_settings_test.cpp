#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "test_files.h"
#include "usb/usb_settings.h"
#include "usb/usb_settings_file.h"

#ifdef ORVIK_WITH_QT
#include <QSettings>
#include <QString>
#endif

namespace orvik {
namespace {

TEST(UsbSettings, InstrumentIdsAreOneOrTwoPairs) {
    UsbSettings settings;
    EXPECT_EQ(InstrumentIdsText(settings), "04B4:8613,2F4E:0300");

    ASSERT_TRUE(ApplyInstrumentIds("1234:abcd", settings));
    EXPECT_EQ(settings.instrumentCold, (UsbId{0x1234, 0xABCD}));
    EXPECT_EQ(settings.instrumentRunning, (UsbId{0x1234, 0xABCD}));
    EXPECT_TRUE(settings.IsInstrument({0x1234, 0xABCD}));

    ASSERT_TRUE(ApplyInstrumentIds("04b4:8613,2F4E:0300", settings));
    EXPECT_EQ(settings.instrumentCold, (UsbId{0x04B4, 0x8613}));
    EXPECT_EQ(settings.instrumentRunning, (UsbId{0x2F4E, 0x0300}));
    EXPECT_FALSE(settings.IsInstrument({0x2F4E, 0x0301}));
}

TEST(UsbSettings, MalformedIdsAreRefusedAndChangeNothing) {
    for (const char* text : {"", "2F4E", "2F4E:", ":0300", "2F4E:03000", "2F4G:0300", "2F4E:0300,",
                             "1:2,3:4,5:6", "2F4E:0300:1", " 2F4E:0300"}) {
        UsbSettings settings;
        const Result<void> applied = ApplyInstrumentIds(text, settings);
        EXPECT_FALSE(applied) << text;
        EXPECT_EQ(InstrumentIdsText(settings), "04B4:8613,2F4E:0300") << text;
    }
    EXPECT_NE(
        ApplyInstrumentIds("x", *std::make_unique<UsbSettings>()).Error().Message.find("VID:PID"),
        std::string::npos);
}

TEST(UsbSettings, TriggerRequestSetupReadsBackAsWritten) {
    const TriggerRequestSetup defaults;
    EXPECT_EQ(defaults.ToString(), "C0:01:0000:0000");
    const Result<TriggerRequestSetup> parsed = ParseTriggerRequestSetup("41:2a:0102:beef");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, (TriggerRequestSetup{0x41, 0x2A, 0x0102, 0xBEEF}));
    EXPECT_EQ(parsed->ToString(), "41:2A:0102:BEEF");
    for (const char* text : {"C0:01:0000", "C0:100:0000:0000", "C0:01:0000:0000:0", "C0;01;0;0"}) {
        EXPECT_FALSE(ParseTriggerRequestSetup(text)) << text;
    }
}

// The udev rule gives access to exactly the devices the program looks for
// with its default settings.
TEST(UsbSettings, UdevRuleNamesEveryDefaultId) {
    std::ifstream file(std::string(ORVIK_PACKAGING_DIR) + "/udev/60-orvik.rules");
    ASSERT_TRUE(file) << "packaging/udev/60-orvik.rules";
    std::vector<std::string> ruled;
    for (std::string line; std::getline(file, line);) {
        const auto vendor = line.find("ATTR{idVendor}==\"");
        const auto product = line.find("ATTR{idProduct}==\"");
        if (line.starts_with("#") || vendor == std::string::npos || product == std::string::npos) {
            continue;
        }
        std::string id = line.substr(vendor + 17, 4) + ":" + line.substr(product + 18, 4);
        for (char& c : id) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        ruled.push_back(id);
        EXPECT_NE(line.find("GROUP=\"plugdev\""), std::string::npos) << line;
        EXPECT_NE(line.find("TAG+=\"uaccess\""), std::string::npos) << line;
    }
    const UsbSettings defaults;
    EXPECT_EQ(ruled, (std::vector<std::string>{defaults.instrumentCold.ToString(),
                                               defaults.instrumentRunning.ToString(),
                                               defaults.trigger.ToString()}));
}

// The [usb] group of the program's settings file as orvik-cli reads it: only
// that group, quoted strings and bare lists alike, every unusable value
// named and its default kept.
TEST(UsbSettingsFile, ReadsTheUsbGroupAsTheProgramDoes) {
    struct Case {
        std::string text;
        std::string ids;
        std::string trigger;
        std::string request;
        std::string serial;
        std::size_t notes;
    };
    const UsbSettings defaults;
    const std::string ids = InstrumentIdsText(defaults);
    const std::string trigger = defaults.trigger.ToString();
    const std::string request = defaults.triggerSetup.ToString();
    const Case cases[] = {
        {"", ids, trigger, request, "", 0},
        {"[usb]\ninstrumentIds=\"1234:5678,2F4E:0300\"\nserial=\"SIM 7\"\n", "1234:5678,2F4E:0300",
         trigger, request, "SIM 7", 0},
        // Written by hand without quotes: a list, read back joined.
        {"[usb]\r\ninstrumentIds = 1234:5678, 2F4E:0300\r\ntriggerId=ABCD:0001\r\n",
         "1234:5678,2F4E:0300", "ABCD:0001", request, "", 0},
        {"[usb]\ntriggerRequest=41:02:0001:0000\nserial=\n", ids, trigger, "41:02:0001:0000", "",
         0},
        // Another group's keys, comments and escapes.
        {"[General]\nserial=NOT-THIS\n[usb]\n; serial=NOR-THIS\nserial=\"A\\\"B\\\\C\"\n", ids,
         trigger, request, "A\"B\\C", 0},
        {"[usb]\nserial=A\n[Other]\nserial=B\ntriggerId=ABCD:0001\n", ids, trigger, request, "A",
         0},
        {"[usb]\ninstrumentIds=12345:1\ntriggerId=x\ntriggerRequest=C0\n", ids, trigger, request,
         "", 3},
    };
    for (const Case& c : cases) {
        UsbSettings settings;
        const std::vector<std::string> notes = ApplyUsbSettingsText(c.text, settings);
        EXPECT_EQ(InstrumentIdsText(settings), c.ids) << c.text;
        EXPECT_EQ(settings.trigger.ToString(), c.trigger) << c.text;
        EXPECT_EQ(settings.triggerSetup.ToString(), c.request) << c.text;
        EXPECT_EQ(settings.serial, c.serial) << c.text;
        EXPECT_EQ(notes.size(), c.notes) << c.text;
    }
}

TEST(UsbSettingsFile, FollowsTheDesktopsConfigurationFolder) {
    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = config ? config : "";
    setenv("HOME", "/home/ann", 1);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ProgramSettingsFile(),
              "/home/ann/.config/Local AppWizard-Generated Applications/Orvik.conf");
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(ProgramSettingsFile(), "/cfg/Local AppWizard-Generated Applications/Orvik.conf");
    setenv("XDG_CONFIG_HOME", "relative", 1);  // not a configuration folder: ignored
    EXPECT_EQ(ProgramSettingsFile().parent_path().parent_path(), "/home/ann/.config");
    home ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
    config ? setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}

#ifdef ORVIK_WITH_QT
// What the program writes with the desktop's settings library, the
// command-line tool reads back the same.
TEST(UsbSettingsFile, ReadsWhatTheProgramsSettingsLibraryWrote) {
    testing::TemporaryFolder folder;
    const std::string path = (folder.Path() / "Orvik.conf").string();
    {
        QSettings written(QString::fromStdString(path), QSettings::IniFormat);
        written.setValue("General/other", "x");
        written.setValue("usb/instrumentIds", "1234:ABCD,2F4E:0300");
        written.setValue("usb/triggerId", "2F4E:0302");
        written.setValue("usb/triggerRequest", "41:02:0001:0000");
        written.setValue("usb/serial", "SN \"7\", bench 2");
    }
    UsbSettings settings;
    EXPECT_TRUE(ApplyUsbSettingsFile(path, settings).empty());
    EXPECT_EQ(InstrumentIdsText(settings), "1234:ABCD,2F4E:0300");
    EXPECT_EQ(settings.trigger.ToString(), "2F4E:0302");
    EXPECT_EQ(settings.triggerSetup.ToString(), "41:02:0001:0000");
    EXPECT_EQ(settings.serial, "SN \"7\", bench 2");
}
#endif

}  // namespace
}  // namespace orvik
