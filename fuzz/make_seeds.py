#!/usr/bin/env python3
"""Writes the crafted seeds of fuzz/seeds/ that are binary or derived (BGL files, zip archives,
traffic replies); the others are small text files kept as they are. Run from anywhere:
fuzz/make_seeds.py rewrites them in place. The BGL layout is the one the decoder reads (see
src/parking/bgl_decode.h); the traffic replies follow the service's documented arrays."""
import io
import json
import os
import struct
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SEEDS = os.path.join(HERE, "seeds")


def pack_lon(lon):
    return round((lon + 180.0) / 4.470348358154297e-07)


def pack_lat(lat):
    return round((90.0 - lat) / 3.3527612686157227e-07)


def pack_ident(code):
    v = 0
    for c in code:
        d = 0
        if c.isdigit():
            d = ord(c) - ord("0") + 2
        elif "A" <= c <= "Z":
            d = ord(c) - ord("A") + 12
        v = v * 38 + d
    return v << 5


def record(rid, body):
    return struct.pack("<HI", rid, 6 + len(body)) + body


def airport(code, alt_mm, stands, helipads=()):
    subs = b""
    for lat, lon, width in helipads:
        subs += record(0x26, bytes(6) + struct.pack("<II", pack_lon(lon), pack_lat(lat)) + bytes(8)
                       + struct.pack("<f", width) + bytes(4))
    entries = b""
    for name, ptype, number, radius, heading, lat, lon, codes in stands:
        info = (name & 0x3F) | ((ptype & 0xF) << 8) | ((number & 0xFFF) << 12) | ((len(codes) & 0xFF) << 24)
        entries += struct.pack("<Iff", info, radius, heading) + bytes(16)
        entries += struct.pack("<II", pack_lon(lon), pack_lat(lat))
        for c in codes:
            entries += c.encode().ljust(4, b"\0")
        entries += bytes(20)
    subs += record(0xE7, struct.pack("<H", len(stands)) + entries)
    header = bytes(14) + struct.pack("<i", alt_mm) + bytes(16) + struct.pack("<I", pack_ident(code)) + bytes(24)
    return record(0x56, header + subs)


def bgl(airports):
    n = len(airports)
    out = bytearray(struct.pack("<II", 0x19920201, 56) + bytes(12) + struct.pack("<I", 1) + bytes(32))
    sub = 56 + 20
    out += struct.pack("<IIIII", 3, 1, n, sub, 16 * n)
    out += bytes(16 * n)
    for i, a in enumerate(airports):
        data = len(out)
        out += a
        struct.pack_into("<II", out, sub + 16 * i + 8, data, len(a))
    return bytes(out)


def write(folder, name, data):
    path = os.path.join(SEEDS, folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def main():
    # Oxford-like: three stands (one name twice), a helipad; two airports in one file.
    egtk = airport("EGTK", 73833, [(12, 2, 1, 20.0, 90.0, 51.8361, -1.3200, ()),
                                   (12, 2, 1, 15.0, 270.0, 51.8365, -1.3205, ()),
                                   (1, 8, 7, 30.0, 45.0, 51.8370, -1.3210, ("BAW", "EZY"))],
                   helipads=[(51.8350, -1.3190, 20.0)])
    write("bgl", "egtk_three_stands.bgl", bgl([egtk]))
    bikf = airport("BIKF", 52000, [(10, 9, 5, 35.0, 180.0, 63.9850, -22.6050, ("ICE",))])
    write("bgl", "two_airports.bgl", bgl([egtk, bikf]))

    # Data packs: a database and a registration pack; and one entry that climbs out.
    packs = io.BytesIO()
    with zipfile.ZipFile(packs, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("aircraftdb.xml", '<aircraftdb><types><t c="B738" span="35.8"/></types></aircraftdb>\n')
        z.writestr("regcodes/", "")
        z.writestr("regcodes/TF.xml", "<regcodes><registrations/></regcodes>\n")
    write("archive", "packs.zip", packs.getvalue())
    climb = io.BytesIO()
    with zipfile.ZipFile(climb, "w", zipfile.ZIP_STORED) as z:
        z.writestr("../outside.txt", "x")
        z.writestr("inside.txt", "y")
    write("archive", "climbing_entry.zip", climb.getvalue())

    # Traffic replies: live entries (the documented example), history buffers, parked traffic.
    live = ["a1b2c3", 63.9858, -22.6056, 274.5, 6475, 231.4, "4213", "X", "B38M", "TF-ICE", 1767225600.42,
            "KEF", "CPH", "ICE204", 0, -832, "FI204", "X_adsb_icao", 6700, 218, 243, 0.378, -0.12, -2.6,
            268.1, 270.9, -800, "none", "A3", 1013.2, 5000, 5000, None, "autopilot|approach", 8, 186, 1,
            10, 2, 0.3, -18.6, 0, 0, 255, 14, -2, 11, 1]
    ground = ["c3d4e5", 63.9850, -22.6050, 95.0, 0, 11.0, "", "T", "GRND", "null", 1767225597.0, "null",
              "null", "TUG7", 1, 0, "null", "T_adsb"] + [None] * 29 + [1]
    envelope = {"full_count": 9876, "source": "MemoryDB", "rrl": 2000, "status": 200, "dataepoch": 1767225602}
    write("traffic_reply", "live.json", json.dumps(dict(envelope, data={"a1b2c3": live, "c3d4e5": ground})))
    write("traffic_reply", "buffers.json",
          json.dumps(dict(envelope, data={"buffer_0": {"a1b2c3": live}, "buffer_1": {"a1b2c3": live}})))
    write("traffic_reply", "parked.json",
          json.dumps(dict(envelope, data={"4b1a2f": [63.9852, -22.6052, "BIKF_A1", "B38M", "TF-ICE",
                                                     1767220000.5, "ICE88", 91.0]})))
    write("traffic_reply", "v3_no_wrapper.json", json.dumps(dict(envelope, a1b2c3=live)))


if __name__ == "__main__":
    main()
