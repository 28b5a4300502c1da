// The images the user gives the page: from the file input, or dropped as files
// and folders. Each is {name, file}: a folder's files are named by their path
// inside the dropped folder ("disks/a.dsk"), in name order, folder by folder.
'use strict';

var TabulonFiles = (function () {
    const kMaxDepth = 32;  // folders inside folders; a link loop ends here

    function fromInput(input) {
        return Array.from(input.files, (file) => ({name: file.name, file}));
    }

    function byName(a, b) {
        return a.name < b.name ? -1 : a.name > b.name ? 1 : 0;
    }

    // Every entry of a folder: readEntries answers a part at a time, and an empty part at the end.
    function readFolder(folder) {
        const reader = folder.createReader();
        const entries = [];
        return new Promise((resolve) => {
            const more = () => reader.readEntries((part) => {
                if (part.length === 0) return resolve(entries.sort(byName));
                entries.push(...part);
                more();
            }, () => resolve(entries.sort(byName)));
            more();
        });
    }

    function fileOf(entry) {
        return new Promise((resolve) => entry.file(resolve, () => resolve(null)));
    }

    async function walk(entry, prefix, depth, out) {
        if (entry.isFile) {
            const file = await fileOf(entry);
            // A file the browser cannot hand over is kept, so that the page can say so.
            out.push({name: prefix + entry.name, file});
        } else if (entry.isDirectory && depth < kMaxDepth) {
            for (const inner of await readFolder(entry)) {
                await walk(inner, prefix + entry.name + '/', depth + 1, out);
            }
        }
    }

    // What a drop holds, in the order dropped. The entries must be taken during the
    // drop event itself; reading them may come later.
    function fromDrop(dataTransfer) {
        const items = Array.from(dataTransfer.items || []).filter((item) => item.kind === 'file');
        const taken = items.map((item) => ({
            entry: item.webkitGetAsEntry ? item.webkitGetAsEntry() : null,
            file: item.getAsFile(),
        }));
        return (async () => {
            const out = [];
            for (const {entry, file} of taken) {
                if (entry) {
                    await walk(entry, '', 0, out);
                } else if (file) {
                    out.push({name: file.name, file});
                }
            }
            return out;
        })();
    }

    return {fromInput, fromDrop};
})();
