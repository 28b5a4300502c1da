// The images the user gives the page: chosen (files, or a folder), or dropped as
// files and folders. Each file is {name, file}: a folder's files are named by
// their path from the folder chosen or dropped ("disks/a.dsk"), in name order,
// folder by folder; file is null for one the browser would not hand over.
// images() then makes the list the page analyses, a KryoFlux stream set as one.
'use strict';

var TabulonFiles = (function () {
    const kMaxDepth = 32;  // folders inside folders; a link loop ends here
    const kStreamName = /^(.*)([0-9]{2})\.([01])\.raw$/i;  // as the analysis' stream names: PREFIXNN.S.raw

    function fromInput(input) {
        return Array.from(input.files, (file) => ({name: file.webkitRelativePath || file.name, file}));
    }

    function byName(a, b) {
        return a.name < b.name ? -1 : a.name > b.name ? 1 : 0;
    }

    // A folder through the file system access API: its handles, name by name.
    async function walkHandle(handle, prefix, depth, out) {
        if (handle.kind === 'file') {
            out.push({name: prefix + handle.name, file: await handle.getFile().catch(() => null)});
        } else if (depth < kMaxDepth) {
            const inner = [];
            for await (const entry of handle.values()) inner.push(entry);
            for (const entry of inner.sort(byName)) await walkHandle(entry, prefix + handle.name + '/', depth + 1, out);
        }
    }

    // Files (or folders) the desktop opened with the installed page, as its launch queue hands them on.
    async function fromHandles(handles) {
        const out = [];
        for (const handle of handles) await walkHandle(handle, '', 0, out);
        return out;
    }

    // A folder through the entry API: readEntries answers a part at a time, and an empty part at the end.
    function readFolder(folder) {
        const reader = folder.createReader();
        const entries = [];
        return new Promise((resolve, reject) => {
            const more = () => reader.readEntries((part) => {
                if (part.length === 0) return resolve(entries.sort(byName));
                entries.push(...part);
                more();
            }, reject);
            more();
        });
    }

    async function walkEntry(entry, prefix, depth, out) {
        if (entry.isFile) {
            const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
            out.push({name: prefix + entry.name, file});
        } else if (entry.isDirectory && depth < kMaxDepth) {
            for (const inner of await readFolder(entry)) await walkEntry(inner, prefix + entry.name + '/', depth + 1, out);
        }
    }

    // What a drop holds, in the order dropped. Each item is read the first way
    // that works: its file system handle (which reads folders on a page opened
    // from disk, where the entry API fails), its entry, then its plain file.
    // The handles and entries must be asked for during the drop event itself.
    function fromDrop(dataTransfer) {
        const items = Array.from(dataTransfer.items || []).filter((item) => item.kind === 'file');
        const taken = items.map((item) => ({
            handle: item.getAsFileSystemHandle ? item.getAsFileSystemHandle().catch(() => null) : null,
            entry: item.webkitGetAsEntry ? item.webkitGetAsEntry() : null,
            file: item.getAsFile(),
        }));
        return (async () => {
            const out = [];
            for (const {handle, entry, file} of taken) {
                const ways = [
                    async (part) => {
                        const got = await handle;
                        if (!got) throw new Error('no handle');
                        await walkHandle(got, '', 0, part);
                    },
                    async (part) => {
                        if (!entry) throw new Error('no entry');
                        await walkEntry(entry, '', 0, part);
                    },
                    async (part) => {
                        if (!file) throw new Error('no file');
                        part.push({name: file.name, file});
                    },
                ];
                let read = null;
                for (const way of ways) {
                    const part = [];
                    try {
                        await way(part);
                        read = part;
                        break;
                    } catch (error) {
                        // the next way
                    }
                }
                // An item no way could read is kept, so that the page can say so.
                out.push(...(read || [{name: (file && file.name) || (entry && entry.name) || 'dropped item', file: null}]));
            }
            return out;
        })();
    }

    function folderOf(name) {
        const slash = name.lastIndexOf('/');
        return slash < 0 ? '' : name.slice(0, slash);
    }

    function baseName(name) {
        return name.slice(name.lastIndexOf('/') + 1);
    }

    // The images to analyse, in the order given: each file alone, but the track
    // files of a KryoFlux stream set (PREFIXNN.S.raw in one folder) together as
    // one image, in the place of its first file. A set is named as tabulon-report
    // names the folder given (its path from the folder chosen), or, for files
    // chosen without their folder, as its first track file (the lowest track,
    // side 0 first), which tabulon-report opens with the others beside it.
    function images(files) {
        const sets = new Map();
        const out = [];
        for (const one of files) {
            const stream = one.file ? kStreamName.exec(baseName(one.name)) : null;
            if (!stream) {
                out.push({name: one.name, files: [one]});
                continue;
            }
            const folder = folderOf(one.name);
            let set = sets.get(folder);
            if (!set) {
                set = {name: folder, files: [], set: true};
                sets.set(folder, set);
                out.push(set);
            }
            set.files.push(one);
        }
        const key = (one) => {
            const [, , cylinder, side] = kStreamName.exec(baseName(one.name));
            return [Number(cylinder), Number(side), baseName(one.name)];
        };
        for (const set of sets.values()) {
            const first = set.files.map(key).sort((a, b) => a[0] - b[0] || a[1] - b[1] || (a[2] < b[2] ? -1 : 1))[0];
            if (!set.name) set.name = first[2];
        }
        return out;
    }

    return {fromInput, fromDrop, fromHandles, images, baseName};
})();
