// An analysis worker: analyses the images the reader hands on, one after
// another, and sends the page each one's answer; and, when the page opens an
// image, that image again with its tracks, for its map. The page starts one or
// two; the reader shares the images out between them. Runs inside
// tabulonWorker(), after the Emscripten module's code (createTabulon).
//
// Messages in (page):   {wasm: {module}, warmUp: rounds} once: the analysis' WebAssembly, compiled by the
//                       page, and the most rounds of warm-up (WarmUp.js);
//                       {port} once: the reader's end of a channel (page/reader.js);
//                       {cancel: set}: images of earlier sets are dropped;
//                       {allMembers: bool}: every member of an archive, or only its disk images;
//                       {map, shown, members, image: {name, files: [{name, file}], set?}}: the image's
//                       tracks, for the answer shown so (an archive's member, a stream set)
// Messages in (port):   {set, image: {id, name, files: [{name, size, file?}], set?, last?}, first, length}:
//                       the set's last image is answered at once; {set, flush: true}: the set's images
//                       for this worker are all in, the answers waiting are sent
// Messages out (port):  {done: bytes}: the lengths of the images taken off the queue, once kDoneBytes'
//                       worth or the queue is empty
// Messages out (page):  {ready: true} once (or {unusable: why}), then
//                       {results: [{id, answers: [answer], ms}], heapBytes} in the order handed on, a few
//                       at a time; an archive has one answer per member (or refusal);
//                       {map, jsonLine}: the JSON line with --tracks of the answer asked for (null: none)
//
// Reading: each image is a file of Emscripten's WORKERFS, read on demand. A read
// of the browser's files costs far more than its bytes, so a file is read in
// pieces of kPiece bytes, one piece kept; the reader has read the first one
// (for most images the whole file). Memory stays within the reader's pieces
// ahead and one piece, whatever the images' sizes. One WORKERFS is mounted at
// /in for good; each image's files are put in a folder of it for the analysis
// only (a mount per image would cost its unmount's walk of every file name).

const kEio = 29;  // Emscripten's EIO
const kBatchMs = 50;  // answers are sent at most this often, so the page redraws rarely
const kPiece = 1 << 20;
const kDoneBytes = 1 << 20;  // the reader is told of the images taken once they come to this many bytes

// The module is instantiated from the compiled module the page hands over, once.
let wasmGiven = null;
const wasm = new Promise((resolve) => { wasmGiven = resolve; });
function instantiateWasm(imports, receive) {
    wasm.then((given) => WebAssembly.instantiate(given.module, imports).then((instance) => receive(instance, given.module)))
        .catch((error) => postMessage({unusable: String(error && error.message ? error.message : error)}));
    return {};  // the exports come through receive
}

const modulePromise = createTabulon({instantiateWasm}).then((module) => {
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
    module.FS.mount(workerfs, {blobs: []}, '/in');
    return module;
});

const utf8 = new TextDecoder();

const kShown = 7;  // the field with the name shown (an archive's member)
const kEvery = 10;  // the field with every text of an answer, each ended by a NUL

// The analysis' texts (web/WebAnalysis.cpp), as the page takes them: one answer's,
// decoded at once from its bytes and length (UTF8ToString looks for its end byte by byte).
function answerOf(module, index) {
    const at = module._tabulon_field(index, kEvery);
    const text = utf8.decode(module.HEAPU8.subarray(at, at + module._tabulon_field_size(index, kEvery))).split('\0');
    const [jsonLine, report, lines, messages, brief, geometryLine, checkLine, shown, outcome, dos] = text;
    // lines: read by the page when it draws the report (page/drawing.js)
    return {jsonLine, report, lines, messages: messages.split('\n').slice(0, -1), brief, geometryLine, checkLine,
            shown, outcome, dos};
}

const queue = [];
let port = null;
let set = 0;
let batch = [];
let sentAt = 0;
let flushTimer = 0;
let allMembers = false;

// The file's name in the worker's file system: its own name, which the analysis
// reads (a stream's track), unless the file system cannot take it.
function mountedName(name) {
    const base = name.slice(name.lastIndexOf('/') + 1);
    return base && base !== '.' && base !== '..' && !base.includes('\0') ? base : 'image';
}

let folders = 0;  // the folders made in /in, each named by its number

// Analyses the image's files, put in a folder of their own, the first piece of
// a single file with it; WORKERFS asks each file for its size and slices of it.
// A single file is analysed by its path, a stream set by its folder's, as
// tabulon-report takes a folder. A file the browser would not hand over is
// analysed at a path where nothing is: unreadable, as natively. Returns the
// analysis' number of answers (0: no memory).
function analyseIn(module, image, first, tracks, members) {
    const workerfs = module.FS.filesystems.WORKERFS;
    const root = module.FS.lookupPath('/in').node;
    const name = String(++folders);
    const folder = workerfs.createNode(root, name, workerfs.DIR_MODE, 0);
    const unread = () => new Blob([]);  // past the first piece of a file read whole: never asked for
    const files = image.files.filter((one) => one.file || first).map((one) => workerfs.createNode(
        folder, mountedName(one.name), workerfs.FILE_MODE, 0,
        {size: one.size, slice: (start, end) => one.file ? one.file.slice(start, end) : unread()}));
    try {
        if (first && files.length) files[0].piece = {start: 0, bytes: new Uint8Array(first)};
        const path = '/in/' + name + (image.set ? '' : '/' + (files.length ? files[0].name : 'unreadable'));
        return module.ccall('tabulon_analyse', 'number', ['string', 'string', 'number', 'number'],
                            [path, image.name, members ? 1 : 0, tracks ? 1 : 0]);
    } finally {
        // Out of the file system's table of names, and the bytes let go, at once where the
        // browser can (a buffer's transfer frees it, which its collector would do later,
        // working the harder for the many megabytes it waits on).
        for (const node of [...files, folder]) {
            if (node.piece && node.piece.bytes.buffer.transfer) node.piece.bytes.buffer.transfer(0);
            node.piece = node.contents = null;
            module.FS.destroyNode(node);
        }
        delete root.contents[name];
    }
}

function analyseOne(module, entry) {
    const count = analyseIn(module, entry.image, entry.first, false, allMembers);
    if (count === 0) return [{failure: 'not enough memory'}];
    const answers = [];
    for (let index = 0; index < count; ++index) answers.push(answerOf(module, index));
    return answers;
}

// The map's answer: the image analysed again with its tracks, and the JSON
// line of the answer with the name shown (an archive's member).
function mapLine(module, request) {
    const files = request.image.files.map((one) => ({name: one.name, file: one.file, size: one.file ? one.file.size : 0}));
    const count = analyseIn(module, {...request.image, files}, null, true, request.members);
    for (let index = 0; index < count; ++index) {
        const shown = module.UTF8ToString(module._tabulon_field(index, kShown));
        if (shown === request.shown) return answerOf(module, index).jsonLine;
    }
    return null;
}

function flush(module) {
    clearTimeout(flushTimer);
    flushTimer = 0;
    if (batch.length === 0) return;
    postMessage({results: batch, heapBytes: module.HEAPU8.length});
    batch = [];
    sentAt = performance.now();
}

let taken = 0;  // bytes taken off the queue, not yet said to the reader

function run(module) {
    while (queue.length > 0) {
        const entry = queue.shift();
        if (entry.flush) {
            if (entry.set >= set) flush(module);
            continue;
        }
        taken += entry.length;
        if (taken >= kDoneBytes || queue.length === 0 || queue[0].flush) {
            port.postMessage({done: taken});
            taken = 0;
        }
        // The reader's messages may come before the page's word of a new set.
        set = Math.max(set, entry.set);
        if (entry.set < set) continue;  // a set since replaced
        const start = performance.now();
        let answers;
        try {
            answers = analyseOne(module, entry);
        } catch (error) {
            answers = [{failure: String(error && error.message ? error.message : error)}];
        }
        const end = performance.now();
        batch.push({id: entry.image.id, answers, ms: end - start});
        if (end - sentAt >= kBatchMs || entry.image.last) flush(module);
    }
    // What is left goes out when the next answers would, or soon if none come.
    if (batch.length > 0 && !flushTimer) flushTimer = setTimeout(() => flush(module), kBatchMs);
}

// Only the page's last request for a map is answered: the others are for
// images opened and left since.
let mapAsked = null;
function makeMap(module) {
    const request = mapAsked;
    mapAsked = null;
    if (!request) return;
    let jsonLine = null;
    try {
        jsonLine = mapLine(module, request);
    } catch (error) {
        // no map
    }
    postMessage({map: request.map, jsonLine});
}

// The handlers are there from the start: a message that came before them would be lost.
let ready = null;  // the module, once it is
self.onmessage = (event) => {
    if (event.data.wasm) {
        warmUpRounds = event.data.warmUp;
        wasmGiven(event.data.wasm);
    }
    if (event.data.map !== undefined) {
        if (!mapAsked && ready) setTimeout(() => makeMap(ready), 0);
        mapAsked = event.data;
        return;
    }
    if (event.data.port) {
        port = event.data.port;
        port.onmessage = (message) => {
            queue.push(message.data);
            if (ready) run(ready);
        };
    }
    if (event.data.cancel !== undefined) set = Math.max(set, event.data.cancel);
    if (event.data.allMembers !== undefined) allMembers = event.data.allMembers;
};
let warmUpRounds = 0;
modulePromise.then((module) => {
    ready = module;
    let warmUpMs = 0;
    try {
        warmUpMs = warmUp(module, warmUpRounds);
    } catch (error) {
        // the first images are analysed all the same, only not as fast
    }
    postMessage({ready: true, warmUpMs});
    run(module);
    makeMap(module);
}, (error) => postMessage({unusable: String(error && error.message ? error.message : error)}));
