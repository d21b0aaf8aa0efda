#include "cli/command_library.h"

#include "cli/cli_command.h"

namespace orvik::cli {

void LoadCommandLibrary(CriteriaLibrary& library, const std::string& path, MissingLibrary missing) {
    const Result<LibraryLoadStatus> loaded = library.Load(path);
    if (!loaded) {
        // The library's own message speaks for the program, which goes on with
        // an empty library; a command stops instead.
        throw CommandFailure("the criteria library " + path + " cannot be read (" +
                             loaded.Error().Detail +
                             "); it is left untouched and the command did nothing");
    }
    if (missing == MissingLibrary::Refused && *loaded == LibraryLoadStatus::Missing) {
        throw CommandFailure("no criteria library " + path + ": the file does not exist");
    }
}

}  // namespace orvik::cli
