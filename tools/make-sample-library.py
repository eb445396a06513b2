#!/usr/bin/env python3
"""Generates the sample map library data/MapPicSample/.

A dozen synthetic aerial-looking photographs (fields, a river, roads, a
railway, town blocks with buildings, a park) of one invented landscape of a
few kilometres around 35.70 N 139.76 E, and the library's index file
MapFileData1.dat (CP932, CR LF), as the map library builder writes it.

Every photograph is rendered from the same landscape, which is laid out in
the plane rectangular coordinates of zone 9 (origin 36 N, 139 50' E), so
photographs that overlap show the same ground. The centre of each photograph
is given as latitude and longitude (to 0.01"), converted to the plane with the
transverse Mercator projection below, and the picture covers the rectangle of
the photograph's ground width and height around that point.

Deterministic: the same script gives the same files. Needs python3-pil (the
Debian package: run it with /usr/bin/python3 where another python comes first).

The status line along the bottom edge (latitude, longitude and altitude, as
the map library builder reads them back) is drawn afterwards by the builder's
own generator: `build/bin/tessaro-make-samples DIR --kunit data/data1/KUnit.csv`.


usage: tools/make-sample-library.py [OUTPUT_DIR]   (default data/MapPicSample)
"""

import math
import os
import random
import sys

from PIL import Image, ImageDraw, ImageFilter

# --- GRS80 transverse Mercator, scale factor 0.9999 ------------------------

A_AXIS = 6378137.0
FLATTENING = 1 / 298.257222101
K0 = 0.9999
ZONE9 = (36.0, 139.0 + 50.0 / 60.0)


def _tm_core(lat, lon, lon0):
    """Returns (north, east) in metres before the shift to the origin."""
    n = FLATTENING / (2 - FLATTENING)
    big_a = A_AXIS / (1 + n) * (1 + n ** 2 / 4 + n ** 4 / 64)
    alpha = (n / 2 - 2 * n ** 2 / 3 + 5 * n ** 3 / 16,
             13 * n ** 2 / 48 - 3 * n ** 3 / 5,
             61 * n ** 3 / 240)
    phi = math.radians(lat)
    dlam = math.radians(lon - lon0)
    c = 2 * math.sqrt(n) / (1 + n)
    t = math.sinh(math.atanh(math.sin(phi)) - c * math.atanh(c * math.sin(phi)))
    xi = math.atan2(t, math.cos(dlam))
    eta = math.atanh(math.sin(dlam) / math.sqrt(1 + t * t))
    north = xi + sum(a * math.sin(2 * (j + 1) * xi) * math.cosh(2 * (j + 1) * eta)
                     for j, a in enumerate(alpha))
    east = eta + sum(a * math.cos(2 * (j + 1) * xi) * math.sinh(2 * (j + 1) * eta)
                     for j, a in enumerate(alpha))
    return K0 * big_a * north, K0 * big_a * east


def to_plane(lat, lon, origin=ZONE9):
    """(northing, easting) in metres from the zone origin."""
    n, e = _tm_core(lat, lon, origin[1])
    n0, _ = _tm_core(origin[0], origin[1], origin[1])
    return n - n0, e


def dms(value, degree_digits):
    """35.7 -> '35-42-00.00' (seconds to two decimals)."""
    total = round(value * 360000)  # hundredths of a second
    deg, rest = divmod(total, 360000)
    minutes, hundredths = divmod(rest, 6000)
    return f"{deg:0{degree_digits}d}-{minutes:02d}-{hundredths // 100:02d}.{hundredths % 100:02d}"


def from_dms(text):
    d, m, s = text.split("-")
    return int(d) + int(m) / 60 + float(s) / 3600


# --- the landscape, in plane metres of zone 9 -------------------------------

CENTRE_LAT, CENTRE_LON = 35.70, 139.76
CN, CE = to_plane(CENTRE_LAT, CENTRE_LON)
HALF_W, HALF_H = 2600.0, 2000.0  # extent around the centre [m]


def build_landscape(seed=1):
    rnd = random.Random(seed)
    land = {"fields": [], "water": [], "river": [], "roads": [], "rail": [],
            "blocks": [], "buildings": [], "parks": [], "trees": []}
    # Farmland: a grid of slightly irregular plots.
    plot = 120.0
    palette = [(118, 140, 72), (142, 152, 86), (96, 122, 62), (160, 148, 104),
               (132, 118, 84), (108, 132, 80)]
    e = CE - HALF_W
    while e < CE + HALF_W:
        n = CN - HALF_H
        w = plot * rnd.uniform(0.7, 1.4)
        while n < CN + HALF_H:
            h = plot * rnd.uniform(0.6, 1.3)
            land["fields"].append(((e, n, e + w, n + h), rnd.choice(palette)))
            n += h
        e += w
    # A river winding from west to east, and a pond.
    pts = []
    for i in range(41):
        x = CE - HALF_W - 200 + i * (2 * HALF_W + 400) / 40
        y = CN - 650 + 380 * math.sin(i / 5.5) + 120 * math.sin(i / 1.7)
        pts.append((x, y))
    land["river"].append((pts, 46.0))
    land["water"].append(((CE + 1150, CN + 900), 170.0))
    # Town: blocks between a street grid north of the river.
    streets_e = [CE - 1300 + k * 230 for k in range(10)]
    streets_n = [CN - 250 + k * 190 for k in range(8)]
    town_e, town_n = CE - 250, CN + 420
    for i in range(len(streets_e) - 1):
        for j in range(len(streets_n) - 1):
            x0, x1 = streets_e[i] + 14, streets_e[i + 1] - 14
            y0, y1 = streets_n[j] + 14, streets_n[j + 1] - 14
            # Fewer blocks towards the edge of the town.
            reach = math.hypot((x0 - town_e) / 1100, (y0 - town_n) / 700)
            if rnd.random() < reach - 0.55:
                continue
            if (i, j) in ((4, 3), (5, 3)):
                land["parks"].append((x0, y0, x1, y1))
                for _ in range(40):
                    land["trees"].append((rnd.uniform(x0, x1), rnd.uniform(y0, y1), rnd.uniform(5, 11)))
                continue
            land["blocks"].append((x0, y0, x1, y1))
            # Buildings along the block edges.
            bx = x0 + 4
            while bx < x1 - 20:
                bw = rnd.uniform(14, 42)
                for top in (True, False):
                    bh = rnd.uniform(14, 34)
                    by = y1 - 4 - bh if top else y0 + 4
                    shade = rnd.choice([(196, 194, 188), (170, 168, 166), (214, 206, 190),
                                        (150, 92, 76), (122, 134, 150), (230, 230, 226)])
                    land["buildings"].append((bx, by, min(bx + bw, x1 - 4), by + bh, shade))
                bx += bw + rnd.uniform(4, 10)
    for x in streets_e:
        land["roads"].append(([(x, streets_n[0] - 30), (x, streets_n[-1] + 30)], 10.0, (206, 204, 198)))
    for y in streets_n:
        land["roads"].append(([(streets_e[0] - 30, y), (streets_e[-1] + 30, y)], 10.0, (206, 204, 198)))
    # Main roads crossing the whole area, a bridge over the river included.
    land["roads"].append(([(CE - HALF_W - 300, CN + 260), (CE + HALF_W + 300, CN + 420)], 22.0, (92, 92, 96)))
    land["roads"].append(([(CE - 380, CN - HALF_H - 300), (CE - 240, CN + HALF_H + 300)], 22.0, (92, 92, 96)))
    land["roads"].append(([(CE - HALF_W - 300, CN - HALF_H + 200), (CE + HALF_W + 300, CN - 900)], 16.0, (120, 118, 112)))
    # A railway line on an embankment.
    land["rail"].append([(CE - HALF_W - 300, CN + 1500), (CE + 200, CN + 700), (CE + HALF_W + 300, CN + 120)])
    return land


# --- rendering --------------------------------------------------------------

def render(land, east, north, width_m, height_m, size):
    """The picture of the ground rectangle centred on (east, north)."""
    over = 2  # draw at twice the size, then shrink: smooth edges
    w, h = size[0] * over, size[1] * over
    sx = w / width_m
    sy = h / height_m
    left = east - width_m / 2
    top = north + height_m / 2

    def px(x, y):
        return ((x - left) * sx, (top - y) * sy)

    def visible(x0, y0, x1, y1, margin=50):
        return not (x1 < left - margin or x0 > left + width_m + margin or
                    y1 < top - height_m - margin or y0 > top + margin)

    img = Image.new("RGB", (w, h), (120, 130, 80))
    d = ImageDraw.Draw(img)
    for (x0, y0, x1, y1), colour in land["fields"]:
        if visible(x0, y0, x1, y1):
            d.rectangle([px(x0, y1), px(x1, y0)], fill=colour, outline=(88, 96, 60))
    for x0, y0, x1, y1 in land["blocks"]:
        if visible(x0, y0, x1, y1):
            d.rectangle([px(x0, y1), px(x1, y0)], fill=(150, 146, 140))
    for x0, y0, x1, y1 in land["parks"]:
        if visible(x0, y0, x1, y1):
            d.rectangle([px(x0, y1), px(x1, y0)], fill=(74, 120, 60))
    for x, y, r in land["trees"]:
        if visible(x - r, y - r, x + r, y + r):
            d.ellipse([px(x - r, y + r), px(x + r, y - r)], fill=(40, 84, 40))
    for pts, width in land["river"]:
        d.line([px(*p) for p in pts], fill=(52, 82, 104), width=max(1, int(width * sx)), joint="curve")
    for (x, y), r in land["water"]:
        d.ellipse([px(x - r, y + r * 0.7), px(x + r, y - r * 0.7)], fill=(48, 78, 102))
    for pts, width, colour in land["roads"]:
        d.line([px(*p) for p in pts], fill=colour, width=max(1, int(width * sx)))
    for pts in land["rail"]:
        d.line([px(*p) for p in pts], fill=(110, 96, 84), width=max(1, int(14 * sx)))
        d.line([px(*p) for p in pts], fill=(60, 56, 52), width=max(1, int(3 * sx)))
    for x0, y0, x1, y1, shade in land["buildings"]:
        if visible(x0, y0, x1, y1, 0):
            # A shadow to the south-east, then the roof.
            d.rectangle([px(x0 + 3, y1 - 3), px(x1 + 3, y0 - 3)], fill=(70, 70, 72))
            d.rectangle([px(x0, y1), px(x1, y0)], fill=shade)
    img = img.resize(size, Image.LANCZOS)
    # Grain, as in a real photograph (PIL's noise generator is seeded by the
    # process, so it is made here from a fixed seed instead).
    rnd = random.Random(int(east * 100) ^ int(north * 100))
    grain = Image.frombytes("L", size, bytes(rnd.randrange(96, 160) for _ in range(size[0] * size[1])))
    img = Image.blend(img, Image.merge("RGB", (grain, grain, grain)), 0.08)
    return img.filter(ImageFilter.GaussianBlur(0.4))


# --- the library --------------------------------------------------------------

# (file name, offset east, offset north [m] from the area centre, ground width [m])
PHOTOS = [
    ("Sample01.jpg", -900, 600, 2000),
    ("Sample02.jpg", 1000, 600, 2000),
    ("Sample03.jpg", 0, -800, 2000),
    ("Sample04.jpg", -500, 300, 1000),
    ("Sample05.jpg", 500, 300, 1000),
    ("Sample06.jpg", -500, -400, 1000),
    ("Sample07.jpg", 500, -400, 1000),
    ("Sample08.jpg", 1300, 1000, 1000),
    ("Sample09.jpg", -1400, -900, 1000),
    ("Sample10.jpg", -150, 100, 450),
    ("Sample11.jpg", 250, -150, 450),
    ("Sample12.jpg", 1150, 900, 450),
]
PICTURE_SIZE = (800, 600)


def plane_to_latlon(north, east):
    """Inverse of to_plane by Newton steps (good to well below a millimetre)."""
    lat, lon = CENTRE_LAT, CENTRE_LON
    for _ in range(8):
        n0, e0 = to_plane(lat, lon)
        lat += (north - n0) / 110950.0
        lon += (east - e0) / (111320.0 * math.cos(math.radians(lat)))
    return lat, lon


def builder_round(value):
    """Whole metres as the builder writes them: 15 significant digits first,
    then halves away from zero."""
    from decimal import Decimal, ROUND_HALF_UP
    fifteen = Decimal(f"{value:.15g}")
    return int(fifteen.quantize(Decimal(1), rounding=ROUND_HALF_UP))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "MapPicSample")
    os.makedirs(out, exist_ok=True)
    land = build_landscape()
    lines = []
    for seq, (name, off_e, off_n, width) in enumerate(PHOTOS, start=1):
        height = round(width * PICTURE_SIZE[1] / PICTURE_SIZE[0])
        lat, lon = plane_to_latlon(CN + off_n, CE + off_e)
        lat_text, lon_text = dms(lat, 2), dms(lon, 3)
        # The navigator recomputes the centre from the texts: render there.
        north, east = to_plane(from_dms(lat_text), from_dms(lon_text))
        img = render(land, east, north, width, height, PICTURE_SIZE)
        img.save(os.path.join(out, name), "JPEG", quality=82, optimize=True)
        # The viewing altitude as Google Earth shows it (three digits), chosen
        # so that the builder's footprint (1.15 m of ground per metre of
        # altitude) gives about the photograph's width back. The index holds
        # the footprint the builder's full read writes for that altitude, so
        # reading the folder again reproduces the index exactly.
        altitude = round(width / 1.15)
        if altitude >= 1000:
            altitude = round(altitude, -1)
        read_width = builder_round(altitude * 1.15)
        read_height = builder_round(altitude * 1.15 * PICTURE_SIZE[1] / PICTURE_SIZE[0])
        lines.append(f"{seq},{name},{lat_text},{lon_text},{altitude},{read_width},{read_height},9,"
                     f"{east:.2f},{north:.2f}")
    with open(os.path.join(out, "MapFileData1.dat"), "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("cp932"))
    print(f"{len(lines)} photographs around {CENTRE_LAT} N {CENTRE_LON} E "
          f"(zone 9: easting {CE:.1f} m, northing {CN:.1f} m) written to {out}")


if __name__ == "__main__":
    main()
