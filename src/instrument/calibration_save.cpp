#include "instrument/calibration_save.h"

#include "base/c_numbers.h"
#include "instrument/store_layout.h"

namespace orvik {
namespace {

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* NameOf(const char* const* names, int count, int index) {
    return index >= 0 && index < count ? names[index] : "???";
}

constexpr std::uint8_t kFirstPage = store_page::kEndOfCable;

}  // namespace

std::string CalibrationDateText(const std::tm& localTime) {
    return FormatC("%s %s %02d %02d:%02d:%02d %04d\n", NameOf(kWeekdays, 7, localTime.tm_wday),
                   NameOf(kMonths, 12, localTime.tm_mon), localTime.tm_mday, localTime.tm_hour,
                   localTime.tm_min, localTime.tm_sec, localTime.tm_year + 1900);
}

std::string CurrentCalibrationDateText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return CalibrationDateText(local);
}

std::array<StorePage, 5> CalibrationPages(const CalibrationSet& calibration,
                                          std::string_view operatorName,
                                          std::string_view dateText) {
    constexpr MeasurementMode kSingle = MeasurementMode::SingleEnded;
    constexpr MeasurementMode kPair = MeasurementMode::Differential;
    std::array<StorePage, 5> pages{};
    SetPageDouble(pages[0], 0, kCalibratedStoreMagic);
    SetPageDouble(pages[0], 1, calibration.EndOfCable(kSingle));
    SetPageDouble(pages[0], 2, calibration.EndOfCable(kPair));
    SetPageDouble(pages[1], 0, calibration.Divisor(kSingle));
    SetPageDouble(pages[1], 1, calibration.Divisor(kPair));
    SetPageDouble(pages[1], 2, calibration.CalibrationConstant(kSingle));
    SetPageDouble(pages[2], 0, calibration.CalibrationConstant(kPair));
    pages[3] = TextPage(std::string(operatorName.substr(0, kLastCalibrationTextLength)));
    pages[4] = TextPage(std::string(dateText.substr(0, kLastCalibrationTextLength)));
    return pages;
}

namespace {

using CalibrationPageSet = std::array<StorePage, 5>;

// What a failed save tells the operator about the program: the instrument's
// store is what the next start reads, the memory is what measures now.
constexpr const char* kInForceAfterFailure =
    "\nUntil it ends, this program measures with the new calibration.";

std::string PageNotWritten(int page) {
    return FormatC(
        "The calibration was not saved: page %d of the instrument's store could not "
        "be written.",
        page);
}

// Puts the old contents back into pages 1 to `last`, `last` included: a write
// whose reply was lost may still have reached the store. Then reads them
// back, since a put-back write can be lost the same way, and says what the
// store holds.
Failure AfterFailedWrite(InstrumentLink& link, int last, const CalibrationPageSet& before,
                         const CalibrationPageSet& pages) {
    int putBack = 0;
    for (int page = kFirstPage; page <= last; ++page) {
        const auto index = static_cast<std::size_t>(page - kFirstPage);
        putBack += link.WritePage(static_cast<std::uint8_t>(page), before[index]) ? 1 : 0;
    }
    std::string unread;
    std::string changed;
    for (int page = kFirstPage; page <= last; ++page) {
        const auto index = static_cast<std::size_t>(page - kFirstPage);
        StorePage now{};
        if (!link.ReadPage(static_cast<std::uint8_t>(page), now)) {
            unread += " " + std::to_string(page);
        } else if (now != before[index]) {
            changed += (now == pages[index] ? " new " : " other ") + std::to_string(page);
        }
    }
    const std::string detail = FormatC("%d of %d pages put back;", putBack, last - kFirstPage + 1) +
                               (unread.empty() ? "" : " unread:" + unread) +
                               (changed.empty() ? "" : " not the old contents:" + changed);
    if (!changed.empty()) {
        return {PageNotWritten(last) +
                    "\nThe instrument's store holds part of the new calibration: save again." +
                    kInForceAfterFailure,
                detail};
    }
    if (!unread.empty()) {
        return {PageNotWritten(last) +
                    "\nThe instrument's store could not be read back and may hold part of the "
                    "new calibration: save again." +
                    kInForceAfterFailure,
                detail};
    }
    return {
        PageNotWritten(last) + "\nThe instrument keeps its old calibration." + kInForceAfterFailure,
        detail};
}

}  // namespace

Status SaveCalibration(InstrumentLink& link, CalibrationSet& calibration,
                       std::string_view operatorName, std::string_view dateText) {
    const CalibrationPageSet pages = CalibrationPages(calibration, operatorName, dateText);
    CalibrationPageSet before{};
    for (std::size_t i = 0; i < before.size(); ++i) {
        const int page = kFirstPage + static_cast<int>(i);
        if (!link.ReadPage(static_cast<std::uint8_t>(page), before[i])) {
            return Failure{FormatC("The calibration was not saved: page %d of the instrument's "
                                   "store could not be read.\nThe instrument keeps its old "
                                   "calibration.",
                                   page) +
                               kInForceAfterFailure,
                           "nothing was written"};
        }
    }
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const int page = kFirstPage + static_cast<int>(i);
        if (!link.WritePage(static_cast<std::uint8_t>(page), pages[i])) {
            return AfterFailedWrite(link, page, before, pages);
        }
    }
    calibration.SetLastOperator(operatorName);
    calibration.SetLastDate(dateText);
    return {};
}

}  // namespace orvik
