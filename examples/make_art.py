#!/usr/bin/env python3
"""Draws and synthesises the sample actors' pictures, icons and sounds.

Everything is made here from code: 24-bit BMP frames on a pure magenta key
colour (no anti-aliasing, so the key stays exact), Windows icons and short
WAV sounds. Usage: make_art.py OUTPUT_DIR  (writes OUTPUT_DIR/kobi, /tron)
"""
import math
import os
import random
import struct
import sys
import wave

KEY = (255, 0, 255)
SIZE = 64


class Canvas:
    def __init__(self, w=SIZE, h=SIZE, bg=KEY):
        self.w, self.h = w, h
        self.px = [[bg] * w for _ in range(h)]

    def dot(self, x, y, c):
        x, y = int(round(x)), int(round(y))
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, int(y0)), min(self.h, int(y1) + 1)):
            for x in range(max(0, int(x0)), min(self.w, int(x1) + 1)):
                self.px[y][x] = c

    def ellipse(self, cx, cy, rx, ry, c):
        for y in range(max(0, int(cy - ry) - 1), min(self.h, int(cy + ry) + 2)):
            for x in range(max(0, int(cx - rx) - 1), min(self.w, int(cx + rx) + 2)):
                if rx > 0 and ry > 0 and ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0:
                    self.px[y][x] = c

    def line(self, x0, y0, x1, y1, c, width=2):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        for i in range(steps + 1):
            t = i / steps
            self.ellipse(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, width / 2, width / 2, c)

    def flipped(self):
        out = Canvas(self.w, self.h)
        out.px = [list(reversed(row)) for row in self.px]
        return out

    def save_bmp(self, path):
        row_bytes = (self.w * 3 + 3) & ~3
        pad = b"\0" * (row_bytes - self.w * 3)
        data = bytearray()
        for row in reversed(self.px):
            for r, g, b in row:
                data += bytes((b, g, r))
            data += pad
        header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + data)

    def save_ico(self, path):
        """A 32-bit icon; the key colour becomes transparent."""
        xor = bytearray()
        for row in reversed(self.px):
            for (r, g, b) in row:
                xor += bytes((b, g, r, 0 if (r, g, b) == KEY else 255))
        mask_row = ((self.w + 31) // 32) * 4
        andmask = bytearray()
        for row in reversed(self.px):
            bits = bytearray(mask_row)
            for x, c in enumerate(row):
                if c == KEY:
                    bits[x // 8] |= 0x80 >> (x % 8)
            andmask += bits
        dib = struct.pack("<IiiHHIIiiII", 40, self.w, self.h * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
        image = dib + xor + andmask
        head = struct.pack("<HHH", 0, 1, 1)
        entry = struct.pack("<BBBBHHII", self.w % 256, self.h % 256, 0, 0, 1, 32, len(image), 6 + 16)
        with open(path, "wb") as f:
            f.write(head + entry + image)


def write_wav(path, samples, rate=22050):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, s)) * 20000)) for s in samples))


def tone(f0, f1, seconds, rate=22050, shape="sine", decay=4.0):
    n = int(seconds * rate)
    phase = 0.0
    out = []
    for i in range(n):
        t = i / n
        f = f0 + (f1 - f0) * t
        phase += 2 * math.pi * f / rate
        v = math.sin(phase) if shape == "sine" else (1.0 if math.sin(phase) > 0 else -1.0) * 0.5
        out.append(v * math.exp(-decay * t) * min(1.0, i / 200))
    return out


def noise(seconds, rate=22050, seed=7):
    rnd = random.Random(seed)
    n = int(seconds * rate)
    out, last = [], 0.0
    for i in range(n):
        last = last * 0.97 + rnd.uniform(-1, 1) * 0.03
        swell = math.sin(math.pi * i / n)
        out.append(last * 6 * swell)
    return out


# ---- Kobi: a round blue creature with big eyes and two feet ----

BLUE = (40, 110, 230)
DARK = (20, 50, 120)
WHITE = (250, 250, 250)
BLACK = (10, 10, 10)
PINK = (240, 120, 160)
YELLOW = (250, 210, 40)


def kobi(look=0, feet=0, eyes="open", arms=None, squash=0, mouth=None, bob=0):
    """look: -1 left, 0 ahead, 1 right; feet: stride phase; arms: 'up', 'wave1', 'wave2'."""
    c = Canvas()
    cy = 34 + bob + squash
    # feet
    for side, phase in ((-1, feet), (1, -feet)):
        fx = 32 + side * 10 + phase * 3
        c.ellipse(fx, 57 + bob, 7, 4, DARK)
    # body
    c.ellipse(32, cy, 22, 21 - squash, BLUE)
    c.ellipse(32, cy + 8, 13, 9 - squash // 2, (90, 150, 240))
    # arms
    if arms == "up":
        c.line(12, cy - 2, 6, cy - 18, DARK, 4)
        c.line(52, cy - 2, 58, cy - 18, DARK, 4)
    elif arms in ("wave1", "wave2"):
        c.line(12, cy + 2, 5, cy + 10, DARK, 4)
        tip = (60, cy - 20) if arms == "wave1" else (62, cy - 8)
        c.line(52, cy - 2, tip[0], tip[1], DARK, 4)
    else:
        c.line(12, cy + 2, 6, cy + 12, DARK, 4)
        c.line(52, cy + 2, 58, cy + 12, DARK, 4)
    # eyes
    ex = look * 4
    for side in (-1, 1):
        x = 32 + side * 8 + ex
        if eyes == "open":
            c.ellipse(x, cy - 7, 6, 7, WHITE)
            c.ellipse(x + look * 2, cy - 6, 3, 3, BLACK)
        elif eyes == "wide":
            c.ellipse(x, cy - 8, 7, 8, WHITE)
            c.ellipse(x, cy - 8, 2, 2, BLACK)
        else:
            c.line(x - 4, cy - 6, x + 4, cy - 6, BLACK, 2)
    if mouth == "o":
        c.ellipse(32 + ex, cy + 6, 4, 5, BLACK)
    elif mouth == "smile":
        for i in range(-5, 6):
            c.dot(32 + ex + i, cy + 10 - (i * i) / 8, BLACK)
            c.dot(32 + ex + i, cy + 11 - (i * i) / 8, BLACK)
    return c


def zzz(c, n):
    for i in range(n):
        x, y = 50 + i * 4, 14 - i * 5
        c.line(x, y, x + 4, y, BLACK, 1)
        c.line(x + 4, y, x, y + 4, BLACK, 1)
        c.line(x, y + 4, x + 4, y + 4, BLACK, 1)
    return c


def make_kobi(out):
    os.makedirs(out, exist_ok=True)
    frames = {}
    for i, phase in enumerate((-1, 0, 1, 0)):
        frames["walkright%d.bmp" % (i + 1)] = kobi(look=1, feet=phase, bob=abs(phase) - 1)
        frames["walkleft%d.bmp" % (i + 1)] = kobi(look=-1, feet=-phase, bob=abs(phase) - 1)
    frames["float1.bmp"] = kobi(arms="up", bob=-2)
    frames["float2.bmp"] = kobi(arms="up", bob=0)
    for name, look, bob in (("upleft", -1, -2), ("downleft", -1, 2), ("downright", 1, 2)):
        frames[name + "1.bmp"] = kobi(look=look, bob=bob, arms="up")
        frames[name + "2.bmp"] = kobi(look=look, bob=bob + 1)
    frames["climb1.bmp"] = kobi(arms="up", feet=1, eyes="open")
    frames["climb2.bmp"] = kobi(arms="up", feet=-1, eyes="open", bob=-1)
    frames["fall1.bmp"] = kobi(arms="up", eyes="wide", mouth="o")
    frames["fall2.bmp"] = kobi(arms="up", eyes="wide", mouth="o", bob=-1)
    frames["land.bmp"] = kobi(squash=4, mouth="smile")
    frames["wave1.bmp"] = kobi(arms="wave1", mouth="smile")
    frames["wave2.bmp"] = kobi(arms="wave2", mouth="smile")
    frames["yawn1.bmp"] = kobi(eyes="closed", mouth="o")
    frames["yawn2.bmp"] = kobi(eyes="closed", mouth="o", bob=1, arms="up")
    frames["sit.bmp"] = kobi(squash=3)
    frames["sleep1.bmp"] = zzz(kobi(eyes="closed", squash=5), 1)
    frames["sleep2.bmp"] = zzz(kobi(eyes="closed", squash=4), 2)
    frames["sleep3.bmp"] = zzz(kobi(eyes="closed", squash=5), 3)
    frames["surprise1.bmp"] = kobi(eyes="wide", mouth="o", bob=-4, arms="up")
    frames["surprise2.bmp"] = kobi(eyes="wide", mouth="o", bob=-1)
    frames["giggle1.bmp"] = kobi(eyes="closed", mouth="smile", bob=-1)
    frames["giggle2.bmp"] = kobi(eyes="closed", mouth="smile", bob=1)
    frames["call1.bmp"] = kobi(arms="up", mouth="o")
    frames["call2.bmp"] = kobi(arms="up", mouth="o", bob=-2)
    frames["dance1.bmp"] = kobi(arms="wave1", feet=1, look=-1, mouth="smile")
    frames["dance2.bmp"] = kobi(arms="wave2", feet=-1, look=1, mouth="smile", bob=-2)
    spin = kobi(look=0, eyes="wide")
    frames["spin1.bmp"] = spin
    frames["spin2.bmp"] = kobi(look=1, eyes="wide").flipped()
    frames["spin3.bmp"] = kobi(look=-1, eyes="closed")
    for name, canvas in frames.items():
        canvas.save_bmp(os.path.join(out, name))
    kobi(mouth="smile").save_ico(os.path.join(out, "kobi.ico"))
    splash = Canvas(128, 128)
    big = kobi(mouth="smile", arms="wave1")
    for y in range(128):
        for x in range(128):
            splash.px[y][x] = big.px[y // 2][x // 2]
    splash.save_bmp(os.path.join(out, "splash.bmp"))
    write_wav(os.path.join(out, "boing.wav"), tone(180, 620, 0.35))
    write_wav(os.path.join(out, "plop.wav"), tone(500, 120, 0.15, decay=6))
    write_wav(os.path.join(out, "giggle.wav"), tone(700, 900, 0.1) + tone(800, 1000, 0.1) + tone(900, 1100, 0.12))
    write_wav(os.path.join(out, "snore.wav"), noise(0.9))
    write_wav(os.path.join(out, "whistle.wav"), tone(900, 1400, 0.25, decay=1.5) + tone(1400, 900, 0.25, decay=1.5))


# ---- Tron: a small orange robot with an antenna ----

ORANGE = (240, 130, 30)
GREY = (90, 90, 100)
CYAN = (60, 220, 230)


def tron(look=0, step=0, antenna=0, arms="down", lamp=False, bob=0):
    c = Canvas()
    top = 14 + bob
    # antenna
    c.line(32, top, 32 + antenna * 3, top - 10, GREY, 2)
    c.ellipse(32 + antenna * 3, top - 11, 3, 3, YELLOW if lamp else (200, 60, 40))
    # head and body
    c.rect(18, top, 46, top + 16, ORANGE)
    c.rect(14, top + 18, 50, top + 38, ORANGE)
    c.rect(20, top + 22, 44, top + 32, GREY)
    # eyes: a visor that follows the look
    c.rect(22 + look * 3, top + 5, 42 + look * 3, top + 10, BLACK)
    c.rect(25 + look * 5, top + 6, 29 + look * 5, top + 9, CYAN)
    c.rect(35 + look * 5, top + 6, 39 + look * 5, top + 9, CYAN)
    # legs
    c.rect(20 + step * 2, top + 39, 26 + step * 2, top + 48, GREY)
    c.rect(38 - step * 2, top + 39, 44 - step * 2, top + 48, GREY)
    # arms
    if arms == "up":
        c.line(14, top + 20, 6, top + 4, GREY, 4)
        c.line(50, top + 20, 58, top + 4, GREY, 4)
    else:
        c.line(14, top + 20, 8, top + 34, GREY, 4)
        c.line(50, top + 20, 56, top + 34, GREY, 4)
    return c


def make_tron(out):
    os.makedirs(out, exist_ok=True)
    frames = {}
    for i, step in enumerate((-1, 1)):
        frames["walkright%d.bmp" % (i + 1)] = tron(look=1, step=step, antenna=-1)
        frames["walkleft%d.bmp" % (i + 1)] = tron(look=-1, step=step, antenna=1)
    frames["climb1.bmp"] = tron(arms="up", step=1)
    frames["climb2.bmp"] = tron(arms="up", step=-1, bob=-1)
    frames["fall1.bmp"] = tron(arms="up", lamp=True)
    frames["fall2.bmp"] = tron(arms="up", lamp=True, antenna=1)
    frames["beep1.bmp"] = tron(lamp=True)
    frames["beep2.bmp"] = tron(lamp=False, bob=1)
    frames["idle.bmp"] = tron()
    frames["dance1.bmp"] = tron(arms="up", step=1, antenna=-1, lamp=True)
    frames["dance2.bmp"] = tron(arms="down", step=-1, antenna=1, bob=-2)
    frames["sleep1.bmp"] = zzz(tron(bob=3), 1)
    frames["sleep2.bmp"] = zzz(tron(bob=3), 2)
    frames["spin1.bmp"] = tron(look=1, lamp=True)
    frames["spin2.bmp"] = tron(look=-1, lamp=True)
    for name, canvas in frames.items():
        canvas.save_bmp(os.path.join(out, name))
    tron(lamp=True).save_ico(os.path.join(out, "tron.ico"))
    splash = Canvas(128, 128)
    big = tron(arms="up", lamp=True)
    for y in range(128):
        for x in range(128):
            splash.px[y][x] = big.px[y // 2][x // 2]
    splash.save_bmp(os.path.join(out, "splash.bmp"))
    write_wav(os.path.join(out, "beep.wav"), tone(880, 880, 0.12, shape="square", decay=1) + tone(1320, 1320, 0.12, shape="square", decay=1))
    write_wav(os.path.join(out, "clank.wav"), noise(0.2, seed=3) + tone(300, 200, 0.15))


if __name__ == "__main__":
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    make_kobi(os.path.join(root, "kobi"))
    make_tron(os.path.join(root, "tron"))
