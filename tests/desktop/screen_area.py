#!/usr/bin/env python3
"""Reads a screen dump made by `xwd -root` and looks at one rectangle of it, as the user sees it.

    screen_area.py DUMP X Y WIDTH HEIGHT [--png OUT]

Prints the number of distinct colours in the rectangle (clipped to the screen) and exits 1 when
there is only one: a window whose body is a single colour on the screen was not drawn there.
With --png the rectangle is also written as a PNG picture.
"""
import struct
import sys
import zlib


def read_dump(path):
    with open(path, "rb") as f:
        data = f.read()
    header = struct.unpack(">25I", data[:100])
    header_size, width, height = header[0], header[4], header[5]
    byte_order, bits_per_pixel, bytes_per_line = header[7], header[11], header[12]
    ncolors = header[19]
    if bits_per_pixel not in (24, 32):
        sys.exit(f"screen_area: {bits_per_pixel} bits per pixel, only 24 and 32 are read")
    size = bits_per_pixel // 8
    red_mask, green_mask, blue_mask = header[14], header[15], header[16]
    start = header_size + 12 * ncolors

    def pixel(x, y):
        offset = start + y * bytes_per_line + size * x
        return int.from_bytes(data[offset : offset + size], "little" if byte_order == 0 else "big")

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    shifts = (shift(red_mask), shift(green_mask), shift(blue_mask))
    masks = (red_mask, green_mask, blue_mask)

    def rgb(value):
        return bytes((value & m) >> s for m, s in zip(masks, shifts))

    return width, height, pixel, rgb


def write_png(path, width, height, rows):
    def chunk(kind, payload):
        body = kind + payload
        return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


def main(argv):
    png = None
    if "--png" in argv:
        i = argv.index("--png")
        png = argv[i + 1]
        argv = argv[:i] + argv[i + 2 :]
    if len(argv) != 6:
        sys.exit(__doc__)
    path = argv[1]
    x, y, w, h = (int(v) for v in argv[2:6])
    width, height, pixel, rgb = read_dump(path)
    left, top = max(x, 0), max(y, 0)
    right, bottom = min(x + w, width), min(y + h, height)
    if right <= left or bottom <= top:
        print("0 colours: the rectangle lies off the screen")
        return 1
    colours = set()
    rows = []
    for row in range(top, bottom):
        values = [pixel(col, row) for col in range(left, right)]
        colours.update(values)
        if png:
            rows.append(b"".join(rgb(v) for v in values))
    if png:
        write_png(png, right - left, bottom - top, rows)
    print(f"{len(colours)} colours")
    return 0 if len(colours) > 1 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
