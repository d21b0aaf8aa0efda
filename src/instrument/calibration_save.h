#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "instrument/calibration_set.h"
#include "instrument/instrument_link.h"

namespace orvik {

inline constexpr const char* kCalibrationNotSavedCaption = "Calibration not saved";

// The date of a saved calibration as the instrument keeps it: weekday, month,
// two-digit day, hh:mm:ss and four-digit year with single spaces, then a line
// feed ("Tue Dec 08 03:47:35 2026\n", 25 characters), in English whatever the
// desktop's language.
std::string CalibrationDateText(const std::tm& localTime);
// The same for the current local time.
std::string CurrentCalibrationDateText();

// The five store pages of a saved calibration: page 1 the calibrated mark and
// both ends of cable, page 2 both divisors and the single-ended constant,
// page 3 the differential constant, page 4 the operator, page 5 the date.
std::array<StorePage, 5> CalibrationPages(const CalibrationSet& calibration,
                                          std::string_view operatorName, std::string_view dateText);

// Saves the calibration in force into the instrument's store with who saved
// it and when (each at most 32 characters), and on success makes them the
// last-calibration texts. The store is meant to hold the whole calibration or
// none of it: the pages are read first, and when a page cannot be written it
// may still have been (its reply lost), so it and the pages before it get
// their old contents back and are read back. The failure names the page and
// says what the store holds as read back (the old calibration, part of the
// new one, or what could not be read) and that the new calibration stays in
// force in memory; its detail lists the pages.
Status SaveCalibration(InstrumentLink& link, CalibrationSet& calibration,
                       std::string_view operatorName, std::string_view dateText);

}  // namespace orvik
