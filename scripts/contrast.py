#!/usr/bin/env python3
"""WCAG luminance contrast measured from the pixels of a PNG screenshot.

  scripts/contrast.py IMAGE.png X,Y X,Y        the two pixels' colours and their contrast
  scripts/contrast.py IMAGE.png X,Y,W,H [N]    the N (default 4) commonest colours of the
                                               rectangle and the contrast of each pair

Reads 8-bit RGB or RGBA PNGs without interlacing (what `import` and Qt write).
"""
import collections
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    pos, idat, width, height, channels = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            channels = {2: 3, 6: 4}.get(colour)
            if depth != 8 or channels is None or interlace:
                sys.exit(f"{path}: only 8-bit RGB/RGBA without interlacing")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + predictor) & 255
        rows.append(line)
        previous = line
    return lambda x, y: tuple(rows[y][x * channels:x * channels + 3])


def luminance(rgb):
    def linear(c):
        c /= 255.0
        return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    pixel = read_png(sys.argv[1])
    numbers = [tuple(int(v) for v in arg.split(",")) for arg in sys.argv[2:3]]
    if len(numbers[0]) == 4:
        x, y, w, h = numbers[0]
        count = int(sys.argv[3]) if len(sys.argv) > 3 else 4
        common = collections.Counter(pixel(i, j) for j in range(y, y + h)
                                     for i in range(x, x + w)).most_common(count)
        for colour, n in common:
            print(f"rgb{colour} {n} px")
        for i in range(len(common)):
            for j in range(i + 1, len(common)):
                a, b = common[i][0], common[j][0]
                print(f"rgb{a} / rgb{b}: {contrast(a, b):.2f}:1")
        return
    a = pixel(*numbers[0])
    b = pixel(*(int(v) for v in sys.argv[3].split(",")))
    print(f"rgb{a} / rgb{b}: {contrast(a, b):.2f}:1")


if __name__ == "__main__":
    main()
