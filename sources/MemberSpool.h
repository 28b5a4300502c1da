#pragma once

#include "ArchiveModule.h"
#include "ImageFile.h"
#include "TemporaryCopy.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tabulon {

// An archive member's data in an unnamed temporary file, unpacked as far as
// reads need it while the archive reader hands the member over, and never past
// maxLength (whatever its declared length says).
class MemberSpool {
public:
    MemberSpool(const tabulon_member_data& data, std::vector<std::string> folders, std::int64_t maxLength,
                std::int64_t declared)
        : data_(&data), copy_(std::move(folders)), maxLength_(maxLength), declared_(declared) {}

    bool Open();

    // Unpacks until the copy holds the member's bytes before end, or all of
    // them; false once it cannot, Problem() saying why.
    bool FillTo(std::int64_t end);

    // Reads the member to its end without writing what is left (the reader's
    // checks there run); false when it fails them, Problem() saying why.
    bool Drain();

    void Detach() noexcept { data_ = nullptr; }  // the reader has moved on: nothing more to unpack
    std::int64_t Length() const noexcept { return std::max(copy_.End(), declared_); }
    int Descriptor() const noexcept { return copy_.Descriptor(); }
    const OpenResult& Problem() const noexcept { return problem_; }

private:
    bool Unpack(std::int64_t end, bool keep);
    bool Refuse(OpenFailure failure, std::string reason);
    bool PastLimit();

    const tabulon_member_data* data_;
    TemporaryCopy copy_;
    std::int64_t maxLength_;
    std::int64_t declared_;  // -1: not declared
    std::int64_t extended_ = 0;
    bool ended_ = false;
    bool drained_ = false;
    OpenResult problem_;
};

// The member as an image: each read of the analysis unpacks what it needs first.
class MemberImage final : public ImageSource {
public:
    MemberImage(std::shared_ptr<MemberSpool> spool, std::int64_t length) : spool_(std::move(spool)), length_(length) {}
    DiskData Load() override;

private:
    std::shared_ptr<MemberSpool> spool_;
    std::int64_t length_;
};

}  // namespace tabulon
