// The pictures the page ships as lossless WebP (with their alpha apart, deflated) made back into
// the very bytes of the game's own files, checked by their CRC-32. The same code runs in the
// page's unpacking worker (unpack_worker.js), off the page's own thread, and in the page itself
// where there is no worker to be had.
var ZorvalenPictures = (function() {
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
                                                         : self.document.createElement('canvas');
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

  // The file's bytes, or an error when it does not come back exact; `base` is the page's address.
  function unpack(entry, base) {
    return Promise.all([
      fetchBytes(new URL(entry.file, base)).then(decodedPixels),
      entry.alpha ? fetchBytes(new URL(entry.alpha, base)).then(inflated) : null,
    ]).then(function(parts) {
      var bytes = pictureFile(entry, parts[0], parts[1]);
      if (bytes.length != entry.size || crc32(bytes) != entry.crc) throw new Error('it did not come back exact');
      return bytes;
    });
  }

  return {unpack: unpack, fetchBytes: fetchBytes, fromBase64: fromBase64, crc32: crc32};
})();
