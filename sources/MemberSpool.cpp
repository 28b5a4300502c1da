#include "MemberSpool.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <string>
#include <sys/uio.h>

namespace tabulon {

namespace {

// The copy as the analysis reads it.
class SpooledBytes final : public ByteSource {
public:
    explicit SpooledBytes(std::shared_ptr<MemberSpool> spool) : spool_(std::move(spool)) {}
    std::int64_t ReadAt(std::span<const iovec> parts, std::int64_t offset) override {
        // Only the first part must come whole; the others are read ahead, as far as the copy goes.
        if (parts.empty() || !spool_->FillTo(offset + static_cast<std::int64_t>(parts[0].iov_len))) {
            errno = EIO;
            return -1;
        }
        return ::preadv(spool_->Descriptor(), parts.data(), static_cast<int>(parts.size()), static_cast<off_t>(offset));
    }

private:
    std::shared_ptr<MemberSpool> spool_;
};

}  // namespace

bool MemberSpool::Open() { return copy_.Open() || Refuse(OpenFailure::CannotOpen, copy_.Error()); }

bool MemberSpool::FillTo(std::int64_t end) {
    // Once drained, the copy holds no more than it did then.
    if (drained_ && end > copy_.End()) return Refuse(OpenFailure::CannotOpen, "the archive has moved on");
    return Unpack(end, true);
}

bool MemberSpool::Drain() {
    drained_ = true;
    return Unpack(std::numeric_limits<std::int64_t>::max(), false);
}

bool MemberSpool::Unpack(std::int64_t end, bool keep) {
    if (!problem_.Opened()) return false;
    while (!ended_ && (!keep || copy_.End() < end)) {
        if (data_ == nullptr) return Refuse(OpenFailure::CannotOpen, "the archive has moved on");
        const void* block = nullptr;
        std::size_t size = 0;
        std::int64_t offset = 0;
        std::array<char, 1024> error{};
        const int status = data_->next(data_->handle, &block, &size, &offset, error.data(), error.size());
        if (status < 0) return Refuse(OpenFailure::CannotOpen, error.data());
        ended_ = status == 0;
        if (ended_) break;
        if (offset < 0 || offset > maxLength_ - static_cast<std::int64_t>(size)) return PastLimit();
        if (keep && !copy_.WriteAt(offset, {static_cast<const std::uint8_t*>(block), size})) {
            return Refuse(OpenFailure::CannotOpen, copy_.Error());
        }
    }
    if (Length() > maxLength_) return PastLimit();
    if (!keep) return true;
    // Holes (zeros are never written) read back as zeros, a sparse member's
    // hole at its end too, once it has ended.
    if (const std::int64_t there = ended_ ? Length() : copy_.End(); there > extended_) {
        if (!copy_.Extend(there)) return Refuse(OpenFailure::CannotOpen, copy_.Error());
        extended_ = there;
    }
    return true;
}

// Stopped there: nothing past the limit is unpacked, or written.
bool MemberSpool::PastLimit() {
    return Refuse(OpenFailure::TooLarge, "unpacks past " + std::to_string(maxLength_ >> 20) + " MiB: not read");
}

bool MemberSpool::Refuse(OpenFailure failure, std::string reason) {
    if (problem_.Opened()) problem_ = {failure, std::move(reason)};
    return false;
}

DiskData MemberImage::Load() {
    DiskData data = DiskData::FromSource(std::make_unique<SpooledBytes>(spool_), static_cast<std::int32_t>(length_));
    data.ReadFirstBlock();
    return data;
}

}  // namespace tabulon
