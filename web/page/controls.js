// The page's controls: the two choosers (files, a folder), drops anywhere on the
// page, the files the desktop opens with the installed page, the archive option,
// and "Copy report", "Download JSON Lines" and "Print".
'use strict';

(function () {
    const byId = (id) => document.getElementById(id);
    const page = TabulonPage;

    // A chooser is emptied once read, so that the same files chosen again are analysed again.
    for (const input of [byId('images'), byId('folder')]) {
        input.addEventListener('change', () => {
            const files = TabulonFiles.fromInput(input);
            input.value = '';
            if (files.length > 0) page.start(files);
        });
    }
    byId('all-members').addEventListener('change', (event) => page.setAllMembers(event.target.checked));

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
        TabulonFiles.fromDrop(event.dataTransfer).then(page.start);
    });

    // Opened with the installed page (its manifest's file handlers): analysed as if chosen.
    if ('launchQueue' in window) {
        window.launchQueue.setConsumer((launch) => {
            if (launch.files && launch.files.length > 0) TabulonFiles.fromHandles(launch.files).then(page.start);
        });
    }

    byId('copy').addEventListener('click', async () => {
        const open = page.openReport();
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
        page.say(`The report of ${open.name} was copied.`);
    });

    byId('download').addEventListener('click', () => {
        const url = URL.createObjectURL(new Blob([byId('jsonl').textContent], {type: 'application/jsonl'}));
        const link = document.createElement('a');
        link.href = url;
        link.download = 'tabulon.jsonl';
        document.body.appendChild(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(url), 1000);
    });

    byId('print').addEventListener('click', () => window.print());
})();
