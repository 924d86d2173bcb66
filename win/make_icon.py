"""Renders an SVG picture into a Windows icon file, one PNG-compressed image per size.

usage: make_icon.py RSVG_CONVERT PICTURE.svg OUT.ico SIZE...
"""
import struct
import subprocess
import sys


def main():
    rsvg, svg, out = sys.argv[1:4]
    sizes = [int(s) for s in sys.argv[4:]]
    images = [subprocess.run([rsvg, "-w", str(s), "-h", str(s), svg], check=True,
                             stdout=subprocess.PIPE).stdout for s in sizes]
    # ICONDIR, one ICONDIRENTRY per image, then the images; a width of 0 stands for 256.
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, png in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(png), offset)
        offset += len(png)
    with open(out, "wb") as f:
        f.write(data + b"".join(images))


if __name__ == "__main__":
    main()
