// The page: takes the images, has the workers read and analyse them, and shows the
// answers: one row per image (per member of an archive), the open image's report
// and findings, and the JSON Lines. document.body.dataset.state is "loading", then
// "ready", "working" while images are being analysed, and "done" once every one
// has its answer. The answers are kept as data: the page draws only the open
// report and the rows in view. The open image's track map is made when it is
// opened: the worker analyses it again with its tracks, which no other answer needs.
'use strict';

var TabulonPage = (function () {
    const byId = (id) => document.getElementById(id);
    const ui = {
        status: byId('status'), copy: byId('copy'), download: byId('download'), print: byId('print'),
        summary: byId('summary'), rows: byId('rows'), filter: byId('outcome-filter'), scroller: byId('scroller'),
        filterCount: byId('filter-count'), table: byId('table'), image: byId('image'),
        heading: byId('image-heading'), messages: byId('messages'), window: byId('window'),
        details: byId('details'), files: byId('files'), jsonl: byId('jsonl'), trackMap: byId('track-map'),
    };
    const kSayMs = 500;  // the progress is said at most this often
    // Images handed to the reader in one message, so that it starts reading after the first few.
    const kPostImages = 16;
    const kUnhanded = 'the browser could not read this file';

    let images = [];      // the images chosen, in order
    let byImageId = new Map();
    let entries = [];     // their answers, in order: one per image, one per member of an archive
    let nextId = 0;
    let answered = 0;
    let open = null;      // the entry whose report is shown
    let started = 0;
    let workerMs = 0;
    let handedOver = 0;   // how many images have gone to the reader
    let analysers = [];   // the analysis workers; the first also makes the maps
    let reader = null;
    let ready = false;
    let readyCount = 0;
    let released = 0;     // images whose answers are in the entries: answers come back out of order
    let held = new Map(); // answers that came before those of images ahead of them
    const heapBytes = [];
    let set = 0;  // each choice of images is a new set; the workers drop what is left of the one before
    let saidAt = 0;
    let sayTimer = 0;
    let members = false;  // the set's archives give every member (--all-members)
    let mapAsked = 0;     // the last map asked for: earlier answers are for images no longer open
    let mapWaits = false; // the open entry's map is asked for once every image is analysed
    const table = TabulonTable.create(ui, (entry, scroll) => openEntry(entry, scroll));

    function setState(state) {
        document.body.dataset.state = state;
    }

    function say(text) {
        ui.status.textContent = text;
    }

    function unusable(why) {
        setState('failed');
        say('The analysis could not be started in this browser: ' + why);
    }

    // The workers, once loaded (TabulonLoader): the analysis workers and the reader
    // of the images' first pieces, joined by a channel each.
    function attach(analysis, pieces) {
        analysers = analysis;
        reader = pieces;
        analysers.forEach((worker, index) => {
            worker.onmessage = (event) => received(event.data, index);
            const channel = new MessageChannel();
            worker.postMessage({port: channel.port1}, [channel.port1]);
            reader.postMessage({port: channel.port2}, [channel.port2]);
            worker.postMessage({allMembers: byId('all-members').checked});
        });
        handOver();
    }

    function tell(message) {
        for (const worker of analysers) worker.postMessage(message);
    }

    function received(data, from) {
        if (data.unusable) return unusable(data.unusable);
        if (data.ready) {
            if (++readyCount < analysers.length) return;
            ready = true;
            // For the benchmark: when the analysis was ready, and how long its warm-up took.
            document.body.dataset.readyMs = String(performance.now());
            document.body.dataset.warmUpMs = String(data.warmUpMs);
            setState(images.length > 0 ? 'working' : 'ready');
            say(images.length > 0 ? progressText() : 'Ready: choose or drop disk images.');
            return;
        }
        if (data.map !== undefined) return mapMade(data);
        if (data.heapBytes) {
            heapBytes[from] = data.heapBytes;
            document.body.dataset.heapBytes = heapBytes.reduce((sum, bytes) => sum + bytes, 0);
        }
        for (const result of data.results || []) {
            if (byImageId.has(result.id)) held.set(result.id, result);  // else from a set since replaced
        }
        // The answers in the order of the images.
        const fresh = [];
        while (released < images.length && held.has(images[released].id)) {
            const image = images[released++];
            const result = held.get(image.id);
            held.delete(image.id);
            workerMs += result.ms;
            fresh.push(...answer(image, result.answers));
        }
        if (entries.length > 1) ui.summary.hidden = false;
        table.add(fresh);
        if (answered === images.length) return finish();
        if (!sayTimer) sayTimer = setTimeout(sayProgress, Math.max(0, saidAt + kSayMs - performance.now()));
    }

    function fieldsOf(result) {
        // The --brief line's fields after the name: outcome, container, how found, values, check.
        const [outcome = 'unreadable', format = '-', method = '-', values = '', verdict = ''] =
            (result.brief || '').split('  ');
        return {outcome, format, method, values, verdict, dos: result.dos || '-'};
    }

    // The image's answers become entries, which keep its files (the browser's
    // handles, not their bytes) for the map.
    function answer(image, results) {
        const source = {name: image.name, set: image.set, files: image.files};
        byImageId.delete(image.id);
        ++answered;
        return results.map((result) => {
            if (result.failure) result = {messages: [result.failure], report: '', lines: '', brief: 'unreadable', dos: '-'};
            if (image.unhanded) result.messages = [kUnhanded];
            // The JSON line is read when the entry is opened: most never are.
            const entry = {order: entries.length, name: result.shown || image.name, answer: result, source,
                           fields: fieldsOf(result)};
            entries.push(entry);
            if (open === null) openEntry(entry, false, answered < images.length);
            return entry;
        });
    }

    function progressText() {
        return `Analysing: ${answered} of ${images.length} ${images.length === 1 ? 'image' : 'images'}…`;
    }

    function sayProgress() {
        sayTimer = 0;
        saidAt = performance.now();
        if (answered < images.length) say(progressText());
    }

    function finish() {
        clearTimeout(sayTimer);
        sayTimer = 0;
        const parts = table.finish();
        say(`${entries.length} ${entries.length === 1 ? 'image' : 'images'} analysed: ${parts.join(', ')}.`);
        ui.jsonl.textContent = entries.filter((entry) => entry.answer.jsonLine)
            .map((entry) => entry.answer.jsonLine + '\n').join('');
        ui.download.disabled = false;
        if (mapWaits) askMap(open, open.answer.jsonLine ? JSON.parse(open.answer.jsonLine) : null);
        // For the benchmark: from the choice to the last answer shown, and the worker's analyses alone.
        document.body.dataset.pageMs = String(performance.now() - started);
        document.body.dataset.workerMs = String(workerMs);
        setState('done');
    }

    // files: [{name, file}] as TabulonFiles gives them; empty: nothing could be read.
    function start(files) {
        if (files.length === 0) {
            say('Nothing to analyse: the drop held no file this page can read.');
            return;
        }
        started = performance.now();
        ++set;
        tell({cancel: set});
        if (reader) reader.postMessage({cancel: set});
        images = TabulonFiles.images(files).map((image) => ({id: nextId++, ...image}));
        byImageId = new Map(images.map((image) => [image.id, image]));
        for (const image of images) image.unhanded = image.files.every((one) => !one.file);
        entries = [];
        released = 0;
        held = new Map();
        clearTimeout(sayTimer);
        sayTimer = 0;
        answered = 0;
        open = null;
        ++mapAsked;
        mapWaits = false;
        members = byId('all-members').checked;
        workerMs = 0;
        // The reader starts on the new images while the last ones' answers are taken off the page.
        handedOver = 0;
        handOver();
        table.reset(images.length);
        for (const element of [ui.window, ui.details, ui.messages, ui.jsonl, ui.trackMap]) element.textContent = '';
        ui.image.hidden = true;
        ui.summary.hidden = images.length < 2;
        delete ui.trackMap.dataset.map;
        ui.copy.disabled = ui.download.disabled = ui.print.disabled = true;
        setState(ready ? 'working' : 'loading');
        say(ready ? progressText() : 'Loading the analysis…');
    }

    // Every image goes to the reader at once, a few in each message, for it to read
    // ahead as far as it may. Handing a file over costs the page a call to the
    // browser (for the file's size and time); these calls are slower still once
    // the browser is busy reading, so they are all made before anything else.
    function handOver() {
        if (!reader) return;
        while (handedOver < images.length) {
            const part = images.slice(handedOver, handedOver + kPostImages).map((image) => ({
                id: image.id, name: image.name, set: Boolean(image.set), last: image === images[images.length - 1],
                files: image.files,
            }));
            reader.postMessage({set, images: part});
            handedOver += part.length;
        }
    }

    // An entry opened by the page itself while images are still being analysed has
    // its map made once they all are: the map's analysis would hold them up.
    function openEntry(entry, scroll, mapLater = false) {
        open = entry;
        ui.window.textContent = '';
        ui.window.appendChild(TabulonDrawing.drawWindow(TabulonDrawing.reportText(entry.name, entry.answer),
                                                        entry.answer));
        ui.heading.textContent = 'Report: ' + entry.name;
        ui.messages.textContent = '';
        // What tabulon-report says on standard error, as sentences, and what it means for the image.
        const lead = {unreadable: 'This file cannot be read: ', stopped: 'The analysis stopped early: '};
        (entry.answer.messages || []).forEach((message, index) => {
            const text = index === 0 && lead[entry.fields.outcome] ? lead[entry.fields.outcome] + message
                                                                     : message.charAt(0).toUpperCase() + message.slice(1);
            const p = document.createElement('p');
            p.textContent = text.endsWith('.') ? text : text + '.';
            ui.messages.appendChild(p);
        });
        ui.details.textContent = '';
        const json = entry.answer.jsonLine ? JSON.parse(entry.answer.jsonLine) : null;
        if (json) ui.details.appendChild(TabulonDrawing.details(entry.answer, json));
        TabulonDrawing.files(ui.files, json && json.disk);
        ui.image.hidden = false;
        if (mapLater) {
            TabulonMapView.making(ui.trackMap);
            mapWaits = true;
        } else {
            askMap(entry, json);
        }
        ui.copy.disabled = !entry.answer.report;
        ui.print.disabled = false;
        table.mark(entry);
        if (scroll) ui.image.scrollIntoView({block: 'start'});
    }

    // The map of an image whose tracks were read (its geometry known) is asked
    // of the worker; in the meantime its place says so.
    function askMap(entry, json) {
        ++mapAsked;
        mapWaits = false;
        if (!json || !json.geometry || entry.source.files.every((one) => !one.file)) {
            TabulonMapView.show(ui.trackMap, null, entry.name);
            return;
        }
        TabulonMapView.making(ui.trackMap);
        analysers[0].postMessage({map: mapAsked, shown: entry.name, members, image: entry.source});
    }

    function mapMade(data) {
        if (data.map !== mapAsked || !open) return;
        TabulonMapView.show(ui.trackMap, data.jsonLine ? JSON.parse(data.jsonLine) : null, open.name);
    }

    function setAllMembers(on) {
        tell({allMembers: on});
    }

    // For tests: each answer's name and report text, in order; an entry's row drawn in view.
    function reports() {
        return entries.map((entry) => [entry.name, entry.answer.report || '']);
    }

    function reveal(name) {
        const entry = entries.find((one) => one.name === name);
        return entry ? table.reveal(entry) : null;
    }

    return {start, say, attach, unusable, setAllMembers, openReport: () => open, reports, reveal};
})();
