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
#define TABULON_ARCHIVES_ENTRY "tabulon_read_archive_v2"

/* One member as the archive declares it. */
struct tabulon_member {
    const char* name;     /* NULL: a compressed file's one image */
    int64_t size;         /* -1 when not declared */
    int encrypted;        /* not unpacked then */
    const char* linkedTo; /* a hard link: the member whose data it shares (not unpacked); else NULL */
};

/* The data of the member being handed over, unpacked block by block as the
   caller asks for it. */
struct tabulon_member_data {
    void* handle;
    /* The next block: 1 with the block, its size and where in the member it goes
       (a sparse member skips its holes), valid until the next call; 0 at the
       member's end; -1 when it cannot be unpacked on, why into error. */
    int (*next)(void* handle, const void** block, size_t* size, int64_t* offset, char* error, size_t errorSize);
};

/* How the caller takes the members. */
struct tabulon_member_calls {
    void* context;
    /* Whether to unpack this member (a regular file or hard link). */
    int (*wanted)(void* context, const struct tabulon_member* member);
    /* The member, its data readable during this call only; or data NULL and why not. */
    void (*unpacked)(void* context, const struct tabulon_member* member, const struct tabulon_member_data* data,
                     const char* reason);
};

/* Reads the archive or compressed file open on fd from its start (archive: 0 for
   zip, 7z, tar, rar; 1 for one compressed stream, which may hold a tar archive).
   Returns 0 at its end; otherwise writes why it cannot be read on into error. */
// NOLINTNEXTLINE(modernize-use-using): a C interface
typedef int (*tabulon_read_archive_fn)(int fd, int compressed, const struct tabulon_member_calls* calls, char* error,
                                       size_t errorSize);

#ifdef __cplusplus
}
#endif
