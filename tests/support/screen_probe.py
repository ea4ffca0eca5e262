#!/usr/bin/env python3
"""Reads the program's binary PPM screenshots for the window tests.

  screen_probe.py pixel FILE X Y                      -> "R G B"
  screen_probe.py count FILE X0 Y0 X1 Y1 R G B TOL    -> pixels in [X0,X1)x[Y0,Y1) within TOL of the colour
  screen_probe.py buttons FILE                        -> x centres of the toolbar buttons, then their y
  screen_probe.py changed FILE OTHER X0 Y0 X1 Y1 TOL  -> pixels in the box that differ by more than TOL
"""
import sys


def load(path):
    data = open(path, 'rb').read()
    magic, size, maxval, pixels = data.split(b'\n', 3)
    if magic != b'P6' or maxval != b'255':
        sys.exit('not a binary PPM: ' + path)
    width, height = map(int, size.split())
    return width, height, pixels


def pixel(image, x, y):
    width, _, pixels = image
    i = (y * width + x) * 3
    return pixels[i], pixels[i + 1], pixels[i + 2]


def count(image, x0, y0, x1, y1, colour, tolerance):
    width, height, _ = image
    total = 0
    for y in range(max(y0, 0), min(y1, height)):
        for x in range(max(x0, 0), min(x1, width)):
            if all(abs(a - b) <= tolerance for a, b in zip(pixel(image, x, y), colour)):
                total += 1
    return total


def changed(image, other, x0, y0, x1, y1, tolerance):
    width, height, _ = image
    total = 0
    for y in range(max(y0, 0), min(y1, height)):
        for x in range(max(x0, 0), min(x1, width)):
            if any(abs(a - b) > tolerance for a, b in zip(pixel(image, x, y), pixel(other, x, y))):
                total += 1
    return total


def bluish(rgb):
    r, g, b = rgb
    return b > r + 15 and b > 30


def buttons(image):
    # A row between the icons and the labels crosses only the buttons' fills.
    width, height, _ = image
    y = height - 46
    centres, start = [], None
    for x in range(width + 1):
        inside = x < width and bluish(pixel(image, x, y))
        if inside and start is None:
            start = x
        elif not inside and start is not None:
            if x - start > 40:
                centres.append((start + x - 1) // 2)
            start = None
    return centres, height - 55


def main(argv):
    command, path = argv[1], argv[2]
    image = load(path)
    if command == 'changed':
        print(changed(image, load(argv[3]), *map(int, argv[4:])))
        return
    numbers = list(map(int, argv[3:]))
    if command == 'pixel':
        print(*pixel(image, *numbers))
    elif command == 'count':
        x0, y0, x1, y1, r, g, b, tolerance = numbers
        print(count(image, x0, y0, x1, y1, (r, g, b), tolerance))
    elif command == 'buttons':
        centres, y = buttons(image)
        print(*centres, y)
    else:
        sys.exit('unknown command ' + command)


if __name__ == '__main__':
    main(sys.argv)
