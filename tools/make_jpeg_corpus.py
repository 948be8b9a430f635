#!/usr/bin/env python3
"""make_jpeg_corpus.py OUT: pictures on the mask green, saved as JPEG every usual way.

    tools/make_jpeg_corpus.py build/jpeg-corpus

For each picture, OUT/NAME.ppm is the lossless original and OUT/NAME-qQ-MODE-SAMPLING.jpg
its JPEG at quality 50, 75, 90 and 100, baseline ("base") and progressive ("prog"), chroma
4:2:0 ("420") and 4:4:4 ("444"). OUT/manifest.tsv lists them, one JPEG a line:
    name <TAB> quality <TAB> mode <TAB> sampling <TAB> jpeg file <TAB> original file
Drawings (anti-aliased shapes, ImageMagick's logo), photographs (its rose, a stand-in for a
photo of grass) and green things that are not the mask. Deterministic: fixed seeds.
"""

import os
import subprocess
import sys

CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"
MASK = "rgb(0,128,0)"
QUALITIES = (50, 75, 90, 100)
MODES = (("base", "none"), ("prog", "JPEG"))
SAMPLINGS = (("420", "2x2,1x1,1x1"), ("444", "1x1,1x1,1x1"))


def shapes():
    """Anti-aliased shapes in strong and pale colours, and thin strokes."""
    return ["-size", "480x360", "xc:" + MASK, "-antialias",
            "-fill", "rgb(200,30,30)", "-draw", "circle 110,90 110,30",
            "-fill", "rgb(40,60,200)", "-draw", "ellipse 330,90 110,45 0,360",
            "-fill", "rgb(250,220,40)", "-draw", "polygon 60,330 160,200 250,330",
            "-fill", "rgb(245,245,245)", "-draw", "roundrectangle 290,190 450,330 20,20",
            "-fill", "rgb(230,170,140)", "-draw", "circle 370,260 370,225",
            "-fill", "none", "-stroke", "rgb(20,20,20)", "-strokewidth", "3",
            "-draw", "line 20,190 80,172", "-draw",
            "line 80,172 150,186", "-draw", "line 150,186 210,206", "-draw", "line 210,206 275,178",
            "-strokewidth", "6", "-stroke", "rgb(120,40,160)", "-draw", "line 200,40 260,160"]


def greens():
    """Greens near the mask that are not it: they must stay on screen."""
    return ["-size", "480x360", "xc:" + MASK, "-antialias",
            "-fill", "rgb(0,150,0)", "-draw", "circle 120,110 120,30",
            "-fill", "rgb(30,128,30)", "-draw", "roundrectangle 260,40 440,180 25,25",
            "-fill", "rgb(0,150,0)", "-draw", "rectangle 40,220 200,330",
            "-fill", "rgb(30,128,30)", "-draw", "rectangle 200,220 320,330",
            "-fill", "rgb(0,100,0)", "-draw", "ellipse 390,270 60,50 0,360"]


def logo():
    """ImageMagick's logo drawing, its white background flooded with the mask green."""
    return ["logo:", "-fuzz", "8%", "-fill", MASK, "-draw", "color 0,0 floodfill"]


def rose():
    """The built-in rose photograph, enlarged, in an anti-aliased oval."""
    return ["-size", "440x300", "xc:" + MASK,
            "(", "rose:", "-resize", "400x264!", ")",
            "(", "-size", "400x264", "xc:black", "-fill", "white",
            "-draw", "ellipse 200,132 196,128 0,360", ")",
            "-geometry", "+20+18", "-composite"]


def grass():
    """A stand-in for a photograph of grass: fractal light and shade, streaked like blades,
    in the greens of a lawn, in a rounded frame."""
    return ["-seed", "15", "-size", "440x320", "plasma:fractal", "-modulate", "100,0",
            "-seed", "16", "-attenuate", "1.5", "+noise", "Gaussian", "-modulate", "100,0",
            "-motion-blur", "0x5+80", "-auto-level",
            "+level-colors", "rgb(15,70,5),rgb(140,195,60)", "-write", "mpr:grass", "+delete",
            "-size", "440x320", "xc:" + MASK, "-antialias", "-tile", "mpr:grass",
            "-draw", "roundrectangle 30,30 409,289 40,40"]


PICTURES = (("shapes", shapes), ("greens", greens), ("logo", logo), ("rose", rose),
            ("grass", grass))


def run(args):
    subprocess.run([CONVERT] + args, check=True)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    lines = []
    for name, build in PICTURES:
        original = name + ".ppm"
        run(build() + ["-alpha", "off", "-depth", "8", os.path.join(out, original)])
        # Every JPEG from the 8-bit original itself, in one run per picture.
        args = [os.path.join(out, original), "-strip"]
        for quality in QUALITIES:
            for mode, interlace in MODES:
                for sampling, factors in SAMPLINGS:
                    jpeg = "%s-q%d-%s-%s.jpg" % (name, quality, mode, sampling)
                    args += ["-quality", str(quality), "-interlace", interlace,
                             "-sampling-factor", factors, "-write",
                             os.path.join(out, jpeg)]
                    lines.append("\t".join([name, str(quality), mode, sampling, jpeg, original]))
        run(args + ["null:"])
    with open(os.path.join(out, "manifest.tsv"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
