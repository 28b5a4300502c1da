"""The page's figures (browser_test.py --bench, scripts/bench-web): its speed against the floor, a
page whose worker only reads every byte of the same files, in the same browser, the two
alternating, each the first choice after its load; the longest main-thread task and the memory
of runs of 2,000 images; the memory of the largest image; the site's size."""
import gzip
import statistics
import subprocess
import time

from browser import (DevTools, Failures, Trace, bench_images, chromium, choose, renderer_memory_kib, serve,
                     wait_for_state)

PAGE_VIEW = ('--json', '--all-slots')

# The floor: a page whose worker reads every byte of the files chosen (File.arrayBuffer(), so many
# at a time, or all at once) and nothing else; its state and time as the page's.
FLOOR = """<!DOCTYPE html><html lang="en"><head><meta charset="utf-8"><title>floor</title></head>
<body data-state="loading"><input type="file" id="images" multiple aria-label="files">
<script>
const lanes = LANES;
const source = `onmessage = async (event) => {
    const files = event.data.files;
    let next = 0, bytes = 0;
    const lane = async () => {
        while (next < files.length) bytes += (await files[next++].arrayBuffer()).byteLength;
    };
    await Promise.all(Array.from({length: Math.min(event.data.lanes, files.length)}, lane));
    postMessage(bytes);
};`;
const worker = new Worker(URL.createObjectURL(new Blob([source], {type: 'text/javascript'})));
let started = 0;
const input = document.getElementById('images');
input.addEventListener('change', () => {
    started = performance.now();
    worker.postMessage({files: [...input.files], lanes});
    input.value = '';
    document.body.dataset.state = 'working';
});
worker.onmessage = (event) => {
    document.body.dataset.pageMs = String(performance.now() - started);
    document.body.dataset.bytes = String(event.data);
    document.body.dataset.state = 'done';
};
document.body.dataset.state = 'ready';
</script></body></html>
"""

# Marks the first row shown, for the tasks that follow it; keeps how long each click waited for its
# frame (the Event Timing API: from the input to the next paint, those of 16 ms or more).
FIRST_ROW = """const rows = document.getElementById('rows');
new MutationObserver((list, observer) => {
    if (!rows.querySelector('tr button.name')) return;
    performance.mark('tabulon-first-row');
    window.tabulonFirstRow = true;
    observer.disconnect();
}).observe(rows, {childList: true, subtree: true});
window.tabulonClicks = [];
new PerformanceObserver((list) => {
    for (const entry of list.getEntries()) if (entry.name === 'click') window.tabulonClicks.push(entry.duration);
}).observe({type: 'event', durationThreshold: 16});"""


def click_rows(driver, clicks=6):
    """Clicks on rows, as a user does (DevTools' mouse events), while the page analyses: once the
    first row is shown, one in every 150 ms. Returns how many were made."""
    deadline = time.monotonic() + 60
    while not driver.execute_script('return window.tabulonFirstRow') and time.monotonic() < deadline:
        time.sleep(0.01)
    made = 0
    for index in range(clicks):
        at = driver.execute_script("""const buttons = document.querySelectorAll('#rows button.name');
            const button = buttons[arguments[0] % buttons.length];
            if (!button || document.body.dataset.state === 'done') return null;
            const box = button.getBoundingClientRect();
            return [box.left + 5, box.top + box.height / 2];""", index)
        if at is None:
            break
        for kind in ('mousePressed', 'mouseReleased'):
            driver.execute_cdp_cmd('Input.dispatchMouseEvent', {'type': kind, 'x': at[0], 'y': at[1], 'button': 'left',
                                                                 'clickCount': 1})
        made += 1
        time.sleep(0.15)
    return made


def best_ms(command, rounds):
    best = None
    for _ in range(rounds):
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = (time.perf_counter() - start) * 1000
        best = elapsed if best is None else min(best, elapsed)
    return best


def first_choice_ms(driver, url, files):
    """The page (or floor) loaded, ready, then the files chosen: from the choice to done."""
    driver.get(url)
    wait_for_state(driver, ['ready'])
    choose(driver, files)
    return float(driver.execute_script('return document.body.dataset.pageMs'))


def page_against_floor(driver, pages, files, rounds):
    """Rounds of each page in turn, each the first choice after its load: {label: [ms]}."""
    times = {label: [] for label, _ in pages}
    for _ in range(rounds):
        for label, url in pages:
            times[label].append(first_choice_ms(driver, url, files))
    return times


def print_against_floor(where, times, cli_ms):
    floor = min(statistics.median(ms) for label, ms in times.items() if label.startswith('floor'))
    for label, ms in times.items():
        median = statistics.median(ms)
        print(f'  {where:8s} {label:28s} median {median:7.1f} ms  ({median / floor:4.2f} x the floor,'
              f' {median / cli_ms:5.2f} x the CLI)  rounds: ' + ' '.join(f'{m:.0f}' for m in ms))
    page = statistics.median(times['page'])
    print(f'  {where:8s} page/floor {page / floor:.2f}')
    return page / floor


def collect_garbage(driver):
    """Garbage collected in the page and each of its workers: the memory they keep, not what they
    have let go of and their collectors have not yet taken back."""
    devtools = DevTools(driver)
    for target in devtools.call('Target.getTargets')['targetInfos']:
        if target['type'] in ('page', 'worker') and target['url'].startswith(('file:', 'http', 'blob:')):
            session = devtools.call('Target.attachToTarget', {'targetId': target['targetId'], 'flatten': True})
            if 'sessionId' not in session:
                continue  # gone since it was listed
            devtools.call('HeapProfiler.collectGarbage', session=session['sessionId'])
            devtools.call('Target.detachFromTarget', {'sessionId': session['sessionId']})
    devtools.close()


def long_tasks_and_memory(driver, url, files, rounds=4):
    """Rounds of the files on one page: the main-thread tasks after the first row of the first
    round (Chromium's trace is read once, at its end), and the renderers' memory after each round
    (garbage collected in the page and its workers)."""
    driver.get(url)
    wait_for_state(driver, ['ready'])
    resident, tasks, clicks = [], None, (0, [])
    for round_ in range(rounds):
        if round_ == 0:
            driver.execute_script(FIRST_ROW)
            trace = Trace(driver)
            choose(driver, files, wait=False)
            made = click_rows(driver)
            wait_for_state(driver, ['done', 'failed'], seconds=600)
            tasks = trace.tasks_after('tabulon-first-row')
            clicks = (made, driver.execute_script('return window.tabulonClicks'))
        else:
            choose(driver, files)
        collect_garbage(driver)
        time.sleep(0.5)
        resident.append(renderer_memory_kib(driver)[0] // 1024)
    return tasks, resident, clicks


def run_bench(args, images, folder, native_outputs, compare, page_results, damaged_files):
    failures = Failures()
    samples = sorted(path for path in args.samples.iterdir() if path.suffix in ('.dsk', '.hfe', '.imd'))
    parts = args.parts.split(',')
    summary = []
    if 'floor' in parts:
        ratios = bench_floor(args, samples + images, folder)
        summary.append('page/floor ' + ', '.join(f'{where} {ratio:.2f}' for where, ratio in ratios))
    if 'smooth' in parts:
        summary.append(bench_smooth(args, samples + images, folder))
    if 'mixed' in parts:
        bench_mixed(args, failures, samples + images, folder, native_outputs, compare, page_results)
    if 'memory' in parts:
        bench_memory(args, samples, folder, damaged_files)
    if 'site' in parts:
        bench_site(args)
    print('summary: ' + '; '.join(summary))
    return failures.count


def bench_mixed(args, failures, sources, folder, native_outputs, compare, page_results):
    """1,000 mixed images (noise and cut ones too): the page's answers and time against the CLI's."""
    thousand = bench_images(folder / 'thousand', sources, 1000)
    size = sum(path.stat().st_size for path in thousand)
    print(f'1,000 mixed images, {size // 1024} KiB in all')
    json_ms = best_ms([args.native, *PAGE_VIEW, *thousand], args.rounds)
    print(f'tabulon-report --json --all-slots: {json_ms:8.1f} ms (best)')
    expected = native_outputs(args.native, thousand)
    with serve(args.site) as (url, _), chromium() as driver:
        page_ms = first_choice_ms(driver, url, thousand)
        compare(failures, 'bench', thousand, expected, *page_results(driver))
        print(f'page, served, first choice: {page_ms:8.1f} ms ({page_ms / json_ms:.2f} x the CLI)')


def bench_floor(args, sources, folder):
    """The page against the floor over 200 real images (the real images and samples as they are),
    opened from disk and served: the page/floor ratios."""
    two_hundred = bench_images(folder / 'two-hundred', sources, 200, noise=False)
    cli_ms = best_ms([args.native, *PAGE_VIEW, *two_hundred], args.rounds)
    megabytes = sum(path.stat().st_size for path in two_hundred) / 2**20
    print(f'200 real images ({megabytes:.1f} MiB): tabulon-report --json --all-slots {cli_ms:.1f} ms (best);'
          f' {args.rounds} rounds, page and floors alternating, each the first choice after load:')
    floors = []
    for label, lanes in (('floor, 8 at a time', '8'), ('floor, all at once', 'Infinity')):
        (folder / f'floor-{lanes}.html').write_text(FLOOR.replace('LANES', lanes))
        floors.append((label, (folder / f'floor-{lanes}.html').resolve().as_uri()))
    ratios = []
    with serve(args.site) as (url, _), chromium() as driver:
        for where, page in (('file://', (args.site / 'index.html').resolve().as_uri()), ('served', url)):
            times = page_against_floor(driver, [('page', page), *floors], two_hundred, args.rounds)
            ratios.append((where, print_against_floor(where, times, cli_ms)))
    return ratios


def bench_smooth(args, sources, folder):
    """2,000 images from disk: the longest task once the first row is shown, and the memory of four rounds."""
    two_thousand = bench_images(folder / 'two-thousand', sources, 2000, noise=False)
    with chromium() as driver:
        tasks, resident, (made, waits) = long_tasks_and_memory(driver, (args.site / 'index.html').resolve().as_uri(),
                                                               two_thousand)
    if tasks is None:
        print('2,000 real images, file://: no first row marked')
    else:
        over = [ms for ms in tasks if ms > 50]
        print(f'2,000 real images, file://: longest main-thread task after the first row {max(tasks, default=0):.0f} ms'
              f' ({len(tasks)} tasks; over 50 ms: {len(over)}, {sum(over):.0f} ms in all)')
    print(f'2,000 real images: {made} clicks on rows while analysing; their waits for a frame, 16 ms or more:'
          f' {sorted(round(ms) for ms in waits)} ms')
    print(f'2,000 real images, 4 rounds on one page: renderers resident {resident} MiB,'
          f' last - first {resident[-1] - resident[0]:+d} MiB')
    longest = 'none' if tasks is None else f'{max(tasks, default=0):.0f} ms'
    return (f'2,000 images: longest task after the first row {longest}, memory over 4 rounds'
            f' {resident[-1] - resident[0]:+d} MiB')


def bench_memory(args, samples, folder, damaged_files):
    """A fresh page, one small image, then the largest image read (2 GiB - 1, sparse)."""
    small = samples[0]
    largest = damaged_files(folder, args.samples)[-1]
    with serve(args.site) as (url, _), chromium() as driver:
        driver.get(url)
        wait_for_state(driver, ['ready'])
        for label, image in (('loaded, no image', None), (small.name, small), ('2 GiB - 1 byte image', largest),
                             ('again the small image', small)):
            if image is not None:
                choose(driver, [image])
            heap = driver.execute_script('return document.body.dataset.heapBytes') or '-'
            rss, peak = renderer_memory_kib(driver)
            heap_mib = f'{int(heap) / 2**20:.1f} MiB' if heap != '-' else '-'
            print(f'renderer memory, {label:24s} resident {rss // 1024:5d} MiB, peak {peak // 1024:5d} MiB;'
                  f' WebAssembly heap {heap_mib}')


def bench_site(args):
    """The site's size: what a served page loads (tabulon.wasm, not wasm.js) and what one from disk does."""
    site = sorted(path for path in args.site.rglob('*') if path.is_file())
    for where, left_out in (('served', 'wasm.js'), ('from disk', 'tabulon.wasm')):
        files = [path for path in site if path.name != left_out]
        packed = {path: len(gzip.compress(path.read_bytes(), 9)) for path in files}
        code = sum(size for path, size in packed.items() if path.suffix in ('.js', '.wasm'))
        print(f'site, {where}: {len(files)} files, {sum(p.stat().st_size for p in files) // 1024} KiB;'
              f' gzip -9: JavaScript and WebAssembly {code // 1024} KiB, everything {sum(packed.values()) // 1024} KiB')
