// The table of answers: one row per image (per member of an archive), sorted and
// filtered as asked; a row's name opens that image's report. The answers are kept
// as data, in the order chosen and in the order shown; new ones are put in their
// place in both. Only the rows in view are drawn (and a few either side), between
// two spacer rows as tall as the rows left out, so a long table costs no more to
// draw than a short one. Every row is one line, all of one height. The columns
// are a list: one entry there is one column, with its heading, sort and cells.
'use strict';

var TabulonTable = (function () {
    const kOutcomes = ['report', 'not-newdos', 'not-found', 'stopped', 'unreadable'];
    // key: the sort's key and the cells' class; text: the cell's text for an entry; opens: a button that opens it.
    const kColumns = [
        {key: 'order', heading: '#', text: (entry) => String(entry.order + 1)},
        {key: 'name', heading: 'Name', text: (entry) => entry.name, opens: true},
        {key: 'outcome', heading: 'Outcome', text: (entry) => entry.fields.outcome},
        {key: 'format', heading: 'Container', text: (entry) => entry.fields.format},
        {key: 'dos', heading: 'DOS', text: (entry) => entry.fields.dos},
        {key: 'method', heading: 'Found by', text: (entry) => entry.fields.method},
        {key: 'values', heading: 'Values', text: (entry) => entry.fields.values},
        {key: 'verdict', heading: 'Check', text: (entry) => entry.fields.verdict},
    ];
    const kOverscan = 10;     // rows drawn past the view on each side
    const kGrowMs = 200;      // new answers in view are drawn at most this often (a scroll, at once)
    const kUnseenMs = 1000;   // and those out of view, which change only the scroll bar
    const kGuessedRow = 30;   // a row's height in pixels until one is measured
    let collator = null;  // made when first sorted by text: the browser's collation costs its first use

    function element(tag, className, text) {
        const made = document.createElement(tag);
        if (className) made.className = className;
        if (text !== undefined) made.textContent = text;
        return made;
    }

    // ui: {table, rows, scroller, filter, filterCount}; onOpen(entry, scroll) opens an entry's report.
    function create(ui, onOpen) {
        let sort = kColumns[0];
        let sortUp = true;
        let all = [];        // every entry, in the order chosen
        let view = [];       // those the filter lets through, in the order shown
        let current = null;  // the entry open
        let rowHeight = 0;   // measured from a drawn row
        let frame = 0;
        let timer = 0;
        let drawnAt = 0;
        let drawnTo = 0;  // the end of the rows drawn; Infinity: they reach the end of the table
        let printing = false;  // every row drawn, for the printed page
        const counts = new Map();
        const drawn = new Map();        // entry: its row, for the rows drawn
        const entryOf = new WeakMap();  // row: its entry
        const spacer = () => {
            const tr = element('tr', 'spacer');
            tr.setAttribute('aria-hidden', 'true');
            tr.appendChild(element('td')).colSpan = kColumns.length;
            return tr;
        };
        const top = spacer();
        const bottom = spacer();
        ui.rows.append(top, bottom);

        function compare(a, b) {
            if (!collator && sort.key !== 'order') collator = new Intl.Collator('en', {numeric: true});
            const order = sort.key === 'order' ? a.order - b.order
                                               : collator.compare(sort.text(a), sort.text(b)) || a.order - b.order;
            return sortUp ? order : -order;
        }

        function shows(entry) {
            return !ui.filter.value || entry.fields.outcome === ui.filter.value;
        }

        // Where an entry goes among those shown: after every one that sorts before it.
        function place(entry) {
            let low = 0;
            let high = view.length;
            while (low < high) {
                const middle = (low + high) >> 1;
                if (compare(view[middle], entry) < 0) low = middle + 1; else high = middle;
            }
            return low;
        }

        function row(entry) {
            const tr = element('tr');
            tr.dataset.outcome = entry.fields.outcome;
            if (entry === current) tr.setAttribute('aria-current', 'true');
            for (const column of kColumns) {
                const cell = tr.appendChild(element('td', column.key));
                if (!column.opens) {
                    cell.textContent = column.text(entry);
                    continue;
                }
                const button = cell.appendChild(element('button', 'name', column.text(entry)));
                button.type = 'button';
                button.setAttribute('aria-controls', 'image');
            }
            entryOf.set(tr, entry);
            return tr;
        }

        function measure() {
            const sample = drawn.values().next().value;
            const height = sample ? sample.getBoundingClientRect().height : 0;
            if (height > 0) rowHeight = height;
        }

        // The rows in view drawn, those out of it taken away; the rows kept stay where they are.
        function draw() {
            cancelAnimationFrame(frame);
            clearTimeout(timer);
            frame = timer = 0;
            drawnAt = performance.now();
            if (!rowHeight) measure();
            const height = rowHeight || kGuessedRow;
            const scrolled = Math.max(0, ui.scroller.scrollTop - ui.table.tHead.offsetHeight);
            const seen = ui.scroller.clientHeight || window.innerHeight;
            const first = printing ? 0 : Math.max(0, Math.floor(scrolled / height) - kOverscan);
            const last = printing ? view.length : Math.min(view.length, Math.ceil((scrolled + seen) / height) + kOverscan);
            const wanted = new Set(view.slice(first, last));
            for (const [entry, tr] of drawn) {
                if (wanted.has(entry)) continue;
                tr.remove();
                drawn.delete(entry);
            }
            let at = top.nextSibling;
            let index = first + 2;  // the heading is row 1
            for (const entry of wanted) {
                let tr = drawn.get(entry);
                if (!tr) drawn.set(entry, tr = row(entry));
                if (tr.getAttribute('aria-rowindex') !== String(index)) tr.setAttribute('aria-rowindex', index);
                ++index;
                if (tr === at) at = at.nextSibling; else ui.rows.insertBefore(tr, at);
            }
            drawnTo = last === view.length ? Infinity : last;
            top.style.height = first * height + 'px';
            bottom.style.height = (view.length - last) * height + 'px';
            ui.table.setAttribute('aria-rowcount', view.length + 1);
            ui.filterCount.textContent = `${view.length} of ${all.length}`;
            for (const option of ui.filter.options) {
                const text = option.value ? `${option.value} (${counts.get(option.value) || 0})` : option.textContent;
                if (option.textContent !== text) option.textContent = text;
            }
            if (!rowHeight) measure();
        }

        // Drawn with the next frame, but not sooner than pause ms after the last drawing.
        let timerAt = 0;
        function later(pause = 0) {
            if (frame) return;
            const at = drawnAt + pause;
            if (at <= performance.now()) {
                clearTimeout(timer);
                timer = 0;
                frame = requestAnimationFrame(draw);
            } else if (!timer || at < timerAt) {
                clearTimeout(timer);
                timerAt = at;
                timer = setTimeout(() => later(), at - performance.now());
            }
        }

        // Anew: the entries shown sorted, every row drawn again.
        function redraw() {
            view = all.filter(shows).sort(compare);
            for (const tr of drawn.values()) tr.remove();
            drawn.clear();
            draw();
        }

        // New answers, each in its place; drawn soon where they change the rows drawn, else now and then.
        function add(fresh) {
            let seen = false;
            for (const entry of fresh) {
                all.push(entry);
                counts.set(entry.fields.outcome, (counts.get(entry.fields.outcome) || 0) + 1);
                if (!shows(entry)) continue;
                const at = sort.key === 'order' && sortUp ? view.length : place(entry);
                view.splice(at, 0, entry);
                seen = seen || at < drawnTo;
            }
            later(seen ? kGrowMs : kUnseenMs);
        }

        // Empty, with room kept for the rows expected (as far as the view goes), so that the page
        // below does not move down as they come.
        function reset(expected) {
            all = [];
            view = [];
            current = null;
            counts.clear();
            const rows = (expected + 1) * (rowHeight || kGuessedRow);
            ui.scroller.style.minHeight = expected > 1 ? `min(${rows}px, ${getComputedStyle(ui.scroller).maxHeight})` : '';
            redraw();
        }

        // The last answers drawn now; the outcomes counted ("3 report", ...).
        function finish() {
            ui.scroller.style.minHeight = '';
            draw();
            return kOutcomes.filter((name) => counts.get(name) > 0).map((name) => `${counts.get(name)} ${name}`);
        }

        function mark(entry) {
            current = entry;
            for (const [shown, tr] of drawn) {
                if (shown === entry) tr.setAttribute('aria-current', 'true'); else tr.removeAttribute('aria-current');
            }
        }

        // The entry's row scrolled into view and drawn (null: not shown).
        function reveal(entry) {
            const index = view.indexOf(entry);
            if (index < 0) return null;
            ui.scroller.scrollTop = ui.table.tHead.offsetHeight + index * (rowHeight || kGuessedRow);
            draw();
            return drawn.get(entry) || null;
        }

        // The headings, from the columns: each sorts the table by its column, again the other way round.
        const heading = ui.table.createTHead().insertRow();
        for (const column of kColumns) {
            const th = heading.appendChild(element('th'));
            th.scope = 'col';
            const button = th.appendChild(element('button', '', column.heading));
            button.type = 'button';
            button.addEventListener('click', () => {
                sortUp = column === sort ? !sortUp : true;
                sort = column;
                for (const other of heading.cells) other.removeAttribute('aria-sort');
                th.setAttribute('aria-sort', sortUp ? 'ascending' : 'descending');
                redraw();
            });
            if (column === sort) th.setAttribute('aria-sort', 'ascending');
        }
        ui.rows.addEventListener('click', (event) => {
            const tr = event.target.closest('tr');
            if (tr && entryOf.has(tr)) onOpen(entryOf.get(tr), true);
        });
        ui.filter.addEventListener('change', redraw);
        ui.scroller.addEventListener('scroll', () => later(), {passive: true});
        for (const [event, on] of [['beforeprint', true], ['afterprint', false]]) {
            window.addEventListener(event, () => {
                printing = on;
                draw();
            });
        }
        // A new width or zoom: rows measured again.
        new ResizeObserver(() => {
            rowHeight = 0;
            later();
        }).observe(ui.scroller);

        return {add, reset, finish, mark, reveal};
    }

    return {create};
})();
