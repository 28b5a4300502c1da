// The worker: analyses the images the reader hands on, one after another, and
// sends the page each one's answer. Runs inside tabulonWorker(), after the
// Emscripten module's code (createTabulon).
//
// Messages in (page):   {port} once: the reader's end of a channel (page/reader.js);
//                       {cancel: set}: images of earlier sets are dropped
// Messages in (port):   {set, image: {id, name, size, file?}, first, length}
// Messages out (port):  {done: length} for each image taken off the queue
// Messages out (page):  {ready: true} once (or {unusable: why}), then
//                       {results: [{id, answer, ms}], heapBytes} in the order handed on, a few at a time
//
// Reading: each image is a file of Emscripten's WORKERFS, read on demand. A read
// of the browser's files costs far more than its bytes, so a file is read in
// pieces of kPiece bytes, one piece kept; the reader has read the first one
// (for most images the whole file). Memory stays within the reader's pieces
// ahead and one piece, whatever the images' sizes.

const kEio = 29;  // Emscripten's EIO
const kBatchMs = 50;  // answers are sent at most this often, so the page redraws rarely
const kPiece = 1 << 20;

const modulePromise = createTabulon().then((module) => {
    const workerfs = module.FS.filesystems.WORKERFS;
    // A read is answered from the file's piece in memory, read first if need be;
    // the analysis reads on where a short read stops. A file the browser can no
    // longer read (changed or removed since it was chosen) is a read error.
    workerfs.stream_ops.read = (stream, buffer, offset, length, position) => {
        const node = stream.node;
        if (position >= node.size) return 0;
        let piece = node.piece;
        if (!piece || position < piece.start || position >= piece.start + piece.bytes.length) {
            const start = position - (position % kPiece);
            try {
                const read = new FileReaderSync().readAsArrayBuffer(node.contents.slice(start, start + kPiece));
                piece = node.piece = {start, bytes: new Uint8Array(read)};
            } catch (error) {
                throw new module.FS.ErrnoError(kEio);
            }
            if (piece.bytes.length === 0) return 0;
        }
        const from = position - piece.start;
        const count = Math.min(length, piece.bytes.length - from);
        buffer.set(piece.bytes.subarray(from, from + count), offset);
        return count;
    };
    module.FS.mkdir('/in');
    return module;
});

// The analysis' texts (web/WebAnalysis.cpp), as the page takes them.
function answerOf(module, fields) {
    if (fields === 0) return {failure: 'not enough memory'};
    const text = (field) => module.UTF8ToString(module._tabulon_field(field));
    const lines = (field) => text(field).split('\n').slice(0, -1);
    return {
        jsonLine: text(0),
        report: text(1),
        lines: lines(2).map((line) => {
            const [x, y, red] = line.split(' ');
            return {x: Number(x), y: Number(y), red: red === '1'};
        }),
        messages: lines(3),
        brief: text(4),
        geometryLine: text(5),
        checkLine: text(6),
    };
}

const queue = [];
let port = null;
let set = 0;
let batch = [];
let sentAt = 0;
let flushTimer = 0;

// The image's file is mounted alone, under a fixed name, for its analysis only,
// with its first piece; WORKERFS asks the file for its size and slices of it.
function analyseOne(module, entry) {
    const image = entry.image;
    const folder = '/in/' + image.id;
    const unread = () => new Blob([]);  // past the first piece of a file read whole: never asked for
    const data = {size: image.size, slice: (start, end) => image.file ? image.file.slice(start, end) : unread()};
    module.FS.mkdir(folder);
    module.FS.mount(module.FS.filesystems.WORKERFS, {blobs: [{name: 'image', data}]}, folder);
    try {
        if (entry.first) {
            module.FS.lookupPath(folder + '/image').node.piece = {start: 0, bytes: new Uint8Array(entry.first)};
        }
        return answerOf(module, module.ccall('tabulon_analyse', 'number', ['string', 'string'],
                                             [folder + '/image', image.name]));
    } finally {
        module.FS.unmount(folder);
        module.FS.rmdir(folder);
    }
}

function flush(module) {
    clearTimeout(flushTimer);
    flushTimer = 0;
    if (batch.length === 0) return;
    postMessage({results: batch, heapBytes: module.HEAPU8.length});
    batch = [];
    sentAt = performance.now();
}

function run(module) {
    while (queue.length > 0) {
        const entry = queue.shift();
        port.postMessage({done: entry.length});
        // The reader's messages may come before the page's word of a new set.
        set = Math.max(set, entry.set);
        if (entry.set < set) continue;  // a set since replaced
        const start = performance.now();
        let answer;
        try {
            answer = analyseOne(module, entry);
        } catch (error) {
            answer = {failure: String(error && error.message ? error.message : error)};
        }
        const end = performance.now();
        batch.push({id: entry.image.id, answer, ms: end - start});
        if (end - sentAt >= kBatchMs) flush(module);
    }
    // What is left goes out when the next answers would, or soon if none come.
    if (batch.length > 0 && !flushTimer) flushTimer = setTimeout(() => flush(module), kBatchMs);
}

// The handlers are there from the start: a message that came before them would be lost.
let ready = null;  // the module, once it is
self.onmessage = (event) => {
    if (event.data.port) {
        port = event.data.port;
        port.onmessage = (message) => {
            queue.push(message.data);
            if (ready) run(ready);
        };
    }
    if (event.data.cancel !== undefined) set = Math.max(set, event.data.cancel);
};
modulePromise.then((module) => {
    ready = module;
    postMessage({ready: true});
    run(module);
}, (error) => postMessage({unusable: String(error && error.message ? error.message : error)}));
