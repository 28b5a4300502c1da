// The reader: a worker that reads the first piece of each image ahead of the
// analysis and hands it on, so that the analysis never waits for the browser to
// start a read. A read of the browser's files costs far more than its bytes;
// here it costs the reader's thread, while the analysis runs on its own. The
// images go out to the analysis workers, each to the one with the fewest bytes
// to analyse; the page puts the answers back in order.
// The page starts it from this function's source (a Blob URL, as file:// allows).
//
// Messages in (page):     {port} once per analysis worker: its end of a channel;
//                         {set, images: [{id, name, files: [{name, file}], set?, last?}]}; {cancel: set}
// Messages out (port):    {set, image: {id, name, files: [{name, size, file?}], set?, last?}, first: ArrayBuffer or null,
//                         length}, in the order given; a file only when the analysis may need more than
//                         the first piece (a stream set's files: all, none read ahead); after the set's
//                         last image, {set, flush: true} to the other workers
// Messages in (port):     {done: bytes}: images handed on, of these lengths in all, taken up by the analysis

function tabulonReader() {
    'use strict';
    const kPiece = 1 << 20;  // the analysis reads the rest of a larger file itself
    const kAheadBytes = 16 << 20;  // pieces handed on or being read, not yet analysed

    const workers = [];  // {port, bytes: handed on, not yet analysed}
    const queue = [];
    let aheadBytes = 0;
    let delivered = Promise.resolve();  // pieces are handed on in the order given
    let set = 0;

    function handOn(message, transfer) {
        const worker = workers.reduce((least, one) => (one.bytes < least.bytes ? one : least));
        worker.bytes += message.length;
        worker.port.postMessage(message, transfer);
        if (!message.image.last) return;
        for (const other of workers) {
            if (other !== worker) other.port.postMessage({set: message.set, flush: true});
        }
    }

    function readAhead() {
        while (workers.length > 0 && queue.length > 0 && aheadBytes < kAheadBytes) {
            const {image: given, forSet} = queue.shift();
            // A file's size costs a call to the browser: made here, not on the page's thread.
            const image = {...given, files: given.files.map(({name, file}) => ({name, file, size: file ? file.size : 0}))};
            const one = image.files.length === 1 && !image.set && image.files[0].file ? image.files[0] : null;
            const length = one ? Math.min(one.size, kPiece) : 0;
            aheadBytes += length;
            // A file of one piece is read as it is: a slice would cost the browser a new blob.
            const piece = !one ? null : one.size > kPiece ? one.file.slice(0, kPiece) : one.file;
            const read = piece ? piece.arrayBuffer().catch(() => null) : Promise.resolve(null);
            delivered = delivered.then(() => read).then((first) => {
                if (forSet !== set) {
                    aheadBytes -= length;
                    readAhead();
                    return;
                }
                const whole = one !== null && first !== null && one.size <= kPiece;
                const handed = whole ? {...image, files: [{name: one.name, size: one.size}]} : image;
                handOn({set: forSet, image: handed, first, length}, first ? [first] : []);
            });
        }
    }

    self.onmessage = (event) => {
        const data = event.data;
        if (data.port) {
            const worker = {port: data.port, bytes: 0};
            workers.push(worker);
            worker.port.onmessage = (message) => {
                aheadBytes -= message.data.done;
                worker.bytes -= message.data.done;
                readAhead();
            };
        }
        if (data.cancel !== undefined) {
            set = data.cancel;
            queue.length = 0;
        }
        if (data.images) {
            for (const image of data.images) queue.push({image, forSet: data.set});
        }
        readAhead();
    };
}
