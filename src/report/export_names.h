#pragma once

#include <string>

namespace orvik {

// The file a save dialog proposes for what is made from a collection: the
// collection's own name with `extension` (".pdf", ".csv", ".txt") in the
// collection's folder, e.g. /lots/LOT4711.tdr -> /lots/LOT4711.pdf; a
// collection never saved proposes its title. Paths are UTF-8.
std::string ProposedExportPath(const std::string& documentPath, const std::string& title,
                               const std::string& extension);

// The file a trace's samples are proposed in: the trace's name (single-byte
// text) as a UTF-8 file name, with the characters no file name may hold
// replaced by '_', in the collection's folder, e.g. "Sample #: 3" ->
// "Sample #_ 3.csv". A name with nothing left proposes "trace".
std::string ProposedTracePath(const std::string& documentPath, const std::string& traceName,
                              const std::string& extension);

}  // namespace orvik
