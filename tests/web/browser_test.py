#!/usr/bin/python3
"""The web page in headless Chromium, against tabulon-report.

Loads the built site served over HTTP and opened from disk, chooses (and drops) the
samples, the shared real images and a few damaged and oversized files, and checks that #jsonl, every
answer's report and the open .report equal tabulon-report's output for the same files (the file's name where
tabulon-report shows its full path), that a file that cannot be read says why while
the others report, that nothing is fetched after the page has loaded, and takes
screenshots. With --bench it prints the speed, memory and size figures instead.

Exit status: 0 passed, 1 failed, 77 the site was not built (ctest: skipped).
"""
import argparse
import gzip
import json
import pathlib
import subprocess
import sys
import tempfile
import time

import bench
import install
import track_map
from browser import (Failures, bench_images, chromium, choose, drop, network_requests, serve,
                     wait_for_state)

SKIPPED = 77
PAGE_VIEW = ('--json', '--all-slots')  # the JSON Lines the page shows (its maps add --tracks, on demand)
TWO_GIB = 2**31


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--site', type=pathlib.Path, required=True, help='the built site (build-web/site)')
    parser.add_argument('--native', type=pathlib.Path, required=True, help='tabulon-report')
    parser.add_argument('--samples', type=pathlib.Path, required=True)
    parser.add_argument('--real', type=pathlib.Path, help='the shared real images, when present')
    parser.add_argument('--screenshots', type=pathlib.Path, help='where the screenshots go')
    parser.add_argument('--bench', action='store_true', help='print speed, memory and size figures')
    parser.add_argument('--rounds', type=int, default=5, help='benchmark rounds')
    parser.add_argument('--parts', default='mixed,floor,smooth,memory,site', help='the benchmark\'s parts to run')
    return parser.parse_args()


# --- tabulon-report -------------------------------------------------------------------------

def native_outputs(native, files):
    """Per file: (JSON line, default text, stderr messages), with the page's naming."""
    outputs = {}
    for path in files:
        shown = str(path)
        name = path.name
        as_json = subprocess.run([native, *PAGE_VIEW, shown], capture_output=True, text=True)
        text = subprocess.run([native, shown], capture_output=True, text=True).stdout
        line = as_json.stdout.rstrip('\n').replace(
            '"path":' + json.dumps(shown, ensure_ascii=False), '"path":' + json.dumps(name, ensure_ascii=False))
        # The report's name line: its indent, then the name.
        text = '\n'.join(row[:-len(shown)] + name if row.endswith(shown) else row for row in text.split('\n'))
        prefix = f'tabulon-report: {shown}: '
        messages = [m[len(prefix):] for m in as_json.stderr.splitlines() if m.startswith(prefix)]
        outputs[name] = (line, text, messages)
    return outputs


# --- the page ------------------------------------------------------------------------------

def page_results(driver):
    """The JSON Lines; each answer's name and report text, in the page's order (the page keeps them as
    data); and the name and text of the .report drawn, the open one."""
    jsonl = driver.execute_script('return document.getElementById("jsonl").textContent')
    reports = driver.execute_script('return TabulonPage.reports()')
    drawn = driver.execute_script('return [...document.querySelectorAll(".report")].map(r => [r.dataset.name, r.textContent])')
    return jsonl, reports, drawn


def open_row(driver, name):
    """Scrolls the image's row into view and opens its report from it, by keyboard: the row."""
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    button = driver.execute_script('const row = TabulonPage.reveal(arguments[0]); return row && row.querySelector("button.name")',
                                   name)
    if button is None or button.text != name:
        raise AssertionError(f'no row for {name}')
    row = button.find_element(By.XPATH, './ancestor::tr')
    button.send_keys(Keys.ENTER)
    return row


def messages_shown(driver, name):
    """Opens the image's report from its row and reads the messages shown."""
    from selenium.webdriver.common.by import By
    open_row(driver, name)
    return driver.find_element(By.ID, 'messages').text


def dos_and_files(driver, name):
    """Opens the image's report from its row: the row's DOS cell and the files listed under the report."""
    from selenium.webdriver.common.by import By
    dos = open_row(driver, name).find_element(By.CSS_SELECTOR, 'td.dos').text
    names = [row.find_elements(By.CSS_SELECTOR, 'th, td')[0].text
             for row in driver.find_elements(By.CSS_SELECTOR, '#files tbody tr')]
    return dos, names


def check_disks(failures, driver, files, expected):
    """Each image's DOS in its row and its files under its report, as tabulon-report --json names them."""
    header = [cell.text for cell in driver.find_elements('css selector', '#table thead th')]
    failures.check('DOS' in header, f'no DOS column in {header}')
    for path in files:
        line = expected[path.name][0]
        if not line.startswith('{'):
            continue
        disk = json.loads(line).get('disk')
        dos = '-' if not disk else disk['dos'] or (disk['format'] + ' data' if disk['format'] else '-')
        names = [f['name'] for f in disk['files']] if disk and disk['directory'] else []
        shown = dos_and_files(driver, path.name)
        failures.check(shown == (dos, names), f'{path.name}: DOS and files {shown}, not {(dos, names)}')


# --- checks ---------------------------------------------------------------------------------

def compare(failures, where, files, expected, jsonl, reports, drawn):
    names = [path.name for path in files]
    lines = jsonl.split('\n')
    failures.check(all(name in expected for name in names), f'{where}: names in {names}')
    failures.check(lines[-1] == '' and len(lines) == len(files) + 1,
                   f'{where}: {len(lines) - 1} JSON lines for {len(files)} images')
    for name, line in zip(names, lines):
        failures.check(line == expected[name][0], f'{where}: {name}: JSON line\n  page:   {line}\n'
                                                   f'  native: {expected[name][0]}')
    failures.check([name for name, _ in reports] == names, f'{where}: reports {[n for n, _ in reports]}')
    for name, text in reports:
        if name in expected:
            failures.check(text == expected[name][1], f'{where}: {name}: report\n--- page\n{text}--- native\n'
                                                      f'{expected[name][1]}---')
    failures.check(len(drawn) == 1 and drawn[0][0] in expected and drawn[0][1] == expected[drawn[0][0]][1],
                   f'{where}: the report drawn: {drawn}')
    print(f'{where}: {len(files)} images: JSON lines and reports compared with tabulon-report')


def damaged_files(folder, samples):
    """Files that cannot be read whole, or at all, beside one at the largest size read."""
    dmk = (samples / 'dmk-drive-report.dsk').read_bytes()
    cut = folder / 'cut-inside-sector.dsk'
    cut.write_bytes(dmk[:1100])
    empty = folder / 'empty.dsk'
    empty.write_bytes(b'')
    too_large = folder / 'two-gib.dsk'  # one byte past the largest image read: refused, as natively
    with open(too_large, 'wb') as out:
        out.truncate(TWO_GIB)
    largest = folder / 'largest.dsk'  # 2 GiB - 1: a JV3 sample, then a hole
    largest.write_bytes((samples / 'jv3-drive-report.dsk').read_bytes())
    with open(largest, 'a+b') as out:
        out.truncate(TWO_GIB - 1)
    return [cut, empty, too_large, largest]


def run_tests(args, images, folder):
    failures = Failures()
    damaged = damaged_files(folder, args.samples)
    files = images + damaged
    expected = native_outputs(args.native, files)
    with serve(args.site) as (url, requests), chromium() as driver:
        from_disk = (args.site / 'index.html').resolve().as_uri()
        # Chosen through the input, served and from disk; and dropped (the same files, the other way round).
        for where, address, order in (('served', url, files), ('file://', from_disk, files),
                                      ('dropped', url, files[::-1])):
            driver.get(address)
            wait_for_state(driver, ['ready'])
            install.service_worker_ready(driver)  # served: its copies of the site are part of the load
            requests.clear()
            network_requests(driver)  # the page's own files, while it loaded
            state = drop(driver, order) if where == 'dropped' else choose(driver, files)
            failures.check(state == 'done', f'{where}: the page ended "{state}"')
            compare(failures, where, order, expected, *page_results(driver))
            # Every file with something to say says it, and a damaged file its reason, on the page.
            for path in files:
                for message in expected[path.name][2]:
                    shown = messages_shown(driver, path.name)
                    failures.check(message.lower() in shown.lower(),
                                   f'{where}: {path.name}: "{message}" not in "{shown}"')
            if where == 'served':
                check_disks(failures, driver, files, expected)
            after = network_requests(driver) + requests
            failures.check(not [u for u in after if not u.startswith(('blob:', 'data:'))],
                           f'{where}: requests after load: {after}')
        flux_set = make_flux_set(args.native, folder)
        check_sources(failures, driver, args, folder, flux_set)
        track_map.check_track_map(failures, driver, args, (url, from_disk), folder, flux_set, choose, wait_for_state)
        check_memory(failures, driver, url, bench_images(folder / 'two-hundred', images, 200, noise=False))
        install.check_install(failures, driver, args, expected[images[0].name][0], images[0])
        if args.screenshots:
            take_screenshots(failures, driver, args, images, damaged, folder, flux_set)
    return failures.count


def make_flux_set(native, folder):
    """A KryoFlux stream set of the usual NEWDOS/80 disk, by the samples' own writer."""
    maker = native.resolve().parent.parent / 'samples' / 'tabulon-make-samples'
    subprocess.run([maker, '--flux', folder / 'flux'], check=True, stdout=subprocess.DEVNULL)
    return folder / 'flux' / 'newdos80-kryoflux'


# --- what the command line reads: archives, stream sets, folders, drops ----------------------

def native_lines(native, pairs):
    """tabulon-report --json --all-slots's lines and messages for (path, page name) pairs, each
    path's absolute name replaced by the page's: the messages as {shown name: [message]}."""
    lines, messages = [], {}
    for path, name in pairs:
        run = subprocess.run([native, *PAGE_VIEW, str(path)], capture_output=True, text=True)
        absolute = json.dumps(str(path), ensure_ascii=False)
        lines += [line.replace('"path":' + absolute, '"path":' + json.dumps(name, ensure_ascii=False))
                  for line in run.stdout.splitlines()]
        for message in run.stderr.splitlines():
            shown, _, said = message.removeprefix('tabulon-report: ').partition(': ')
            messages.setdefault(name + shown[len(str(path)):], []).append(said)
    return lines, messages


def made_archives(folder, samples):
    """Zips of samples by the rules' every case: disk images beside a text file and a zip
    inside, a member flagged encrypted, and a zip cut short."""
    import zipfile
    folder.mkdir()
    members = folder / 'members.zip'
    with zipfile.ZipFile(members, 'w', zipfile.ZIP_DEFLATED) as archive:
        for sample in ('dmk-drive-report.dsk', 'hfe-drive-report.hfe', 'not-found.dsk'):
            archive.write(samples / sample, 'disks/' + sample)
        archive.writestr('readme.txt', 'not an image')
        archive.writestr('inner.zip', b'PK\x05\x06' + bytes(18))  # an empty zip
    encrypted = folder / 'encrypted.zip'
    with zipfile.ZipFile(encrypted, 'w', zipfile.ZIP_STORED) as archive:
        archive.write(samples / 'jv3-drive-report.dsk', 'locked.dsk')
    data = bytearray(encrypted.read_bytes())
    for signature, flags in ((b'PK\x03\x04', 6), (b'PK\x01\x02', 8)):  # general purpose bit 0: encrypted
        at = data.find(signature)
        data[at + flags] |= 1
    encrypted.write_bytes(bytes(data))
    damaged = folder / 'damaged.zip'
    damaged.write_bytes(members.read_bytes()[:3000])
    # Compressed: one image (gzip), and tar archives (xz, bzip2).
    import tarfile
    compressed = folder / 'one.dsk.gz'
    compressed.write_bytes(gzip.compress((samples / 'jv3-drive-report.dsk').read_bytes()))
    tars = []
    for packing in ('xz', 'bz2'):
        tars.append(folder / f'disks.tar.{packing}')
        with tarfile.open(tars[-1], f'w:{packing}') as archive:
            archive.add(samples / 'imd-drive-report.imd', 'imd-drive-report.imd')
    return [members, encrypted, damaged, compressed, *tars]


def dropped_pairs(paths):
    """(path, page name) for what the page makes of each dropped path: a file by its name, a
    folder's files by their paths from it, a folder of KryoFlux streams as one image."""
    pairs = []
    for path in paths:
        if path.is_dir() and not any(p.name.endswith('.raw') for p in path.iterdir()):
            pairs += [(inner, str(inner.relative_to(path.parent))) for inner in sorted(path.rglob('*'))
                      if inner.is_file()]
        else:
            pairs.append((path, path.name))
    return pairs


def check_archives_and_sets(failures, driver, args, where, dropped):
    """The page's answers for dropped files and folders against tabulon-report's on the same paths."""
    lines, messages = native_lines(args.native, dropped_pairs(dropped))
    state = drop(driver, dropped)
    failures.check(state == 'done', f'{where}: the drop ended "{state}"')
    page = driver.execute_script('return document.getElementById("jsonl").textContent').split('\n')[:-1]
    failures.check(page == lines, f'{where}: JSON lines\n  page:   ' + '\n          '.join(page) +
                   '\n  native: ' + '\n          '.join(lines))
    for name, said in messages.items():
        shown = messages_shown(driver, name)
        for message in said:
            failures.check(message.lower() in shown.lower(), f'{where}: {name}: "{message}" not in "{shown}"')
    print(f'{where}: {len(dropped)} dropped, {len(lines)} answers compared with tabulon-report')


def check_sources(failures, driver, args, folder, flux_set):
    """Drops on the page opened from disk and served; a folder chosen; the same file chosen
    again; a name with a line break; two same-named files from two folders; every member."""
    from selenium.webdriver.common.by import By
    odd = folder / 'odd'
    (odd / 'a').mkdir(parents=True)
    (odd / 'b').mkdir()
    for inner in (odd / 'a' / 'same.dsk', odd / 'b' / 'same.dsk', folder / 'line\nbreak.dsk'):
        inner.write_bytes((args.samples / 'dmk-drive-report.dsk').read_bytes())
    real = args.real.resolve() if args.real and args.real.is_dir() else None
    dropped = made_archives(folder / 'zips', args.samples) + sorted(real.glob('*.zip') if real else [])
    dropped += [flux_set, odd, folder / 'line\nbreak.dsk', args.samples / 'jv3-drive-report.dsk']
    with serve(args.site) as (url, requests):
        for where, address in (('file:// drop', (args.site / 'index.html').resolve().as_uri()),
                               ('served drop', url)):
            driver.get(address)
            wait_for_state(driver, ['ready'])
            check_archives_and_sets(failures, driver, args, where, dropped)
        failures.check('/tabulon.svg' in requests and '/favicon.ico' not in requests, f'icon: {requests}')
        # The analysis' script is loaded after the first paint.
        paint, loaded = driver.execute_script("""
            const paint = performance.getEntriesByName('first-contentful-paint')[0];
            const worker = performance.getEntriesByType('resource').find((e) => e.name.endsWith('/worker.js'));
            return [paint ? paint.startTime : null, worker ? worker.startTime : null];""")
        failures.check(paint is not None and loaded is not None and loaded >= paint,
                       f'worker.js requested at {loaded} ms, before the first paint at {paint} ms')
        print(f'first contentful paint {paint:.0f} ms; worker.js requested at {loaded:.0f} ms')
    shown = [name for name, _ in driver.execute_script('return TabulonPage.reports()')]
    for name in ("'line'$'\\n''break.dsk'", 'odd/a/same.dsk', 'odd/b/same.dsk'):
        failures.check(name in shown, f'{name} not among the names shown: {shown}')
    lines, _ = native_lines(args.native, [(flux_set, flux_set.name)])
    for label, chooser, files in (('folder chosen', 'folder', [flux_set]),
                                  ("a set's files chosen", 'images', sorted(flux_set.iterdir()))):
        choose(driver, files, chooser)
        page = driver.execute_script('return document.getElementById("jsonl").textContent').split('\n')[:-1]
        if chooser == 'images':  # named after its first track file, as tabulon-report names that file
            first = files[0].name
            lines = [lines[0].replace(json.dumps(flux_set.name), json.dumps(first))]
        failures.check(page == lines, f'{label}: {page} against {lines}')
    # Every member of an archive, as --all-members; and a drop of nothing readable says so.
    driver.find_element(By.ID, 'all-members').click()
    members = folder / 'zips' / 'members.zip'
    drop(driver, [members])
    page = driver.execute_script('return document.getElementById("jsonl").textContent').split('\n')[:-1]
    run = subprocess.run([args.native, *PAGE_VIEW, '--all-members', members], capture_output=True, text=True)
    lines = run.stdout.replace(json.dumps(str(members)), json.dumps(members.name)).splitlines()
    failures.check(page == lines and len(lines) == 5, f'--all-members: {page} against {lines}')
    driver.find_element(By.ID, 'all-members').click()
    (folder / 'empty').mkdir()
    drop(driver, [folder / 'empty'], wait=False)
    time.sleep(1)
    said = driver.find_element(By.ID, 'status').text
    failures.check(said.startswith('Nothing to analyse'), f'an empty drop: "{said}"')
    for attempt in range(2):
        state = choose(driver, [args.samples / 'jv3-drive-report.dsk'])
        failures.check(state == 'done', f'the same file chosen again ({attempt + 1}): the page ended "{state}"')


def check_memory(failures, driver, url, images, rounds=4):
    """Rounds of the same images on one page: the renderers may not grow by more than 50 MiB. The
    longest main-thread task once the first row is shown is printed (a figure, not a check)."""
    tasks, resident, _ = bench.long_tasks_and_memory(driver, url, images, rounds)
    growth = resident[-1] - resident[0]
    longest = 'no first row marked' if tasks is None else f'{max(tasks, default=0):.0f} ms'
    print(f'{len(images)} images: longest main-thread task after the first row {longest};'
          f' {rounds} rounds, renderers resident {resident} MiB, growth {growth} MiB')
    failures.check(growth <= 50, f'memory grew by {growth} MiB over {rounds} rounds')


def take_screenshots(failures, driver, args, images, damaged, folder, flux_set):
    from selenium.webdriver.common.by import By
    args.screenshots.mkdir(parents=True, exist_ok=True)
    samples = sorted(path for path in args.samples.iterdir() if path.suffix in ('.dsk', '.hfe', '.imd'))
    choose(driver, samples + damaged[:3])
    for name, shot in (('dmk-drive-report.dsk', 'drive-report.png'), ('hfe-drive-report.hfe', 'geometry-difference.png'),
                       (damaged[0].name, 'cut-short.png'), (damaged[2].name, 'too-large.png')):
        messages_shown(driver, name)
        track_map.wait_for_map(driver)
        driver.find_element(By.ID, 'image').screenshot(str(args.screenshots / shot))
    fifty = bench_images(folder / 'fifty', samples + images, 50)
    choose(driver, fifty)
    driver.set_window_size(1280, 2200)  # tall enough for all fifty rows
    driver.find_element(By.ID, 'summary').screenshot(str(args.screenshots / 'fifty-images.png'))
    driver.set_window_size(1280, 1000)
    # A phone's width, and 200 % zoom (half the width at twice the pixels).
    for shot, metrics in (('phone.png', (390, 844, 3)), ('zoom-200.png', (640, 500, 2))):
        width, height, scale = metrics
        driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                               {'width': width, 'height': height, 'deviceScaleFactor': scale, 'mobile': False})
        messages_shown(driver, fifty[0].name)
        driver.save_screenshot(str(args.screenshots / shot))
        wide = driver.execute_script('return document.documentElement.scrollWidth')
        failures.check(wide <= width, f'{shot}: the page is {wide} px wide in {width} px')
    driver.execute_cdp_cmd('Emulation.clearDeviceMetricsOverride', {})
    # An archive's members, one row each, and a stream set's one report.
    drop(driver, sorted((folder / 'zips').glob('*.zip')) + sorted(args.real.resolve().glob('*.zip') if args.real else []))
    driver.set_window_size(1280, 1400)  # every row
    driver.find_element(By.ID, 'summary').screenshot(str(args.screenshots / 'zip-members.png'))
    driver.set_window_size(1280, 1000)
    drop(driver, [flux_set])
    track_map.wait_for_map(driver)
    driver.find_element(By.ID, 'image').screenshot(str(args.screenshots / 'stream-set.png'))
    driver.execute_cdp_cmd('Emulation.setEmulatedMedia', {'media': 'print'})  # the printable view
    driver.save_screenshot(str(args.screenshots / 'print.png'))
    driver.execute_cdp_cmd('Emulation.setEmulatedMedia', {'media': ''})
    for shot in ('drive-report.png', 'geometry-difference.png', 'cut-short.png', 'too-large.png', 'fifty-images.png',
                 'phone.png', 'zoom-200.png', 'print.png', 'zip-members.png', 'stream-set.png'):
        png = (args.screenshots / shot).read_bytes()
        failures.check(png.startswith(b'\x89PNG') and len(png) > 10000, f'screenshot {shot}: {len(png)} bytes')


def main():
    args = parse_arguments()
    if not (args.site / 'index.html').is_file():
        print(f'skipped: no site at {args.site} (scripts/web builds it)')
        return SKIPPED
    args.samples = args.samples.resolve()
    images = sorted(path for path in args.samples.iterdir() if path.suffix in ('.dsk', '.hfe', '.imd'))
    if args.real and args.real.is_dir():
        # Archives are read by tabulon-report alone; the page takes the images themselves.
        images += sorted(path.resolve() for path in args.real.iterdir()
                         if path.name != 'README.md' and path.suffix != '.zip')
    images = [path.resolve() for path in images]
    with tempfile.TemporaryDirectory(prefix='tabulon-web-') as folder:
        if args.bench:
            failed = bench.run_bench(args, images, pathlib.Path(folder), native_outputs, compare, page_results,
                                     damaged_files)
        else:
            failed = run_tests(args, images, pathlib.Path(folder))
    print(f'{failed} failed' if failed else 'passed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
