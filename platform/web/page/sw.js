// The page's service worker: keeps every file of the page on the device, so that the game
// plays offline, and serves them from there, so that a repeat visit asks the network only for
// this worker (the browser's own check for a new version). The web build writes the version
// and the list of files (platform/web/build_page.py): a new build is a new worker, which keeps
// the new files before it takes over and then drops the old ones.
'use strict';
var VERSION = '@VERSION@';
var FILES = ['@FILES@'];
var CACHE = 'zorvalen-' + VERSION;

self.addEventListener('install', function(event) {
  event.waitUntil(caches.open(CACHE).then(function(cache) {
    // Past any copy the browser's HTTP cache may hold of the last version.
    return cache.addAll(FILES.map(function(file) { return new Request(file, {cache: 'reload'}); }));
  }).then(function() { return self.skipWaiting(); }));
});

self.addEventListener('activate', function(event) {
  event.waitUntil(caches.keys().then(function(names) {
    return Promise.all(names.filter(function(name) {
      return name.indexOf('zorvalen-') == 0 && name != CACHE;
    }).map(function(name) { return caches.delete(name); }));
  }).then(function() { return self.clients.claim(); }));
});

self.addEventListener('fetch', function(event) {
  var request = event.request;
  if (request.method != 'GET' || new URL(request.url).origin != self.location.origin) return;
  // The page's address may carry a query (?stats): the same file.
  event.respondWith(caches.open(CACHE).then(function(cache) {
    return cache.match(request, {ignoreSearch: true});
  }).then(function(kept) { return kept || fetch(request); }));
});
