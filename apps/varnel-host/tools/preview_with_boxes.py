#!/usr/bin/env python3
"""Renders the first page of a PDF to a PNG with its trim box (blue) and bleed box (red) outlined.

    preview_with_boxes.py PDF PNG [DPI]     (DPI defaults to 100)

The page is rendered by pdftoppm and the boxes are read with pdfinfo -box (both poppler-utils);
the outlines are drawn on the picture only, the PDF stays as it is. Standard library only.
"""

import itertools
import os
import struct
import subprocess
import sys
import tempfile
import zlib

# Outermost first; the trim box dashed, so that where it lies on the bleed box (a page without
# bleed) both still show.
OUTLINES = [("BleedBox", (224, 32, 28), None), ("TrimBox", (31, 95, 208), (10, 6))]
LINE = 3  # pixels, drawn inside each box


def boxes(pdf):
    """Each box pdfinfo reports for page 1, as (llx, lly, urx, ury) in points."""
    text = subprocess.run(["pdfinfo", "-box", "-f", "1", "-l", "1", pdf], check=True, capture_output=True,
                          text=True).stdout
    found = {}
    for line in text.splitlines():
        name, _, rest = line.partition(":")
        fields = rest.split()
        if name.strip().endswith("Box") and len(fields) == 4:
            # "Page    1 MediaBox:" when pages are named, "MediaBox:" otherwise.
            found[name.split()[-1]] = tuple(float(f) for f in fields)
    return found


def render(pdf, dpi):
    """The page as (width, height, bytearray of RGB rows), rendered over its media box."""
    with tempfile.TemporaryDirectory() as tmp:
        base = os.path.join(tmp, "page")
        subprocess.run(["pdftoppm", "-r", str(dpi), "-f", "1", "-l", "1", "-singlefile", pdf, base], check=True)
        with open(base + ".ppm", "rb") as f:
            data = f.read()
    # P6 header: magic, width, height, maximum value, each after white space, then one byte of it.
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or fields[3] != b"255":
        sys.exit(f"preview_with_boxes: pdftoppm wrote an unexpected picture ({fields[0]!r}, {fields[3]!r})")
    width, height = int(fields[1]), int(fields[2])
    return width, height, bytearray(data[at + 1:at + 1 + width * height * 3])


def outline(pixels, width, height, rect, colour, dashes):
    """A frame LINE pixels wide just inside rect (x0, y0, x1, y1), clipped to the picture; dashes
    (on, off) in pixels, or None for a solid line."""
    x0, y0, x1, y1 = (max(0, min(v, limit)) for v, limit in zip(rect, (width, height, width, height)))
    colour = bytes(colour)

    def put(x, y, along):
        if dashes is None or along % sum(dashes) < dashes[0]:
            pixels[3 * (y * width + x):3 * (y * width + x) + 3] = colour

    for y in range(y0, y1):
        band = y < y0 + LINE or y >= y1 - LINE
        xs = range(x0, x1) if band else itertools.chain(range(x0, min(x0 + LINE, x1)),
                                                        range(max(x1 - LINE, x0), x1))
        for x in xs:
            put(x, y, x - x0 if band else y - y0)


def write_png(path, width, height, pixels):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    stride = width * 3
    raw = b"".join(b"\0" + bytes(pixels[y * stride:(y + 1) * stride]) for y in range(height))
    with open(path + ".tmp", "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))
    os.replace(path + ".tmp", path)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__.strip().splitlines()[2].strip())
    pdf, png = sys.argv[1], sys.argv[2]
    dpi = int(sys.argv[3]) if len(sys.argv) == 4 else 100
    found = boxes(pdf)
    width, height, pixels = render(pdf, dpi)
    llx, lly, urx, ury = found["MediaBox"]
    sx, sy = width / (urx - llx), height / (ury - lly)
    for name, colour, dashes in OUTLINES:
        if name in found:
            left, bottom, right, top = found[name]
            outline(pixels, width, height,
                    (round((left - llx) * sx), round((ury - top) * sy), round((right - llx) * sx),
                     round((ury - bottom) * sy)), colour, dashes)
    write_png(png, width, height, pixels)


if __name__ == "__main__":
    main()
