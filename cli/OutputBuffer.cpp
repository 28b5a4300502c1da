#include "OutputBuffer.h"

#include <cerrno>
#include <unistd.h>

namespace tabulon::cli {

bool OutputBuffer::Drain() {
    const char* next = pbase();
    while (error_ == 0 && next < pptr()) {
        const ssize_t wrote = ::write(fd_, next, static_cast<std::size_t>(pptr() - next));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) error_ = wrote < 0 ? errno : EIO;
        if (wrote > 0) next += wrote;
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    if (error_ != 0) errno = error_;
    return error_ == 0;
}

OutputBuffer::int_type OutputBuffer::overflow(int_type ch) {
    if (!Drain()) return traits_type::eof();
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
    return ch;
}

int OutputBuffer::sync() { return Drain() ? 0 : -1; }

}  // namespace tabulon::cli
