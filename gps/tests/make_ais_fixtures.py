#!/usr/bin/env python3
"""Writes ais_gpsdecode_fixtures.inc: AIS sentences of every message type the target manager
reads (1, 2, 3, 5, 9, 18, 19, 21, 24 part A and part B), each followed by the fields an
independent decoder, gpsdecode (gpsd-clients), found in it as one line of JSON (unscaled
values, type 24 parts reported apart).

The payloads are built here, field by field from the AIS message tables, with values drawn
from a fixed seed plus the edge values (not available, the ends of each range, negative
positions), so running the script again gives the same file. Run it from anywhere:

    gps/tests/make_ais_fixtures.py
"""
import os
import random
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "ais_gpsdecode_fixtures.inc")
PER_TYPE = 22
# Six-bit text characters, '@' (the padding) left out; '"' and '\\' are escaped in JSON.
TEXT = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -./&'\"\\!#$%()*+,:;<=>?[]^_"


class Payload:
    def __init__(self, bits):
        self.bits = [0] * bits

    def u(self, at, width, value):
        value &= (1 << width) - 1
        for i in range(width):
            self.bits[at + i] = (value >> (width - 1 - i)) & 1
        return self

    def text(self, at, text, chars):
        for i in range(chars):
            c = ord(text[i]) if i < len(text) else ord("@")
            self.u(at + 6 * i, 6, c - 64 if c >= 64 else c)
        return self

    def armour(self):
        fill = (6 - len(self.bits) % 6) % 6
        bits = self.bits + [0] * fill
        out = ""
        for i in range(0, len(bits), 6):
            v = int("".join(map(str, bits[i:i + 6])), 2)
            out += chr(v + 48 if v < 40 else v + 56)
        return out, fill


def sentences(payload, seq, channel, max_chars):
    text, fill = payload.armour()
    parts = [text[i:i + max_chars] for i in range(0, len(text), max_chars)]
    out = []
    for n, part in enumerate(parts, 1):
        body = "AIVDM,%d,%d,%s,%s,%s,%d" % (len(parts), n, seq if len(parts) > 1 else "",
                                            channel, part, fill if n == len(parts) else 0)
        check = 0
        for c in body:
            check ^= ord(c)
        out.append("!%s*%02X" % (body, check))
    return out


def main():
    rnd = random.Random(20240601)

    def mmsi(prefix=""):
        return int(prefix + "".join(rnd.choice("0123456789") for _ in range(9 - len(prefix))))

    def text(chars):
        n = rnd.choice([0, 1, chars // 2, chars - 1, chars, rnd.randint(1, chars)])
        t = "".join(rnd.choice(TEXT) for _ in range(n))
        if rnd.random() < 0.2 and n < chars:
            t += "  "  # trailing blanks, dropped by decoders
        return t[:chars]

    def lon(i):
        edge = [181 * 600000, -180 * 600000, 180 * 600000, 0, -1]
        return edge[i] if i < len(edge) else rnd.randint(-180 * 600000, 180 * 600000)

    def lat(i):
        edge = [91 * 600000, -90 * 600000, 90 * 600000, 0, -1]
        return edge[i] if i < len(edge) else rnd.randint(-90 * 600000, 90 * 600000)

    def pick(i, edges, low, high):
        return edges[i] if i < len(edges) else rnd.randint(low, high)

    def dims(p, at):
        p.u(at, 9, rnd.randint(0, 511)).u(at + 9, 9, rnd.randint(0, 511))
        p.u(at + 18, 6, rnd.randint(0, 63)).u(at + 24, 6, rnd.randint(0, 63))

    messages = []  # (sentences of one message)
    seq = 0
    for kind in (1, 2, 3):
        for i in range(PER_TYPE):
            prefix = ["970", "972", "974"][i] if i < 3 else ""
            p = Payload(168).u(0, 6, kind).u(6, 2, rnd.randint(0, 3)).u(8, 30, mmsi(prefix))
            p.u(38, 4, pick(i, [15, 0, 8, 9], 0, 15)).u(42, 8, rnd.randint(0, 255))
            p.u(50, 10, pick(i, [1023, 0, 1022], 0, 1023)).u(60, 1, rnd.randint(0, 1))
            p.u(61, 28, lon(i)).u(89, 27, lat(i)).u(116, 12, pick(i, [3600, 0, 3599], 0, 3600))
            p.u(128, 9, pick(i, [511, 0, 359], 0, 359)).u(137, 6, rnd.randint(0, 63))
            p.u(149, 19, rnd.randint(0, (1 << 19) - 1))
            messages.append(sentences(p, "", rnd.choice("AB"), 60))
    for i in range(PER_TYPE):
        p = Payload(424).u(0, 6, 5).u(8, 30, mmsi()).u(38, 2, rnd.randint(0, 3))
        p.u(40, 30, rnd.randint(0, (1 << 30) - 1)).text(70, text(7), 7).text(112, text(20), 20)
        p.u(232, 8, pick(i, [0, 255], 0, 99))
        dims(p, 240)
        p.u(270, 4, rnd.randint(0, 15)).u(274, 4, pick(i, [0, 15], 0, 12))
        p.u(278, 5, pick(i, [0, 31], 0, 31)).u(283, 5, pick(i, [24, 31], 0, 24))
        p.u(288, 6, pick(i, [60, 63], 0, 60)).u(294, 8, rnd.randint(0, 255))
        p.text(302, text(20), 20).u(422, 1, rnd.randint(0, 1))
        seq = (seq + 1) % 10
        messages.append(sentences(p, str(seq), rnd.choice("AB"), rnd.choice([36, 40, 60])))
    for i in range(PER_TYPE):
        p = Payload(168).u(0, 6, 9).u(8, 30, mmsi("111")).u(38, 12, pick(i, [4095, 0, 4094], 0, 4095))
        p.u(50, 10, pick(i, [1023, 0, 1022], 0, 1023)).u(60, 1, rnd.randint(0, 1))
        p.u(61, 28, lon(i)).u(89, 27, lat(i)).u(116, 12, pick(i, [3600, 0], 0, 3600))
        p.u(128, 6, rnd.randint(0, 63))
        messages.append(sentences(p, "", rnd.choice("AB"), 60))
    for kind in (18, 19):
        for i in range(PER_TYPE):
            p = Payload(168 if kind == 18 else 312).u(0, 6, kind).u(8, 30, mmsi())
            p.u(38, 8, rnd.randint(0, 255)).u(46, 10, pick(i, [1023, 0, 1022], 0, 1023))
            p.u(56, 1, rnd.randint(0, 1)).u(57, 28, lon(i)).u(85, 27, lat(i))
            p.u(112, 12, pick(i, [3600, 0, 3599], 0, 3600)).u(124, 9, pick(i, [511, 0], 0, 359))
            p.u(133, 6, rnd.randint(0, 63))
            if kind == 19:
                p.text(143, text(20), 20).u(263, 8, pick(i, [0, 255], 0, 99))
                dims(p, 271)
                p.u(301, 4, rnd.randint(0, 15))
            messages.append(sentences(p, "", rnd.choice("AB"), 60))
    for i in range(PER_TYPE):
        p = Payload(272).u(0, 6, 21).u(8, 30, mmsi("99")).u(38, 5, pick(i, [0, 31], 0, 31))
        p.text(43, text(20), 20).u(163, 1, rnd.randint(0, 1)).u(164, 28, lon(i))
        p.u(192, 27, lat(i))
        dims(p, 219)
        p.u(249, 4, rnd.randint(0, 15)).u(253, 6, rnd.randint(0, 63))
        messages.append(sentences(p, "", rnd.choice("AB"), 60))
    for part in (0, 1):
        for i in range(PER_TYPE):
            p = Payload(160 if part == 0 else 168).u(0, 6, 24).u(8, 30, mmsi("3" + str(part)))
            p.u(38, 2, part)
            if part == 0:
                p.text(40, text(20), 20)
            else:
                p.u(40, 8, pick(i, [0, 255], 0, 99)).text(48, text(3), 3).u(66, 4, rnd.randint(0, 15))
                p.u(70, 20, rnd.randint(0, (1 << 20) - 1)).text(90, text(7), 7)
                dims(p, 132)
            messages.append(sentences(p, "", rnd.choice("AB"), 60))

    feed = "".join(line + "\r\n" for m in messages for line in m)
    run = subprocess.run(["gpsdecode", "-s", "-u", "-j"], input=feed.encode("ascii"),
                         stdout=subprocess.PIPE, check=True)
    decoded = run.stdout.decode("ascii").splitlines()
    if len(decoded) != len(messages):
        sys.exit("gpsdecode decoded %d of %d messages" % (len(decoded), len(messages)))
    with open(OUT, "w", newline="\n") as out:
        out.write("// Written by make_ais_fixtures.py: AIS sentences, each message followed by the\n")
        out.write("// fields gpsdecode found in it (\"gpsdecode -s -u -j\"). Do not edit.\n")
        out.write('R"FIXTURES(\n')
        for m, json in zip(messages, decoded):
            for line in m:
                out.write(line + "\n")
            out.write(json + "\n")
        out.write(')FIXTURES"\n')


if __name__ == "__main__":
    main()
