// The controller program (Intel HEX) and the FPGA image (hex text): how they
// are read and what goes to the instrument.
#include <gtest/gtest.h>

#include <cstdio>

#include "instrument/image_loading.h"
#include "instrument/instrument_link.h"
#include "instrument/program_image.h"
#include "link_test_support.h"
#include "simulator/sim_images.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::SimulatedStation;

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A data record with `count` bytes counting up from `first`, checksum included.
std::string Record(unsigned count, unsigned address, unsigned type = 0, unsigned first = 1) {
    char field[16];
    std::snprintf(field, sizeof field, ":%02X%04X%02X", count, address, type);
    std::string text = field;
    unsigned sum = count + (address >> 8) + (address & 0xFF) + type;
    for (unsigned i = 0; i < count; ++i) {
        std::snprintf(field, sizeof field, "%02X", (first + i) & 0xFF);
        text += field;
        sum += first + i;
    }
    std::snprintf(field, sizeof field, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return text + field;
}

const std::string kEnd = ":00000001FF\n";

TEST(ProgramImageParse, DataRecordsLandInTheirMemory) {
    const ProgramImage image =
        ParseProgramImage(Bytes(Record(0x10, 0x0000) + Record(2, 0x0123, 0, 0xA0) + kEnd));
    for (unsigned i = 0; i < 16; ++i) {
        EXPECT_EQ(image.code[i], i + 1);
    }
    EXPECT_EQ(image.code[16], 0);
    EXPECT_EQ(image.code[0x123], 0xA0);
    EXPECT_EQ(image.code[0x124], 0xA1);
    EXPECT_EQ(image.dataRecords, 2);
}

TEST(ProgramImageParse, BytesBeyondTheEndOfTheirMemoryAreDropped) {
    const ProgramImage image = ParseProgramImage(
        Bytes(Record(0x10, 0x3FF8) + Record(0x10, 0xE1F0, 0, 0x40) + Record(4, 0xE200) + kEnd));
    EXPECT_EQ(image.code[0x3FF8], 1);
    EXPECT_EQ(image.code[0x3FFF], 8);
    EXPECT_EQ(image.high[0x1F0], 0x40);
    EXPECT_EQ(image.high[0x1FF], 0x4F);
    for (const std::uint8_t byte : std::span(image.high).first(0x1F0)) {
        EXPECT_EQ(byte, 0);
    }
}

TEST(ProgramImageParse, EndRecordAndOversizedRecordEndTheParse) {
    ProgramImage image = ParseProgramImage(Bytes(Record(1, 0x10) + kEnd + Record(1, 0x20)));
    EXPECT_EQ(image.code[0x10], 1);
    EXPECT_EQ(image.code[0x20], 0);

    // 127 bytes is still a record; 128 ends the parse, keeping what came before.
    image = ParseProgramImage(
        Bytes(Record(1, 0x10) + Record(127, 0x100) + Record(0x80, 0x400) + Record(1, 0x30)));
    EXPECT_EQ(image.code[0x10], 1);
    EXPECT_EQ(image.code[0x100 + 126], 127);
    EXPECT_EQ(image.code[0x400], 0);
    EXPECT_EQ(image.code[0x30], 0);
}

TEST(ProgramImageParse, OtherRecordTypesAndOtherAddressesAreIgnored) {
    const ProgramImage image = ParseProgramImage(Bytes(
        ":020000040001F9\n" + Record(2, 0x8000) + Record(3, 0x0040, 5) + Record(1, 0x50) + kEnd));
    EXPECT_EQ(image.code[0x50], 1);
    EXPECT_EQ(image.code[0x40], 0);
    EXPECT_EQ(image.dataRecords, 2);
}

TEST(ProgramImageParse, DigitRulesAndUncheckedChecksums) {
    // Lower case digits, in the type too ("0a" is type 10, not data); a wrong
    // checksum changes nothing.
    ProgramImage image = ParseProgramImage(Bytes(":0200100aabcd00\n" + kEnd));
    EXPECT_EQ(image.code[0x10], 0);
    image = ParseProgramImage(Bytes(":02001000abcd00\n" + kEnd));
    EXPECT_EQ(image.code[0x10], 0xAB);
    EXPECT_EQ(image.code[0x11], 0xCD);
    // A character that is no digit counts as 0.
    image = ParseProgramImage(Bytes(":02002000G1ZZ00\n" + kEnd));
    EXPECT_EQ(image.code[0x20], 0x01);
    EXPECT_EQ(image.code[0x21], 0x00);
    // A NUL ends a field early: "1\0" is 1, not 0x10.
    std::string withNul = ":01003000" + std::string("1") + '\0' + "00\n" + kEnd;
    image = ParseProgramImage(Bytes(withNul));
    EXPECT_EQ(image.code[0x30], 0x01);
}

TEST(ProgramImageParse, ShortTextsAndTruncatedRecordsAreHarmless) {
    for (const std::string text : {"", ":", ":10", ":1000000", ":10000000", ":1000000001020304"}) {
        const ProgramImage image = ParseProgramImage(Bytes(text));
        EXPECT_EQ(image.code[0], text == ":1000000001020304" ? 1 : 0) << text;
    }
    // A record whose data stops at the end of the text keeps the bytes that are there.
    const ProgramImage image = ParseProgramImage(Bytes(":040000000A0B"));
    EXPECT_EQ(image.code[0], 0x0A);
    EXPECT_EQ(image.code[1], 0x0B);
    EXPECT_EQ(image.code[2], 0x00);
}

TEST(FpgaHexText, PairsBecomeBytesAndAnOddLastCharacterIsDropped) {
    EXPECT_EQ(HexPairsToBytes(Bytes("00ff7Ab")), (std::vector<std::uint8_t>{0x00, 0xFF, 0x7A}));
    EXPECT_EQ(HexPairsToBytes(Bytes("0\n1F")), (std::vector<std::uint8_t>{0x00, 0x1F}));
    EXPECT_TRUE(HexPairsToBytes(Bytes("")).empty());
}

class ProgressRecorder : public LoadProgress {
  public:
    void Show() override { events.push_back("show"); }
    void SetRange(std::int64_t minimum, std::int64_t maximum) override {
        events.push_back("range " + std::to_string(minimum) + ".." + std::to_string(maximum));
    }
    void SetPosition(std::int64_t position) override { events.push_back(std::to_string(position)); }
    void Close() override { events.push_back("close"); }
    std::vector<std::string> events;
};

class ImageLoadTest : public ::testing::Test {
  protected:
    ImageLoadTest()
        : station_(testing::WarmInstrument()),
          device_(station_.port, kInstrumentInterfaceGuid, false) {}

    void WriteImage(const char* name, const std::string& text) {
        testing::WriteFile(folder_.File(name), std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    std::vector<RecordedCall> Uploads() {
        std::vector<RecordedCall> uploads;
        for (const RecordedCall& call :
             testing::RequestsWithCode(station_.port, usb_request::kControlTransfer)) {
            if (call.input[1] == 0xA0) {
                uploads.push_back(call);
            }
        }
        return uploads;
    }

    testing::TemporaryFolder folder_;
    SimulatedStation station_;
    CUsbDevice device_;
    ProgressRecorder progress_;
};

TEST_F(ImageLoadTest, EmptyProgramStillUploadsBothMemoriesBetweenHoldAndRelease) {
    WriteImage(kProgramImageFile, "");
    EXPECT_EQ(LoadProgramImage(device_, folder_.Path()), ImageLoadOutcome::Loaded);
    const auto uploads = Uploads();
    ASSERT_EQ(uploads.size(), 7u);
    const std::pair<std::uint16_t, std::uint16_t> expected[] = {
        {0xE600, 2},    {0x0000, 4096}, {0x1000, 4096}, {0x2000, 4096},
        {0x3000, 4096}, {0xE000, 512},  {0xE600, 2}};
    std::size_t zeroBytes = 0;
    for (std::size_t i = 0; i < uploads.size(); ++i) {
        const TransferHeader header = TransferHeader::ReadFrom(uploads[i].input);
        EXPECT_EQ(header.requestType, 0x40) << i;
        EXPECT_EQ(header.value, expected[i].first) << i;
        EXPECT_EQ(header.index, 0) << i;
        EXPECT_EQ(header.length, expected[i].second) << i;
        const auto data = testing::CarriedData(uploads[i]);
        if (i > 0 && i < 6) {
            zeroBytes += static_cast<std::size_t>(std::count(data.begin(), data.end(), 0));
        }
    }
    EXPECT_EQ(zeroBytes, 16896u);
    EXPECT_EQ(testing::CarriedData(uploads[0]), (std::vector<std::uint8_t>{1, 0}));
    EXPECT_EQ(testing::CarriedData(uploads[6]), (std::vector<std::uint8_t>{0, 0}));
    EXPECT_FALSE(device_.IsOpen());
}

TEST_F(ImageLoadTest, ProgramBytesGoToTheirAddresses) {
    WriteImage(kProgramImageFile, Record(4, 0x1FFE) + Record(2, 0xE004, 0, 0x77) + kEnd);
    LoadProgramImage(device_, folder_.Path());
    const auto uploads = Uploads();
    ASSERT_EQ(uploads.size(), 7u);
    const auto first = testing::CarriedData(uploads[2]);   // 0x1000-0x1FFF
    const auto second = testing::CarriedData(uploads[3]);  // 0x2000-0x2FFF
    EXPECT_EQ(first[0xFFE], 1);
    EXPECT_EQ(first[0xFFF], 2);
    EXPECT_EQ(second[0], 3);
    EXPECT_EQ(second[1], 4);
    EXPECT_EQ(testing::CarriedData(uploads[5])[4], 0x77);
}

TEST_F(ImageLoadTest, MissingFileOrInstrumentSendsNothing) {
    EXPECT_EQ(LoadProgramImage(device_, folder_.Path()), ImageLoadOutcome::FileMissing);
    EXPECT_TRUE(station_.port.Calls().empty());
    WriteImage(kProgramImageFile, kEnd);
    station_.sim.Unplug();
    EXPECT_EQ(LoadProgramImage(device_, folder_.Path()), ImageLoadOutcome::DeviceMissing);
    EXPECT_TRUE(station_.port.Requests().empty());
}

TEST_F(ImageLoadTest, FpgaImageGoesInChunksOf512WithProgress) {
    WriteImage(kFpgaImageFile, std::string(3000, 'A'));
    // Every step is carried out, but 0xAA bytes are no configuration: the
    // FPGA's reply says it did not take them.
    EXPECT_EQ(LoadFpgaImage(device_, station_.clock, folder_.Path(), &progress_),
              ImageLoadOutcome::NotTaken);
    EXPECT_EQ(progress_.events,
              (std::vector<std::string>{"show", "range 0..3000", "1024", "2048", "3000", "close"}));
    EXPECT_EQ(station_.clock.NowMs(), 3000);

    std::vector<std::size_t> chunks;
    for (const RecordedCall& call : station_.port.Requests()) {
        if (testing::RequestEndpoint(call) == kFpgaEndpoint &&
            call.code == usb_request::kBufferedTransfer) {
            const auto data = testing::CarriedData(call);
            chunks.push_back(data.size());
            EXPECT_EQ(data[0], 0xAA);
        }
    }
    EXPECT_EQ(chunks, (std::vector<std::size_t>{512, 512, 476}));
    // The begin command went first; the reply is read once, after the stream.
    EXPECT_EQ(testing::CommandsSent(station_.port), std::vector<std::uint8_t>{0x53});
    const auto requests = station_.port.Requests();
    EXPECT_EQ(testing::RequestEndpoint(requests.back()), 0x81);
    EXPECT_FALSE(device_.IsOpen());
}

TEST_F(ImageLoadTest, FpgaLoadResetsAllThreePipesBeforeTheCommand) {
    WriteImage(kFpgaImageFile, "00");
    LoadFpgaImage(device_, station_.clock, folder_.Path(), nullptr);
    std::vector<std::pair<std::uint32_t, std::uint8_t>> pipes;
    for (const RecordedCall& call : station_.port.Requests()) {
        if (call.code == usb_request::kAbortPipe || call.code == usb_request::kResetPipe) {
            pipes.emplace_back(call.code, call.input.at(0));
        }
    }
    const std::vector<std::pair<std::uint32_t, std::uint8_t>> expected{
        {usb_request::kAbortPipe, 0x01}, {usb_request::kAbortPipe, 0x81},
        {usb_request::kResetPipe, 0x01}, {usb_request::kResetPipe, 0x81},
        {usb_request::kAbortPipe, 0x04}, {usb_request::kResetPipe, 0x04}};
    EXPECT_EQ(pipes, expected);
}

TEST_F(ImageLoadTest, RefusedChunkEndsTheStreamWithoutReadingTheReply) {
    WriteImage(kFpgaImageFile, std::string(5000, '1'));
    device_.Open(0);
    device_.Close();
    const int openTransfers = station_.sim.TransferCount();
    // Transfers after opening: the command, then the chunks; the second chunk fails.
    station_.sim.FailTransfer(2 * openTransfers + 3);
    EXPECT_EQ(LoadFpgaImage(device_, station_.clock, folder_.Path(), &progress_),
              ImageLoadOutcome::StreamFailed);
    EXPECT_EQ(progress_.events,
              (std::vector<std::string>{"show", "range 0..5000", "1024", "2048", "close"}));
    const auto requests = station_.port.Requests();
    EXPECT_NE(testing::RequestEndpoint(requests.back()), 0x81);
    EXPECT_FALSE(device_.IsOpen());
}

// An image file that never ends (here a link to /dev/zero) is refused after
// a bounded read instead of holding start-up for ever.
TEST_F(ImageLoadTest, EndlessImageFileIsRefusedAsUnreadable) {
    std::filesystem::create_symlink("/dev/zero", folder_.Path() / kProgramImageFile);
    std::filesystem::create_symlink("/dev/zero", folder_.Path() / kFpgaImageFile);
    EXPECT_EQ(LoadProgramImage(device_, folder_.Path()), ImageLoadOutcome::FileMissing);
    EXPECT_EQ(LoadFpgaImage(device_, station_.clock, folder_.Path(), &progress_),
              ImageLoadOutcome::FileMissing);
    EXPECT_TRUE(station_.port.Requests().empty());
}

TEST_F(ImageLoadTest, MissingFpgaFileStillShowsAndClosesTheWindow) {
    EXPECT_EQ(LoadFpgaImage(device_, station_.clock, folder_.Path(), &progress_),
              ImageLoadOutcome::FileMissing);
    EXPECT_EQ(progress_.events, (std::vector<std::string>{"show", "close"}));
    EXPECT_EQ(station_.clock.NowMs(), 3000);
}

TEST_F(ImageLoadTest, ColdInstrumentRefusesTheFpgaCommand) {
    SimulatedStation cold;
    CUsbDevice device(cold.port, kInstrumentInterfaceGuid, false);
    WriteImage(kFpgaImageFile, "0011");
    EXPECT_EQ(LoadFpgaImage(device, cold.clock, folder_.Path(), nullptr),
              ImageLoadOutcome::CommandFailed);
}

TEST_F(ImageLoadTest, SimulatorImagesBringAColdInstrumentUp) {
    SimulatedStation cold;
    CUsbDevice device(cold.port, kInstrumentInterfaceGuid, false);
    ASSERT_TRUE(sim::WriteSimulatorImages(folder_.Path()));
    EXPECT_EQ(LoadProgramImage(device, folder_.Path()), ImageLoadOutcome::Loaded);
    EXPECT_TRUE(cold.sim.Instrument().ProgramRunning());
    EXPECT_FALSE(cold.sim.Instrument().FpgaConfigured());
    EXPECT_EQ(LoadFpgaImage(device, cold.clock, folder_.Path(), nullptr), ImageLoadOutcome::Loaded);
    EXPECT_TRUE(cold.sim.Instrument().FpgaConfigured());
    ASSERT_TRUE(device.Open(0));
    EXPECT_EQ(device.ReleaseNumber(), 0x0064);
}

TEST_F(ImageLoadTest, DamagedProgramLeavesTheInstrumentCold) {
    SimulatedStation cold;
    CUsbDevice device(cold.port, kInstrumentInterfaceGuid, false);
    std::string text = sim::GenerateProgramImageHex();
    text[text.find(':', 200) + 12] ^= 1;  // one data digit of a record
    WriteImage(kProgramImageFile, text);
    LoadProgramImage(device, folder_.Path());
    EXPECT_FALSE(cold.sim.Instrument().ProgramRunning());
}

}  // namespace
}  // namespace orvik
