// The served site's service worker: it keeps every file of the site, so that the
// page opens and analyses images with the server gone, and answers the site's
// requests from what it keeps. Nothing else passes through it. Its version, a hash
// of the files, changes with any of them: the new one keeps the new files, and
// takes over once no page of the old one is open.
'use strict';

const kCache = 'tabulon-@VERSION@';
const kFiles = [
    '@FILES@',
];

self.addEventListener('install', (event) => {
    // Past the browser's cache: the files as the server has them now.
    event.waitUntil(caches.open(kCache).then((cache) => cache.addAll(
        kFiles.map((name) => new Request(name, {cache: 'no-cache'})))));
});

self.addEventListener('activate', (event) => {
    event.waitUntil(caches.keys().then((names) => Promise.all(
        names.filter((name) => name.startsWith('tabulon-') && name !== kCache).map((name) => caches.delete(name)))));
});

self.addEventListener('fetch', (event) => {
    const request = event.request;
    if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
    // The page, however it is asked for (the site's folder, a start with files to open), is index.html.
    const name = request.mode === 'navigate' ? 'index.html' : request;
    event.respondWith(caches.open(kCache)
        .then((cache) => cache.match(name, {ignoreSearch: true}))
        .then((kept) => kept || fetch(request)));
});
