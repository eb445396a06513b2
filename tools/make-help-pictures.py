#!/usr/bin/env python3
"""Remakes the pictures of the help pages, or checks the committed ones.

The pictures are made by the program itself: `tessaro --help-pictures DIR
--help-docs DIR` builds its windows offscreen on a scratch copy of data/
(the sample library, the sample drive replayed as a receiver, a fixed
clock) and saves one picture per help page (400 x 250) and the two help
windows with a page open.

  tools/make-help-pictures.py [--build BUILD]          writes data/help/*.png
                                                       and docs/help-*.png
  tools/make-help-pictures.py --check [--build BUILD]  makes them in a
        scratch folder and fails, naming each picture, when a committed one
        is missing, is left over, or no longer matches what the program
        draws; then makes sure the comparison catches a changed picture

Pictures match when they have the same size, every channel's mean absolute
difference is at most MEAN_LIMIT and at most SPREAD_LIMIT of the pixels
differ by more than PIXEL_LIMIT in some channel (fonts may render a little
differently from one machine to the next; a changed window does not pass).

Needs python3-pil. BUILD defaults to build/.
"""

import argparse
import os
import subprocess
import sys
import tempfile

from PIL import Image, ImageChops, ImageDraw, ImageStat

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
PICTURES = os.path.join(REPO, "data", "help")
DOCS = os.path.join(REPO, "docs")
DOC_SHOTS = ("help-program.png", "help-builder.png")

MEAN_LIMIT = 2.0       # mean absolute difference per channel (0..255)
PIXEL_LIMIT = 64       # a pixel differs when a channel is further off than this
SPREAD_LIMIT = 0.01    # the share of differing pixels allowed


def make(build, pictures, docs):
    env = dict(os.environ)
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    program = os.path.join(build, "bin", "tessaro")
    subprocess.run([program, "--home", os.path.join(REPO, "data"), "--help-pictures", pictures,
                    "--help-docs", docs], check=True, env=env)


def difference(made_path, committed_path):
    """Why the two pictures do not match, or None when they do."""
    made = Image.open(made_path).convert("RGB")
    committed = Image.open(committed_path).convert("RGB")
    if made.size != committed.size:
        return f"size {committed.size[0]}x{committed.size[1]}, the program draws {made.size[0]}x{made.size[1]}"
    diff = ImageChops.difference(made, committed)
    means = ImageStat.Stat(diff).mean
    # The largest channel difference of each pixel, then the pixels above the limit.
    worst = ImageChops.lighter(ImageChops.lighter(*diff.split()[:2]), diff.split()[2])
    far = sum(worst.point(lambda v: 255 if v > PIXEL_LIMIT else 0).histogram()[255:])
    share = far / (made.size[0] * made.size[1])
    if max(means) > MEAN_LIMIT or share > SPREAD_LIMIT:
        return (f"mean difference {max(means):.2f} per channel (limit {MEAN_LIMIT}), "
                f"{share:.2%} of the pixels differ (limit {SPREAD_LIMIT:.0%})")
    return None


def compare(made_dir, committed_dir, names):
    """The faults found: (picture, reason)."""
    faults = []
    for name in names:
        committed = os.path.join(committed_dir, name)
        if not os.path.exists(committed):
            faults.append((committed, "missing"))
            continue
        why = difference(os.path.join(made_dir, name), committed)
        if why:
            faults.append((committed, why))
    return faults


def catches_a_changed_picture(made_dir, name, scratch):
    """The comparison fails a picture with a box painted over it and passes
    one whose pixels are all a little brighter."""
    original = Image.open(os.path.join(made_dir, name)).convert("RGB")
    changed = original.copy()
    w, h = changed.size
    ImageDraw.Draw(changed).rectangle([w // 3, h // 3, w // 3 + 60, h // 3 + 30], fill=(255, 0, 255))
    changed.save(os.path.join(scratch, "changed.png"))
    brighter = original.point(lambda v: min(255, v + 1))
    brighter.save(os.path.join(scratch, "brighter.png"))
    made = os.path.join(made_dir, name)
    return (difference(made, os.path.join(scratch, "changed.png")) is not None
            and difference(made, os.path.join(scratch, "brighter.png")) is None)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build"))
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    build = os.path.abspath(args.build)

    if not args.check:
        make(build, PICTURES, DOCS)
        print(f"pictures written to {PICTURES}, window shots to {DOCS}")
        return 0

    with tempfile.TemporaryDirectory(prefix="help-pictures-check-") as scratch:
        pictures = os.path.join(scratch, "help")
        docs = os.path.join(scratch, "docs")
        make(build, pictures, docs)
        made = sorted(os.listdir(pictures))
        faults = compare(pictures, PICTURES, made) + compare(docs, DOCS, DOC_SHOTS)
        for left in sorted(set(os.listdir(PICTURES)) - set(made)) if os.path.isdir(PICTURES) else []:
            faults.append((os.path.join(PICTURES, left), "no help page shows it"))
        for path, why in faults:
            print(f"{os.path.relpath(path, REPO)}: {why}", file=sys.stderr)
        if not catches_a_changed_picture(pictures, made[0], scratch):
            print("the comparison does not catch a changed picture", file=sys.stderr)
            return 1
        if faults:
            print("remake them with tools/make-help-pictures.py --build " + os.path.relpath(build, REPO),
                  file=sys.stderr)
            return 1
        print(f"{len(made)} help pictures and {len(DOC_SHOTS)} window shots match")
    return 0


if __name__ == "__main__":
    sys.exit(main())
