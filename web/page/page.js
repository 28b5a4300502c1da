// The page: takes the images, has the workers read and analyse them, and shows the
// answers: one row per image (per member of an archive), the open image's report
// and findings, and the JSON Lines. document.body.dataset.state is "loading", then
// "ready", "working" while images are being analysed, and "done" once every one
// has its answer. The analysis' script is loaded after the page is drawn. The
// open image's track map is made when it is opened: the worker analyses it again
// with its tracks, which no other answer needs.
'use strict';

var TabulonPage = (function () {
    const byId = (id) => document.getElementById(id);
    const ui = {
        status: byId('status'), copy: byId('copy'), download: byId('download'), print: byId('print'),
        summary: byId('summary'), rows: byId('rows'), filter: byId('outcome-filter'),
        filterCount: byId('filter-count'), table: byId('table'), image: byId('image'),
        heading: byId('image-heading'), messages: byId('messages'), window: byId('window'),
        details: byId('details'), files: byId('files'), jsonl: byId('jsonl'), store: byId('reports'), trackMap: byId('track-map'),
    };
    const kRedrawMs = 500;  // the table is drawn again at most this often while images are analysed
    const kShowMs = 250;  // new rows and the progress are shown at most this often: each showing lays the page out
    const kPostImages = 32;  // images handed to the reader in one message
    const kWorkerAhead = 96;  // images handed over and not yet answered, at most
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
    let fromWorker = 0;   // answers from the worker for this set
    let worker = null;
    let reader = null;
    let ready = false;
    let set = 0;  // each choice of images is a new set; the workers drop what is left of the one before
    let unshown = [];     // entries answered since the table was last drawn
    let shownAt = 0;
    let showTimer = 0;
    let members = false;  // the set's archives give every member (--all-members)
    let mapAsked = 0;     // the last map asked for: earlier answers are for images no longer open
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

    // Two workers: the analysis (tabulonWorker, worker.js) and the reader of the
    // images' first pieces (tabulonReader, reader.js), joined by a channel. Each
    // is started from its function's source as a Blob URL: a page opened from
    // disk may not load a worker from a file.
    function startWorker(body) {
        const url = URL.createObjectURL(new Blob(['(' + body.toString() + ')();'], {type: 'text/javascript'}));
        const started = new Worker(url);
        URL.revokeObjectURL(url);
        started.onerror = (event) => {
            event.preventDefault();
            unusable(event.message || 'unknown error');
        };
        return started;
    }

    function startWorkers() {
        worker = startWorker(tabulonWorker);
        reader = startWorker(tabulonReader);
        worker.onmessage = (event) => received(event.data);
        const channel = new MessageChannel();
        worker.postMessage({port: channel.port1}, [channel.port1]);
        reader.postMessage({port: channel.port2}, [channel.port2]);
        worker.postMessage({allMembers: byId('all-members').checked});
        handOver();
    }

    // worker.js (the WebAssembly inside) is half a megabyte: it is loaded once the page is drawn.
    function loadAnalysis() {
        const script = document.createElement('script');
        script.src = 'worker.js';
        script.onload = startWorkers;
        script.onerror = () => unusable('worker.js could not be loaded');
        document.head.appendChild(script);
    }

    function received(data) {
        if (data.unusable) return unusable(data.unusable);
        if (data.ready) {
            ready = true;
            setState(images.length > 0 ? 'working' : 'ready');
            say(images.length > 0 ? progressText() : 'Ready: choose or drop disk images.');
            return;
        }
        if (data.map !== undefined) return mapMade(data);
        if (data.heapBytes) document.body.dataset.heapBytes = data.heapBytes;
        for (const result of data.results || []) {
            const image = byImageId.get(result.id);
            if (!image || image.answered) continue;  // from a set since replaced
            workerMs += result.ms;
            ++fromWorker;
            unshown.push(...answer(image, result.answers));
        }
        handOver();
        // The last answers are shown at once, the others with those that follow them soon.
        if (answered === images.length) {
            showProgress();
        } else if (!showTimer) {
            showTimer = setTimeout(showProgress, Math.max(0, shownAt + kShowMs - performance.now()));
        }
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
        image.answered = true;
        const source = {name: image.name, set: image.set, files: image.files.map(({name, file}) => ({name, file}))};
        byImageId.delete(image.id);
        ++answered;
        const made = results.map((result) => {
            if (result.failure) result = {messages: [result.failure], report: '', lines: '', brief: 'unreadable', dos: '-'};
            if (image.unhanded) result.messages = [kUnhanded];
            // The JSON line is read when the entry is opened: most never are.
            const entry = {order: entries.length, name: result.shown || image.name, answer: result, source};
            entry.fields = fieldsOf(result);
            // Every report is in the page as its text; the open one is drawn as the window draws it.
            entry.report = TabulonDrawing.reportText(entry.name, result);
            ui.store.appendChild(entry.report);
            entries.push(entry);
            if (open === null) openEntry(entry, false);
            return entry;
        });
        return made;
    }

    function progressText() {
        return `Analysing: ${answered} of ${images.length} ${images.length === 1 ? 'image' : 'images'}…`;
    }

    function showProgress() {
        clearTimeout(showTimer);
        showTimer = 0;
        shownAt = performance.now();
        const fresh = unshown;
        unshown = [];
        ui.summary.hidden = entries.length < 2;
        if (answered < images.length) {
            say(progressText());
            table.add(fresh, entries, kRedrawMs);
            return;
        }
        const parts = table.finish(fresh, entries);
        say(`${entries.length} ${entries.length === 1 ? 'image' : 'images'} analysed: ${parts.join(', ')}.`);
        // For the benchmark: from the choice to the last answer shown, and the worker's analyses alone.
        document.body.dataset.pageMs = String(performance.now() - started);
        document.body.dataset.workerMs = String(workerMs);
        ui.jsonl.textContent = entries.filter((entry) => entry.answer.jsonLine)
            .map((entry) => entry.answer.jsonLine + '\n').join('');
        ui.download.disabled = false;
        setState('done');
    }

    // files: [{name, file}] as TabulonFiles gives them; empty: nothing could be read.
    function start(files) {
        if (files.length === 0) {
            say('Nothing to analyse: the drop held no file this page can read.');
            return;
        }
        ++set;
        if (worker) {
            worker.postMessage({cancel: set});
            reader.postMessage({cancel: set});
        }
        images = TabulonFiles.images(files).map((image) => ({id: nextId++, ...image, answered: false}));
        byImageId = new Map(images.map((image) => [image.id, image]));
        for (const image of images) image.unhanded = image.files.every((one) => !one.file);
        entries = [];
        unshown = [];
        clearTimeout(showTimer);
        showTimer = 0;
        answered = 0;
        open = null;
        ++mapAsked;
        members = byId('all-members').checked;
        workerMs = 0;
        started = performance.now();
        // The reader starts on the new images while the last ones' answers are taken off the page.
        handedOver = fromWorker = 0;
        handOver();
        table.reset();
        for (const element of [ui.window, ui.store, ui.details, ui.messages, ui.jsonl, ui.trackMap]) {
            element.textContent = '';
        }
        ui.image.hidden = ui.summary.hidden = true;
        delete ui.trackMap.dataset.map;
        ui.copy.disabled = ui.download.disabled = ui.print.disabled = true;
        setState(ready ? 'working' : 'loading');
        say(ready ? progressText() : 'Loading the analysis…');
    }

    // Images go to the reader a few at a time, as the analysis answers: handing a
    // file over costs the page a little, which is thus spread over the analysis.
    function handOver() {
        if (!reader) return;
        while (handedOver < images.length && handedOver - fromWorker < kWorkerAhead) {
            const part = images.slice(handedOver, handedOver + kPostImages).map((image) => ({
                id: image.id, name: image.name, set: Boolean(image.set), last: image === images[images.length - 1],
                files: image.files.map((one) => ({name: one.name, file: one.file, size: one.file ? one.file.size : 0})),
            }));
            reader.postMessage({set, images: part});
            handedOver += part.length;
        }
    }

    function openEntry(entry, scroll) {
        if (open) ui.store.appendChild(open.report);
        open = entry;
        ui.window.textContent = '';
        ui.window.appendChild(TabulonDrawing.drawWindow(entry.report, entry.answer));
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
        askMap(entry, json);
        ui.copy.disabled = !entry.answer.report;
        ui.print.disabled = false;
        table.mark(entry);
        if (scroll) ui.image.scrollIntoView({block: 'start'});
    }

    // The map of an image whose tracks were read (its geometry known) is asked
    // of the worker; in the meantime its place says so.
    function askMap(entry, json) {
        ++mapAsked;
        if (!json || !json.geometry || entry.source.files.every((one) => !one.file)) {
            TabulonMapView.show(ui.trackMap, null, entry.name);
            return;
        }
        TabulonMapView.making(ui.trackMap);
        worker.postMessage({map: mapAsked, shown: entry.name, members, image: entry.source});
    }

    function mapMade(data) {
        if (data.map !== mapAsked || !open) return;
        TabulonMapView.show(ui.trackMap, data.jsonLine ? JSON.parse(data.jsonLine) : null, open.name);
    }

    function setAllMembers(on) {
        if (worker) worker.postMessage({allMembers: on});
    }

    // Once the page's first contents are painted (or after a second, in a browser that does not say).
    let loading = false;
    function loadOnce() {
        if (loading) return;
        loading = true;
        setTimeout(loadAnalysis, 0);
    }
    try {
        new PerformanceObserver((list, observer) => {
            if (!list.getEntries().some((entry) => entry.name === 'first-contentful-paint')) return;
            observer.disconnect();
            loadOnce();
        }).observe({type: 'paint', buffered: true});
    } catch (error) {
        // no paint timing: the timeout below
    }
    setTimeout(loadOnce, 1000);

    return {start, say, setAllMembers, openReport: () => open};
})();
