// The assets the page ships compressed (assets.json, written by the web build's build_page.py),
// made back into the very files the game loads, before it starts, while the program itself
// downloads: each sound decoded by the browser into a WAV with the original's header and length,
// each picture into the original's bytes, checked by their CRC-32. A picture that does not come
// back exact (a browser that alters what it decodes) is fetched whole instead; a sound that
// cannot be decoded is left out, and the game plays without it, as it does on the desktop
// without the file.
(function() {
  'use strict';

  function fetchBytes(url) {
    return fetch(url).then(function(response) {
      if (!response.ok) throw new Error(url + ': ' + response.status);
      return response.arrayBuffer();
    });
  }

  function fromBase64(text) {
    var raw = atob(text), bytes = new Uint8Array(raw.length);
    for (var i = 0; i < raw.length; ++i) bytes[i] = raw.charCodeAt(i);
    return bytes;
  }

  var crcTable = null;
  function crc32(bytes) {
    if (!crcTable) {
      crcTable = new Int32Array(256);
      for (var n = 0; n < 256; ++n) {
        var c = n;
        for (var k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320 ^ (c >>> 1) : c >>> 1;
        crcTable[n] = c;
      }
    }
    var crc = -1;
    for (var i = 0; i < bytes.length; ++i) crc = crcTable[(crc ^ bytes[i]) & 255] ^ (crc >>> 8);
    return (crc ^ -1) >>> 0;
  }

  // A 32-bit TGA, run-length encoded row by row exactly as the asset generator's encoder
  // (stb_image_write) does it, from pixels held as B, G, R, A bytes in one number each.
  function encodeTga(header, width, height, pixels) {
    var out = new Uint8Array(header.length + height * (width * 4 + Math.ceil(width / 128)));
    out.set(header);
    var o = header.length;
    var put = function(word) {
      out[o] = word & 255; out[o + 1] = (word >>> 8) & 255; out[o + 2] = (word >>> 16) & 255; out[o + 3] = word >>> 24;
      o += 4;
    };
    for (var row = 0; row < height; ++row) {
      var base = row * width, len;
      for (var i = 0; i < width; i += len) {
        var begin = base + i, diff = true, k;
        len = 1;
        if (i < width - 1) {
          ++len;
          diff = pixels[begin] !== pixels[begin + 1];
          if (diff) {
            // The encoder's own walk: each pixel against the one two places before it.
            var prev = begin;
            for (k = i + 2; k < width && len < 128; ++k) {
              if (pixels[prev] !== pixels[base + k]) { ++prev; ++len; } else { --len; break; }
            }
          } else {
            for (k = i + 2; k < width && len < 128; ++k) {
              if (pixels[begin] === pixels[base + k]) ++len; else break;
            }
          }
        }
        if (diff) {
          out[o++] = len - 1;
          for (k = 0; k < len; ++k) put(pixels[begin + k]);
        } else {
          out[o++] = len + 127;
          put(pixels[begin]);
        }
      }
    }
    return out.subarray(0, o);
  }

  // The lossless WebP holds only opaque pixels, which a 2D canvas hands back unchanged (a
  // canvas keeps colours multiplied by their alpha): the alpha comes apart. WebCodecs' image
  // decoder, where there is one, hands the pixels over without a canvas, in half the time.
  function decodedPixels(buffer) {
    if (typeof ImageDecoder != 'undefined') {
      var decoder = new ImageDecoder({data: buffer, type: 'image/webp', colorSpaceConversion: 'none'});
      return decoder.decode().then(function(result) {
        var frame = result.image, pixels = new Uint8ClampedArray(frame.allocationSize({format: 'RGBA'}));
        return frame.copyTo(pixels, {format: 'RGBA'}).then(function() {
          frame.close();
          decoder.close();
          return pixels;
        });
      });
    }
    return createImageBitmap(new Blob([buffer], {type: 'image/webp'})).then(function(bitmap) {
      var canvas = typeof OffscreenCanvas != 'undefined' ? new OffscreenCanvas(bitmap.width, bitmap.height)
                                                         : document.createElement('canvas');
      canvas.width = bitmap.width;
      canvas.height = bitmap.height;
      var context = canvas.getContext('2d', {willReadFrequently: true});
      context.drawImage(bitmap, 0, 0);
      return context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    });
  }

  function inflated(buffer) {
    if (typeof DecompressionStream == 'undefined') throw new Error('this browser cannot inflate');
    var stream = new Blob([buffer]).stream().pipeThrough(new DecompressionStream('deflate'));
    return new Response(stream).arrayBuffer().then(function(bytes) { return new Uint8Array(bytes); });
  }

  function pictureFile(entry, rgba, alpha) {
    var header = fromBase64(entry.header), count = entry.width * entry.height, i;
    if (rgba.length != count * 4 || (alpha && alpha.length != count)) throw new Error('the picture is not its size');
    if (entry.kind == 'bmp') {
      var bmp = new Uint8Array(header.length + count * 3);
      bmp.set(header);
      for (i = 0; i < count; ++i) {
        bmp[header.length + 3 * i] = rgba[4 * i + 2];
        bmp[header.length + 3 * i + 1] = rgba[4 * i + 1];
        bmp[header.length + 3 * i + 2] = rgba[4 * i];
      }
      return bmp;
    }
    var pixels = new Uint32Array(count);
    for (i = 0; i < count; ++i) {
      var a = alpha ? alpha[i] : 255;
      pixels[i] = (rgba[4 * i + 2] | rgba[4 * i + 1] << 8 | rgba[4 * i] << 16 | a << 24) >>> 0;
    }
    return encodeTga(header, entry.width, entry.height, pixels);
  }

  function unpackPicture(entry, after) {
    return Promise.all([
      fetchBytes(entry.file).then(function(buffer) { return after.then(function() { return decodedPixels(buffer); }); }),
      entry.alpha ? fetchBytes(entry.alpha).then(inflated) : null,
    ]).then(function(parts) {
      var bytes = pictureFile(entry, parts[0], parts[1]);
      if (bytes.length != entry.size || crc32(bytes) != entry.crc) throw new Error('it did not come back exact');
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
    // The sounds decode on the browser's own threads, the music longest of all, while the
    // pictures' turn needs this one: the sounds are handed over first.
    var handing = [];
    var sounds = entries.filter(function(entry) { return entry.kind == 'wav'; }).map(function(entry) {
      var handed;
      handing.push(new Promise(function(resolve) { handed = resolve; }));
      return unpackSound(entry, handed).then(function(file) { handed(); return file; });
    });
    var after = Promise.all(handing);
    return Promise.all(sounds.concat(entries.filter(function(entry) { return entry.kind != 'wav'; }).map(function(entry) {
      return unpackPicture(entry, after);
    })));
  }).catch(function(error) {
    console.warn('Zorvalen: the compressed assets are missing (' + error.message + ').');
    return [];
  }));
})();
