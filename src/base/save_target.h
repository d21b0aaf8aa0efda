#pragma once

#include <sys/types.h>
#include <string>

#include "base/failure.h"

namespace orvik {

// Where and how a save of a path writes, decided before the first byte. A
// symbolic link is followed to the file it names, so that the link stays a
// link and whoever shares its target sees the saved file; the file is written
// beside that target and renamed over it. What the operator chose to write
// into (a FIFO, a character device such as /dev/null) is written directly and
// never replaced.
struct SaveTarget {
    enum class Kind {
        NewFile,      // nothing there yet: a new regular file
        ReplaceFile,  // a regular file, replaced whole
        Stream,       // a FIFO or character device, written into
    };
    Kind What = Kind::NewFile;
    // The file itself, links resolved (a stream keeps the path it was given,
    // which may be a link only the system can follow, such as /dev/fd/3).
    std::string Path;
    // The folder that holds Path, where the temporary file goes.
    std::string Folder;
    // What the replacement keeps of the file it replaces.
    mode_t Mode = 0;
    uid_t Owner = 0;
    gid_t Group = 0;
};

// The target of a save of `path`, or a failure whose message says why nothing
// may be written there ("Cannot write PATH: it is a folder", "...: it is not a
// regular file", "...: Permission denied" for a write-protected file).
Result<SaveTarget> ResolveSaveTarget(const std::string& path);

// The folder a file is in, as open() takes it ("." for a bare name).
std::string FolderOf(const std::string& path);

}  // namespace orvik
