#!/usr/bin/env python3
"""Draws the navigator's icon files into data/ico/.

RedPosition.ICO: the mouse pointer of the distance measuring tool, a red
cross hair with an open centre, 32 x 32 with a transparent background (the
pointer's hot spot is the centre).

Needs python3-pil. usage: tools/make-icons.py [OUTPUT_DIR]  (default data/ico)
"""

import os
import sys

from PIL import Image, ImageDraw


def red_position(size=32):
    img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    c = size // 2
    red = (230, 0, 0, 255)
    white = (255, 255, 255, 255)
    # A white halo first so the cross shows on dark photographs too.
    for colour, width in ((white, 3), (red, 1)):
        d.line([(c, 1), (c, c - 4)], fill=colour, width=width)
        d.line([(c, c + 4), (c, size - 2)], fill=colour, width=width)
        d.line([(1, c), (c - 4, c)], fill=colour, width=width)
        d.line([(c + 4, c), (size - 2, c)], fill=colour, width=width)
    d.ellipse([c - 7, c - 7, c + 7, c + 7], outline=red, width=2)
    return img


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "ico")
    os.makedirs(out, exist_ok=True)
    red_position().save(os.path.join(out, "RedPosition.ICO"), format="ICO", sizes=[(32, 32)])
    print(f"icons written to {out}")


if __name__ == "__main__":
    main()
