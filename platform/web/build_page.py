#!/usr/bin/env python3
"""Makes the page's download small and its offline copy whole (run by the web build).

  build_page.py assets ASSET_DIR OUT_DIR
      Splits the generated assets: the title's picture is packed as it is; the sounds go as Ogg
      Vorbis and the other large pictures as lossless
      WebP (with their alpha apart, deflated) into OUT_DIR/assets/, listed in OUT_DIR/assets.json with what the page needs to make
      the game's own files of them again (page/assets.js); the rest are copied into
      OUT_DIR/packed/, which the build packs into zorvalen.data. The originals are kept beside
      the compressed files, for a browser whose pictures do not come back exact.

  build_page.py worker OUT_DIR
      Writes OUT_DIR/sw.js from the page's service worker (page/sw.js) with the list of the
      page's files and a version made from their contents, so a new build is a new worker; and
      every file the page may fetch to OUT_DIR/page.files, for the tests that serve the page.

Needs ffmpeg (with libvorbis and libwebp, as Debian's has).
"""
import base64
import hashlib
import json
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = pathlib.Path(__file__).resolve().parent
# A picture is sent compressed only when that saves at least this much over the original's gzip.
WORTH_IT = 16 * 1024
# Vorbis rather than Opus: the same size at this quality, and Chromium decodes it five times as
# fast (Opus is always 48 kHz and must be resampled to the WAV's 44.1), which is time the page
# waits before the game starts.
VORBIS_QUALITY = '2'
# What the title's first frame draws beside the font: packed as it is, so that the first frame
# waits for no decoding (it costs about 170 KB more of the first visit, gzipped).
FIRST_FRAME = {'startscreen.bmp'}


def write_if_changed(path, data):
    path = pathlib.Path(path)
    if path.exists() and path.read_bytes() == data:
        return
    path.write_bytes(data)


def tga_pixels(data):
    """The header and the BGRA rows in file order of a 32-bit run-length TGA, or None."""
    if len(data) < 18 or data[2] != 10 or data[16] != 32 or data[1] != 0:
        return None
    width, height = struct.unpack('<HH', data[12:16])
    at, need, out = 18 + data[0], width * height * 4, bytearray()
    try:
        while len(out) < need:
            packet = data[at]
            count = (packet & 127) + 1
            if packet & 128:
                out += data[at + 1:at + 5] * count
                at += 5
            else:
                out += data[at + 1:at + 1 + 4 * count]
                at += 1 + 4 * count
    except IndexError:
        return None
    if len(out) != need or at != len(data):
        return None
    return data[:18 + data[0]], width, height, bytes(out)


def bmp_pixels(data):
    """The header and the BGR rows of a 24-bit bottom-up BMP whose rows need no padding, or None."""
    if len(data) < 54 or data[:2] != b'BM':
        return None
    offset, = struct.unpack('<I', data[10:14])
    width, height, planes, bits, compression = struct.unpack('<iiHHI', data[18:34])
    if bits != 24 or compression != 0 or width <= 0 or height <= 0 or (width * 3) % 4:
        return None
    if len(data) != offset + width * height * 3:
        return None
    return data[:offset], width, height, data[offset:]


def webp_of(planes_ppm, scratch, name):
    """Lossless WebP of an RGB picture (a PPM's bytes)."""
    source = scratch / (name + '.ppm')
    target = scratch / (name + '.webp')
    source.write_bytes(planes_ppm)
    subprocess.run(['ffmpeg', '-loglevel', 'error', '-y', '-i', str(source), '-c:v', 'libwebp', '-lossless', '1',
                    '-compression_level', '6', '-q:v', '100', str(target)], check=True)
    return target.read_bytes()


def picture_entry(name, data, scratch):
    """The compressed picture, its alpha (deflated, or None) and its entry, or None where it would
    not pay. The WebP holds only opaque pixels, which every browser hands back exact; a
    picture's alpha goes apart, as bytes that DecompressionStream inflates. (As grey in the
    WebP it would double the pixels to decode, and decoding is what the page waits for.)"""
    tga = tga_pixels(data) if name.endswith('.tga') else None
    bmp = bmp_pixels(data) if name.endswith('.bmp') else None
    if tga:
        header, width, height, bgra = tga
        blue, green, red, alpha = bgra[0::4], bgra[1::4], bgra[2::4], bgra[3::4]
        has_alpha = alpha != b'\xff' * len(alpha)
    elif bmp:
        header, width, height, bgr = bmp
        blue, green, red = bgr[0::3], bgr[1::3], bgr[2::3]
        alpha, has_alpha = None, False
    else:
        return None
    rgb = bytearray(3 * width * height)
    rgb[0::3], rgb[1::3], rgb[2::3] = red, green, blue
    picture = webp_of(b'P6 %d %d 255\n' % (width, height) + bytes(rgb), scratch, name)
    deflated = zlib.compress(alpha, 9) if has_alpha else None
    if len(picture) + len(deflated or b'') + WORTH_IT > len(zlib.compress(data, 9)):
        return None
    entry = {'name': name, 'kind': 'tga' if tga else 'bmp', 'file': 'assets/' + name + '.webp',
             'width': width, 'height': height, 'header': base64.b64encode(header).decode(),
             'size': len(data), 'crc': zlib.crc32(data)}
    if has_alpha:
        entry['alpha'] = 'assets/' + name + '.alpha'
    return entry, picture, deflated


def sound_entry(name, data, scratch):
    """Ogg Vorbis of a 16-bit PCM WAV whose samples follow its 16-byte format chunk, and its entry."""
    if len(data) < 44 or data[:4] != b'RIFF' or data[8:16] != b'WAVEfmt ' or data[36:40] != b'data':
        return None
    size, tag, channels, rate = struct.unpack('<IHHI', data[16:28])
    bits, = struct.unpack('<H', data[34:36])
    length, = struct.unpack('<I', data[40:44])
    if size != 16 or tag != 1 or bits != 16 or len(data) != 44 + length or channels not in (1, 2):
        return None
    source, target = scratch / name, scratch / (name + '.ogg')
    source.write_bytes(data)
    subprocess.run(['ffmpeg', '-loglevel', 'error', '-y', '-i', str(source), '-c:a', 'libvorbis',
                    '-q:a', VORBIS_QUALITY, str(target)], check=True)
    entry = {'name': name, 'kind': 'wav', 'file': 'assets/' + name + '.ogg', 'channels': channels, 'rate': rate,
             'frames': length // (2 * channels), 'header': base64.b64encode(data[:44]).decode()}
    return entry, target.read_bytes(), None


def check_told_apart(entries):
    """The page starts the game on stand-ins of these files, and the platform knows the texture or
    sound buffer made of each stand-in by its size alone (late_assets.cpp): two pictures of one
    size, or two sounds of one length, would land in each other's place."""
    seen = {}
    for entry in entries:
        size = ('wav', entry['frames'] * entry['channels']) if entry['kind'] == 'wav' else \
            ('picture', entry['width'], entry['height'])
        if size in seen:
            sys.exit(f"build_page.py: {seen[size]} and {entry['name']} are the same size, so the page could "
                     f"not tell their stand-ins apart: ship one of them as it is (FIRST_FRAME)")
        seen[size] = entry['name']


def pack_assets(asset_dir, out_dir):
    asset_dir, out_dir = pathlib.Path(asset_dir), pathlib.Path(out_dir)
    packed, shipped = out_dir / 'packed', out_dir / 'assets'
    for folder in (packed, shipped):
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
    entries = []
    with tempfile.TemporaryDirectory(prefix='zorvalen-page-') as scratch:
        scratch = pathlib.Path(scratch)
        for path in sorted(asset_dir.iterdir()):
            if not path.is_file() or path.name.startswith('.') or path.name.endswith('.part'):
                continue
            data = path.read_bytes()
            if path.name in FIRST_FRAME:
                made = None
            else:
                made = sound_entry(path.name, data, scratch) if path.suffix == '.wav' else \
                    picture_entry(path.name, data, scratch)
            if made is None:
                shutil.copyfile(path, packed / path.name)
                continue
            entry, compressed, alpha = made
            (out_dir / entry['file']).write_bytes(compressed)
            if alpha is not None:
                (out_dir / entry['alpha']).write_bytes(alpha)
            if entry['kind'] != 'wav':
                shutil.copyfile(path, shipped / path.name)
                entry['original'] = 'assets/' + path.name
            entries.append(entry)
    check_told_apart(entries)
    write_if_changed(out_dir / 'assets.json', json.dumps(entries, indent=1).encode() + b'\n')
    (packed / '.stamp').write_bytes(b'')


def page_files(out_dir):
    """Every file the page needs, as the worker keeps them: the shell, its scripts and styles, the
    program and its packed assets, the compressed assets, the manifest and the icons."""
    names = ['./', 'index.html', 'zorvalen.js', 'zorvalen.wasm', 'zorvalen.data', 'assets.json',
             'manifest.webmanifest']
    for folder in ('page', 'icons'):
        names += sorted(f'{folder}/{p.name}' for p in (out_dir / folder).iterdir() if p.is_file())
    entries = json.loads((out_dir / 'assets.json').read_text())
    names += [entry[key] for entry in entries for key in ('file', 'alpha') if key in entry]
    return names


def write_worker(out_dir):
    out_dir = pathlib.Path(out_dir)
    names = page_files(out_dir)
    version = hashlib.sha256()
    for name in names:
        if name != './':
            version.update(name.encode() + b'\0' + (out_dir / name).read_bytes())
    template = (HERE / 'page' / 'sw.js').read_text()
    worker = template.replace("'@VERSION@'", json.dumps(version.hexdigest()[:16])) \
                     .replace("['@FILES@']", json.dumps(names, indent=2))
    write_if_changed(out_dir / 'sw.js', worker.encode())
    originals = [entry['original'] for entry in json.loads((out_dir / 'assets.json').read_text()) if 'original' in entry]
    served = [n for n in names if n != './'] + ['sw.js'] + originals
    write_if_changed(out_dir / 'page.files', ('\n'.join(served) + '\n').encode())


def main():
    if len(sys.argv) == 4 and sys.argv[1] == 'assets':
        pack_assets(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == 'worker':
        write_worker(sys.argv[2])
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    main()
