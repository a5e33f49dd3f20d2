#!/usr/bin/env python3
"""Writes the sample artwork the demo places: one 360 x 240 pt page of colour fills and text in
the standard Helvetica fonts (never embedded, every PDF reader has them).

    resources/artwork/make_artwork.py [OUT.pdf]     (default: varnel-artwork.pdf beside this file)

The page is written by hand, object by object, so the file is the same bytes on every run and its
content stream stays readable text.
"""

import os
import sys

WIDTH, HEIGHT = 360, 240
# A circle of radius r at (x, y) as four Bezier quarters; k puts the handles on the tangents.
K = 0.5523


def circle(x, y, r):
    k = K * r
    return (f"{x + r} {y} m {x + r} {y + k} {x + k} {y + r} {x} {y + r} c "
            f"{x - k} {y + r} {x - r} {y + k} {x - r} {y} c "
            f"{x - r} {y - k} {x - k} {y - r} {x} {y - r} c "
            f"{x + k} {y - r} {x + r} {y - k} {x + r} {y} c h")


def text(font, size, x, y, words):
    escaped = words.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")
    return f"BT /{font} {size} Tf {x} {y} Td ({escaped}) Tj ET"


# Colours are CMYK, as the documents the plug-in makes are.
CONTENT = "\n".join([
    "% sky",
    "0.12 0.02 0 0 k 0 0 360 240 re f",
    "% sun",
    "0 0.35 0.9 0 k " + circle(285, 175, 38) + " f",
    "0 0.1 0.75 0 k " + circle(285, 175, 26) + " f",
    "% hills",
    "0.55 0 0.85 0.1 k 0 0 m 0 70 l 70 120 150 110 210 70 c 260 38 320 60 360 90 c 360 0 l h f",
    "0.8 0.1 0.95 0.25 k 0 0 m 0 40 l 90 75 170 30 250 45 c 300 55 340 40 360 30 c 360 0 l h f",
    "% band and lettering",
    "0.95 0.7 0 0.35 k 24 150 170 64 re f",
    "0 0 0 0 k " + text("F1", 34, 36, 175, "Varnel"),
    "0 0 0 0 k " + text("F2", 11, 37, 159, "Spring brochure - sample art"),
    "0 0 0 0 k " + text("F2", 9, 24, 12, "Placed from resources/artwork/varnel-artwork.pdf"),
    "",
])


def pdf_bytes():
    stream = CONTENT.encode("ascii")
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        (f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 {WIDTH} {HEIGHT}] "
         "/Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> /Contents 4 0 R >>").encode("ascii"),
        b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"endstream",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        b"<< /Title (Varnel sample artwork) /Producer (make_artwork.py) >>",
    ]
    out = bytearray(b"%PDF-1.3\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R /Info 7 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                               "varnel-artwork.pdf")
    with open(path + ".tmp", "wb") as f:
        f.write(pdf_bytes())
    os.replace(path + ".tmp", path)


if __name__ == "__main__":
    main()
