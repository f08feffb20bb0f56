#!/usr/bin/env python3
"""Writes the binary files of the validation sample corpus (images, wave files) into the asset folders
beside this script, and the brick texture's picture of the first samples ("../brick-texture"):

    python3 data/samples/validation/make-files.py

The compiled textures ("brick.texture", "ground.texture") are made by the tool itself: "compresstexture"
works inside an installation's content folders, so copy the folders "texture" and "groundtexture" into an
installation's "UserData/editing/", run "VelmarUtil compresstexture <that folder>" on each and copy the
".texture" files back. The shed ("scenery") wears the brick texture: its four files are copied there.

The meshes (the first samples' too) are written by the program's own mesh writers, and the animations by
the engine's: after a build,

    build/tests/e2e/corpus/make_corpus_meshes data/samples/validation

("mutation-files" holds the meshes and animations only mutations use). CTest checks that the corpus holds
what it writes.

Everything is made from arithmetic here, so the files come out the same on every run."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(relative, data):
    path = os.path.join(HERE, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def tga(width, height, pixel):
    """An uncompressed 24-bit TGA, rows from the top; pixel(x, y) gives (r, g, b)."""
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 24, 0x20)
    body = bytearray()
    for y in range(height):
        for x in range(width):
            r, g, b = pixel(x, y)
            body += bytes((b & 0xFF, g & 0xFF, r & 0xFF))
    return header + bytes(body)


def bricks(x, y):
    mortar = y % 8 == 7 or (x + (4 if (y // 8) % 2 else 0)) % 16 == 15
    return (200, 200, 190) if mortar else (150 + (x * 7 + y * 3) % 40, 60 + (x * y) % 20, 40)


def ground(x, y):
    return (90 + (x * 13 + y * 7) % 30, 110 + (x * 5 + y * 11) % 40, 60 + (x ^ y) % 25)


def chunk(cid, body):
    return cid + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")


def wave(samples, channels=1, rate=8000, bits=16, extensible=False, before_data=b""):
    align = channels * bits // 8
    fmt = struct.pack("<HHIIHH", 0xFFFE if extensible else 1, channels, rate, rate * align, align, bits)
    if extensible:
        # valid bits, channel mask, the PCM sub-format GUID
        fmt += struct.pack("<HHI", 22, bits, 3 if channels == 2 else 4)
        fmt += bytes.fromhex("0100000000001000800000aa00389b71")
    body = b"WAVE" + chunk(b"fmt ", fmt) + before_data + chunk(b"data", samples)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def tone(frequency, seconds, rate=8000, bits=16, channels=1, fade=True):
    out = bytearray()
    count = int(rate * seconds)
    for i in range(count):
        level = math.sin(2 * math.pi * frequency * i / rate) * (1 - i / count if fade else 1)
        for _ in range(channels):
            if bits == 8:
                out += bytes((int(128 + 100 * level) & 0xFF,))
            else:
                out += struct.pack("<h", int(12000 * level))
    return bytes(out)


def noise(seconds, rate=11025):
    out = bytearray()
    state = 12345
    for _ in range(int(rate * seconds)):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out += struct.pack("<hh", (state >> 16) % 4000 - 2000, (state >> 8) % 4000 - 2000)
    return bytes(out)


# Textures: a brick texture with an alpha image, a ground texture; the traincar's thumbnail.
write("texture/brick.tga", tga(32, 32, bricks))
write("texture/brick_alpha.tga", tga(32, 32, lambda x, y: (255 - (x + y) * 3,) * 3))
write("groundtexture/ground.tga", tga(64, 64, ground))
write("traincar/thumb.tga", tga(64, 48, lambda x, y: (40 + x * 3, 80 + y * 2, 160)))

# Sounds: a horn (16-bit, an odd-length LIST chunk before its samples), an engine idling (8-bit), a
# bogey's squeal, a crossing's bell, the wind of a map (extensible stereo, in the map's sound folder).
info = chunk(b"LIST", b"INFOINAM" + struct.pack("<I", 5) + b"Horn\0")
write("traincar/horn.wav", wave(tone(440, 0.25), before_data=info))
write("traincar/idle.wav", wave(tone(55, 0.2, bits=8, fade=False), bits=8))
write("bogey/squeal.wav", wave(tone(2200, 0.1)))
write("mocrossing/bell.wav", wave(tone(880, 0.15, rate=11025), rate=11025))
write("map/sound/wind.wav", wave(noise(0.1), channels=2, rate=11025, extensible=True))

# The first samples beside the corpus: the brick texture's picture (its compiled texture is made when it is
# installed).
write("../brick-texture/brick.tga", tga(64, 64, bricks))

# The shed's texture: the brick texture's files.
for name in ("brick.texture", "brick.texture.txt", "brick.tga", "brick_alpha.tga"):
    with open(os.path.join(HERE, "texture", name), "rb") as f:
        write("scenery/" + name, f.read())
