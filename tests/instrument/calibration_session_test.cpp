// The calibration's operations on the simulated MV300: Verify, Calibrate,
// the characterisation station's divisor, Reset, Cancel and Save.
#include "instrument/calibration_session.h"

#include <cmath>
#include <optional>

#include <gtest/gtest.h>

#include "base/c_numbers.h"
#include "instrument/calibration_save.h"
#include "instrument/store_layout.h"
#include "station_test_support.h"
#include "test_log.h"

namespace orvik {
namespace {

using testing::SimulatedInstrument;
using testing::WindowCriterion;
constexpr auto kSingle = MeasurementMode::SingleEnded;
constexpr auto kDifferential = MeasurementMode::Differential;

class Calibration : public ::testing::Test {
  protected:
    void Start(bool characterize) {
        StartUpOptions options;
        options.commandLine = characterize ? "orvik Characterize" : "orvik";
        sim.instrument.StartUp(options);
    }
    void AttachAirline(MeasurementMode mode, double ohms, double inches) {
        sim.Mv300().Attach(mode, sim::CableAttachment::TerminatedAirline(ohms, inches));
    }
    double MeasureCoupon(MeasurementMode mode, double ohms) {
        sim.AttachCoupon(mode, FormatC("%g", ohms));
        return sim.RunTest(WindowCriterion(mode, ohms)).Average;
    }

    SimulatedInstrument sim;
};

TEST_F(Calibration, CharacterisationAfterResetBringsBothModesBack) {
    Start(true);
    CalibrationSession session(sim.instrument);
    ASSERT_TRUE(session.Reset());
    for (MeasurementMode mode : {kSingle, kDifferential}) {
        SCOPED_TRACE(ModeName(mode));
        session.SelectMode(mode);
        const double first = IsDifferential(mode) ? 100.0 : 50.0;
        const double second = IsDifferential(mode) ? 85.0 : 75.0;
        EXPECT_GT(std::fabs(MeasureCoupon(mode, first) - first), first * 0.005);
        const double resetDivisor = sim.instrument.Calibration().Divisor(mode);
        AttachAirline(mode, first, 4.0);
        ASSERT_TRUE(session.Calibrate(4.0, first));
        EXPECT_EQ(sim.instrument.Calibration().Divisor(mode), resetDivisor);  // one point
        AttachAirline(mode, second, 4.0);
        ASSERT_TRUE(session.Calibrate(4.0, second));
        EXPECT_NE(sim.instrument.Calibration().Divisor(mode), resetDivisor);
        EXPECT_NEAR(MeasureCoupon(mode, first), first, first * 0.003);
        EXPECT_NEAR(MeasureCoupon(mode, second), second, second * 0.005);
    }
}

TEST_F(Calibration, KnownImpedanceZeroDoesNothing) {
    Start(false);
    CalibrationSession session(sim.instrument);
    const int transfers = sim.station.sim.TransferCount();
    const auto result = session.Calibrate(4.0, 0.0);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->has_value());
    EXPECT_EQ(sim.station.sim.TransferCount(), transfers);  // no acquisition
    EXPECT_TRUE(session.Points().All().empty());
    EXPECT_FALSE(session.LastTrace().has_value());
}

TEST_F(Calibration, RefusedInputsMeasureNothingAndChangeNothing) {
    Start(true);
    CalibrationSession session(sim.instrument);
    const CalibrationSet before = sim.instrument.Calibration();
    const int transfers = sim.station.sim.TransferCount();
    for (double length : {1.0, -4.0, 40.0, std::nan("")}) {
        EXPECT_FALSE(session.Calibrate(length, 50.0));
    }
    EXPECT_FALSE(session.Verify(2.5));
    EXPECT_FALSE(session.Calibrate(4.0, -50.0));
    EXPECT_EQ(sim.station.sim.TransferCount(), transfers);
    EXPECT_EQ(sim.instrument.Calibration(), before);
    EXPECT_TRUE(session.Points().All().empty());
    ASSERT_EQ(sim.station.prompts.messages.size(), 6u);
    EXPECT_EQ(sim.station.prompts.messages[0].caption, "Length of Airline");
    // The longest airline ends at the last processed sample.
    const int endOfCable = before.EndOfCable(kSingle);
    EXPECT_EQ(sim.station.prompts.messages[0].text,
              FormatC("The length of the airline must be from 1.02 to %.2f inches for Calibrate.",
                      std::floor((6000 - endOfCable) / 75.0 * 100.0) / 100.0));
    EXPECT_EQ(sim.station.prompts.messages[5].caption, "Known Impedance");
}

// An operator's station: a known impedance outside 1 to 1000 ohms is refused
// before anything is measured, and a short measured as the airline is
// refused; nothing reaches the calibration.
TEST_F(Calibration, OperatorStationRefusesWhatNoAirlineGives) {
    Start(false);
    CalibrationSession session(sim.instrument);
    const CalibrationSet before = sim.instrument.Calibration();
    AttachAirline(kSingle, 50.0, 4.0);
    const int transfers = sim.station.sim.TransferCount();
    EXPECT_FALSE(session.Calibrate(4.0, 1e300));
    EXPECT_FALSE(session.Calibrate(4.0, 0.5));
    EXPECT_EQ(sim.station.sim.TransferCount(), transfers);
    sim.Mv300().Attach(kSingle, sim::CableAttachment::ShortCircuit());
    EXPECT_FALSE(session.Calibrate(4.0, 50.0));
    EXPECT_EQ(sim.instrument.Calibration(), before);
    EXPECT_TRUE(session.Points().All().empty());
    const auto& told = sim.station.prompts.messages;
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[0].caption, "Known Impedance");
    EXPECT_EQ(told[2].text, kInvalidCalibrationTestText);
}

// A characterisation step whose constant is refused leaves no divisor behind:
// the same airline calibrated as 50 and as 50.01 ohms gives a pair divisor
// that would make every later measurement wrong.
TEST_F(Calibration, ARefusedStepLeavesNoDivisorBehind) {
    Start(true);
    CalibrationSession session(sim.instrument);
    AttachAirline(kSingle, 50.0, 4.0);
    ASSERT_TRUE(session.Calibrate(4.0, 50.0));
    const CalibrationSet accepted = sim.instrument.Calibration();
    EXPECT_FALSE(session.Calibrate(4.0, 50.01));
    EXPECT_EQ(sim.station.prompts.messages.back().text, kInvalidCoefficientText);
    EXPECT_EQ(sim.instrument.Calibration(), accepted);
    const Result<double> verified = session.Verify(4.0);
    ASSERT_TRUE(verified);
    EXPECT_NEAR(*verified, 50.0, 0.5);
}

TEST_F(Calibration, TheSameImpedanceTwiceIsOnePointOfTwo) {
    Start(false);
    CalibrationSession session(sim.instrument);
    AttachAirline(kSingle, 50.0, 4.0);
    ASSERT_TRUE(session.Calibrate(4.0, 50.0));
    const double firstLevel = session.Points().All()[0].MeanLevel;
    const auto second = session.Calibrate(4.0, 50.0);
    ASSERT_TRUE(second);
    ASSERT_EQ(session.Points().All().size(), 1u);
    EXPECT_EQ((*second)->Point.Count, 2);
    EXPECT_NE((*second)->Point.MeanLevel, firstLevel);  // fresh noise, averaged in
    EXPECT_NEAR((*second)->Point.MeanLevel, firstLevel, firstLevel * 0.001);
}

TEST_F(Calibration, ChartShowsTheAirline) {
    Start(false);
    CalibrationSession session(sim.instrument);
    AttachAirline(kSingle, 50.0, 4.0);
    ASSERT_TRUE(session.Verify(4.0));
    ASSERT_TRUE(session.LastTrace());
    EXPECT_EQ(session.LastTrace()->Impedance.size(), 300u);
    EXPECT_EQ(session.LastTrace()->Length, 4.0);
    EXPECT_EQ(session.LastTrace()->YMaximum, 100.0);
    session.SelectMode(kDifferential);
    EXPECT_EQ(session.ModeYMaximum(), 200.0);
    AttachAirline(kDifferential, 100.0, 6.0);
    ASSERT_TRUE(session.Verify(6.0));
    EXPECT_EQ(session.LastTrace()->Impedance.size(), 450u);
    EXPECT_EQ(session.LastTrace()->YMaximum, 200.0);
}

TEST_F(Calibration, NormalCalibrationBringsTheAirlineBack) {
    Start(false);
    CalibrationSession session(sim.instrument);
    for (MeasurementMode mode : {kSingle, kDifferential}) {
        SCOPED_TRACE(ModeName(mode));
        session.SelectMode(mode);
        const double ohms = IsDifferential(mode) ? 100.0 : 50.0;
        // A constant 3 % off, as an instrument that has drifted.
        const double divisor = sim.instrument.Calibration().Divisor(mode);
        sim.instrument.Calibration().SetCalibrationConstant(
            mode, sim.instrument.Calibration().CalibrationConstant(mode) * 1.03);
        AttachAirline(mode, ohms, 4.0);
        const Result<double> off = session.Verify(4.0);
        ASSERT_TRUE(off);
        EXPECT_GT(std::fabs(*off - ohms), ohms * 0.02);
        ASSERT_TRUE(session.Calibrate(4.0, ohms));
        EXPECT_EQ(sim.instrument.Calibration().Divisor(mode), divisor);
        const Result<double> back = session.Verify(4.0);
        ASSERT_TRUE(back);
        EXPECT_NEAR(*back, ohms, ohms * 0.003);
    }
}

TEST_F(Calibration, CancelPutsBackWhatCalibrateAndEocChanged) {
    Start(true);
    CalibrationSession session(sim.instrument);
    const CalibrationSet before = sim.instrument.Calibration();
    ASSERT_TRUE(session.Reset());
    AttachAirline(kSingle, 50.0, 4.0);
    ASSERT_TRUE(session.Calibrate(4.0, 50.0));
    AttachAirline(kSingle, 75.0, 4.0);
    ASSERT_TRUE(session.Calibrate(4.0, 75.0));
    sim.Mv300().Attach(kSingle, sim::CableAttachment::Nothing());
    ASSERT_TRUE(session.CharacterizeCable().Succeeded());
    const CalibrationSet& now = sim.instrument.Calibration();
    EXPECT_NE(now.Divisor(kSingle), before.Divisor(kSingle));
    EXPECT_NE(now.CalibrationConstant(kSingle), before.CalibrationConstant(kSingle));
    EXPECT_NE(now.Divisor(kDifferential), before.Divisor(kDifferential));  // Reset
    session.Cancel();
    EXPECT_EQ(sim.instrument.Calibration(), before);
}

TEST_F(Calibration, ResetOnlyOnACharacterisationStation) {
    Start(false);
    CalibrationSession session(sim.instrument);
    const CalibrationSet before = sim.instrument.Calibration();
    EXPECT_FALSE(session.Reset());
    EXPECT_EQ(sim.instrument.Calibration(), before);

    SimulatedInstrument station;
    StartUpOptions options;
    options.commandLine = "orvik Characterize";
    station.instrument.StartUp(options);
    CalibrationSession characterizing(station.instrument);
    ASSERT_TRUE(characterizing.Reset());
    const CalibrationSet& reset = station.instrument.Calibration();
    EXPECT_EQ(reset.Divisor(kSingle), 26100.0);
    EXPECT_EQ(reset.Divisor(kDifferential), 23700.0);
    EXPECT_EQ(reset.CalibrationConstant(kSingle), 46.25);
    EXPECT_EQ(reset.CalibrationConstant(kDifferential), 76.0);
    EXPECT_EQ(reset.EndOfCable(kSingle), before.EndOfCable(kSingle));
    EXPECT_EQ(characterizing.CalibrationConstantText(), "26100.00 46.25");
}

TEST_F(Calibration, WithoutTheInstrumentNothingIsComputed) {
    Start(false);
    CalibrationSession session(sim.instrument);
    AttachAirline(kSingle, 50.0, 4.0);
    ASSERT_TRUE(session.Calibrate(4.0, 50.0));  // arrays now hold a 50 ohm record
    const CalibrationSet before = sim.instrument.Calibration();
    sim.station.sim.Unplug();
    const auto result = session.Calibrate(4.0, 75.0);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.Error().Message, "Unable to open the TDR device");
    EXPECT_EQ(sim.instrument.Calibration(), before);
    EXPECT_EQ(session.Points().All().size(), 1u);
}

// The last block of the record came short: the samples along the airline all
// arrived, yet a record with samples missing is no measurement to calibrate
// the instrument with. Verify and Calibrate refuse it and change nothing.
TEST_F(Calibration, ARecordWithABlockShortIsRefused) {
    Start(false);
    CalibrationSession session(sim.instrument);
    AttachAirline(kSingle, 50.0, 4.0);
    sim.instrument.Calibration().SetCalibrationConstant(kSingle, 55.0);  // for Calibrate to change
    const CalibrationSet before = sim.instrument.Calibration();
    const int transfers = testing::AcquisitionTransfers();
    for (const bool calibrate : {false, true}) {
        SCOPED_TRACE(calibrate ? "Calibrate" : "Verify");
        sim.station.sim.ShortReplyAtTransfer(sim.station.sim.TransferCount() + transfers, 200);
        const auto failureOf = [](const auto& result) {
            return result ? std::nullopt : std::optional<Failure>(result.Error());
        };
        const std::optional<Failure> refused =
            calibrate ? failureOf(session.Calibrate(4.0, 50.0)) : failureOf(session.Verify(4.0));
        ASSERT_TRUE(refused.has_value()) << "the record with a block short was used";
        EXPECT_EQ(refused->Message, kIncompleteCalibrationRecordText);
        EXPECT_EQ(refused->Detail, "7268 samples received");
        ASSERT_FALSE(sim.station.prompts.messages.empty());
        EXPECT_EQ(sim.station.prompts.messages.back().caption, "Calibration");
    }
    EXPECT_EQ(sim.instrument.Calibration(), before);
    EXPECT_TRUE(session.Points().All().empty());
    EXPECT_FALSE(session.LastTrace().has_value());
    ASSERT_TRUE(session.Verify(4.0)) << "the next whole record is measured";
}

TEST_F(Calibration, RefusalsAndResultsGoToTheLogWithTheirDetail) {
    Start(true);
    testing::RecordingLogSink sink;
    DiagnosticLog log(sink);
    sim.instrument.SetLog(log);
    CalibrationSession session(sim.instrument);
    AttachAirline(kSingle, 0.5, 4.0);
    EXPECT_FALSE(session.Calibrate(4.0, 1.0));
    EXPECT_EQ(sink.Count(LogLevel::Warning, "instrument",
                         {"Invalid data in calibration test", "measured 0."}),
              1u);
    AttachAirline(kSingle, 50.0, 4.0);
    ASSERT_TRUE(session.Calibrate(4.0, 50.0));
    EXPECT_EQ(sink.Count(LogLevel::Info, "instrument",
                         {"Calibrate single-ended against 50 ohms, 4 in: measured"}),
              1u);
}

TEST(CalibrationDate, TwentyFiveCharactersWithTheLineFeed) {
    std::tm time{};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 11;
    time.tm_mday = 8;
    time.tm_wday = 2;
    time.tm_hour = 3;
    time.tm_min = 47;
    time.tm_sec = 35;
    const std::string text = CalibrationDateText(time);
    EXPECT_EQ(text, "Tue Dec 08 03:47:35 2026\n");
    EXPECT_EQ(text.size(), 25u);
    EXPECT_EQ(CurrentCalibrationDateText().size(), 25u);
}

class SavedCalibration : public Calibration {
  protected:
    // A new start of the program on the same instrument and store.
    CalibrationSet Restart() {
        InstrumentStation again(sim.station.port, sim.station.clock, sim.station.prompts);
        again.StartUp({});
        return again.Calibration();
    }
    // Calibrates the single-ended constant against a 50 ohm airline, so that
    // the calibration in force differs from the store's.
    void CalibrateAgainstAirline() {
        AttachAirline(kSingle, 50.0, 4.0);
        sim.instrument.Calibration().SetCalibrationConstant(kSingle, 55.0);
        CalibrationSession session(sim.instrument);
        ASSERT_TRUE(session.Calibrate(4.0, 50.0));
        sim.instrument.Calibration().SetEndOfCable(kDifferential, 3290);
    }
};

TEST_F(SavedCalibration, FivePagesReachTheStoreAndTheNextStart) {
    Start(false);
    CalibrateAgainstAirline();
    const std::string date = "Tue Dec 08 03:47:35 2026\n";
    const std::string longName(40, 'x');
    ASSERT_TRUE(
        SaveCalibration(sim.instrument.Link(), sim.instrument.Calibration(), longName, date));
    const CalibrationSet& inForce = sim.instrument.Calibration();
    EXPECT_EQ(inForce.LastOperator(), std::string(32, 'x'));
    EXPECT_EQ(inForce.LastDate(), date);
    const CalibrationSet restarted = Restart();
    EXPECT_EQ(restarted, inForce);
    EXPECT_EQ(restarted.EndOfCable(kDifferential), 3290);
    EXPECT_EQ(PageText(sim.Mv300().Store().Read(5)).size(), 25u);
}

TEST_F(SavedCalibration, AFailedPageLeavesTheStoreAsItWasAndSaysWhichPage) {
    Start(false);
    const CalibrationSet stored = sim.instrument.Calibration();
    CalibrateAgainstAirline();
    const CalibrationSet calibrated = sim.instrument.Calibration();
    for (std::uint8_t page : {1, 3, 5}) {
        SCOPED_TRACE(page);
        sim.Mv300().ClearPageWriteFailures();
        sim.Mv300().FailPageWrites(page);
        const Status saved = SaveCalibration(sim.instrument.Link(), sim.instrument.Calibration(),
                                             "Jane", "Tue Dec 08 03:47:35 2026\n");
        ASSERT_FALSE(saved);
        EXPECT_EQ(saved.Error().Message,
                  "The calibration was not saved: page " + std::to_string(page) +
                      " of the instrument's store could not be written.\nThe instrument keeps "
                      "its old calibration.\nUntil it ends, this program measures with the new "
                      "calibration.");
        // The calibration stays in force, the texts of the last save too.
        EXPECT_EQ(sim.instrument.Calibration(), calibrated);
        EXPECT_EQ(Restart(), stored);
    }
    sim.Mv300().ClearPageWriteFailures();
    ASSERT_TRUE(SaveCalibration(sim.instrument.Link(), sim.instrument.Calibration(), "Jane",
                                "Tue Dec 08 03:47:35 2026\n"));
    EXPECT_EQ(Restart().CalibrationConstant(kSingle), calibrated.CalibrationConstant(kSingle));
}

// A write that fails may have reached the store all the same (its reply was
// lost): the failed page is put back with the ones before it, and what the
// operator is told is what the store holds when read back.
TEST_F(SavedCalibration, AWriteWhoseReplyIsLostIsPutBackAndTheStoreIsToldAsReadBack) {
    using Fault = sim::SimulatedMv300::PageWriteFault;
    const std::string oldKept = "The instrument keeps its old calibration.";
    const std::string partly = "The instrument's store holds part of the new calibration";
    const std::string unread = "The instrument's store could not be read back";
    const struct {
        Fault fault;
        std::uint8_t page;
        std::string says;
        bool storeAsBefore;
    } cases[] = {
        // Each page here holds something the calibration below changes.
        {Fault::ReplyLost, 1, oldKept, true},
        {Fault::ReplyLost, 2, oldKept, true},
        {Fault::ReplyLost, 5, oldKept, true},
        {Fault::WrittenThenRefused, 2, partly, false},
        {Fault::WrittenThenRefused, 5, partly, false},
        {Fault::WrittenThenSilent, 4, unread, false},
    };
    Start(false);
    const CalibrationSet stored = sim.instrument.Calibration();
    std::array<sim::SimulatedStore::Page, 5> storedPages{};
    for (std::uint8_t page = 1; page <= 5; ++page) {
        storedPages[page - 1u] = sim.Mv300().Store().Read(page);
    }
    CalibrateAgainstAirline();
    for (const auto& row : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "page " << int(row.page) << " fault " << static_cast<int>(row.fault));
        sim.Mv300().ClearPageWriteFailures();
        sim.Mv300().FailPageWrites(row.page, row.fault);
        const Status saved = SaveCalibration(sim.instrument.Link(), sim.instrument.Calibration(),
                                             "Jane", "Tue Dec 08 03:47:35 2026\n");
        ASSERT_FALSE(saved);
        const std::string& message = saved.Error().Message;
        EXPECT_EQ(message.rfind("The calibration was not saved: page " + std::to_string(row.page) +
                                    " of the instrument's store could not be written.\n",
                                0),
                  0u)
            << message;
        EXPECT_NE(message.find(row.says), std::string::npos) << message;
        EXPECT_NE(message.find("this program measures with the new calibration"),
                  std::string::npos);
        EXPECT_EQ(sim.instrument.Calibration().LastOperator(), stored.LastOperator());
        sim.Mv300().ClearPageWriteFailures();
        bool asBefore = true;
        for (std::uint8_t page = 1; page <= 5; ++page) {
            asBefore = asBefore && sim.Mv300().Store().Read(page) == storedPages[page - 1u];
            sim.Mv300().Store().Write(page, storedPages[page - 1u]);  // for the next row
        }
        EXPECT_EQ(asBefore, row.storeAsBefore);
        EXPECT_EQ(Restart(), stored);
    }
}

}  // namespace
}  // namespace orvik
