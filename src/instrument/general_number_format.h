#pragma once

#include <cstddef>

namespace orvik {

// Room that FormatGeneral needs: sign, six digits, point, exponent.
inline constexpr std::size_t kGeneralNumberMaxLength = 16;

// Writes `value` exactly as printf's "%g" would (six significant digits,
// trailing zeros dropped, exponent form outside 1e-4 .. 1e6, "inf", "nan")
// into `out`, which must have room for kGeneralNumberMaxLength characters.
// Returns the number of characters written; no terminator is added.
// Written for the diagnostic dump, which formats some 30 000 numbers after
// every acquisition: plain cases are done with one scaled multiplication and
// anything that could round differently goes through the standard library.
std::size_t FormatGeneral(double value, char* out);

}  // namespace orvik
