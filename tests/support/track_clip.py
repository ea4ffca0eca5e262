#!/usr/bin/env python3
"""Makes a transport stream with several audio languages and DVB subtitles.

  track_clip.py OUT.ts [SECONDS]

One MPEG-2 video stream (plain blue, 320x240), two MP2 audio streams with the
ISO 639 languages "tha" (first) and "eng", and one DVB subtitle stream in
"eng" whose picture is a white bar at x 200-299, y 20-59 of the video, sent
anew every second (as broadcasters repeat them) and shown until the next, so
that subtitles switched on at any moment appear within a second.

ffmpeg encodes DVB subtitles only from other bitmap subtitles, so the bar is
first written as a PGS (.sup) stream, which ffmpeg reads and re-encodes.
"""
import os
import struct
import subprocess
import sys
import tempfile

WIDTH, HEIGHT = 320, 240
BAR_X, BAR_Y, BAR_W, BAR_H = 200, 20, 100, 40


def segment(pts, kind, payload):
    return b'PG' + struct.pack('>IIBH', pts, 0, kind, len(payload)) + payload


# One PGS display set that starts an epoch showing the bar: presentation
# composition, window, palette, object (the bar) and end segments.
def display_set(pts, number):
    pcs = struct.pack('>HHBHBBBB', WIDTH, HEIGHT, 0x10, number, 0x80, 0, 0, 1)
    pcs += struct.pack('>HBBHH', 0, 0, 0, BAR_X, BAR_Y)
    data = segment(pts, 0x16, pcs)
    data += segment(pts, 0x17, struct.pack('>BBHHHH', 1, 0, BAR_X, BAR_Y, BAR_W, BAR_H))
    data += segment(pts, 0x14, bytes([0, 0, 1, 235, 128, 128, 255]))  # palette entry 1: opaque white
    # Run-length coded lines: BAR_W pixels of colour 1, then the end of the line.
    line = bytes([0x00, 0xC0 | (BAR_W >> 8), BAR_W & 0xFF, 0x01, 0x00, 0x00])
    rle = line * BAR_H
    ods = struct.pack('>HBB', 0, 0, 0xC0) + (len(rle) + 4).to_bytes(3, 'big') + struct.pack('>HH', BAR_W, BAR_H)
    data += segment(pts, 0x15, ods + rle)
    return data + segment(pts, 0x80, b'')


def main(argv):
    out = argv[1]
    seconds = int(argv[2]) if len(argv) > 2 else 60
    with tempfile.TemporaryDirectory() as work:
        sup = os.path.join(work, 'bar.sup')
        with open(sup, 'wb') as f:
            for second in range(seconds):
                f.write(display_set(90000 * second, second))
        subprocess.run(['ffmpeg', '-nostdin', '-hide_banner', '-loglevel', 'error', '-y',
                        '-f', 'lavfi', '-i', f'color=c=blue:s={WIDTH}x{HEIGHT}:r=25',
                        '-f', 'lavfi', '-i', 'sine=f=440', '-f', 'lavfi', '-i', 'sine=f=660',
                        '-fix_sub_duration', '-i', sup,
                        '-t', str(seconds), '-map', '0:v', '-map', '1:a', '-map', '2:a', '-map', '3:s',
                        '-c:v', 'mpeg2video', '-g', '12', '-b:v', '1M', '-c:a', 'mp2', '-c:s', 'dvbsub',
                        '-metadata:s:a:0', 'language=tha', '-metadata:s:a:1', 'language=eng',
                        '-metadata:s:s:0', 'language=eng', '-f', 'mpegts', out], check=True)


if __name__ == '__main__':
    main(sys.argv)
