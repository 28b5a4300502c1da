// One image's report drawn as the window draws it (its drawing area, background,
// frame lines and bold fixed-pitch font, each line where the report put it, the
// red line red), and beside it the findings in plain words and tables.
'use strict';

var TabulonDrawing = (function () {
    const kTwipsPerPixel = 15;
    const kAreaTwips = {width: 9435, height: 7110};
    // The frame: from (x1, y1) to (x2, y2) in twips, width in pixels.
    const kFrameLines = [
        [8880, 120, 8880, 6480, 2],
        [8880, 6480, 120, 6480, 2],
        [120, 6480, 120, 120, 2],
        [120, 120, 8880, 120, 2],
        [0, 0, 8880, 0, 4],
    ];
    const kRecordedAdvance = 210;  // twips between the lines the analysis records
    const kFont = 'bold 12px "Courier New", "Liberation Mono", Cousine, "Nimbus Mono PS", monospace';

    // The window's line advance: its font's ascent plus descent, 0.8325 + 0.3003 em for
    // Courier New and its metric twins (Liberation Mono, Cousine), at 12 pixels.
    // A browser's own measure of a line is rounded to whole pixels.
    const kLineHeight = (12 * (1705 + 615)) / 2048;

    function element(tag, className, text) {
        const made = document.createElement(tag);
        if (className) made.className = className;
        if (text !== undefined) made.textContent = text;
        return made;
    }

    function px(twips) {
        return twips / kTwipsPerPixel + 'px';
    }

    function frameLine([x1, y1, x2, y2, width]) {
        // A pen of this width centred on the line, with square ends, as the window's.
        const line = element('div', 'frame-line');
        line.setAttribute('aria-hidden', 'true');
        line.style.left = `calc(${px(Math.min(x1, x2))} - ${width / 2}px)`;
        line.style.top = `calc(${px(Math.min(y1, y2))} - ${width / 2}px)`;
        line.style.width = `calc(${px(Math.abs(x2 - x1))} + ${width}px)`;
        line.style.height = `calc(${px(Math.abs(y2 - y1))} + ${width}px)`;
        return line;
    }

    // The report's text as a pre.report: tabulon-report's text, line by line.
    function reportText(name, answer) {
        const report = element('pre', 'report', answer.report || '');
        report.dataset.name = name;
        return report;
    }

    // The drawing area around a pre.report made by reportText: its lines are
    // placed where the window draws them, in the window's font and colours; the
    // text stays the same.
    function drawWindow(report, answer) {
        const area = element('figure', 'area');
        area.style.width = px(kAreaTwips.width);
        area.style.height = px(kAreaTwips.height);
        for (const line of kFrameLines) area.appendChild(frameLine(line));

        const texts = (answer.report || '').split('\n');
        texts.pop();  // after the last line's end
        if (!report.dataset.drawn) {
            report.style.font = kFont;
            report.textContent = '';
            // Each line's place and colour, "x y red" a line: read only for a report drawn.
            const placed = (answer.lines || '').split('\n').slice(0, -1).map((place) => {
                const [x, y, red] = place.split(' ');
                return {x: Number(x), y: Number(y), red: red === '1'};
            });
            const advance = kLineHeight * kTwipsPerPixel;
            const firstY = placed.length > 0 ? placed[0].y : 200;
            texts.forEach((text, index) => {
                const at = placed[index] || {x: 0, y: firstY + index * kRecordedAdvance, red: false};
                const line = element('span', at.red ? 'line red' : 'line', text);
                line.style.left = px(at.x);
                line.style.top = px(firstY + ((at.y - firstY) * advance) / kRecordedAdvance);
                line.style.lineHeight = kLineHeight + 'px';
                report.appendChild(line);
                report.appendChild(document.createTextNode('\n'));
            });
            report.dataset.drawn = 'yes';
        }
        area.appendChild(report);
        area.appendChild(element('figcaption', 'sr-only', texts.length > 0 ? 'The report as the Tabulon window draws it'
                                                                           : 'Nothing was read: the window stays empty'));
        return area;
    }

    function table(caption, headings, rows) {
        const made = element('table', 'small');
        made.tabIndex = 0;  // it scrolls sideways at a narrow width: by keys too
        made.appendChild(element('caption', '', caption));
        const head = made.createTHead().insertRow();
        for (const heading of headings) {
            const cell = element('th', '', heading);
            cell.scope = 'col';
            head.appendChild(cell);
        }
        const body = made.createTBody();
        for (const row of rows) {
            const tr = body.insertRow();
            row.forEach((value, index) => {
                const cell = index === 0 ? element('th', '', value) : element('td', '', value);
                if (index === 0) cell.scope = 'row';
                // A row shorter than the headings ends in one cell across the rest.
                if (index > 0 && index === row.length - 1) cell.colSpan = headings.length - index;
                tr.appendChild(cell);
            });
        }
        return made;
    }

    function shown(value) {
        return value === null || value === undefined ? '–' : String(value);
    }

    // 1234567 as "1,234,567" (the browser's own number formats cost a first use's wait, mid-run).
    function thousands(number) {
        return String(number).replace(/\B(?=(\d{3})+$)/g, ',');
    }

    function howFound(json) {
        if (json.locate === null) return 'not searched: the image could not be read';
        const where = json.sectorOffset === null ? ''
                                                 : `, its data at byte ${thousands(json.sectorOffset)}`;
        if (json.locate === 'scan') {
            return json.sectorOffset === null ? 'not found by the window\'s byte scans'
                                              : 'by the window\'s byte scans' + where;
        }
        if (json.sectorOffset === null) return 'not found in the container\'s tracks';
        return 'through the container\'s own structure' + where;
    }

    function definition(list, term, value) {
        list.appendChild(element('dt', '', term));
        list.appendChild(element('dd', '', value));
    }

    // The findings beside the report: container, how the sector was found, the
    // geometry and the check of slot 0, the differences, and all ten slots.
    function details(answer, json) {
        const box = element('div', 'findings');
        const list = element('dl');
        definition(list, 'Container', shown(json.format));
        definition(list, 'Track 0, side 0, sector 2', howFound(json));
        if (json.crcOk !== null) definition(list, 'CRC', json.crcOk ? 'correct' : 'wrong (the sector is read all the same)');
        if (json.newdosMarker !== null) definition(list, 'NEWDOS marker', json.newdosMarker ? 'present' : 'absent');
        definition(list, 'Geometry', answer.geometryLine.replace(/^Image: /, ''));
        definition(list, 'Check', answer.checkLine.replace(/^Check: /, ''));
        if (json.disk) definition(list, 'DOS', diskText(json.disk));
        box.appendChild(list);

        if (json.check && json.check.differences.length > 0) {
            box.appendChild(table('Differences between slot 0 and the image', ['What', 'Table', 'Image'],
                                  json.check.differences.map((d) => [d.field, shown(d.table), shown(d.image)])));
        }
        if (Array.isArray(json.slots)) {
            const fits = (slot) => slot.fitsImage === null ? '–' : slot.fitsImage ? 'yes' : 'no';
            const rows = json.slots.map((slot, index) => slot === null
                ? [String(index), 'past the end of the image']
                : [String(index), slot.TI, slot.TD, slot.TC, slot.SPT, slot.TSR, slot.GPL, slot.DDSL, slot.DDGA,
                   slot.sidesDensity, fits(slot)].map(String));
            box.appendChild(table('All ten PDRIVE slots (Fits: whether the slot fits the image)',
                                  ['Slot', 'TI', 'TD', 'TC', 'SPT', 'TSR', 'GPL', 'DDSL', 'DDGA', 'Sides', 'Fits'],
                                  rows));
        }
        return box;
    }

    // The disk's name in words: "LDOS 5.3 data disk, directory on cylinder 20 (side 0, sector 0, 18 sectors)".
    function diskText(disk) {
        if (disk.unformatted) return 'unformatted';
        const name = disk.dos || disk.format;
        if (!name) return 'no DOS recognised';
        let text = `${name}${disk.version ? ' ' + disk.version : ''} ${disk.dos ? 'system' : 'data'} disk`;
        const at = disk.directory;
        if (at) {
            text += `, directory on cylinder ${at.cylinder} (side ${at.side}, sector ${at.firstSector}` +
                    (at.sectors === null ? ')' : `, ${at.sectors} sectors)`);
        }
        return text;
    }

    // The files of the disk's directory under the report, in the directory's order.
    function files(section, disk) {
        section.textContent = '';
        const list = disk && disk.directory ? disk.files : [];
        section.hidden = list.length === 0;
        if (section.hidden) return;
        const flags = (file) => [file.system ? 'system' : '', file.invisible ? 'invisible' : ''].filter(Boolean).join(', ');
        section.appendChild(table(`Files on the disk (${list.length})`, ['Name', 'Size', 'Kind'],
                                  list.map((file) => [file.name, file.size === null ? '–' : String(file.size), flags(file)])));
    }

    return {reportText, drawWindow, details, files};
})();
