"""What the page's browser tests and benchmark share: the site served, headless Chromium, choosing
and dropping files as a user does, the page's state, made images and the renderers' memory."""
import base64
import contextlib
import http.server
import json
import os
import pathlib
import random
import re
import socket
import tempfile
import threading
import time
import urllib.parse
import urllib.request


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      '.wasm': 'application/wasm', '.webmanifest': 'application/manifest+json'}

    def log_message(self, *args):
        pass


@contextlib.contextmanager
def serve(site, port=0):
    """The site on 127.0.0.1 (on port, or any free one), keeping the path of every request made to it."""
    requests = []

    class Handler(QuietHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=str(site), **kwargs)

        def do_GET(self):
            requests.append(self.path)
            super().do_GET()

    server = http.server.ThreadingHTTPServer(('127.0.0.1', port), Handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f'http://127.0.0.1:{server.server_address[1]}/index.html', requests
    finally:
        server.shutdown()
        server.server_close()


@contextlib.contextmanager
def chromium(width=1280, height=1000):
    """Headless Chromium in a profile of its own."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    with tempfile.TemporaryDirectory(prefix='tabulon-chromium-') as profile:
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        # No back-forward cache: a page left stays no longer, with its workers and memory.
        for flag in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                     '--disable-background-networking', '--disable-component-update', '--disable-sync',
                     '--disable-features=BackForwardCache', '--user-data-dir=' + profile, f'--window-size={width},{height}'):
            options.add_argument(flag)
        options.set_capability('goog:loggingPrefs', {'performance': 'ALL', 'browser': 'ALL'})
        driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
        driver.profile = profile
        try:
            yield driver
        finally:
            driver.quit()


def wait_for_state(driver, states, seconds=120):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        state = driver.execute_script('return document.body.dataset.state')
        if state in states:
            return state
        time.sleep(0.02)
    raise AssertionError(f'the page stayed "{state}", not {states}, for {seconds} s')


def choose(driver, files, chooser='images', wait=True):
    """Chooses the files (or, with chooser 'folder', a folder) as a user does, through DevTools."""
    driver.execute_script('document.body.dataset.state = "choosing"')
    document = driver.execute_cdp_cmd('DOM.getDocument', {})
    node = driver.execute_cdp_cmd('DOM.querySelector', {'nodeId': document['root']['nodeId'], 'selector': '#' + chooser})
    driver.execute_cdp_cmd('DOM.setFileInputFiles', {'files': [str(path) for path in files], 'nodeId': node['nodeId']})
    return wait_for_state(driver, ['done', 'failed'], seconds=600) if wait else None


def drop(driver, paths, wait=True):
    """Drops files and folders on the page as a user does: DevTools' drag events, not a script's."""
    driver.execute_script('document.body.dataset.state = "dropping"')
    data = {'items': [], 'files': [str(path) for path in paths], 'dragOperationsMask': 1}
    for kind in ('dragEnter', 'dragOver', 'drop'):
        driver.execute_cdp_cmd('Input.dispatchDragEvent', {'type': kind, 'x': 200, 'y': 200, 'data': data})
    return wait_for_state(driver, ['done', 'failed'], seconds=600) if wait else None


def network_requests(driver):
    """The URLs the page asked for since the last call (Chromium's performance log)."""
    urls = []
    for entry in driver.get_log('performance'):
        message = json.loads(entry['message'])['message']
        if message.get('method') == 'Network.requestWillBeSent':
            urls.append(message['params']['request']['url'])
    return urls


class DevTools:
    """A DevTools connection of its own to the browser (Selenium's commands give no events)."""

    def __init__(self, driver):
        address = driver.capabilities['goog:chromeOptions']['debuggerAddress']
        opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
        target = urllib.parse.urlparse(json.loads(opener.open(f'http://{address}/json/version').read())
                                       ['webSocketDebuggerUrl'])
        self.socket = socket.create_connection((target.hostname, target.port), timeout=60)
        key = base64.b64encode(os.urandom(16)).decode()
        self.socket.sendall(f'GET {target.path} HTTP/1.1\r\nHost: {address}\r\nUpgrade: websocket\r\n'
                            f'Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n'
                            .encode())
        answer = b''
        while not answer.endswith(b'\r\n\r\n'):
            answer += self.socket.recv(1)
        assert b' 101 ' in answer.split(b'\r\n')[0], answer
        self.calls = 0
        self.events = []  # those that came before an answer

    def _exactly(self, count):
        data = b''
        while len(data) < count:
            part = self.socket.recv(count - len(data))
            if not part:
                raise ConnectionError('DevTools closed the connection')
            data += part
        return data

    def message(self):
        """The next event: one kept while waiting for an answer, else one read."""
        return self.events.pop(0) if self.events else self._read()

    def _read(self):
        """One message, from its frames (the browser's are unmasked)."""
        payload = b''
        while True:
            first, second = self._exactly(2)
            length = second & 0x7f
            if length >= 126:
                length = int.from_bytes(self._exactly(2 if length == 126 else 8), 'big')
            payload += self._exactly(length)
            if first & 0x80:
                return json.loads(payload)

    def call(self, method, params=None, session=None):
        """The command's answer; the events that come before it are kept for message()."""
        self.calls += 1
        command = {'id': self.calls, 'method': method, 'params': params or {}}
        if session:
            command['sessionId'] = session
        payload = json.dumps(command).encode()
        length = len(payload)
        header = bytes([0x81]) + (bytes([0x80 | length]) if length < 126 else bytes([0x80 | 126]) + length.to_bytes(2, 'big')
                                  if length < 65536 else bytes([0x80 | 127]) + length.to_bytes(8, 'big'))
        mask = os.urandom(4)
        self.socket.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))
        while (message := self._read()).get('id') != self.calls:
            self.events.append(message)
        return message.get('result', message)

    def close(self):
        self.socket.close()


class Trace(DevTools):
    """Chromium's trace, from when it is made: by default the tasks of its threads and the page's marks."""

    def __init__(self, driver, categories=('toplevel', 'blink.user_timing')):
        super().__init__(driver)
        self.call('Tracing.start', {'transferMode': 'ReportEvents', 'traceConfig': {
            'recordMode': 'recordAsMuchAsPossible', 'traceBufferSizeInKb': 400 * 1024,
            'includedCategories': list(categories)}})

    def end(self):
        """Ends the trace: its events."""
        self.call('Tracing.end')  # then its events
        events = []
        while (message := self.message()).get('method') != 'Tracing.tracingComplete':
            if message.get('method') == 'Tracing.dataCollected':
                events += message['params']['value']
        self.close()
        return events

    def tasks_after(self, mark):
        """Ends the trace: the durations (ms) of the renderer main thread's tasks that began after
        the user timing mark named mark, in the process that made it; None without the mark."""
        events = self.end()
        marks = [e for e in events if e.get('name') == mark]
        if not marks:
            return None
        main = {(e['pid'], e['tid']) for e in events if e.get('ph') == 'M' and e.get('name') == 'thread_name'
                and e['args'].get('name') == 'CrRendererMain'}
        since, pid = marks[0]['ts'], marks[0]['pid']
        return [e['dur'] / 1000 for e in events if e.get('ph') == 'X' and e.get('name') == 'ThreadControllerImpl::RunTask'
                and (e['pid'], e['tid']) in main and e['pid'] == pid and e['ts'] >= since]


def renderer_memory_kib(driver):
    """Resident and peak memory of this browser's renderer processes, where the workers run."""
    rss = peak = 0
    for proc in pathlib.Path('/proc').iterdir():
        if not proc.name.isdigit():
            continue
        try:
            command = (proc / 'cmdline').read_bytes()
            if b'--type=renderer' not in command or driver.profile.encode() not in command:
                continue
            status = (proc / 'status').read_text()
        except OSError:
            continue
        rss += int(re.search(r'VmRSS:\s+(\d+)', status).group(1))
        peak += int(re.search(r'VmHWM:\s+(\d+)', status).group(1))
    return rss, peak


def bench_images(folder, sources, count, noise=True):
    """count mixed images: the sources as they are, cut short, and noise (as scripts/bench-cli);
    without noise, the sources as they are."""
    folder.mkdir(parents=True, exist_ok=True)
    made = []
    random_bytes = random.Random(18)
    for i in range(count):
        path = folder / f'image-{i:04d}.dsk'
        source = sources[i % len(sources)].read_bytes()
        kind = i % 5 if noise else 0
        if kind < 3:
            path.write_bytes(source)
        elif kind == 3:
            path.write_bytes(source[:(i * 37) % 9000])
        else:
            path.write_bytes(random_bytes.randbytes(4096 + (i * 997) % 300000))
        made.append(path)
    return made


class Failures:
    def __init__(self):
        self.count = 0

    def check(self, ok, what):
        if not ok:
            self.count += 1
            print('FAIL:', what)
        return ok
