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

Status SaveCalibration(InstrumentLink& link, CalibrationSet& calibration,
                       std::string_view operatorName, std::string_view dateText) {
    const std::array<StorePage, 5> pages = CalibrationPages(calibration, operatorName, dateText);
    std::array<StorePage, 5> before{};
    for (std::size_t i = 0; i < before.size(); ++i) {
        const int page = kFirstPage + static_cast<int>(i);
        if (!link.ReadPage(static_cast<std::uint8_t>(page), before[i])) {
            return Failure{FormatC("The calibration was not saved: page %d of the instrument's "
                                   "store could not be read.\nThe instrument keeps its old "
                                   "calibration.",
                                   page),
                           "nothing was written"};
        }
    }
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const int page = kFirstPage + static_cast<int>(i);
        if (link.WritePage(static_cast<std::uint8_t>(page), pages[i])) {
            continue;
        }
        bool restored = true;
        for (std::size_t j = 0; j < i; ++j) {
            restored =
                link.WritePage(static_cast<std::uint8_t>(kFirstPage + j), before[j]) && restored;
        }
        if (restored) {
            return Failure{FormatC("The calibration was not saved: page %d of the instrument's "
                                   "store could not be written.\nThe instrument keeps its old "
                                   "calibration.",
                                   page),
                           FormatC("pages 1 to %d were put back", page - 1)};
        }
        return Failure{FormatC("The calibration was not saved: page %d of the instrument's store "
                               "could not be written, and the pages before it could not be put "
                               "back.\nThe instrument's store holds part of the new calibration: "
                               "save again.",
                               page),
                       "restoring the earlier pages failed"};
    }
    calibration.SetLastOperator(operatorName);
    calibration.SetLastDate(dateText);
    return {};
}

}  // namespace orvik
