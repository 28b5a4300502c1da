// Loading the analysis once the page's first contents are painted: the workers'
// script, and the analysis' WebAssembly, compiled once, before any image is
// chosen, for every analysis worker. A served page compiles tabulon.wasm as it
// arrives (and the browser keeps the compiled module with the file in its cache);
// a page opened from disk, which can load scripts only, compiles wasm.js's text.
// A served page also names its manifest, so that it can be installed, and keeps
// its files with a service worker, so that it works without the server; from
// disk it does neither.
'use strict';

var TabulonLoader = (function () {
    const page = TabulonPage;
    const served = location.protocol === 'http:' || location.protocol === 'https:';
    // Two analysis workers where the processor has two cores or more: the analysis of one image
    // waits for no other's. The first warms the compiled code up (worker.js), the other only itself.
    const kAnalysers = (navigator.hardwareConcurrency || 1) > 1 ? 2 : 1;
    const kWarmUpRounds = [12, 1];

    function script(src) {
        return new Promise((resolve, reject) => {
            const element = document.createElement('script');
            element.src = src;
            element.onload = resolve;
            element.onerror = () => reject(new Error(src + ' could not be loaded'));
            document.head.appendChild(element);
        });
    }

    // The WebAssembly, compiled, as the workers take it: {module}.
    function wasm() {
        if (!served) {
            return script('wasm.js').then(() => {
                const bytes = tabulonBytesOfHex(self.tabulonWasm);
                delete self.tabulonWasm;
                return WebAssembly.compile(bytes);
            }).then((module) => ({module}));
        }
        const whole = () => fetch('tabulon.wasm').then((response) => {
            if (!response.ok) throw new Error('tabulon.wasm: ' + response.status);
            return response.arrayBuffer();
        }).then((bytes) => WebAssembly.compile(bytes));
        // As it arrives; whole where the browser cannot (or the server names it otherwise than application/wasm).
        const streamed = WebAssembly.compileStreaming ? WebAssembly.compileStreaming(fetch('tabulon.wasm'))
                                                      : Promise.reject(new Error('no streaming'));
        return streamed.catch(whole).then((module) => ({module}));
    }

    // A worker from its function's source as a Blob URL: a page opened from disk may not load a worker from a file.
    function startWorker(body) {
        const url = URL.createObjectURL(new Blob(['(' + body.toString() + ')();'], {type: 'text/javascript'}));
        const started = new Worker(url);
        URL.revokeObjectURL(url);
        started.onerror = (event) => {
            event.preventDefault();
            page.unusable(event.message || 'unknown error');
        };
        return started;
    }

    function why(error) {
        return String(error && error.message ? error.message : error);
    }

    function load() {
        const compiled = wasm();
        script('worker.js').then(() => {
            const analysers = Array.from({length: kAnalysers}, () => startWorker(tabulonWorker));
            page.attach(analysers, startWorker(tabulonReader));
            compiled.then((given) => analysers.forEach((worker, index) => worker.postMessage(
                {wasm: given, warmUp: kWarmUpRounds[Math.min(index, 1)]})), (error) => page.unusable(why(error)));
        }, (error) => page.unusable(why(error)));
        if (served && 'serviceWorker' in navigator) {
            // Once the analysis is in, so that its copies of the site do not slow the page's first use.
            compiled.then(() => navigator.serviceWorker.register('sw.js')).catch(() => {
                // no copies for use without the server; the page works as it is
            });
        }
    }

    if (served) {
        const manifest = document.createElement('link');
        manifest.rel = 'manifest';
        manifest.href = 'manifest.webmanifest';
        document.head.appendChild(manifest);
    }

    // Once the page's first contents are painted (or after a second, in a browser that does not say).
    let loading = false;
    function loadOnce() {
        if (loading) return;
        loading = true;
        setTimeout(load, 0);
    }
    try {
        new PerformanceObserver((list, observer) => {
            if (!list.getEntries().some((entry) => entry.name === 'first-contentful-paint')) return;
            observer.disconnect();
            loadOnce();
        }).observe({type: 'paint', buffered: true});
    } catch (error) {
        // no paint timing: the timeout below
    }
    setTimeout(loadOnce, 1000);

    return {served};
})();
