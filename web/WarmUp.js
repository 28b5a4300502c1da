// The analysis worker's warm-up (put into worker.js by WrapWorker.cmake, after the
// samples it uses and before the worker's code, which calls warmUp once the module
// is in). Before the worker says it is ready, the browser compiles the analysis'
// busiest code for speed, which it does only for code that has run a while.
// Rounds of the samples (kSamples, a .tar.gz: every container they hold), a
// NEWDOS/80 and a CP/M disk with many files (what a DOS's directory costs),
// and the smallest sample alone a few times (kSmallSample: what every image
// costs, the answer's texts), each as an image the reader hands on, until a round
// takes no less time than the ones before, or the page's most rounds are run (the
// compiled code is the module's, shared by the workers: one warms it up, the
// others only their own JavaScript). Returns how long it took.
const kWarmUpRuns = 40;  // runs of the small sample in a round
const kWarmUpLeast = 6;  // rounds, at least, where the page allows as many

// A disk as a JV1 (40 cylinders of ten 256-byte sectors, 0xE5 where nothing is
// written), and what writes into its sectors.
function jv1Disk() {
    const bytes = new Uint8Array(40 * 10 * 256).fill(0xE5);
    return {
        bytes,
        sector: (cylinder, number) => bytes.subarray((cylinder * 10 + number) * 256, (cylinder * 10 + number + 1) * 256),
        text: (into, at, value, width) => {
            for (let n = 0; n < width; ++n) into[at + n] = n < value.length ? value.charCodeAt(n) : 0x20;
        },
        le16: (into, at, value) => into.set([value & 0xFF, value >> 8], at),
    };
}

// A NEWDOS/80 disk: the boot sector names the directory's cylinder, 17; there the
// GAT, the HIT and the entries, BOOT/SYS and DIR/SYS opening the first two entry
// sectors, then forty files.
function newdosDisk() {
    const {bytes, sector, text, le16} = jv1Disk();
    const hash = (name, extension) => {  // as the HIT keeps a name, never 0
        let value = 0;
        for (const code of name.padEnd(8) + extension.padEnd(3)) {
            value ^= code.charCodeAt(0);
            value = ((value << 1) | (value >> 7)) & 0xFF;
        }
        return value || 1;
    };
    sector(0, 0).fill(0).set([0x00, 0xFE, 17, 0xF3]);
    const gat = sector(17, 0).fill(0xFF);
    gat[0xCB] = 0x82;
    le16(gat, 0xCE, 0x42E0);
    text(gat, 0xD0, 'TABULON 01/01/26', 16);
    gat[0xE0] = 0x0D;
    const hit = sector(17, 1).fill(0);
    for (let number = 2; number < 10; ++number) sector(17, number).fill(0);
    const files = [['BOOT', 'SYS', 0x5E, 5], ['DIR', 'SYS', 0x5D, 10]];
    for (let n = 0; n < 40; ++n) files.push([`FILE${n}`, n % 3 ? 'BAS' : 'CMD', n % 5 ? 0x10 : 0x18, 1 + n]);
    const slots = [[2, 0], [3, 0]];
    for (let number = 2; number < 10; ++number) {
        for (let slot = 0; slot < 8; ++slot) if (slot !== 0 || number > 3) slots.push([number, slot]);
    }
    files.forEach(([name, extension, attributes, records], n) => {
        const [number, slot] = slots[n];
        const entry = sector(17, number).subarray(32 * slot, 32 * slot + 32);
        entry[0] = attributes;
        text(entry, 5, name, 8);
        text(entry, 13, extension, 3);
        le16(entry, 16, 0x4296);  // no password
        le16(entry, 18, 0x4296);
        le16(entry, 20, records);
        entry.fill(0xFF, 22);
        hit[(slot << 5) | (number - 2)] = hash(name, extension);
    });
    return bytes;
}

// A CP/M disk: its system track (code, and Digital Research's copyright), then
// the directory on cylinder 1, forty files of one extent each.
function cpmDisk() {
    const {bytes, sector, text} = jv1Disk();
    bytes.fill(0xC3, 0, 10 * 256);
    text(sector(0, 1), 8, 'COPYRIGHT (C) 1980, DIGITAL RESEARCH', 36);
    for (let n = 0; n < 40; ++n) {
        const entry = sector(1, n >> 3).subarray((n & 7) * 32, (n & 7) * 32 + 32).fill(0);
        entry[0] = n % 4;  // the user
        text(entry, 1, `FILE${n}`, 8);
        text(entry, 9, n % 3 ? 'COM' : 'DAT', 3);
        entry[15] = 1 + n;  // records
        entry[16] = 2 + n;  // an allocation block
    }
    return bytes;
}

function warmUp(module, most) {
    const start = performance.now();
    const once = (name, bytes) => {
        const count = analyseIn(module, {name, files: [{name, size: bytes.length}]}, bytes.slice().buffer, false, false);
        for (let index = 0; index < count; ++index) answerOf(module, index);
    };
    const samples = tabulonBytesOfHex(kSamples);
    const small = tabulonBytesOfHex(kSmallSample);
    const disks = [['newdos.dsk', newdosDisk()], ['cpm.dsk', cpmDisk()]];
    let best = Infinity;
    for (let round = 0; round < most; ++round) {
        const began = performance.now();
        once('samples.tar.gz', samples);
        for (const [name, bytes] of disks) once(name, bytes);
        for (let run = 0; run < kWarmUpRuns; ++run) once('imd-drive-report.imd', small);
        const took = performance.now() - began;
        if (round >= kWarmUpLeast && took >= best * 0.95) break;
        best = Math.min(best, took);
    }
    return performance.now() - start;
}
