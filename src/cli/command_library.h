#pragma once

#include <string>

#include "criteria/criteria_library.h"

namespace orvik::cli {

enum class MissingLibrary {
    Empty,    // the program's criteria.dat, which may not exist yet
    Refused,  // a library asked for by name
};

// Loads the criteria library a command reads. A damaged file ends the command
// (CommandFailure) with the reason and is left as it is; a missing one is an
// empty library or a failure, as `missing` says.
void LoadCommandLibrary(CriteriaLibrary& library, const std::string& path, MissingLibrary missing);

}  // namespace orvik::cli
