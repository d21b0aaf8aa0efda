#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "usb/usb_settings.h"

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

}  // namespace
}  // namespace orvik
