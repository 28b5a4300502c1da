// The reader: a second worker that reads the first piece of each image ahead of
// the analysis and hands it on, so that the analysis never waits for the
// browser to start a read. A read of the browser's files costs far more than its
// bytes; here it costs the reader's thread, while the analysis runs on its own.
// The page starts it from this function's source (a Blob URL, as file:// allows).
//
// Messages in (page):     {port} once: the analysis worker's end of a channel;
//                         {set, images: [{id, name, file, size}]}; {cancel: set}
// Messages out (port):    {set, image: {id, name, size, file?}, first: ArrayBuffer or null},
//                         in the order given; file only when the analysis may need
//                         more than the first piece
// Messages in (port):     {done: bytes}: an image handed on has been analysed

function tabulonReader() {
    'use strict';
    const kPiece = 1 << 20;  // the analysis reads the rest of a larger file itself
    const kAheadBytes = 4 << 20;  // pieces handed on or being read, not yet analysed

    let port = null;
    const queue = [];
    let aheadBytes = 0;
    let delivered = Promise.resolve();  // pieces are handed on in the order given
    let set = 0;

    function readAhead() {
        while (port && queue.length > 0 && aheadBytes < kAheadBytes) {
            const {image, forSet} = queue.shift();
            const length = Math.min(image.size, kPiece);
            aheadBytes += length;
            // A file of one piece is read as it is: a slice would cost the browser a new blob.
            const piece = image.size > kPiece ? image.file.slice(0, kPiece) : image.file;
            const read = piece.arrayBuffer().catch(() => null);
            delivered = delivered.then(() => read).then((first) => {
                if (forSet !== set) {
                    aheadBytes -= length;
                    readAhead();
                    return;
                }
                const whole = first !== null && image.size <= kPiece;
                const handed = {id: image.id, name: image.name, size: image.size};
                if (!whole) handed.file = image.file;
                port.postMessage({set: forSet, image: handed, first, length}, first ? [first] : []);
            });
        }
    }

    self.onmessage = (event) => {
        const data = event.data;
        if (data.port) {
            port = data.port;
            port.onmessage = (message) => {
                aheadBytes -= message.data.done;
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
