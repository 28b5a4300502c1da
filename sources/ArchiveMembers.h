#pragma once

#include "ArchiveModule.h"
#include "ImageSources.h"
#include "MemberSpool.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tabulon {

// The members of one archive as the archive reader hands them over, in one
// pass: each disk image unpacked into a temporary copy as far as the analysis
// reads it and then to its end (where the reader checks its size and CRC-32),
// or refused with why; special files told what they are. The copies of the
// images read whole that later members may name stay, up to kKeptLength in all,
// for the hard links (and a zip's entries sharing data) that name them: a link
// costs what analysing its member costs, never a second reading of the archive.
class MemberWalk {
public:
    static constexpr std::int64_t kKeptLength = std::int64_t{256} << 20;
    static constexpr std::size_t kKeptCopies = 32;  // each holds a descriptor

    MemberWalk(bool allMembers, std::int64_t maxLength, std::vector<std::string> folders, const VisitImage& each)
        : allMembers_(allMembers), maxLength_(maxLength), folders_(std::move(folders)), each_(&each) {}

    // The calls for the reader, this walk their context.
    tabulon_member_calls Calls() noexcept { return {this, Wanted, Unpacked}; }

    // The first exception a call met, which the reader could not carry.
    const std::exception_ptr& Thrown() const noexcept { return thrown_; }

private:
    static int Wanted(void* context, const tabulon_member* entry);
    static void Unpacked(void* context, const tabulon_member* entry, const tabulon_member_data* data,
                         const char* reason);

    bool Named(const tabulon_member& entry) const;
    int Take(const tabulon_member& entry);
    void Link(const tabulon_member& entry);
    void Unpack(const tabulon_member& entry, const tabulon_member_data& data);
    void Keep(const std::string& name, const std::shared_ptr<MemberSpool>& spool);
    void Refuse(const tabulon_member& entry, std::string why) const;

    bool allMembers_;
    std::int64_t maxLength_;
    std::vector<std::string> folders_;
    const VisitImage* each_;
    std::exception_ptr thrown_;
    std::map<std::string, std::weak_ptr<MemberSpool>> held_;  // every member seen, by name: its copy, if kept
    std::deque<std::shared_ptr<MemberSpool>> kept_;           // oldest first
    std::int64_t keptLength_ = 0;
};

}  // namespace tabulon
