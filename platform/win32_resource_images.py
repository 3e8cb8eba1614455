#!/usr/bin/env python3
"""Makes the Windows resource images from the show's PNGs: the launcher picture as a
256-colour BMP (bitmap resource 131) and the program icon as an ICO (icon resource 128).

Usage: win32_resource_images.py LAUNCHER.png ICON.png OUT.bmp OUT.ico
Only the standard library is used (zlib for the PNG data)."""

import struct
import sys
import zlib


def read_png(path):
    """Returns (width, height, rows of RGBA tuples) of an 8-bit, non-interlaced PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos, idat, palette, trns = 8, b"", None, None
    width = height = depth = ctype = interlace = None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"tRNS":
            trns = body
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    if width is None or depth != 8 or interlace != 0 or ctype not in (0, 2, 3, 4, 6):
        raise ValueError(f"{path}: only 8-bit non-interlaced PNGs are read here")
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        prev = line
        row = []
        for x in range(width):
            px = line[x * channels:(x + 1) * channels]
            if ctype == 0:
                row.append((px[0], px[0], px[0], 255))
            elif ctype == 2:
                row.append((px[0], px[1], px[2], 255))
            elif ctype == 3:
                r, g, b = palette[px[0]]
                alpha = trns[px[0]] if trns and px[0] < len(trns) else 255
                row.append((r, g, b, alpha))
            elif ctype == 4:
                row.append((px[0], px[0], px[0], px[1]))
            else:
                row.append(tuple(px))
        rows.append(row)
    return width, height, rows


def median_cut(pixels, count):
    """Splits the pixels into at most `count` boxes; returns (palette, index of each pixel)."""
    boxes = [list(range(len(pixels)))]

    def spread(box):
        best = (-1, 0)
        for axis in range(3):
            values = [pixels[i][axis] for i in box]
            best = max(best, (max(values) - min(values), axis))
        return best

    while len(boxes) < count:
        # Split the box whose widest channel range, weighted by its size, is the largest.
        scored = [(spread(b)[0] * len(b), n) for n, b in enumerate(boxes) if len(b) > 1]
        if not scored or max(scored)[0] == 0:
            break
        _, n = max(scored)
        box = boxes.pop(n)
        axis = spread(box)[1]
        box.sort(key=lambda i: pixels[i][axis])
        half = len(box) // 2
        boxes += [box[:half], box[half:]]
    palette, index = [], [0] * len(pixels)
    for n, box in enumerate(boxes):
        palette.append(tuple(sum(pixels[i][c] for i in box) // len(box) for c in range(3)))
        for i in box:
            index[i] = n
    return palette, index


def write_bmp8(path, width, height, rows):
    pixels = [px[:3] for row in rows for px in row]
    palette, index = median_cut(pixels, 256)
    palette += [(0, 0, 0)] * (256 - len(palette))
    stride = (width + 3) & ~3
    body = bytearray()
    for y in range(height - 1, -1, -1):  # bottom row first
        line = bytes(index[y * width:(y + 1) * width])
        body += line + b"\0" * (stride - width)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(body), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + colours + body)


def scaled(width, height, rows, side):
    """The picture as side x side RGBA, each output pixel the mean of the box it covers."""
    out = []
    for y in range(side):
        y0, y1 = y * height // side, max(y * height // side + 1, (y + 1) * height // side)
        row = []
        for x in range(side):
            x0, x1 = x * width // side, max(x * width // side + 1, (x + 1) * width // side)
            box = [rows[sy][sx] for sy in range(y0, y1) for sx in range(x0, x1)]
            row.append(tuple(sum(p[c] for p in box) // len(box) for c in range(4)))
        out.append(row)
    return out


def write_ico(path, width, height, rows, sides=(16, 32, 48)):
    images = []
    for side in sides:
        pixels = scaled(width, height, rows, side)
        xor = b"".join(struct.pack("<BBBB", p[2], p[1], p[0], p[3]) for row in reversed(pixels) for p in row)
        mask_stride = ((side + 31) // 32) * 4
        mask = b"\0" * (mask_stride * side)  # the alpha channel decides; nothing masked
        info = struct.pack("<IiiHHIIiiII", 40, side, side * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append((side, info + xor + mask))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for side, blob in images:
        entries += struct.pack("<BBBBHHII", side % 256, side % 256, 0, 0, 1, 32, len(blob), offset + len(blobs))
        blobs += blob
    with open(path, "wb") as f:
        f.write(directory + entries + blobs)


def main(argv):
    if len(argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    try:
        width, height, rows = read_png(argv[1])
        write_bmp8(argv[3], width, height, rows)
        width, height, rows = read_png(argv[2])
        write_ico(argv[4], width, height, rows)
    except (OSError, ValueError, zlib.error) as e:
        sys.stderr.write(f"win32_resource_images: {e}\n")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
