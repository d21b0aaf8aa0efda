#pragma once

#include <string>

namespace orvik {

// printf-style formatting in the C numeric conventions (a decimal point, no
// digit grouping), whatever locale the desktop has put in force: the numbers
// the system writes into its own texts and files must read the same on every
// machine. The format is checked like printf's.
std::string FormatC(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The shortest text with a decimal point that reads back as exactly `value`
// ("4", "50.1234567", "1e+300").
std::string ShortestC(double value);

// strtod in the C numeric conventions.
double ParseC(const char* text, char** end);

// Puts the C numeric conventions in force for the whole process. A window
// system adopts the desktop's locale when it starts; call this right after.
void UseCNumericLocale();

}  // namespace orvik
