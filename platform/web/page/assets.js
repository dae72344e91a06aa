// The assets the page ships compressed (assets.json, written by the web build's build_page.py),
// made back into the very files the game loads, before it starts, while the program itself
// downloads: each sound decoded by the browser into a WAV with the original's header and length,
// each picture into the original's bytes (pictures.js). A picture that does not come back exact
// (a browser that alters what it decodes, a damaged copy) is fetched whole instead; a sound that
// cannot be decoded is left out, and the game plays without it, as it does on the desktop
// without the file. What was unpacked is kept on the device, so that a later visit starts
// without decoding anything.
//
// The title needs one picture (packed with the program, as it is) and the font: the game starts
// as soon as the program is ready. Each file not yet unpacked then is given to the game as a
// stand-in of its size (a picture of one colour, a silent sound; platform/web/late_assets.cpp)
// and handed over as it lands; a frame that would draw a picture still on its way waits for it.
// A test page plays from the very files from its first frame.
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

  // A WAV of the entry's header and length, silent but for its first and last two samples (1
  // and -1, as platform/web/late_assets.h has them).
  function silentStandIn(entry) {
    var header = fromBase64(entry.header), bytes = new Uint8Array(header.length + entry.frames * entry.channels * 2);
    bytes.set(header);
    bytes.set([0x01, 0x00, 0xFF, 0xFF], header.length);
    bytes.set([0x01, 0x00, 0xFF, 0xFF], bytes.length - 4);
    return bytes;
  }

  // A run-length TGA of the entry's header, size and every pixel STAND_IN (B, G, R, A).
  var STAND_IN = [0x5A, 0x56, 0x4C, 0x00];
  function standIn(entry) {
    var header = fromBase64(entry.header), count = entry.width * entry.height;
    var packets = Math.ceil(count / 128), bytes = new Uint8Array(header.length + packets * 5);
    bytes.set(header);
    for (var i = 0, o = header.length; i < packets; ++i, o += 5) {
      bytes[o] = 127 + Math.min(128, count - 128 * i);
      bytes.set(STAND_IN, o + 1);
    }
    return bytes;
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
    // A test page plays from the very files from its first frame; the player's page, from a
    // stand-in of each file not yet unpacked when the program is ready.
    var late = function() { return !Zorvalen.scripted; };
    // Their decoding waits for the first frame, which needs both cores more.
    var shown = Zorvalen.scripted ? Promise.resolve() : new Promise(function(resolve) {
      Zorvalen.frameListeners.push(function() { resolve(); });
    });
    var marked = function(name, promise) {
      return promise.then(function(files) { performance.mark(name); return files; });
    };
    var lateFile = function(entry, bytes, unpacked) {
      // Never failing: a file that cannot be had at all is waited for no more.
      unpacked = unpacked.catch(function() { return null; });
      var file = {name: entry.name, kind: entry.kind, bytes: bytes, width: entry.width, height: entry.height,
                  header: fromBase64(entry.header).length, landed: null, late: unpacked};
      unpacked.then(function(real) { file.landed = real; });
      return file;
    };
    var sounds = entries.filter(function(entry) { return entry.kind == 'wav'; }).map(function(entry) {
      var handed;
      handing.push(new Promise(function(resolve) { handed = resolve; }));
      var length = fromBase64(entry.header).length + entry.frames * entry.channels * 2;
      var unpacked = fromKept(entry, function(bytes) { return bytes.length == length; }).then(function(file) {
        return file || shown.then(function() {
          return unpackSound(entry, handed).then(function(unpacked) { return keep(entry, unpacked); });
        });
      }).then(function(file) { handed(); return file; });
      return late(entry) ? lateFile(entry, silentStandIn(entry), unpacked) : unpacked;
    });
    var after = Promise.all(handing);
    var picture = function(entry, before) {
      return fromKept(entry, function(bytes) {
        return bytes.length == entry.size && ZorvalenPictures.crc32(bytes) == entry.crc;
      }).then(function(file) {
        return file || before.then(function() {
          return unpackPicture(entry, after).then(function(unpacked) { return keep(entry, unpacked); });
        });
      });
    };
    // The pictures one after the other, smallest first: the explosions' and the first stage's
    // are needed before the later stages'.
    var turn = shown;
    var pictures = entries.filter(function(entry) { return entry.kind != 'wav'; }).sort(function(a, b) {
      return a.size - b.size;
    }).map(function(entry) {
      var unpacked = picture(entry, turn);
      turn = unpacked.catch(function() {});
      return late(entry) ? lateFile(entry, standIn(entry), unpacked) : unpacked;
    });
    var landing = function(file) { return file && file.late ? file.late : file; };
    marked('zorvalen-sounds-decoded', Promise.all(sounds.map(landing)));
    marked('zorvalen-pictures-decoded', Promise.all(pictures.map(landing)));
    return Promise.all(sounds.concat(pictures));
  }).catch(function(error) {
    console.warn('Zorvalen: the compressed assets are missing (' + error.message + ').');
    return [];
  }));
})();
