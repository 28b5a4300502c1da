// Added to the Emscripten module (--post-js): two of Emscripten 3.1.6's system
// calls, mended.
//
// It reads every part of a preadv from the same offset; each part must start
// where the one before ended. DiskData reads the blocks ahead of a walk through
// the image this way. The bytes go into the heap as bytes (HEAPU8): a file's bytes
// copied into its signed view (HEAP8) would be converted one by one.
SYSCALLS.doReadv = function (stream, iov, iovcnt, offset) {
    var total = 0;
    for (var i = 0; i < iovcnt; i++) {
        var ptr = HEAP32[(iov + i * 8) >> 2];
        var len = HEAP32[(iov + i * 8 + 4) >> 2];
        var got = FS.read(stream, HEAPU8, ptr, len, offset);
        if (got < 0) return -1;
        total += got;
        if (got < len) break;  // the end of the file
        if (typeof offset !== 'undefined') offset += got;
    }
    return total;
};

// Its fstat looks the open file up by its path, so a file removed while open
// (the unnamed temporary copy an archive's member is unpacked into) is "not
// found". This one asks the open file itself. The module's imports are still
// being compiled when this runs: the table they are taken from is mended here.
(function () {
    function fstatOfOpenFile(fd, buf) {
        try {
            var node = SYSCALLS.getStreamFromFD(fd).node;
            return SYSCALLS.doStat(function () { return node.node_ops.getattr(node); }, '', buf);
        } catch (e) {
            if (!(e instanceof FS.ErrnoError)) throw e;
            return -e.errno;
        }
    }
    for (var key in asmLibraryArg) {
        if (asmLibraryArg[key] === ___syscall_fstat64) asmLibraryArg[key] = fstatOfOpenFile;
    }
})();
