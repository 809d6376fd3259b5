#!/bin/sh
# Regenerates the station's sounds and icons. Needs sox and python3.
# The outputs are committed; run this only after changing a clip or an icon.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

# 135: a board has its files (short rising two-note chime, ~0.6 s).
sox -D -n -r 22050 -c 1 -b 16 "$here/sounds/135_a.wav" synth 0.25 sine 880 fade q 0.005 0.25 0.03
sox -D -n -r 22050 -c 1 -b 16 "$here/sounds/135_b.wav" synth 0.35 sine 1320 fade q 0.005 0.35 0.12
sox -D "$here/sounds/135_a.wav" "$here/sounds/135_b.wav" "$here/sounds/135.wav" vol 0.5
rm -f "$here/sounds/135_a.wav" "$here/sounds/135_b.wav"

# 136: a board may be unplugged (three falling notes, ~1.1 s).
sox -D -n -r 22050 -c 1 -b 16 "$here/sounds/136_a.wav" synth 0.35 sine 1320 fade q 0.005 0.35 0.05
sox -D -n -r 22050 -c 1 -b 16 "$here/sounds/136_b.wav" synth 0.35 sine 1047 fade q 0.005 0.35 0.05
sox -D -n -r 22050 -c 1 -b 16 "$here/sounds/136_c.wav" synth 0.40 sine 784 fade q 0.005 0.40 0.15
sox -D "$here/sounds/136_a.wav" "$here/sounds/136_b.wav" "$here/sounds/136_c.wav" \
    "$here/sounds/136.wav" vol 0.5
rm -f "$here/sounds/136_a.wav" "$here/sounds/136_b.wav" "$here/sounds/136_c.wav"

python3 - "$here/icons" <<'PY'
import struct, sys, zlib

def png(path, size, pixel):
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y, size)) for x in range(size))
                    for y in range(size))
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(rows, 9)))
        f.write(chunk(b"IEND", b""))

def rounded(x, y, n, r):
    cx = min(max(x + 0.5, r), n - r)
    cy = min(max(y + 0.5, r), n - r)
    return (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r

def letter_q(x, y, n):
    # a ring with a tail towards the lower right
    c = n / 2.0
    d = ((x + 0.5 - c) ** 2 + (y + 0.5 - c) ** 2) ** 0.5
    ring = n * 0.22 <= d <= n * 0.32
    tail = abs((x - c) - (y - c)) <= n * 0.05 and n * 0.55 <= x <= n * 0.78 and y >= n * 0.55
    return ring or tail

def icon(background):
    def pixel(x, y, n):
        if not rounded(x, y, n, n * 0.18):
            return (0, 0, 0, 0)
        if letter_q(x, y, n):
            return (255, 255, 255, 255)
        return background + (255,)
    return pixel

out = sys.argv[1]
png(out + "/128.png", 64, icon((51, 102, 153)))   # the station window
png(out + "/129.png", 64, icon((46, 139, 87)))    # the second program icon
PY
