// The fuzzer's input read one byte at a time, for targets that draw a
// sequence of answers from it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvik::fuzzing {

class InputBytes {
  public:
    // `afterEnd` is what every read gives once the input is used up.
    InputBytes(const std::uint8_t* data, std::size_t size, std::uint8_t afterEnd)
        : data_(data), size_(size), afterEnd_(afterEnd) {}
    bool Empty() const { return next_ >= size_; }
    std::uint8_t Next() { return next_ < size_ ? data_[next_++] : afterEnd_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::uint8_t afterEnd_;
    std::size_t next_ = 0;
};

}  // namespace orvik::fuzzing
