#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/file_stamp.h"
#include "base/save_target.h"

namespace orvik {

// The whole contents of a file, read once. Large regular files are mapped
// rather than copied: a collection of 10,000 traces is 120 MB, and copying it
// into fresh memory costs far more than the parsing.
class FileBytes {
  public:
    FileBytes() = default;
    explicit FileBytes(std::vector<std::uint8_t> bytes);
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes();

    std::span<const std::uint8_t> Span() const { return {data_, size_}; }
    operator std::span<const std::uint8_t>() const { return Span(); }
    std::size_t size() const { return size_; }
    const std::uint8_t* begin() const { return data_; }
    const std::uint8_t* end() const { return data_ + size_; }
    std::uint8_t operator[](std::size_t index) const { return data_[index]; }
    // The file as it was read.
    const FileStamp& Stamp() const { return stamp_; }

  private:
    friend Result<FileBytes> ReadWholeFile(const std::string&);
    void Release();

    std::vector<std::uint8_t> owned_;
    void* mapping_ = nullptr;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    FileStamp stamp_;
};

// The file's bytes, or a failure whose message says why the file cannot be
// opened or read ("Cannot open PATH: reason").
Result<FileBytes> ReadWholeFile(const std::string& path);

// Writes a file through a temporary file beside it: the bytes go to the
// temporary file, Commit flushes it to the disk, renames it over the target
// and flushes the folder, so that the new name survives a power cut. Until
// Commit succeeds the old file is untouched; a writer that is destroyed
// uncommitted removes its temporary file.
//
// The target is found as ResolveSaveTarget finds it: through links, and a
// FIFO or character device is written into directly (Commit then only
// closes it). The new file keeps the old one's permissions, and its owner and
// group where the process may set them. A folder that takes no new files is
// named in the failure ("Cannot write PATH: the folder F is not writable
// (reason)"), since a save needs one even for a file that exists.
//
// Where the file system allows it the temporary file has no name until
// Commit, so that a process killed while writing leaves nothing behind. A
// named temporary file (during Commit, or throughout where unnamed files are
// not supported) is hidden and named after the target with a suffix
// (".c.tdr.Ab12Cd" for "c.tdr"), so that nothing takes it for a collection
// or a library.
class AtomicFileWriter {
  public:
    explicit AtomicFileWriter(std::string path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // After the first failure further writes are ignored; Commit reports it,
    // with a message naming the step and the file ("Cannot write PATH: reason").
    // `beforeReplace` runs once the new file is on the disk, just before it
    // takes the target's place; after the rename the folder is flushed too,
    // so that the new name survives a power cut.
    void Write(std::span<const std::uint8_t> bytes);
    Status Commit(const std::function<void()>& beforeReplace = nullptr);

    // After a successful Commit, the file as written (none for a stream).
    const std::optional<FileStamp>& Stamp() const { return stamp_; }

  private:
    void CreateTemporary();
    void Replace(const std::function<void()>& beforeReplace);
    void Fail(const std::string& action);
    void Discard();
    bool NameUnnamedFile();

    std::string path_;  // as the caller named it, for messages
    SaveTarget target_;
    std::string temporary_;
    int fd_ = -1;
    bool unnamed_ = false;
    std::uint64_t written_ = 0;
    std::uint64_t flushedUpTo_ = 0;
    std::optional<Failure> failure_;
    std::optional<FileStamp> stamp_;
};

Status SaveFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

bool FileExists(const std::string& path);

// Flushes the folder's entries (names created, renamed or removed in it) to
// the disk.
Status SyncFolder(const std::string& folder);

// The name a save gives its temporary file for `path`, with `suffix` in place
// of the random part: hidden, in the same folder.
std::string TemporaryFileName(const std::string& path, const std::string& suffix);

// Called once at the start of a program that saves files: a file-size limit
// (ulimit -f) then fails the write that passes it, which a save reports,
// instead of ending the program by a signal with the old file's replacement
// half written.
void ReportFileSizeLimitAsWriteFailure();

}  // namespace orvik
