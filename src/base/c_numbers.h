#pragma once

#include <cmath>
#include <string>

namespace orvik {

// printf-style formatting in the C numeric conventions (a decimal point, no
// digit grouping), whatever locale the desktop has put in force: the numbers
// the system writes into its own texts and files must read the same on every
// machine. The format is checked like printf's.
std::string FormatC(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The shortest text that reads back as exactly `value` ("4", "50.1234567",
// "1e+300").
std::string ShortestC(double value);

// A value ready to print: a NaN reads "nan" whatever sign the arithmetic left
// on it (0.0 / 0.0 has its sign bit set, and printf and to_chars would write
// "-nan"); every other value is itself.
inline double PrintableNumber(double value) {
    return std::isnan(value) ? std::copysign(value, 1.0) : value;
}

// strtod in the C numeric conventions.
double ParseC(const char* text, char** end);

// Puts the C numeric conventions in force for the whole process. A window
// system adopts the desktop's locale when it starts; call this right after.
void UseCNumericLocale();

}  // namespace orvik
