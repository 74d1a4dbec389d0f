#!/usr/bin/env python3
"""A second reader of the desktop's thumbnail cache, written from its rules alone.

check PICTURE CACHE FOLDER LONGER  - the thumbnail of PICTURE under CACHE/thumbnails/FOLDER
    is a whole PNG of 8-bit RGB whose longer side is LONGER, whose URI, MTime and Size
    entries match PICTURE now, mode 0600 in a 0700 folder; prints its path.
adopt PICTURE CACHE FOLDER PNG     - files PNG as PICTURE's thumbnail the way a file manager
    does with a thumbnailer's output: its URI and MTime entries added.
"""
import hashlib
import os
import stat
import struct
import sys
import urllib.parse
import zlib


def uri_of(picture):
    # The desktop leaves unreserved characters, sub-delimiters but ';', ':', '@' and '/' as they are.
    path = os.path.normpath(os.path.abspath(picture))
    return "file://" + urllib.parse.quote(os.fsencode(path), safe="/!$&'()*+,=:@~")


def cached_path(picture, cache, folder):
    name = hashlib.md5(uri_of(picture).encode("ascii")).hexdigest() + ".png"
    return os.path.join(cache, "thumbnails", folder, name)


def chunks(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    at = 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        crc = struct.unpack(">I", data[at + 8 + length:at + 12 + length])[0]
        if len(body) != length or zlib.crc32(kind + body) != crc:
            raise ValueError("chunk %r damaged" % kind)
        yield kind, body
        at += 12 + length
        if kind == b"IEND":
            return
    raise ValueError("no IEND")


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def check(picture, cache, folder, longer):
    path = cached_path(picture, cache, folder)
    data = open(path, "rb").read()
    texts, pixels, header = {}, b"", None
    for kind, body in chunks(data):
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            pixels += body
        elif kind == b"tEXt":
            key, value = body.split(b"\0", 1)
            texts[key.decode("latin-1")] = value.decode("latin-1")
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 2, 0):
        raise ValueError("not 8-bit RGB: %r" % (header,))
    if max(width, height) != longer:
        raise ValueError("%dx%d, not %d on the longer side" % (width, height, longer))
    if len(zlib.decompress(pixels)) != height * (1 + 3 * width):
        raise ValueError("pixel data of the wrong size")
    info = os.stat(picture)
    expected = {"Thumb::URI": uri_of(picture), "Thumb::MTime": str(int(info.st_mtime)),
                "Thumb::Size": str(info.st_size)}
    for key, value in expected.items():
        if texts.get(key) != value:
            raise ValueError("%s is %r, not %r" % (key, texts.get(key), value))
    if stat.S_IMODE(os.stat(path).st_mode) != 0o600:
        raise ValueError("thumbnail mode %o" % stat.S_IMODE(os.stat(path).st_mode))
    if stat.S_IMODE(os.stat(os.path.dirname(path)).st_mode) != 0o700:
        raise ValueError("folder mode %o" % stat.S_IMODE(os.stat(os.path.dirname(path)).st_mode))
    print(path)


def adopt(picture, cache, folder, png):
    data = open(png, "rb").read()
    parts = list(chunks(data))
    entries = [("Thumb::URI", uri_of(picture)), ("Thumb::MTime", str(int(os.stat(picture).st_mtime)))]
    out = data[:8] + chunk(*parts[0])
    out += b"".join(chunk(b"tEXt", key.encode() + b"\0" + value.encode()) for key, value in entries)
    out += b"".join(chunk(kind, body) for kind, body in parts[1:])
    path = cached_path(picture, cache, folder)
    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
    with open(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "wb") as f:
        f.write(out)
    print(path)


if __name__ == "__main__":
    try:
        if sys.argv[1] == "check":
            check(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]))
        else:
            adopt(*sys.argv[2:6])
    except (OSError, ValueError, TypeError, zlib.error, struct.error) as error:
        print("thumbnail check failed: %s" % error, file=sys.stderr)
        sys.exit(1)
