// The page: takes the images, has the workers read and analyse them, and shows the
// answers: one row per image, the open image's report and findings, and the
// JSON Lines. document.body.dataset.state is "loading", then "ready", "working"
// while images are being analysed, and "done" once every one has its answer.
'use strict';

(function () {
    const byId = (id) => document.getElementById(id);
    const ui = {
        input: byId('images'),
        status: byId('status'),
        copy: byId('copy'),
        download: byId('download'),
        print: byId('print'),
        summary: byId('summary'),
        rows: byId('rows'),
        filter: byId('outcome-filter'),
        filterCount: byId('filter-count'),
        table: byId('table'),
        image: byId('image'),
        heading: byId('image-heading'),
        messages: byId('messages'),
        window: byId('window'),
        details: byId('details'),
        jsonl: byId('jsonl'),
        store: byId('reports'),
    };
    const kRedrawMs = 500;  // the table is drawn again at most this often while images are analysed
    const kPostImages = 32;  // images handed to the reader in one message
    const kWorkerAhead = 96;  // images handed over and not yet answered, at most
    const kOutcomes = ['report', 'not-newdos', 'not-found', 'stopped', 'unreadable'];

    let images = [];      // the set being shown, in the order chosen
    let byImageId = new Map();
    let nextId = 0;
    let answered = 0;
    let open = null;      // the image whose report is shown
    let sortKey = 'order';
    let sortUp = true;
    let started = 0;
    let workerMs = 0;
    let drawnAt = 0;      // when the table was last drawn whole
    let toWorker = [];    // the images to hand to the worker, in order
    let handedOver = 0;   // how many of them have been
    let fromWorker = 0;   // answers from the worker for this set

    function setState(state) {
        document.body.dataset.state = state;
    }

    function say(text) {
        ui.status.textContent = text;
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
            setState('failed');
            say('The analysis could not be started in this browser: ' + (event.message || 'unknown error'));
        };
        return started;
    }
    const worker = startWorker(tabulonWorker);
    const reader = startWorker(tabulonReader);
    worker.onmessage = (event) => received(event.data);
    const channel = new MessageChannel();
    worker.postMessage({port: channel.port1}, [channel.port1]);
    reader.postMessage({port: channel.port2}, [channel.port2]);
    let set = 0;  // each choice of images is a new set; the workers drop what is left of the one before

    function received(data) {
        if (data.unusable) {
            setState('failed');
            say('The analysis could not be started in this browser: ' + data.unusable);
            return;
        }
        if (data.ready) {
            setState(images.length > 0 ? 'working' : 'ready');
            say(images.length > 0 ? progressText() : 'Ready: choose or drop disk images.');
            return;
        }
        if (data.heapBytes) document.body.dataset.heapBytes = data.heapBytes;
        const fresh = [];
        for (const result of data.results || []) {
            const image = byImageId.get(result.id);
            if (!image || image.answer) continue;  // from a set since replaced
            workerMs += result.ms;
            ++fromWorker;
            answer(image, result.answer);
            fresh.push(image);
        }
        handOver();
        showProgress(fresh);
    }

    function fields(image) {
        // The --brief line's fields after the name: outcome, container, how found, values, check.
        const [outcome = 'unreadable', format = '-', method = '-', values = '', verdict = ''] =
            (image.answer.brief || '').split('  ');
        return {outcome, format, method, values, verdict};
    }

    function answer(image, result) {
        image.answer = result;
        if (result.failure) {
            image.answer = {messages: [result.failure], report: '', lines: [], brief: 'unreadable'};
            image.json = null;
        } else {
            image.json = JSON.parse(result.jsonLine);
        }
        image.fields = fields(image);
        ++answered;
        // Every report is in the page as its text; the open one is drawn as the window draws it.
        image.report = TabulonDrawing.reportText(image.name, image.answer);
        ui.store.appendChild(image.report);
        if (open === null) openImage(image, false);
    }

    function progressText() {
        return `Analysing: ${answered} of ${images.length} images…`;
    }

    function outcomeCounts() {
        const counts = new Map(kOutcomes.map((name) => [name, 0]));
        for (const image of images) {
            if (image.answer) counts.set(image.fields.outcome, (counts.get(image.fields.outcome) || 0) + 1);
        }
        return counts;
    }

    function showProgress(fresh) {
        if (answered < images.length) {
            say(progressText());
            // In the order chosen and unfiltered, new rows go at the end; otherwise the table is drawn anew, now and then.
            if (sortKey === 'order' && sortUp && !ui.filter.value) {
                appendRows(fresh);
            } else if (performance.now() - drawnAt >= kRedrawMs) {
                renderRows();
            }
            return;
        }
        const counts = outcomeCounts();
        const parts = kOutcomes.filter((name) => counts.get(name) > 0).map((name) => `${counts.get(name)} ${name}`);
        say(`${images.length} ${images.length === 1 ? 'image' : 'images'} analysed: ${parts.join(', ')}.`);
        // For the benchmark: from the choice to the last answer shown, and the worker's analyses alone.
        document.body.dataset.pageMs = String(performance.now() - started);
        document.body.dataset.workerMs = String(workerMs);
        ui.jsonl.textContent = images.filter((image) => image.json).map((image) => image.answer.jsonLine + '\n')
            .join('');
        for (const option of ui.filter.options) {
            if (option.value) option.textContent = `${option.value} (${counts.get(option.value)})`;
        }
        renderRows();
        ui.download.disabled = false;
        setState('done');
    }

    function start(chosen) {
        if (chosen.length === 0) return;
        ++set;
        worker.postMessage({cancel: set});
        reader.postMessage({cancel: set});
        images = chosen.map((one, order) => ({id: nextId++, order, name: one.name, file: one.file, answer: null}));
        byImageId = new Map(images.map((image) => [image.id, image]));
        answered = 0;
        open = null;
        workerMs = 0;
        started = performance.now();
        ui.rows.textContent = '';
        ui.window.textContent = '';
        ui.store.textContent = '';
        ui.details.textContent = '';
        ui.messages.textContent = '';
        ui.jsonl.textContent = '';
        ui.image.hidden = true;
        ui.summary.hidden = images.length < 2;
        ui.copy.disabled = ui.download.disabled = ui.print.disabled = true;
        setState('working');
        say(progressText());
        // Files the browser could not hand over are answered here; the rest go to the worker.
        const readable = [];
        for (const image of images) {
            if (image.file) {
                readable.push({id: image.id, name: image.name, file: image.file, size: image.file.size});
            } else {
                answer(image, {failure: 'the browser could not read this file'});
            }
        }
        toWorker = readable;
        handedOver = fromWorker = 0;
        handOver();
        if (readable.length === 0) showProgress([]);
    }

    // Images go to the reader a few at a time, as the analysis answers: handing a
    // file over costs the page a little, which is thus spread over the analysis.
    function handOver() {
        while (handedOver < toWorker.length && handedOver - fromWorker < kWorkerAhead) {
            const part = toWorker.slice(handedOver, handedOver + kPostImages);
            reader.postMessage({set, images: part});
            handedOver += part.length;
        }
    }

    // The table: one row per image answered, sorted and filtered as asked.
    function compare(a, b) {
        let order = 0;
        if (sortKey === 'order') {
            order = a.order - b.order;
        } else {
            const x = sortKey === 'name' ? a.name : a.fields[sortKey];
            const y = sortKey === 'name' ? b.name : b.fields[sortKey];
            order = x.localeCompare(y, 'en', {numeric: true}) || a.order - b.order;
        }
        return sortUp ? order : -order;
    }

    function renderRows() {
        const wanted = ui.filter.value;
        const shownImages = images.filter((image) => image.answer && (!wanted || image.fields.outcome === wanted));
        shownImages.sort(compare);
        ui.rows.textContent = '';
        appendRows(shownImages);
        drawnAt = performance.now();
    }

    function appendRows(list) {
        const fragment = document.createDocumentFragment();
        for (const image of list) fragment.appendChild(row(image));
        ui.rows.appendChild(fragment);
        ui.filterCount.textContent = `${ui.rows.rows.length} of ${images.length}`;
    }

    function row(image) {
        const tr = document.createElement('tr');
        tr.dataset.id = image.id;
        if (image === open) tr.setAttribute('aria-current', 'true');
        const cells = [String(image.order + 1), null, image.fields.outcome, image.fields.format, image.fields.method,
                       image.fields.values, image.fields.verdict];
        cells.forEach((text, index) => {
            const cell = document.createElement('td');
            if (index === 1) {
                const button = document.createElement('button');
                button.type = 'button';
                button.className = 'name';
                button.textContent = image.name;
                button.setAttribute('aria-controls', 'image');
                button.addEventListener('click', (event) => {
                    event.stopPropagation();
                    openImage(image, true);
                });
                cell.appendChild(button);
            } else {
                cell.textContent = text;
            }
            tr.appendChild(cell);
        });
        tr.addEventListener('click', () => openImage(image, true));
        return tr;
    }

    function openImage(image, scroll) {
        if (open) ui.store.appendChild(open.report);
        open = image;
        ui.window.textContent = '';
        ui.window.appendChild(TabulonDrawing.drawWindow(image.report, image.answer));
        ui.heading.textContent = 'Report: ' + image.name;
        ui.messages.textContent = '';
        const messages = image.answer.messages || [];
        // What tabulon-report says on standard error, as sentences, and what it means for the image.
        const lead = {unreadable: 'This file cannot be read: ', stopped: 'The analysis stopped early: '};
        messages.forEach((message, index) => {
            const text = index === 0 && lead[image.fields.outcome] ? lead[image.fields.outcome] + message
                                                                     : message.charAt(0).toUpperCase() + message.slice(1);
            ui.messages.appendChild(paragraph(text.endsWith('.') ? text : text + '.'));
        });
        ui.details.textContent = '';
        if (image.json) ui.details.appendChild(TabulonDrawing.details(image.answer, image.json));
        ui.image.hidden = false;
        ui.copy.disabled = !image.answer.report;
        ui.print.disabled = false;
        for (const tr of ui.rows.rows) {
            if (tr.dataset.id === String(image.id)) {
                tr.setAttribute('aria-current', 'true');
            } else {
                tr.removeAttribute('aria-current');
            }
        }
        if (scroll) ui.image.scrollIntoView({block: 'start'});
    }

    function paragraph(text) {
        const p = document.createElement('p');
        p.textContent = text;
        return p;
    }

    // Sorting: a heading's button sorts by its column, again the other way.
    for (const button of ui.table.querySelectorAll('thead button')) {
        button.addEventListener('click', () => {
            const key = button.dataset.key;
            sortUp = key === sortKey ? !sortUp : true;
            sortKey = key;
            for (const th of ui.table.querySelectorAll('thead th')) th.removeAttribute('aria-sort');
            button.parentElement.setAttribute('aria-sort', sortUp ? 'ascending' : 'descending');
            renderRows();
        });
    }
    ui.filter.addEventListener('change', renderRows);

    ui.input.addEventListener('change', () => start(TabulonFiles.fromInput(ui.input)));

    // Drops anywhere on the page: files and whole folders.
    document.addEventListener('dragover', (event) => {
        event.preventDefault();
        event.dataTransfer.dropEffect = 'copy';
        document.body.classList.add('dragging');
    });
    document.addEventListener('dragleave', (event) => {
        if (event.relatedTarget === null) document.body.classList.remove('dragging');
    });
    document.addEventListener('drop', (event) => {
        event.preventDefault();
        document.body.classList.remove('dragging');
        TabulonFiles.fromDrop(event.dataTransfer).then(start);
    });

    ui.copy.addEventListener('click', async () => {
        if (!open) return;
        const text = open.answer.report;
        try {
            await navigator.clipboard.writeText(text);
        } catch (error) {
            const area = document.createElement('textarea');
            area.value = text;
            document.body.appendChild(area);
            area.select();
            document.execCommand('copy');
            area.remove();
        }
        say(`The report of ${open.name} was copied.`);
    });

    ui.download.addEventListener('click', () => {
        const url = URL.createObjectURL(new Blob([ui.jsonl.textContent], {type: 'application/jsonl'}));
        const link = document.createElement('a');
        link.href = url;
        link.download = 'tabulon.jsonl';
        document.body.appendChild(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(url), 1000);
    });

    ui.print.addEventListener('click', () => window.print());
})();
