// Added to the Emscripten module (--post-js). Emscripten 3.1.6 reads every part
// of a preadv from the same offset; each part must start where the one before
// ended. DiskData reads the blocks ahead of a walk through the image this way.
SYSCALLS.doReadv = function (stream, iov, iovcnt, offset) {
    var total = 0;
    for (var i = 0; i < iovcnt; i++) {
        var ptr = HEAP32[(iov + i * 8) >> 2];
        var len = HEAP32[(iov + i * 8 + 4) >> 2];
        var got = FS.read(stream, HEAP8, ptr, len, offset);
        if (got < 0) return -1;
        total += got;
        if (got < len) break;  // the end of the file
        if (typeof offset !== 'undefined') offset += got;
    }
    return total;
};
