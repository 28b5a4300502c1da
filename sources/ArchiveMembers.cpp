#include "ArchiveMembers.h"

#include "ArchiveImages.h"
#include "ContainerList.h"
#include "DiskData.h"
#include "ShownName.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <unistd.h>
#include <variant>

namespace tabulon {

namespace {

constexpr std::size_t kMagicLength = 512;  // a tar header, for its checksum
constexpr std::int64_t kWhole = std::numeric_limits<std::int64_t>::max();

std::string NameOf(const tabulon_member& entry) { return entry.name != nullptr ? entry.name : ""; }

// Up to count bytes from the start of fd; nothing when they cannot be read, errno saying why.
std::optional<std::string> ReadStart(int fd, std::size_t count) {
    std::string bytes(count, '\0');
    for (;;) {
        const ssize_t got = ::pread(fd, bytes.data(), count, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        bytes.resize(static_cast<std::size_t>(got));
        return bytes;
    }
}

// Whether a container recognises the member.
bool IsDiskImage(ImageSource& member) {
    try {
        DiskData image = member.Load();
        return OpenContainer(image) != nullptr;
    } catch (const std::exception&) {
        return false;
    }
}

Finding ReadFailure(int error) { return {FindingKind::Refusal, std::strerror(error)}; }

// The member's packing by its first bytes (and a program's last ones, for
// which it is unpacked whole); or why it cannot be told.
std::variant<Packing, Finding> MemberPacking(MemberSpool& spool) {
    const auto first = ReadStart(spool.Descriptor(), kMagicLength);
    if (!first) return ReadFailure(errno);
    if (PackingOf(*first) == Packing::Plain && LooksLikeProgram(*first) && !spool.FillTo(kWhole)) {
        return ReadFailure(EIO);
    }
    return PackingOf(*first, spool.Descriptor());
}

// What a member that is no file is, for its record.
std::string NoFile(const tabulon_member& entry) {
    switch (entry.type) {
    case TABULON_MEMBER_SYMLINK:
        return "a symbolic link to " + ShownName(entry.linkedTo != nullptr ? entry.linkedTo : "") +
               ", not a file: not followed";
    case TABULON_MEMBER_FIFO: return "a FIFO, not a file: not read";
    case TABULON_MEMBER_CHARACTER_DEVICE: return "a character device, not a file: not read";
    case TABULON_MEMBER_BLOCK_DEVICE: return "a block device, not a file: not read";
    case TABULON_MEMBER_SOCKET: return "a socket, not a file: not read";
    default: return "not a file: not read";
    }
}

// Read to its end once analysed, so that the reader's checks at the end run
// (into the copy when it is to be kept); why it fails them, if it does. What
// was analysed then was not the member.
std::optional<Finding> Finish(MemberSpool& spool, bool keep) {
    if (keep ? spool.FillTo(kWhole) : spool.Drain()) return std::nullopt;
    return Finding{FindingKind::Refusal, spool.Problem().Reason};
}

}  // namespace

bool MemberWalk::Named(const tabulon_member& entry) const {
    return entry.name == nullptr || allMembers_ || HasImageExtension(entry.name);
}

void MemberWalk::Refuse(const tabulon_member& entry, std::string why) const {
    (*each_)({NameOf(entry), {FindingKind::Refusal, std::move(why)}});
}

int MemberWalk::Wanted(void* context, const tabulon_member* entry) {
    auto& walk = *static_cast<MemberWalk*>(context);
    if (walk.thrown_) return 0;
    try {
        return walk.Take(*entry);
    } catch (...) {
        walk.thrown_ = std::current_exception();
        return 0;
    }
}

// Before unpacking: every record that needs no data. A member not named as a
// disk image is unpacked only to be judged, and only when it could be one.
int MemberWalk::Take(const tabulon_member& entry) {
    const bool named = Named(entry);
    if (entry.type == TABULON_MEMBER_HARD_LINK || entry.type == TABULON_MEMBER_SHARED_DATA) {
        Link(entry);
        return 0;
    }
    if (entry.type != TABULON_MEMBER_FILE) {
        if (named) Refuse(entry, NoFile(entry));
        return 0;
    }
    held_[NameOf(entry)].reset();  // seen; its copy is kept once it has been read whole
    if (entry.encrypted != 0) {
        if (named) Refuse(entry, "encrypted: not unpacked");
        return 0;
    }
    if (entry.size > maxLength_) {
        if (named) Refuse(entry, "larger than " + std::to_string(maxLength_ >> 20) + " MiB: not read");
        return 0;
    }
    return 1;
}

// Another name for an earlier member's data: that member's copy, if it was kept.
void MemberWalk::Link(const tabulon_member& entry) {
    const bool named = Named(entry);
    const std::string target = entry.linkedTo != nullptr ? entry.linkedTo : "";
    const std::string what =
        (entry.type == TABULON_MEMBER_HARD_LINK ? "a hard link to " : "shares the data of ") + ShownName(target);
    const auto found = held_.find(target);
    if (found == held_.end()) {
        if (named) Refuse(entry, what + ", which the archive does not hold");
        return;
    }
    const std::shared_ptr<MemberSpool> copy = found->second.lock();
    held_[NameOf(entry)] = copy;  // a link to this link is one to the same data
    if (!copy) {
        if (named) Refuse(entry, what + ", which was not kept: not read");
        return;
    }
    MemberImage image(copy, copy->Length());
    if (!named && !IsDiskImage(image)) return;
    (*each_)({NameOf(entry), image});
}

void MemberWalk::Unpacked(void* context, const tabulon_member* entry, const tabulon_member_data* data,
                          const char* reason) {
    auto& walk = *static_cast<MemberWalk*>(context);
    if (walk.thrown_) return;
    try {
        if (data == nullptr) return walk.Refuse(*entry, reason);  // a damaged header: told whatever the name
        walk.Unpack(*entry, *data);
    } catch (...) {
        walk.thrown_ = std::current_exception();
    }
}

void MemberWalk::Unpack(const tabulon_member& entry, const tabulon_member_data& data) {
    const bool named = Named(entry);
    const auto spool = std::make_shared<MemberSpool>(data, folders_, maxLength_, entry.size);
    struct Handover {  // the data is the reader's only while this call lasts
        MemberSpool& Spool;
        ~Handover() { Spool.Detach(); }
    } handover{*spool};
    // A member of a length not declared is unpacked whole at once: its length is the image's.
    if (!spool->Open() || !spool->FillTo(entry.size < 0 ? kWhole : kMagicLength)) {
        // Damage is told whatever the name; a large member no one asked for is not.
        if (named || spool->Problem().Failure != OpenFailure::TooLarge) Refuse(entry, spool->Problem().Reason);
        return;
    }
    const auto packing = MemberPacking(*spool);
    MemberImage image(spool, spool->Length());
    if (const auto* const failed = std::get_if<Finding>(&packing)) {
        if (!spool->Problem().Opened()) {
            if (named || spool->Problem().Failure != OpenFailure::TooLarge) Refuse(entry, spool->Problem().Reason);
            return;
        }
        return (*each_)({NameOf(entry), *failed});
    }
    if (std::get<Packing>(packing) != Packing::Plain) {
        if (named) Refuse(entry, "an archive inside an archive: not followed");
        return;
    }
    if (!named && !IsDiskImage(image)) return;
    const bool keep = entry.linkable != 0;
    (*each_)({NameOf(entry), image, [spool, keep] { return Finish(*spool, keep); }});
    if (keep) Keep(NameOf(entry), spool);
}

// A member read whole and sound is kept for the links that may name it; the
// oldest copies go first when there are too many or too much.
void MemberWalk::Keep(const std::string& name, const std::shared_ptr<MemberSpool>& spool) {
    if (!spool->FillTo(kWhole) || spool->Length() > kKeptLength) return;  // read to its end already, when analysed
    held_[name] = spool;
    kept_.push_back(spool);
    keptLength_ += spool->Length();
    while (keptLength_ > kKeptLength || kept_.size() > kKeptCopies) {
        keptLength_ -= kept_.front()->Length();
        kept_.pop_front();
    }
}

}  // namespace tabulon
