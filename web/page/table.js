// The table of answers: one row per image (per member of an archive), sorted and
// filtered as asked; a row's name opens that image's report.
'use strict';

var TabulonTable = (function () {
    const kOutcomes = ['report', 'not-newdos', 'not-found', 'stopped', 'unreadable'];

    // ui: {table, rows, filter, filterCount}; onOpen(entry, scroll) opens an entry's report.
    function create(ui, onOpen) {
        let sortKey = 'order';
        let sortUp = true;
        let entries = [];
        let current = null;
        let drawnAt = 0;  // when the table was last drawn whole

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

        function row(entry) {
            const tr = document.createElement('tr');
            tr.dataset.order = entry.order;
            if (entry === current) tr.setAttribute('aria-current', 'true');
            const cells = [String(entry.order + 1), null, entry.fields.outcome, entry.fields.format, entry.fields.dos,
                           entry.fields.method, entry.fields.values, entry.fields.verdict];
            cells.forEach((text, index) => {
                const cell = document.createElement('td');
                if (index === 1) {
                    const button = document.createElement('button');
                    button.type = 'button';
                    button.className = 'name';
                    button.textContent = entry.name;
                    button.setAttribute('aria-controls', 'image');
                    button.addEventListener('click', (event) => {
                        event.stopPropagation();
                        onOpen(entry, true);
                    });
                    cell.appendChild(button);
                } else {
                    cell.textContent = text;
                }
                tr.appendChild(cell);
            });
            tr.addEventListener('click', () => onOpen(entry, true));
            return tr;
        }

        function append(list, total) {
            const fragment = document.createDocumentFragment();
            for (const entry of list) fragment.appendChild(row(entry));
            ui.rows.appendChild(fragment);
            ui.filterCount.textContent = `${ui.rows.rows.length} of ${total}`;
        }

        function render() {
            const wanted = ui.filter.value;
            const shown = entries.filter((entry) => !wanted || entry.fields.outcome === wanted).sort(compare);
            ui.rows.textContent = '';
            append(shown, entries.length);
            drawnAt = performance.now();
        }

        // New answers: at the end in the order chosen and unfiltered, else the table anew now and then.
        function add(fresh, all, redrawMs) {
            entries = all;
            if (inOrder()) {
                append(fresh, entries.length);
            } else if (performance.now() - drawnAt >= redrawMs) {
                render();
            }
        }

        function inOrder() {
            return sortKey === 'order' && sortUp && !ui.filter.value;
        }

        function reset() {
            entries = [];
            current = null;
            ui.rows.textContent = '';
        }

        // The last answers: the table is whole (drawn anew unless in the order chosen); the outcomes counted.
        function finish(fresh, all) {
            entries = all;
            const counts = new Map(kOutcomes.map((name) => [name, 0]));
            for (const entry of all) counts.set(entry.fields.outcome, (counts.get(entry.fields.outcome) || 0) + 1);
            for (const option of ui.filter.options) {
                if (option.value) option.textContent = `${option.value} (${counts.get(option.value)})`;
            }
            if (inOrder()) {
                append(fresh, entries.length);
            } else {
                render();
            }
            return kOutcomes.filter((name) => counts.get(name) > 0).map((name) => `${counts.get(name)} ${name}`);
        }

        function mark(entry) {
            current = entry;
            for (const tr of ui.rows.rows) {
                if (tr.dataset.order === String(entry.order)) {
                    tr.setAttribute('aria-current', 'true');
                } else {
                    tr.removeAttribute('aria-current');
                }
            }
        }

        for (const button of ui.table.querySelectorAll('thead button')) {
            button.addEventListener('click', () => {
                const key = button.dataset.key;
                sortUp = key === sortKey ? !sortUp : true;
                sortKey = key;
                for (const th of ui.table.querySelectorAll('thead th')) th.removeAttribute('aria-sort');
                button.parentElement.setAttribute('aria-sort', sortUp ? 'ascending' : 'descending');
                render();
            });
        }
        ui.filter.addEventListener('change', render);

        return {add, reset, finish, mark};
    }

    return {create};
})();
