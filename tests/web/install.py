"""The page as an installed application (browser_test.py runs it): served, its manifest parses
without errors (DevTools' Page.getAppManifest), names the program's icons and opens every
extension tabulon-report's help names and the archives; a service worker controls the page
after one reload; with the server stopped, a reload shows the page and a chosen image gets
tabulon-report's answer. From disk the page has neither manifest nor service worker."""
import json
import re
import subprocess

from browser import choose, serve, wait_for_state

ARCHIVES = {'.zip', '.7z', '.rar', '.tar', '.gz', '.bz2', '.xz', '.zst'}
ICONS = {'icons/tabulon.svg', 'icons/tabulon-256.png'}


def service_worker_ready(driver):
    """Waits for the page's service worker to have kept the site (served pages only)."""
    return driver.execute_async_script("""const done = arguments[arguments.length - 1];
        if (!('serviceWorker' in navigator) || !/^https?:/.test(location.protocol)) return done(false);
        navigator.serviceWorker.ready.then(() => done(true), () => done(false));""")


def controlled(driver):
    return driver.execute_script('return Boolean(navigator.serviceWorker && navigator.serviceWorker.controller)')


def help_extensions(native):
    """The disk image extensions tabulon-report's help names: "(.dmk .dsk ... .td0)"."""
    text = subprocess.run([native, '--help'], capture_output=True, text=True).stdout
    named = re.search(r'\((\.\w+(?:\s+\.\w+)+)\)', text)
    return set(named.group(1).split()) if named else set()


def check_manifest(failures, driver, native):
    manifest = driver.execute_cdp_cmd('Page.getAppManifest', {})
    failures.check(manifest.get('url', '').endswith('/manifest.webmanifest') and not manifest.get('errors'),
                   f'manifest: {manifest.get("url")} errors {manifest.get("errors")}')
    data = json.loads(manifest.get('data') or '{}')
    failures.check(data.get('display') == 'standalone' and data.get('start_url') and data.get('name'),
                   f'manifest: display {data.get("display")}, start_url {data.get("start_url")}')
    icons = {icon['src'] for icon in data.get('icons', [])}
    failures.check(ICONS <= icons, f'manifest: icons {icons}')
    accepted = {extension for handler in data.get('file_handlers', [])
                for extensions in handler.get('accept', {}).values() for extension in extensions}
    wanted = help_extensions(native) | {'.raw'} | ARCHIVES
    failures.check(len(wanted) > len(ARCHIVES) + 1 and wanted <= accepted,
                   f'manifest: file handlers lack {sorted(wanted - accepted)}')
    errors = driver.execute_cdp_cmd('Page.getInstallabilityErrors', {}).get('installabilityErrors', [])
    failures.check(not errors, f'installability: {errors}')


def check_install(failures, driver, args, native_line, image):
    """native_line: tabulon-report --json --all-slots's line for image, named as the page names it."""
    with serve(args.site) as (url, _):
        driver.get(url)
        wait_for_state(driver, ['ready'])
        check_manifest(failures, driver, args.native)
        failures.check(service_worker_ready(driver), 'served: no service worker')
        failures.check(not controlled(driver), 'served: controlled before a reload')
        driver.refresh()
        wait_for_state(driver, ['ready'])
        failures.check(controlled(driver), 'served: no service worker controls the page after a reload')
    # The server gone: the page from the service worker's copies, and an image analysed.
    driver.refresh()
    state = wait_for_state(driver, ['ready', 'failed'], seconds=60)
    failures.check(state == 'ready' and controlled(driver), f'offline: the page is "{state}"')
    state = choose(driver, [image])
    jsonl = driver.execute_script('return document.getElementById("jsonl").textContent')
    failures.check(state == 'done' and jsonl == native_line + '\n', f'offline: "{state}", {jsonl!r}')
    # From disk: none of it.
    driver.get((args.site / 'index.html').resolve().as_uri())
    wait_for_state(driver, ['ready'])
    has = driver.execute_script("""return [Boolean(document.querySelector('link[rel=manifest]')),
        Boolean(navigator.serviceWorker && navigator.serviceWorker.controller)]""")
    failures.check(has == [False, False], f'file://: manifest and service worker {has}')
    print('installable: manifest, service worker, offline reload and answer checked; file:// without them')
