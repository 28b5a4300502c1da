"""The page's track map (browser_test.py runs it): the cells' states and lines from a
hand-written answer and from a made DMK with every state, keys and pointer, the map
saved as SVG and PNG (served and from disk), axe-core's verdict on the page, the map
at a phone's width and 200 % zoom, and screenshots of it."""
import json
import pathlib
import subprocess
import time

AXE = pathlib.Path(__file__).resolve().parent / 'node_modules' / 'axe-core' / 'axe.min.js'

# Two sides, four cylinders: every state and every mark of a track's line (the states and
# usual sizes as the analysis gives them: the page draws them, it does not work them out).
ANSWER = {'tracks': [
    {'cylinder': 0, 'side': 0, 'encoding': 'FM', 'state': 'good', 'usualSize': 128, 'duplicateSectors': [],
     'missingSectors': [], 'sectors': [
        {'id': i, 'size': 256 if i == 3 else 128, 'idCrcOk': True, 'dataCrcOk': True, 'deleted': False,
         'idCylinder': 0, 'idSide': 0} for i in (0, 2, 4, 1, 3)]},
    {'cylinder': 0, 'side': 1, 'encoding': 'MFM', 'state': 'crc', 'usualSize': 256, 'duplicateSectors': [],
     'missingSectors': [], 'sectors': [
        {'id': 1, 'size': 256, 'idCrcOk': False, 'dataCrcOk': None, 'deleted': False, 'idCylinder': 0,
         'idSide': 1}]},
    {'cylinder': 1, 'side': 0, 'encoding': 'MFM', 'state': 'missing', 'usualSize': 256, 'duplicateSectors': [2],
     'missingSectors': [3, 4], 'sectors': [
        {'id': i, 'size': 256, 'idCrcOk': True, 'dataCrcOk': True, 'deleted': i == 5,
         'idCylinder': 2 if i == 1 else 1, 'idSide': 0} for i in (1, 2, 2, 5)]},
    {'cylinder': 1, 'side': 1, 'encoding': None, 'state': 'unformatted', 'usualSize': None, 'duplicateSectors': [],
     'missingSectors': [], 'sectors': []},
    {'cylinder': 2, 'side': 0, 'encoding': 'MFM', 'state': 'crc', 'usualSize': 256, 'duplicateSectors': [],
     'missingSectors': [], 'sectors': [
        {'id': 1, 'size': 256, 'idCrcOk': True, 'dataCrcOk': None, 'deleted': False, 'idCylinder': 2, 'idSide': 0,
         'encoding': 'FM', 'revolution': 2},
        {'id': 2, 'size': 256, 'idCrcOk': True, 'dataCrcOk': True, 'deleted': False, 'idCylinder': 2, 'idSide': 0,
         'revolution': 0}, {'id': 3, 'size': 256, 'idCrcOk': True, 'dataCrcOk': True, 'deleted': False,
                            'idCylinder': 2, 'idSide': 0, 'revolution': 0}]}],
    'absentTracks': [{'cylinder': 3, 'side': 0}]}
ANSWER_STATES = ['good', 'crc', 'missing', 'unformatted', 'crc', 'absent', 'absent', 'absent']
ANSWER_LINES = {  # cell index: what its line holds
    0: ['Cylinder 0, side 0, FM, 5 sectors of 128 bytes: 0 2 4 1 3 (256)'],
    1: ['ID CRC error: 1'],
    2: ['1 2 2 5', "1's ID says cylinder 2, side 0", 'deleted: 5', 'duplicate: 2', 'missing: 3 and 4'],
    3: ['Cylinder 1, side 1: unformatted'], 4: ['no data: 1', 'FM: 1', 'revolution 2: 1'], 5: ['absent: the image lacks it'],
    6: ['the PDRIVE slot expects it'],
}


def damaged_dmk(samples, path):
    """The DMK sample (40 MFM cylinders of sectors 0-17) with a data CRC error on cylinder 5
    (sector 3), sector 4 of cylinder 7 gone (its ID mark wiped), cylinder 9 unformatted and
    cylinder 39 left out."""
    data = bytearray((samples / 'dmk-drive-report.dsk').read_bytes())
    length = data[2] | data[3] << 8
    start = [16 + cylinder * length for cylinder in range(40)]

    def id_field(cylinder, sector):  # (its slot in the track's pointer table, where it is)
        for slot in range(64):
            at = start[cylinder] + (int.from_bytes(data[start[cylinder] + 2 * slot:][:2], 'little') & 0x3fff)
            if at > start[cylinder] and data[at + 3] == sector:
                return slot, at
        raise AssertionError(f'no sector {sector} on cylinder {cylinder}')

    _, at = id_field(5, 3)
    data[data.index(0xFB, at + 7) + 20] ^= 0xFF
    slot, at = id_field(7, 4)
    data[at] = 0
    table = start[7]
    data[table + 2 * slot:table + 128] = data[table + 2 * slot + 2:table + 128] + b'\0\0'
    data[start[9]:start[9] + length] = bytes(128) + b'\x4e' * (length - 128)
    data[1] = 39
    path.write_bytes(bytes(data[:start[39]]))
    return {5: 'crc', 7: 'missing', 9: 'unformatted', 39: 'absent'}


def wait_for_map(driver, seconds=60):
    """Waits for the open image's map, which the page asks of the worker once the image is opened
    (until then the map's place is empty, then making)."""
    deadline = time.monotonic() + seconds
    while (made := driver.execute_script('return document.getElementById("track-map").dataset.map')) not in ('shown',
                                                                                                          'none'):
        assert time.monotonic() < deadline, f'no map after {seconds} s'
        time.sleep(0.02)
    return made


def cells(driver, labels=False):
    wait_for_map(driver)
    return driver.execute_script("""return [...document.querySelectorAll('[data-track-map] [data-cylinder]')]
        .map((cell) => arguments[0] ? cell.getAttribute('aria-label')
                                    : [Number(cell.dataset.cylinder), Number(cell.dataset.side), cell.dataset.state])""",
                                 labels)


def axe_violations(driver):
    """axe-core's violations on the page as it is: ["rule: target"]."""
    if not AXE.is_file():
        return [f'axe-core is not at {AXE}: scripts/install-deps test installs it']
    driver.execute_script(AXE.read_text())
    return driver.execute_async_script("""const done = arguments[arguments.length - 1];
        axe.run(document, {resultTypes: ['violations']}).then((result) => done(result.violations.flatMap(
            (v) => v.nodes.map((node) => v.id + ': ' + node.target.join(' ')))), (error) => done([String(error)]));""")


def saved(driver):
    """The map saved: the SVG's text, and the PNG's first bytes and size."""
    svg = driver.execute_script('return TabulonMapView.svgText()')
    png = driver.execute_async_script("""const done = arguments[arguments.length - 1];
        TabulonMapView.pngBlob().then(async (blob) => done([[...new Uint8Array(await blob.arrayBuffer())]
            .slice(0, 8), blob.size]), (error) => done([[], String(error)]));""")
    return svg, png


def at_width(failures, driver, shot, width, height, scale):
    """The map at a width (and zoom): nothing wider than the page; a screenshot."""
    wait_for_map(driver)
    driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                           {'width': width, 'height': height, 'deviceScaleFactor': scale, 'mobile': False})
    driver.execute_script('document.getElementById("track-map").scrollIntoView()')
    # The map is drawn again for the new width once the page sees it resized (the next frames).
    deadline = time.monotonic() + 5
    while True:
        wide = driver.execute_script("""const holder = document.querySelector('.map-holder');
            return [document.documentElement.scrollWidth, holder.scrollWidth - holder.clientWidth]""")
        if (wide[0] <= width and wide[1] == 0) or time.monotonic() > deadline:
            break
        time.sleep(0.05)
    failures.check(wide[0] <= width and wide[1] == 0, f'{shot}: page {wide[0]} px wide in {width}, map over by {wide[1]}')
    if shot:
        driver.save_screenshot(str(shot))
    return wide


def check_track_map(failures, driver, args, urls, folder, flux_set, choose, wait_for_state):
    """urls: the site served and from disk; choose and wait_for_state: browser_test.py's."""
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    driver.get(urls[0])
    drawn = driver.execute_script('return TabulonTrackMap.cellsOf(arguments[0]).cells.map((c) => [c.state, c.line])',
                                  ANSWER)
    failures.check([state for state, _ in drawn] == ANSWER_STATES, f'hand-written answer: states {drawn}')
    for index, parts in ANSWER_LINES.items():
        line = drawn[index][1] if index < len(drawn) else ''
        failures.check(all(part in line for part in parts), f'hand-written answer: line {index} "{line}" lacks {parts}')

    damaged = folder / 'damaged-tracks.dsk'
    expected = damaged_dmk(args.samples, damaged)
    native = json.loads(subprocess.run([args.native, '--json', '--tracks', damaged], capture_output=True,
                                       text=True).stdout)
    for where, url in zip(('served', 'file://'), urls):
        driver.get(url)
        wait_for_state(driver, ['ready'])
        choose(driver, [damaged])
        shown = cells(driver)
        want = [[c, 0, expected.get(c, 'good')] for c in range(40)]
        failures.check(shown == want, f'{where}: map of the damaged disk\n  page: {shown}\n  want: {want}')
        failures.check(len(native.get('tracks', [])) == 39, f'tabulon-report: {len(native.get("tracks", []))} tracks')
        # The map drawn from the page's answer with the tracks is the one drawn from tabulon-report's.
        labels = driver.execute_script("""const label = new Map(TabulonTrackMap.states.map((s) => [s.name, s.label]));
            return TabulonTrackMap.cellsOf(arguments[0]).cells.map((c) => `${c.line} (${label.get(c.state)})`)""", native)
        failures.check(cells(driver, True) == labels, f'{where}: the map is not the one of tabulon-report --json --tracks')
        svg, (magic, size) = saved(driver)
        failures.check(svg.startswith('<?xml') and svg.count('data-state=') == 40 and 'role=' not in svg,
                       f'{where}: the SVG saved: {svg[:200]}')
        failures.check(bytes(magic) == b'\x89PNG\r\n\x1a\n' and size > 2000, f'{where}: the PNG saved: {magic} {size}')

    # The pointer and the keys: a cell's line; the arrows move one track on.
    line = driver.find_element(By.ID, 'track-line')
    ActionChains(driver).move_to_element(driver.find_element(By.CSS_SELECTOR, '[data-cylinder="5"]')).perform()
    failures.check(line.text.startswith('Cylinder 5, side 0, MFM, 18 sectors') and 'data CRC error: 3' in line.text,
                   f'pointed at cylinder 5: "{line.text}"')
    driver.find_element(By.CSS_SELECTOR, '[data-cylinder="6"]').click()
    ActionChains(driver).send_keys(Keys.ARROW_RIGHT).perform()
    focused = driver.execute_script('return document.activeElement.dataset.cylinder')
    failures.check(focused == '7' and 'missing: 4' in line.text, f'arrow right: cylinder {focused}, "{line.text}"')
    # One tab stop: back from the first button after the map to the cell last active.
    driver.find_element(By.CSS_SELECTOR, '.track-map .actions button').send_keys(Keys.SHIFT, Keys.TAB)
    focused = driver.execute_script('return document.activeElement.dataset.cylinder')
    failures.check(focused == '7', f'shift-tab from the map\'s buttons: cylinder {focused}')

    violations = axe_violations(driver)
    failures.check(not violations, f'axe-core at 1280 px: {violations}')
    print(f'track map: {len(shown)} cells checked; axe-core at 1280 px: {len(violations)} violations')
    if args.screenshots:
        args.screenshots.mkdir(parents=True, exist_ok=True)
        driver.find_element(By.ID, 'track-map').screenshot(str(args.screenshots / 'map-damaged.png'))
        shots = [('map-good.png', args.samples / 'dmk-drive-report.dsk'), ('map-flux.png', flux_set)]
        real_flux = sorted((args.real.resolve().parent / 'flux').glob('*.scp')) if args.real else []
        shots += [('map-flux-real.png', real_flux[0])] if real_flux else []  # a real capture, where shared
        for shot, image in shots:
            choose(driver, [image], 'folder' if image.is_dir() else 'images')
            if not failures.check(cells(driver), f'{shot}: no map for {image.name}'):
                continue
            driver.find_element(By.ID, 'track-map').screenshot(str(args.screenshots / shot))
        choose(driver, [damaged])
    for shot, metrics in (('map-phone.png', (390, 844, 3)), ('map-zoom-200.png', (640, 500, 2))):
        at_width(failures, driver, args.screenshots / shot if args.screenshots else None, *metrics)
        violations = axe_violations(driver)
        failures.check(not violations, f'axe-core, {shot}: {violations}')
    driver.execute_cdp_cmd('Emulation.clearDeviceMetricsOverride', {})
