// The open image's track map: an SVG with one cell per track, cylinders across and
// sides as rows (in bands of cylinders as wide as the page allows), each cell
// coloured and marked by its state; a cell hovered, focused or pressed shows the
// track's line below the map. The cells form one tab stop (arrow keys, Home, End).
'use strict';

var TabulonTrackMap = (function () {
    const kSvg = 'http://www.w3.org/2000/svg';
    const kCell = {width: 16, height: 22, gap: 2};
    const kPad = 4;     // around the whole
    const kLeft = 46;   // room for the side labels
    const kTop = 20;    // room for a band's cylinder numbers
    const kLegendItem = 170;
    const kFont = 'system-ui, "Segoe UI", Roboto, "Liberation Sans", sans-serif';
    // Each state's colour and the mark that tells it without colour: solid, a cross,
    // a dash, a ring on white, hatching. Every colour is 4.5:1 or more against white.
    const kStates = [
        {name: 'good', label: 'all sectors good', fill: '#2e7d32'},
        {name: 'crc', label: 'CRC error or no data', fill: '#c62828', mark: 'cross'},
        {name: 'missing', label: 'sectors missing', fill: '#a35200', mark: 'dash'},
        {name: 'unformatted', label: 'unformatted', fill: '#ffffff', mark: 'ring'},
        {name: 'absent', label: 'absent from the image', fill: 'url(#track-map-hatch)'},
    ];
    const stateOf = new Map(kStates.map((state) => [state.name, state]));

    function made(tag, attributes, text) {
        const element = document.createElementNS(kSvg, tag);
        for (const [name, value] of Object.entries(attributes)) element.setAttribute(name, String(value));
        if (text !== undefined) element.textContent = text;
        return element;
    }

    // The numbers in words: "3", "3 and 5", "3, 5 and 7".
    function listed(numbers) {
        return numbers.length < 2 ? numbers.join('') : numbers.slice(0, -1).join(', ') + ' and ' + numbers.slice(-1);
    }

    // The value most of the track's sectors have (their revolution).
    function usualOf(values) {
        const counts = new Map();
        for (const value of values) counts.set(value, (counts.get(value) || 0) + 1);
        let usual = null;
        for (const [value, count] of counts) if (usual === null || count > counts.get(usual)) usual = value;
        return usual;
    }

    // The track's line: place, encoding, sector count, the numbers in the order
    // they lie (with their size where not the usual), then the marks.
    function trackLine(cell) {
        const place = `Cylinder ${cell.cylinder}, side ${cell.side}`;
        if (cell.state === 'absent') {
            return `${place}: absent: ${cell.expected ? 'the PDRIVE slot expects it, ' : ''}the image lacks it`;
        }
        const track = cell.track;
        const sectors = track.sectors || [];
        if (sectors.length === 0) return `${place}: unformatted, no sector`;
        const usual = track.usualSize;
        const order = sectors.map((s) => (s.size === usual ? String(s.id) : `${s.id} (${s.size})`)).join(' ');
        const marks = [];
        const which = (test) => sectors.filter(test).map((s) => s.id);
        const add = (label, ids) => { if (ids.length > 0) marks.push(`${label} ${listed(ids)}`); };
        add('ID CRC error:', which((s) => !s.idCrcOk));
        add('data CRC error:', which((s) => s.idCrcOk && s.dataCrcOk === false));
        add('no data:', which((s) => s.idCrcOk && s.dataCrcOk === null));
        add('deleted:', which((s) => s.deleted));
        for (const s of sectors) {
            if (s.idCylinder !== cell.cylinder || s.idSide !== cell.side) {
                marks.push(`${s.id}'s ID says cylinder ${s.idCylinder}, side ${s.idSide}`);
            }
        }
        add('duplicate:', track.duplicateSectors);
        add('missing:', track.missingSectors);
        for (const encoding of new Set(sectors.filter((s) => s.encoding).map((s) => s.encoding))) {
            add(encoding + ':', which((s) => s.encoding === encoding));
        }
        // A flux capture's sectors taken from another revolution than most of the track's.
        const revolution = usualOf(sectors.map((s) => s.revolution));
        for (const other of new Set(sectors.map((s) => s.revolution).filter((r) => r !== revolution))) {
            add(`revolution ${other}:`, which((s) => s.revolution === other));
        }
        const count = `${sectors.length} ${sectors.length === 1 ? 'sector' : 'sectors'} of ${usual} bytes`;
        return `${place}, ${track.encoding}, ${count}: ${order}` + (marks.length ? '; ' + marks.join('; ') : '');
    }

    // The cells of the answer's tracks: every place from cylinder 0 to the last and
    // each side, a place with no track absent (expected: the checked slot wants it).
    function cellsOf(json) {
        const tracks = json.tracks || [];
        const absent = json.absentTracks || [];
        const byPlace = new Map(tracks.map((track) => [`${track.cylinder}/${track.side}`, track]));
        const expected = new Set(absent.map((place) => `${place.cylinder}/${place.side}`));
        const all = [...tracks, ...absent];
        const cylinders = Math.max(0, ...all.map((t) => t.cylinder + 1));
        const sides = Math.max(1, ...all.map((t) => t.side + 1));
        const cells = [];
        for (let cylinder = 0; cylinder < cylinders; ++cylinder) {
            for (let side = 0; side < sides; ++side) {
                const track = byPlace.get(`${cylinder}/${side}`);
                const cell = {cylinder, side, track, expected: expected.has(`${cylinder}/${side}`),
                              state: track ? track.state : 'absent'};
                cell.line = trackLine(cell);
                cells.push(cell);
            }
        }
        return {cells, cylinders, sides};
    }

    function markOf(state, x, y) {
        const cx = x + kCell.width / 2;
        const cy = y + kCell.height / 2;
        const pen = {stroke: state.fill === '#ffffff' ? '#555555' : '#ffffff', 'stroke-width': 2, fill: 'none'};
        if (state.mark === 'cross') return made('path', {d: `M${cx - 4} ${cy - 4}l8 8m0 -8l-8 8`, ...pen});
        if (state.mark === 'dash') return made('path', {d: `M${cx - 5} ${cy}h10`, ...pen});
        if (state.mark === 'ring') return made('circle', {cx, cy, r: 3.5, ...pen});
        return null;
    }

    function swatch(state, x, y, dashed) {
        return made('rect', {x, y, width: kCell.width, height: kCell.height, fill: state.fill,
                             stroke: state.name === 'absent' || state.name === 'unformatted' ? '#555555' : state.fill,
                             'stroke-dasharray': dashed ? '3 2' : 'none'});
    }

    // The SVG of the cells, `columns` cylinders to a band, with the legend below
    // in as many columns as `room` pixels take.
    function drawSvg(map, columns, name, room) {
        const pitchX = kCell.width + kCell.gap;
        const pitchY = kCell.height + kCell.gap;
        const bands = Math.max(1, Math.ceil(map.cylinders / columns));
        const bandHeight = kTop + map.sides * pitchY + 8;
        const gridWidth = kLeft + Math.min(columns, Math.max(map.cylinders, 1)) * pitchX;
        const legendColumns = Math.max(1, Math.min(kStates.length, Math.floor((Math.max(gridWidth, room) - kPad) / kLegendItem)));
        const width = Math.max(gridWidth, legendColumns * kLegendItem) + kPad;
        const legendTop = bands * bandHeight + 8;
        const height = legendTop + Math.ceil(kStates.length / legendColumns) * 24 + kPad;
        // tabindex -1: Chromium would make the svg a tab stop of its own before the cells.
        const svg = made('svg', {xmlns: kSvg, viewBox: `0 0 ${width} ${height}`,
                                 width, height, 'font-family': kFont, 'font-size': 12,
                                 role: 'listbox', 'aria-label': `Track map of ${name}`, tabindex: -1});
        svg.dataset.trackMap = '';
        const defs = made('defs', {});
        const hatch = made('pattern', {id: 'track-map-hatch', width: 6, height: 6, patternUnits: 'userSpaceOnUse',
                                       patternTransform: 'rotate(45)'});
        hatch.appendChild(made('rect', {width: 6, height: 6, fill: '#ffffff'}));
        hatch.appendChild(made('path', {d: 'M0 0v6', stroke: '#555555', 'stroke-width': 2}));
        defs.appendChild(hatch);
        svg.appendChild(defs);
        svg.appendChild(made('rect', {width: '100%', height: '100%', fill: '#ffffff', 'aria-hidden': 'true'}));
        const labels = made('g', {'aria-hidden': 'true', fill: '#1a1a1a'});
        svg.appendChild(labels);
        for (let band = 0; band < bands; ++band) {
            const top = band * bandHeight;
            for (let side = 0; side < map.sides; ++side) {
                labels.appendChild(made('text', {x: kPad, y: top + kTop + side * pitchY + 15}, `side ${side}`));
            }
            for (let c = band * columns; c < Math.min(map.cylinders, (band + 1) * columns); c += 5) {
                labels.appendChild(made('text', {x: kLeft + (c - band * columns) * pitchX, y: top + 15}, String(c)));
            }
        }
        for (const cell of map.cells) {
            const state = stateOf.get(cell.state);
            const x = kLeft + (cell.cylinder % columns) * pitchX;
            const y = Math.floor(cell.cylinder / columns) * bandHeight + kTop + cell.side * pitchY;
            const group = made('g', {role: 'option', tabindex: -1, 'aria-selected': 'false',
                                     'aria-label': `${cell.line} (${state.label})`, class: 'track-cell'});
            Object.assign(group.dataset, {cylinder: cell.cylinder, side: cell.side, state: cell.state});
            group.appendChild(swatch(state, x, y, cell.state === 'absent'));
            const mark = markOf(state, x, y);
            if (mark) group.appendChild(mark);
            svg.appendChild(group);
        }
        const legend = made('g', {'aria-hidden': 'true', fill: '#1a1a1a'});
        kStates.forEach((state, index) => {
            const x = kPad + (index % legendColumns) * kLegendItem;
            const y = legendTop + Math.floor(index / legendColumns) * 24;
            legend.appendChild(swatch(state, x, y, state.name === 'absent'));
            const mark = markOf(state, x, y);
            if (mark) legend.appendChild(mark);
            legend.appendChild(made('text', {x: x + kCell.width + 6, y: y + 15}, state.label));
        });
        svg.appendChild(legend);
        return svg;
    }

    return {cellsOf, drawSvg, states: kStates, cell: kCell, left: kLeft};
})();
