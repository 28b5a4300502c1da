#pragma once

#include <array>
#include <streambuf>

namespace tabulon::cli {

// A stream buffer that writes to a descriptor in large blocks: when it fills
// and when flushed. A failed write leaves errno at its cause when the stream
// notices it, and everything after is dropped, as after a closed output.
class OutputBuffer final : public std::streambuf {
public:
    explicit OutputBuffer(int fd) : fd_(fd) { setp(buffer_.data(), buffer_.data() + buffer_.size()); }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;
    ~OutputBuffer() override = default;

    // The errno of the first failed write, 0 while none has failed.
    int Error() const noexcept { return error_; }

protected:
    int_type overflow(int_type ch) override;
    int sync() override;

private:
    bool Drain();  // writes what is buffered; false on failure, errno its cause

    int fd_;
    int error_ = 0;  // the first failure's errno, kept for every later call
    std::array<char, std::size_t{64} * 1024> buffer_{};
};

}  // namespace tabulon::cli
