// The track map's place under the open report: the map (TabulonTrackMap) drawn as
// wide as the page allows and again when that changes, the line of the track
// hovered or focused, keys to move between tracks, and the map saved as SVG or PNG.
// The box's data-map says where the map is: "making", "shown" or "none".
'use strict';

var TabulonMapView = (function () {
    const map = TabulonTrackMap;
    const kPngScale = 2;  // the PNG at twice the SVG's size, sharp on a fine screen
    let shown = null;     // {box, cells, name, columns, svg, line, active}

    function element(tag, className, text) {
        const made = document.createElement(tag);
        if (className) made.className = className;
        if (text !== undefined) made.textContent = text;
        return made;
    }

    // Cylinders to a band: all of them, or 80, 40, 20 or 10, whichever first fits the box.
    function columnsFor(box, cylinders) {
        const pitch = map.cell.width + map.cell.gap;
        const fit = Math.floor((box.clientWidth - map.left - 8) / pitch / 10) * 10;
        const all = Math.ceil(cylinders / 10) * 10 || 10;
        return [all, 80, 40, 20].find((columns) => columns <= Math.min(fit, all)) || 10;
    }

    function say(index) {
        shown.line.textContent = shown.cells.cells[index].line;
    }

    function activate(index, focus) {
        const groups = shown.svg.querySelectorAll('.track-cell');
        groups[shown.active].setAttribute('tabindex', '-1');
        groups[shown.active].setAttribute('aria-selected', 'false');
        shown.active = index;
        groups[index].setAttribute('tabindex', '0');
        groups[index].setAttribute('aria-selected', 'true');
        if (focus) groups[index].focus();
        say(index);
    }

    // Arrows: left and right a cylinder, up and down a side (then a band); Home, End.
    function moved(key, index) {
        const {cylinders, sides} = shown.cells;
        const cylinder = Math.floor(index / sides);
        const side = index % sides;
        const at = (c, s) => (c >= 0 && c < cylinders ? c * sides + s : index);
        switch (key) {
        case 'ArrowRight': return at(cylinder + 1, side);
        case 'ArrowLeft': return at(cylinder - 1, side);
        case 'ArrowDown': return side + 1 < sides ? index + 1 : at(cylinder + shown.columns, 0);
        case 'ArrowUp': return side > 0 ? index - 1 : at(cylinder - shown.columns, sides - 1);
        case 'Home': return 0;
        case 'End': return shown.cells.cells.length - 1;
        default: return null;
        }
    }

    function draw() {
        const columns = columnsFor(shown.box, shown.cells.cylinders);
        if (shown.svg && columns === shown.columns) return;
        const hadFocus = shown.svg && shown.svg.contains(document.activeElement);
        shown.columns = columns;
        const svg = map.drawSvg(shown.cells, columns, shown.name, shown.box.clientWidth);
        const index = (cell) => Array.prototype.indexOf.call(svg.querySelectorAll('.track-cell'), cell);
        svg.addEventListener('keydown', (event) => {
            const to = moved(event.key, shown.active);
            if (to === null) return;
            event.preventDefault();
            activate(to, true);
        });
        svg.addEventListener('focusin', (event) => {
            const cell = event.target.closest('.track-cell');
            if (cell) activate(index(cell), false);
        });
        svg.addEventListener('mouseover', (event) => {
            const cell = event.target.closest('.track-cell');
            if (cell) say(index(cell));
        });
        svg.addEventListener('click', (event) => {
            const cell = event.target.closest('.track-cell');
            if (cell) activate(index(cell), true);
        });
        if (shown.svg) shown.svg.replaceWith(svg); else shown.holder.appendChild(svg);
        shown.svg = svg;
        activate(shown.active, hadFocus);
    }

    function download(blob, name) {
        const url = URL.createObjectURL(blob);
        const link = element('a');
        link.href = url;
        link.download = name;
        document.body.appendChild(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(url), 1000);
    }

    // The map as it is drawn, standalone: the page's roles and key handling left out.
    function svgText() {
        const copy = shown.svg.cloneNode(true);
        for (const node of [copy, ...copy.querySelectorAll('*')]) {
            for (const name of ['role', 'tabindex', 'aria-selected', 'aria-hidden', 'class']) node.removeAttribute(name);
        }
        return '<?xml version="1.0" encoding="UTF-8"?>\n' + new XMLSerializer().serializeToString(copy) + '\n';
    }

    // The same SVG drawn on a canvas. The page allows images from data: URLs only
    // (no blob: URLs), and a data: SVG leaves the canvas clean, from file:// too.
    function pngBlob() {
        const text = svgText();
        return new Promise((resolve, reject) => {
            const image = new Image();
            image.onload = () => {
                const canvas = element('canvas');
                canvas.width = shown.svg.width.baseVal.value * kPngScale;
                canvas.height = shown.svg.height.baseVal.value * kPngScale;
                const context = canvas.getContext('2d');
                context.scale(kPngScale, kPngScale);
                context.drawImage(image, 0, 0);
                canvas.toBlob((blob) => (blob ? resolve(blob) : reject(new Error('no PNG'))), 'image/png');
            };
            image.onerror = () => reject(new Error('the map could not be drawn'));
            image.src = 'data:image/svg+xml;charset=utf-8,' + encodeURIComponent(text);
        });
    }

    function baseName() {
        const name = shown.name.slice(shown.name.lastIndexOf('/') + 1).replace(/[^\w.-]+/g, '_');
        return (name || 'image') + '-tracks';
    }

    function start(box, state) {
        box.textContent = '';
        box.dataset.map = state;
        shown = null;
        const heading = box.appendChild(element('h3', '', 'Tracks'));
        heading.id = 'track-map-heading';
    }

    // While the worker reads the open image's tracks: a status in the map's place.
    function making(box) {
        start(box, 'making');
        box.hidden = false;
        const status = box.appendChild(element('p', 'hint', 'Making the track map…'));
        status.setAttribute('role', 'status');
    }

    // The open answer's map in box, or nothing (box hidden) when it lists no track.
    function show(box, json, name) {
        const tracks = json && Array.isArray(json.tracks) ? json.tracks : [];
        const none = tracks.length === 0 && !(json && (json.absentTracks || []).length > 0);
        start(box, none ? 'none' : 'shown');
        box.hidden = none;
        if (none) return;
        const cells = map.cellsOf(json);
        box.appendChild(element('p', 'hint', 'One cell per track, cylinders across, sides as rows. Point at a cell, ' +
                                             'or move to the map and use the arrow keys, to read its track.'));
        const holder = element('div', 'map-holder');
        const line = element('p', 'track-line');
        line.setAttribute('aria-live', 'polite');
        line.id = 'track-line';
        const actions = element('div', 'actions');
        const saveSvg = element('button', '', 'Save map as SVG');
        const savePng = element('button', '', 'Save map as PNG');
        saveSvg.type = savePng.type = 'button';
        saveSvg.addEventListener('click', () => download(new Blob([svgText()], {type: 'image/svg+xml'}),
                                                         baseName() + '.svg'));
        savePng.addEventListener('click', () => pngBlob().then((blob) => download(blob, baseName() + '.png'),
                                                               (error) => { line.textContent = error.message; }));
        actions.append(saveSvg, savePng);
        box.append(holder, line, actions);
        const worst = cells.cells.findIndex((cell) => cell.state !== 'good');
        shown = {box, holder, cells, name, line, columns: 0, svg: null, active: Math.max(0, worst)};
        draw();
        if (watch) watch.observe(box);
    }

    // Drawn again when the box's width changes: the bands follow the page's width.
    const watch = typeof ResizeObserver === 'undefined' ? null
        : new ResizeObserver(() => { if (shown && !shown.box.hidden) draw(); });

    return {making, show, svgText, pngBlob};
})();
