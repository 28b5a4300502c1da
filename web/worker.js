// The worker: analyses the images the page sends, one after another, and sends
// back each one's answer. Runs inside tabulonWorker(), after the Emscripten
// module's code (createTabulon).
//
// Messages in:  {images: [{id, name, file}]} (file: a File or Blob), {cancel: true}
// Messages out: {ready: true} once, then {results: [{id, answer, ms}]} in the
//               order sent, a few at a time, and {idle: true} when all are done.

const kEio = 29;  // Emscripten's EIO
const kBatchMs = 50;  // answers are sent at most this often, so the page redraws rarely

const modulePromise = createTabulon().then((module) => {
    const workerfs = module.FS.filesystems.WORKERFS;
    // A file the browser can no longer read (changed or removed since it was
    // chosen) is a read error for the analysis, not an exception through it.
    const read = workerfs.stream_ops.read;
    workerfs.stream_ops.read = function (...args) {
        try {
            return read.apply(this, args);
        } catch (error) {
            if (error instanceof module.FS.ErrnoError) throw error;
            throw new module.FS.ErrnoError(kEio);
        }
    };
    module.FS.mkdir('/in');
    return module;
});

const queue = [];
let running = false;

// The image's file is mounted alone, under a fixed name, for its analysis only:
// it is read on demand through FileReaderSync, never copied whole.
function analyseOne(module, image) {
    const folder = '/in/' + image.id;
    module.FS.mkdir(folder);
    module.FS.mount(module.FS.filesystems.WORKERFS, {blobs: [{name: 'image', data: image.file}]}, folder);
    try {
        const text = module.ccall('tabulon_analyse', 'string', ['string', 'string'], [folder + '/image', image.name]);
        return JSON.parse(text);
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
        const image = queue.shift();
        const start = performance.now();
        let answer;
        try {
            answer = analyseOne(module, image);
        } catch (error) {
            answer = {failure: String(error && error.message ? error.message : error)};
        }
        const end = performance.now();
        batch.push({id: image.id, answer, ms: end - start});
        if (end - sent >= kBatchMs || queue.length === 0) {
            postMessage({results: batch});
            batch = [];
            sent = end;
        }
    }
    running = false;
    postMessage({idle: true, heapBytes: module.HEAPU8.length});
}

self.onmessage = (event) => {
    if (event.data.cancel) queue.length = 0;  // a new set replaces the one being analysed
    if (event.data.images) queue.push(...event.data.images);
    run();
};

modulePromise.then(() => postMessage({ready: true}));
