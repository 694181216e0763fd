#!/usr/bin/env python3
"""Turns the pixel maps in art/*.txt into the 16-colour BMP and ICO files the resource script uses.

Usage: make_images.py ART_FILE OUTPUT_FILE

An art file holds comment lines (#), "kind bitmap" or "kind icon", one "colour C RRGGBB" line per
character used (or "colour C transparent", icons only), and one or more "image N" lines each followed
by N rows of N characters. A bitmap has one image; an icon has one image per size. Every colour must
be one of the 16 standard colours, so the files are 4 bits per pixel with the standard palette.
The output depends only on the art file: the same map always gives the same bytes.
"""
import struct
import sys

PALETTE = [0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
           0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF]
TRANSPARENT = -1


def fail(message):
    sys.exit(f"make_images.py: {message}")


def parse(path):
    kind, colours, images = None, {}, []
    with open(path, encoding="ascii") as f:
        lines = [line.rstrip("\n") for line in f]
    i = 0
    while i < len(lines):
        words = lines[i].split()
        i += 1
        if not words or words[0].startswith("#"):
            continue
        if words[0] == "kind":
            kind = words[1]
        elif words[0] == "colour":
            char, value = words[1], words[2]
            if value == "transparent":
                colours[char] = TRANSPARENT
            elif int(value, 16) in PALETTE:
                colours[char] = PALETTE.index(int(value, 16))
            else:
                fail(f"{path}: {value} is not one of the 16 standard colours")
        elif words[0] == "image":
            size = int(words[1])
            rows = lines[i:i + size]
            i += size
            if len(rows) != size or any(len(r) != size for r in rows):
                fail(f"{path}: image {size} needs {size} rows of {size} characters")
            try:
                images.append([[colours[c] for c in row] for row in rows])
            except KeyError as e:
                fail(f"{path}: character {e} has no colour line")
        else:
            fail(f"{path}: cannot read line {i}: {lines[i - 1]!r}")
    if kind not in ("bitmap", "icon") or not images or (kind == "bitmap" and len(images) != 1):
        fail(f"{path}: needs 'kind bitmap' with one image or 'kind icon' with images")
    return kind, images


def palette_bytes():
    return b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0) for c in PALETTE)


def pixel_rows(image):
    """4-bit rows, bottom row first, each padded to 4 bytes; transparent pixels are black."""
    out = b""
    for row in reversed(image):
        nibbles = [max(p, 0) for p in row] + [0] * ((-len(row)) % 8)
        out += bytes(nibbles[k] << 4 | nibbles[k + 1] for k in range(0, len(nibbles), 2))
    return out


def mask_rows(image):
    """1-bit AND mask, bottom row first, each padded to 4 bytes; 1 marks a transparent pixel."""
    out = b""
    for row in reversed(image):
        bits = [1 if p == TRANSPARENT else 0 for p in row] + [0] * ((-len(row)) % 32)
        out += bytes(sum(bits[k + b] << (7 - b) for b in range(8)) for k in range(0, len(bits), 8))
    return out


def info_header(size, height, data_size):
    return struct.pack("<IiiHHIIiiII", 40, size, height, 1, 4, 0, data_size, 0, 0, 16, 0)


def make_bitmap(image):
    if any(TRANSPARENT in row for row in image):
        fail("a bitmap cannot have transparent pixels")
    size = len(image)
    pixels = pixel_rows(image)
    offset = 14 + 40 + 64
    return (struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
            + info_header(size, size, len(pixels)) + palette_bytes() + pixels)


def make_icon(images):
    blobs = []
    for image in images:
        size = len(image)
        xor, mask = pixel_rows(image), mask_rows(image)
        blobs.append((size, info_header(size, 2 * size, len(xor) + len(mask)) + palette_bytes() + xor + mask))
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for size, blob in blobs:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blob for _, blob in blobs)


def main():
    if len(sys.argv) != 3:
        fail("usage: make_images.py ART_FILE OUTPUT_FILE")
    kind, images = parse(sys.argv[1])
    data = make_bitmap(images[0]) if kind == "bitmap" else make_icon(images)
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
