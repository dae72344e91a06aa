// The assets the page ships compressed (assets.json, written by the web build's build_page.py),
// made back into the very files the game loads, before it starts, while the program itself
// downloads: each sound decoded by the browser into a WAV with the original's header and length,
// each picture into the original's bytes (pictures.js). A picture that does not come back exact
// (a browser that alters what it decodes, a damaged copy) is fetched whole instead; a sound that
// cannot be decoded is left out, and the game plays without it, as it does on the desktop
// without the file. What was unpacked is kept on the device, so that a later visit starts
// without decoding anything.
(function() {
  'use strict';

  var fetchBytes = ZorvalenPictures.fetchBytes, fromBase64 = ZorvalenPictures.fromBase64;

  // The pictures are unpacked by a worker of their own, off this thread, in the order they are
  // asked for; where no worker can be had, here, after the sounds are handed to their decoder.
  var unpacker = null, asked = new Map(), nextId = 0;
  try {
    unpacker = new Worker('page/unpack_worker.js');
    unpacker.onmessage = function(event) {
      var ask = asked.get(event.data.id);
      asked.delete(event.data.id);
      if (event.data.error) ask.reject(new Error(event.data.error)); else ask.resolve(event.data.bytes);
    };
    unpacker.onerror = function(event) {
      // The worker itself is gone (its script missing or broken): what it was asked is unpacked here.
      event.preventDefault();
      var left = Array.from(asked.values());
      asked.clear();
      unpacker = null;
      left.forEach(function(ask) { ask.resolve(unpackHere(ask.entry, ask.after)); });
    };
  } catch (error) {
    unpacker = null;
  }

  // The files as unpacked, in a cache of their own beside the service worker's (which holds them as
  // shipped), each under a name that changes with what it was unpacked from. A kept file is
  // checked as an unpacked one is (a picture by its length and CRC-32, a sound by its length);
  // one that fails is unpacked again.
  var kept = window.caches ? caches.open('unpacked-zorvalen').catch(function() { return null; }) : Promise.resolve(null);

  function keptUrl(entry) {
    var from = [entry.file, entry.crc, entry.size, entry.frames, entry.channels, entry.rate, entry.header].join('|');
    return new URL('unpacked/' + entry.name + '?' + encodeURIComponent(from), document.baseURI).href;
  }

  function fromKept(entry, whole) {
    return kept.then(function(cache) {
      return cache && cache.match(keptUrl(entry));
    }).then(function(response) {
      return response ? response.arrayBuffer() : null;
    }).then(function(buffer) {
      if (!buffer) return null;
      var bytes = new Uint8Array(buffer);
      if (whole(bytes)) return {name: entry.name, bytes: bytes};
      console.warn('Zorvalen: the kept ' + entry.name + ' is damaged; it is unpacked again.');
      return null;
    }).catch(function() { return null; });
  }

  function keep(entry, file) {
    if (file) kept.then(function(cache) { return cache && cache.put(keptUrl(entry), new Response(file.bytes)); })
                  .catch(function() {});
    return file;
  }

  // Files kept for another build of the page go once this one's are known.
  function dropOthers(entries) {
    var ours = new Set(entries.map(keptUrl));
    kept.then(function(cache) {
      return cache && cache.keys().then(function(requests) {
        return Promise.all(requests.filter(function(request) { return !ours.has(request.url); })
                                   .map(function(request) { return cache.delete(request); }));
      });
    }).catch(function() {});
  }

  function unpackHere(entry, after) {
    return after.then(function() { return ZorvalenPictures.unpack(entry, document.baseURI); });
  }

  function unpackPicture(entry, after) {
    var unpacked = unpacker ? new Promise(function(resolve, reject) {
      var id = nextId++;
      asked.set(id, {resolve: resolve, reject: reject, entry: entry, after: after});
      unpacker.postMessage({id: id, entry: entry, base: document.baseURI});
    }) : unpackHere(entry, after);
    return unpacked.then(function(bytes) {
      return {name: entry.name, bytes: bytes};
    }).catch(function(error) {
      console.warn('Zorvalen: ' + entry.name + ' is fetched whole (' + error.message + ').');
      return fetchBytes(entry.original).then(function(buffer) { return {name: entry.name, bytes: new Uint8Array(buffer)}; });
    });
  }

  // Decoded at the WAV's own rate and channels; the samples as 16-bit numbers after the
  // original header, as many as the original had. `handed` settles once the browser has the
  // bytes to decode.
  function unpackSound(entry, handed) {
    var Offline = window.OfflineAudioContext || window.webkitOfflineAudioContext;
    return fetchBytes(entry.file).then(function(buffer) {
      if (!Offline) throw new Error('this browser has no Web Audio');
      var context = new Offline(entry.channels, entry.frames, entry.rate);
      return new Promise(function(resolve, reject) {
        var promise = context.decodeAudioData(buffer, resolve, reject);
        if (promise && promise.catch) promise.catch(reject);
        handed();
      });
    }).then(function(audio) {
      var header = fromBase64(entry.header), channels = entry.channels, frames = entry.frames;
      var bytes = new Uint8Array(header.length + frames * channels * 2);
      bytes.set(header);
      var view = new DataView(bytes.buffer);
      for (var channel = 0; channel < channels; ++channel) {
        var samples = audio.getChannelData(Math.min(channel, audio.numberOfChannels - 1));
        var end = Math.min(frames, samples.length);
        for (var i = 0; i < end; ++i) {
          var s = samples[i];
          var value = s < 0 ? Math.max(-32768, Math.round(s * 32768)) : Math.min(32767, Math.round(s * 32767));
          view.setInt16(header.length + 2 * (i * channels + channel), value || 0, true);
        }
      }
      return {name: entry.name, bytes: bytes};
    }).catch(function(error) {
      console.warn('Zorvalen: ' + entry.name + ' could not be decoded (' + (error && error.message || error) +
                   '); the game plays without it.');
      return null;
    });
  }

  Zorvalen.files.push(fetch('assets.json').then(function(response) {
    if (!response.ok) throw new Error('assets.json: ' + response.status);
    return response.json();
  }).then(function(entries) {
    performance.mark('zorvalen-assets-listed');
    // The sounds decode on the browser's own threads, the music longest of all, while the
    // pictures' turn needs this one: the sounds are handed over first.
    var handing = [];
    dropOthers(entries);
    var sounds = entries.filter(function(entry) { return entry.kind == 'wav'; }).map(function(entry) {
      var handed;
      handing.push(new Promise(function(resolve) { handed = resolve; }));
      var length = fromBase64(entry.header).length + entry.frames * entry.channels * 2;
      return fromKept(entry, function(bytes) { return bytes.length == length; }).then(function(file) {
        return file || unpackSound(entry, handed).then(function(unpacked) { return keep(entry, unpacked); });
      }).then(function(file) { handed(); return file; });
    });
    var after = Promise.all(handing);
    var marked = function(name, promise) {
      return promise.then(function(files) { performance.mark(name); return files; });
    };
    return Promise.all([
      marked('zorvalen-sounds-decoded', Promise.all(sounds)),
      marked('zorvalen-pictures-decoded', Promise.all(entries.filter(function(entry) { return entry.kind != 'wav'; }).map(function(entry) {
        return fromKept(entry, function(bytes) {
          return bytes.length == entry.size && ZorvalenPictures.crc32(bytes) == entry.crc;
        }).then(function(file) {
          return file || unpackPicture(entry, after).then(function(unpacked) { return keep(entry, unpacked); });
        });
      }))),
    ]).then(function(parts) { return parts[0].concat(parts[1]); });
  }).catch(function(error) {
    console.warn('Zorvalen: the compressed assets are missing (' + error.message + ').');
    return [];
  }));
})();
