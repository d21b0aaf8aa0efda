#pragma once

#include <cstddef>
#include <string>

namespace orvik {

// Whether the process `pid` (decimal digits) still runs. Anything that cannot
// be told for certain counts as running, so that nothing of a live program
// is taken for abandoned.
bool ProcessIsAlive(const std::string& pid);

// Removes the hidden temporary files that saves of `path` left beside it (or
// beside the file its link points to) when their program ended in the middle
// of the save: ".NAME.PID-N", named just before the rename that puts a saved
// file in place, whose process PID no longer runs. Returns how many went.
std::size_t RemoveAbandonedSaveFiles(const std::string& path);

}  // namespace orvik
