#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvik {

// Raised by a loading archive when the bytes end early or do not make sense.
// Both kinds are reported to the operator as an unexpected file format.
class ArchiveError : public std::runtime_error {
  public:
    enum class Kind { EndOfFile, BadFormat };
    ArchiveError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

  private:
    Kind kind_;
};

// The byte encoding shared by .tdr collections and criteria.dat: little-endian
// int32, IEEE 754 doubles, and length-prefixed single-byte strings. One object
// either stores (into its own growing buffer) or loads (from borrowed bytes),
// so that every record can keep a single Serialize for both directions.
class Archive {
  public:
    using Sink = std::function<void(std::span<const std::uint8_t>)>;

    static Archive ForStoring(std::size_t reserveBytes = 0);
    // Stores in pieces: whenever about a megabyte has gathered it goes to
    // `sink`, so that a large collection never sits in memory twice. Call
    // Flush at the end.
    static Archive ForStoring(Sink sink);
    void Flush();
    static Archive ForLoading(std::span<const std::uint8_t> bytes);

    bool IsStoring() const { return storing_; }
    bool IsLoading() const { return !storing_; }

    // Collections before version 4 store trace records without their own
    // record version; the container says which layout the next record uses.
    bool OldRecordLayout() const { return oldRecordLayout_; }
    void SetOldRecordLayout(bool old) { oldRecordLayout_ = old; }

    void WriteInt32(std::int32_t value);
    void WriteDouble(double value);
    void WriteString(std::string_view text);
    void WriteRaw(const void* data, std::size_t size);

    std::int32_t ReadInt32();
    double ReadDouble();
    std::string ReadString();
    void ReadRaw(void* data, std::size_t size);

    // Symmetric helpers: store the value, or load into it.
    void Int32(std::int32_t& value);
    void Double(double& value);
    void String(std::string& text);

    // Loading: bytes not yet consumed. A count read from the stream is checked
    // against this before anything is allocated for it.
    std::size_t Remaining() const { return input_.size() - position_; }
    void RequireRemaining(std::size_t size, const char* what) const;
    std::size_t Position() const { return position_; }

    const std::vector<std::uint8_t>& Bytes() const { return output_; }
    std::vector<std::uint8_t> TakeBytes() { return std::move(output_); }

  private:
    explicit Archive(bool storing) : storing_(storing) {}
    std::uint32_t ReadLengthPrefix(bool* wide);

    bool storing_;
    bool oldRecordLayout_ = false;
    std::vector<std::uint8_t> output_;
    Sink sink_;
    std::span<const std::uint8_t> input_;
    std::size_t position_ = 0;
};

// Reads or writes a list as (int32 1, element)... ended by int32 0. On reading,
// any nonzero continuation value means another element follows; `readOne`
// reads and keeps one element, `writeOne` writes the payload of one.
template <typename List, typename ReadOne, typename WriteOne>
void SerializeList(Archive& archive, List& list, ReadOne readOne, WriteOne writeOne) {
    if (archive.IsStoring()) {
        for (auto& element : list) {
            archive.WriteInt32(1);
            writeOne(element);
        }
        archive.WriteInt32(0);
        return;
    }
    while (archive.ReadInt32() != 0) {
        readOne();
    }
}

}  // namespace orvik
