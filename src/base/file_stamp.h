#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct stat;

namespace orvik {

// What a file was when it was read or written: which file (device and inode)
// and its size and modification time. A save by another program replaces the
// file or rewrites it, and either changes the stamp.
struct FileStamp {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;

    static FileStamp Of(const struct stat& status);
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file `path` names now (through links); none when there is
// no such file.
std::optional<FileStamp> StampOf(const std::string& path);

// Marks a file as open in this program for as long as the hold lives, so that
// another program that asks (FileIsHeld) can tell that it is in use. Two
// shared locks: one on the file itself, seen by every user of it, and one on
// a lock file named after the file's path in the user's runtime folder, which
// still holds when another program has put a new file in its place. Advisory:
// it keeps nobody out. What cannot be opened or locked (a file that has gone,
// a file system without locks) is simply not held.
class FileHold {
  public:
    FileHold() = default;
    explicit FileHold(const std::string& path);
    ~FileHold();
    FileHold(FileHold&& other) noexcept;
    FileHold& operator=(FileHold&& other) noexcept;
    FileHold(const FileHold&) = delete;
    FileHold& operator=(const FileHold&) = delete;

    bool Holds() const { return file_ >= 0 || name_ >= 0; }

  private:
    void Release();

    int file_ = -1;
    int name_ = -1;
};

// Whether a FileHold holds `path`, in another program or through another
// hold of this one.
bool FileIsHeld(const std::string& path);

}  // namespace orvik
