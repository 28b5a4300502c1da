#pragma once
// The entry point of tabulon-archives.so, the archive reader that tabulon-report
// loads only when an image comes packed, so that a plain image never loads
// libarchive and the libraries behind it. Plain C, one function.

#include <stddef.h>  // NOLINT(modernize-deprecated-headers): a C interface
#include <stdint.h>  // NOLINT(modernize-deprecated-headers)

#ifdef __cplusplus
extern "C" {
#endif

#define TABULON_ARCHIVES_MODULE "tabulon-archives.so"
#define TABULON_ARCHIVES_ENTRY "tabulon_read_archive_v3"

/* What a member is. Folders are not members here: their files are. */
enum tabulon_member_type {
    TABULON_MEMBER_FILE = 0,      /* a regular file, whose data is handed over when wanted */
    TABULON_MEMBER_HARD_LINK = 1, /* another name for an earlier member, linkedTo: no data of its own */
    TABULON_MEMBER_SYMLINK = 2,   /* a symbolic link to linkedTo */
    TABULON_MEMBER_FIFO = 3,
    TABULON_MEMBER_CHARACTER_DEVICE = 4,
    TABULON_MEMBER_BLOCK_DEVICE = 5,
    TABULON_MEMBER_SOCKET = 6,
    TABULON_MEMBER_SHARED_DATA = 7, /* a zip entry whose data is an earlier entry's, linkedTo (one local header) */
};

/* One member as the archive declares it. */
struct tabulon_member {
    const char* name;     /* NULL: a compressed file's one image */
    int64_t size;         /* -1 when not declared */
    int encrypted;        /* not unpacked then */
    int type;             /* enum tabulon_member_type */
    const char* linkedTo; /* a hard link's or shared data's earlier member, or a symbolic link's target */
    int linkable;         /* a later member may name this one's data (a hard link, shared zip data) */
};

/* The data of the member being handed over, unpacked block by block as the
   caller asks for it. */
struct tabulon_member_data {
    void* handle;
    /* The next block: 1 with the block, its size and where in the member it goes
       (a sparse member skips its holes), valid until the next call; 0 at the
       member's end, its sizes and checksums found right; -1 when it cannot be
       unpacked on or fails a check, why into error. */
    int (*next)(void* handle, const void** block, size_t* size, int64_t* offset, char* error, size_t errorSize);
};

/* How the caller takes the members. */
struct tabulon_member_calls {
    void* context;
    /* Asked of every member in the archive's order: whether to unpack it. Only a
       regular file is ever unpacked; the others are told of here alone. */
    int (*wanted)(void* context, const struct tabulon_member* member);
    /* The member, its data readable during this call only (read to its end, the
       reader's checks of it have all run); or data NULL and why not (its header is damaged). */
    void (*unpacked)(void* context, const struct tabulon_member* member, const struct tabulon_member_data* data,
                     const char* reason);
};

/* Reads the archive or compressed file open on fd from its start (archive: 0 for
   zip, 7z, tar, rar; 1 for one compressed stream, which may hold a tar archive).
   A compressed stream is read to its end, so that all its checks run. Returns 0
   at its end; otherwise writes why it cannot be read on into error. */
// NOLINTNEXTLINE(modernize-use-using): a C interface
typedef int (*tabulon_read_archive_fn)(int fd, int compressed, const struct tabulon_member_calls* calls, char* error,
                                       size_t errorSize);

#ifdef __cplusplus
}
#endif
