// The worker: analyses the images the page sends, one after another, and sends
// back each one's answer. Runs inside tabulonWorker(), after the Emscripten
// module's code (createTabulon).
//
// Messages in:  {images: [{id, name, file, size}]} (file: a File or Blob, size: its
//               size, which the page has at hand), {cancel: true}
// Messages out: {ready: true} once, then {results: [{id, answer, ms}]} in the
//               order sent, a few at a time, and {idle: true, heapBytes} when all are done.
//
// Reading: each image is a file of Emscripten's WORKERFS, read on demand. A read
// of the browser's files costs far more than its bytes, so a file is read in
// pieces of kPiece bytes, one piece kept; and while one image is analysed, the
// first pieces of the images after it are read, without waiting. Memory stays
// within kAheadBytes and one piece, whatever the images' sizes.

const kEio = 29;  // Emscripten's EIO
const kBatchMs = 50;  // answers are sent at most this often, so the page redraws rarely
const kPiece = 1 << 20;
const kAheadBytes = 4 << 20;  // first pieces read and not yet analysed

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

// The images to analyse, in order: {image, size, first}, where first is the
// promise of the image's first piece (null if it could not be read) once it has
// been asked for. The entries asked for are always the first ones.
const queue = [];
let asked = 0;      // entries at the queue's start whose first piece is asked for
let askedBytes = 0;
let running = false;

function firstPieceLength(entry) {
    return Math.min(entry.size, kPiece);
}

// Asks for the first pieces of the next entries, as far as kAheadBytes allow.
function askAhead() {
    while (asked < queue.length && (asked === 0 || askedBytes < kAheadBytes)) {
        const entry = queue[asked];
        const file = entry.image.file;
        // A file of one piece is read as it is: a slice would cost the browser a new blob.
        entry.first = (entry.size > kPiece ? file.slice(0, kPiece) : file).arrayBuffer().then(
            (bytes) => new Uint8Array(bytes), () => null);
        ++asked;
        askedBytes += firstPieceLength(entry);
    }
}

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

// The image's file is mounted alone, under a fixed name, for its analysis only;
// WORKERFS asks the file for its size and slices of it.
function analyseOne(module, entry, first) {
    const image = entry.image;
    const folder = '/in/' + image.id;
    const data = {size: entry.size, slice: (start, end) => image.file.slice(start, end)};
    module.FS.mkdir(folder);
    module.FS.mount(module.FS.filesystems.WORKERFS, {blobs: [{name: 'image', data}]}, folder);
    try {
        const node = module.FS.lookupPath(folder + '/image').node;
        if (first) node.piece = {start: 0, bytes: first};
        return answerOf(module, module.ccall('tabulon_analyse', 'number', ['string', 'string'],
                                             [folder + '/image', image.name]));
    } finally {
        module.FS.unmount(folder);
        module.FS.rmdir(folder);
    }
}

async function run() {
    if (running) return;
    running = true;
    const module = await modulePromise;
    let batch = [];
    let sent = performance.now();
    while (queue.length > 0) {
        askAhead();
        const entry = queue[0];
        const first = await entry.first;
        if (queue[0] !== entry) continue;  // cancelled while waiting
        queue.shift();
        --asked;
        askedBytes -= firstPieceLength(entry);
        const start = performance.now();
        let answer;
        try {
            answer = analyseOne(module, entry, first);
        } catch (error) {
            answer = {failure: String(error && error.message ? error.message : error)};
        }
        const end = performance.now();
        batch.push({id: entry.image.id, answer, ms: end - start});
        if (end - sent >= kBatchMs || queue.length === 0) {
            postMessage({results: batch});
            batch = [];
            sent = end;
        }
    }
    if (batch.length > 0) postMessage({results: batch});
    running = false;
    postMessage({idle: true, heapBytes: module.HEAPU8.length});
}

self.onmessage = (event) => {
    if (event.data.cancel) {  // a new set replaces the one being analysed
        queue.length = 0;
        asked = askedBytes = 0;
    }
    if (event.data.images) {
        queue.push(...event.data.images.map((image) => ({image, size: image.size, first: null})));
    }
    run();
};

modulePromise.then(() => postMessage({ready: true}));
