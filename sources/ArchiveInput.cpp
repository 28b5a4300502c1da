#include "ArchiveInput.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tabulon::archives {

std::string ErrorOf(archive* reader, const char* otherwise) {
    const char* text = reader != nullptr ? archive_error_string(reader) : nullptr;
    return text != nullptr ? text : otherwise;
}

std::string Trouble::Explain(archive* reader, bool ofMember) const {
    if (ReadError != 0) {
        const std::string why = std::strerror(ReadError);
        return ofMember ? "the archive file could not be read: " + why : why;
    }
    const std::string damage = Damage.empty() ? ErrorOf(reader, "cannot be unpacked") : Damage;
    return ofMember ? "damaged: " + damage : damage;
}

la_ssize_t FileInput::Read(const void** block) {
    for (;;) {
        const ssize_t got = ::pread(Fd, Buffer.data(), Next, At);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (Seen->ReadError == 0) Seen->ReadError = errno;
            return -1;
        }
        At += got;
        Next = std::min(2 * Next, Buffer.size());
        *block = Buffer.data();
        return got;
    }
}

namespace {

// gzip through zlib, member after member (concatenated files), each one's CRC-32
// and length checked against its trailer. What follows the last member and does
// not open another is left, as gzip readers leave it.
class GzipStream final : public Unpacking {
public:
    GzipStream(int fd, Trouble& seen) : file_{fd, &seen}, seen_(seen) {}
    GzipStream(const GzipStream&) = delete;
    GzipStream& operator=(const GzipStream&) = delete;
    ~GzipStream() override {
        if (started_) inflateEnd(&stream_);
    }

    bool Start() {
        constexpr int kGzipOnly = 16 + MAX_WBITS;
        started_ = inflateInit2_(&stream_, kGzipOnly, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))) == Z_OK;
        return started_;
    }

    la_ssize_t Read(const void** block) override {
        if (ended_) return 0;
        stream_.next_out = out_.data();
        stream_.avail_out = static_cast<uInt>(out_.size());
        while (stream_.avail_out == out_.size()) {
            if (stream_.avail_in == 0) {
                const void* in = nullptr;
                const la_ssize_t got = file_.Read(&in);
                if (got < 0) return -1;
                if (got == 0) {
                    if (inMember_) return Fail("truncated gzip input");
                    ended_ = true;
                    break;
                }
                stream_.next_in = static_cast<Bytef*>(const_cast<void*>(in));  // zlib never writes it
                stream_.avail_in = static_cast<uInt>(got);
            }
            if (!inMember_) {
                if (stream_.next_in[0] != 0x1F) {  // no further member
                    ended_ = true;
                    break;
                }
                inMember_ = true;
                if (inflateReset(&stream_) != Z_OK) return Fail("cannot unpack gzip data");
            }
            const int status = inflate(&stream_, Z_NO_FLUSH);
            if (status == Z_STREAM_END) {
                inMember_ = false;
            } else if (status == Z_MEM_ERROR) {
                throw std::bad_alloc();
            } else if (status != Z_OK && status != Z_BUF_ERROR) {
                return Fail(Why(stream_.msg));
            }
        }
        *block = out_.data();
        return static_cast<la_ssize_t>(out_.size() - stream_.avail_out);
    }

private:
    static std::string Why(const char* zlib) {
        const std::string_view said = zlib != nullptr ? zlib : "";
        if (said == "incorrect data check") return "the gzip CRC-32 does not match the data";
        if (said == "incorrect length check") return "the gzip length does not match the data";
        return "gzip data error: " + std::string(said.empty() ? "cannot be unpacked" : said);
    }
    la_ssize_t Fail(std::string why) {
        if (!seen_.Any()) seen_.Damage = std::move(why);
        return -1;
    }

    FileInput file_;
    Trouble& seen_;
    z_stream stream_{};
    bool started_ = false;
    bool inMember_ = true;
    bool ended_ = false;
    std::vector<Bytef> out_ = std::vector<Bytef>(std::size_t{64} * 1024);
};

// bzip2, xz and zstd through libarchive's readers, whose libraries check what
// each format carries (block and stream CRCs, checks, checksums) as the data
// goes by: read as one raw stream to its end, all of them run.
class FilterStream final : public Unpacking {
public:
    FilterStream(int fd, Trouble& seen) : file_{fd, &seen}, seen_(seen), reader_(archive_read_new()) {
        if (!reader_) throw std::bad_alloc();
    }

    bool Start(std::string& error) {
        archive* const r = reader_.get();
        archive_read_support_filter_bzip2(r);
        archive_read_support_filter_xz(r);
        archive_read_support_filter_zstd(r);
        archive_read_support_format_raw(r);
        archive_read_support_format_empty(r);  // a compressed nothing
        if (!OpenOn(r, feed_)) {
            error = seen_.Explain(r, false);
            return false;
        }
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(r, &entry);
        if (status == ARCHIVE_EOF) ended_ = true;
        if (status != ARCHIVE_OK && status != ARCHIVE_EOF) {
            error = seen_.Explain(r, false);
            return false;
        }
        return true;
    }

    la_ssize_t Read(const void** block) override {
        while (!ended_) {
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int status = archive_read_data_block(reader_.get(), block, &size, &offset);
            if (status == ARCHIVE_EOF) break;
            if (status != ARCHIVE_OK) {
                if (!seen_.Any()) seen_.Damage = ErrorOf(reader_.get(), "cannot be unpacked");
                return -1;
            }
            if (size > 0) return static_cast<la_ssize_t>(size);
        }
        ended_ = true;
        return 0;
    }

private:
    FileInput file_;
    Trouble& seen_;
    Feed feed_{&file_, nullptr};
    ArchivePtr reader_;
    bool ended_ = false;
};

la_ssize_t ReadFeed(archive* reader, void* data, const void** block) {
    auto& feed = *static_cast<Feed*>(data);
    const la_ssize_t got = feed.File != nullptr ? feed.File->Read(block) : feed.Stream->Read(block);
    if (got < 0) {
        archive_set_error(reader, EIO, "cannot be read");
        return ARCHIVE_FATAL;
    }
    return got;
}

std::int64_t FileLength(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 ? status.st_size : -1;
}

// Seeking lets the zip reader go through the central directory, so that a zip
// with data in front of it (a self-extracting one) is read too.
la_int64_t SeekFeed(archive* /*reader*/, void* data, la_int64_t offset, int whence) {
    FileInput& file = *static_cast<Feed*>(data)->File;
    const std::int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? file.At : FileLength(file.Fd);
    if (base < 0 || base + offset < 0) return ARCHIVE_FATAL;
    file.MoveTo(base + offset);
    return file.At;
}

// Skipping moves the position only: data not wanted, even gigabytes of it, is never read.
la_int64_t SkipFeed(archive* /*reader*/, void* data, la_int64_t request) {
    FileInput& file = *static_cast<Feed*>(data)->File;
    const std::int64_t length = FileLength(file.Fd);
    const std::int64_t step = std::max<std::int64_t>(0, std::min<std::int64_t>(request, length - file.At));
    file.MoveTo(file.At + step);
    return step;
}

}  // namespace

std::unique_ptr<Unpacking> Unpacking::Open(int fd, Trouble& seen, std::string& error) {
    std::array<unsigned char, 2> magic{};
    if (::pread(fd, magic.data(), magic.size(), 0) == 2 && magic[0] == 0x1F && magic[1] == 0x8B) {
        auto gzip = std::make_unique<GzipStream>(fd, seen);
        if (gzip->Start()) return gzip;
        error = "cannot unpack gzip data";
        return nullptr;
    }
    auto other = std::make_unique<FilterStream>(fd, seen);
    if (other->Start(error)) return other;
    return nullptr;
}

bool OpenOn(archive* reader, Feed& feed) {
    archive_read_set_read_callback(reader, ReadFeed);
    if (feed.File != nullptr) {
        feed.File->MoveTo(0);
        archive_read_set_seek_callback(reader, SeekFeed);
        archive_read_set_skip_callback(reader, SkipFeed);
    }
    archive_read_set_callback_data(reader, &feed);
    return archive_read_open1(reader) == ARCHIVE_OK;
}

}  // namespace tabulon::archives
