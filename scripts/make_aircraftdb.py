#!/usr/bin/env python3
"""Builds the demo aircraft database standins/download_server/data/aircraftdb.xml.

Sources (read from the shared data folder beside the project; see the README next to the output):
  testdata/aircraft_types/readsb_types.json         ICAO type designators with their ICAO Doc 8643
                                                    description (L2J, H2T, ...) and wake category
  testdata/aircraft_types/aircraft_types_wingspan_openap.csv   wingspans of 43 types
  data/dump1090_mutability_aircraft_db.csv          registration -> ICAO type
  data/flightgear_ai_fleet.csv                      registration -> airline, flight type (cargo)

The size class follows from the description and the wake category: rotorcraft (H, G, T), heavy
(wake H or J), business jet and high performance (the lists below), large (jets and turboprop
airliners of wake M); everything else light. Spans not in the openap file come from the public
figures listed below (metres; rotor diameter for rotorcraft).

Usage: scripts/make_aircraftdb.py [--shared ../shared] [--out standins/.../aircraftdb.xml]
"""
import argparse
import csv
import datetime
import json
import os
import sys
from xml.sax.saxutils import quoteattr, escape

SCRAMBLE_KEY = b"Tavix/RegCodes-7Q"  # must equal kScrambleKey in src/liveries/regcodes.cpp

BIZJETS = """
ASTR BE40 C500 C501 C510 C525 C25A C25B C25C C25M C526 C550 C551 C55B C560 C56X C650 C680 C68A
C700 C750 CL30 CL35 CL60 E35L E50P E545 E550 E55P EA50 F2TH F900 FA10 FA20 FA50 FA6X FA7X FA8X
G150 G200 G280 GALX GL5T GL6T GL7T GL8T GLEX GLF2 GLF3 GLF4 GLF5 GLF6 H25A H25B H25C HDJT LJ23
LJ24 LJ25 LJ28 LJ31 LJ35 LJ40 LJ45 LJ55 LJ60 LJ70 LJ75 LJ85 PC24 PRM1 SF50 SJ30 WW24 BE4W
""".split()

HIGHPERF = """
A10 ALPJ AV8B EUFI F14 F15 F16 F18 F18H F18S F22 F35 F4 F5 HAWK L39 M339 MG29 MG21 MIR2 RFAL SU27
SU30 SU35 T38 TOR JAGR A4 A6 A7 AMX AJET F111 F117 SU24 SU25 SU34 MG23 MG25 MG31 T45 T50 M346
""".split()

# Turboprops of wake category M that fly as light aircraft.
LIGHT_TURBOPROPS = "BE20 B350 BE32 BE12 BE9L BE9T P180 MU2".split()

# Public figures, metres (rotor diameter for rotorcraft). The openap file wins where it has a type.
SPANS = {
    # Airbus
    "A306": 44.84, "A30B": 44.84, "A310": 43.9, "A338": 64.0, "A339": 64.0, "A342": 60.3,
    "A345": 63.45, "A346": 63.45, "A35K": 64.75, "BCS1": 35.1, "BCS3": 35.1, "A400": 42.4,
    "A124": 73.3, "A225": 88.4, "A3ST": 44.84,
    # Boeing, McDonnell Douglas
    "B712": 28.4, "B732": 28.35, "B733": 28.88, "B735": 28.88, "B736": 34.32, "B741": 59.64,
    "B742": 59.64, "B743": 59.64, "B74S": 59.64, "B753": 38.05, "B762": 47.57, "B764": 51.92,
    "B77L": 64.8, "B778": 71.8, "B779": 71.8, "B78X": 60.12, "MD11": 51.97, "MD82": 32.87,
    "MD83": 32.87, "MD88": 32.87, "MD90": 32.87, "DC10": 50.4, "DC93": 28.47,
    # Regional
    "E135": 20.04, "E75S": 26.0, "E290": 33.72, "E295": 35.12, "E120": 19.78, "CRJ1": 21.21,
    "CRJ2": 21.21, "CRJ7": 23.24, "CRJX": 26.18, "DH8A": 25.91, "DH8B": 25.91, "DH8C": 27.43,
    "DH8D": 28.42, "AT43": 24.57, "AT45": 24.57, "AT72": 27.05, "AT75": 27.05, "AT76": 27.05,
    "SF34": 21.44, "SB20": 24.76, "F50": 29.0, "F70": 28.08, "F100": 28.08, "B461": 26.21,
    "B462": 26.21, "B463": 26.21, "RJ70": 26.21, "RJ85": 26.21, "RJ1H": 26.21, "SU95": 27.8,
    "A148": 28.91, "C919": 35.8, "D328": 20.98, "J328": 20.98, "JS41": 18.29, "B190": 17.67,
    "DHC6": 19.81, "C130": 40.41, "C30J": 40.41,
    # Business jets
    "C25B": 16.26, "C25C": 15.49, "C510": 13.16, "C525": 14.26, "C56X": 16.98, "C680": 19.37,
    "C68A": 22.04, "C700": 21.0, "C750": 19.38, "CL30": 19.46, "CL35": 19.46, "GLEX": 28.65,
    "GL5T": 28.65, "GL7T": 31.7, "GLF4": 23.72, "GLF5": 28.5, "G280": 19.2, "F2TH": 19.33,
    "FA7X": 26.21, "FA8X": 26.29, "LJ35": 12.04, "LJ45": 14.58, "LJ60": 13.34, "LJ75": 15.51,
    "H25B": 15.66, "BE40": 13.25, "PRM1": 13.56, "E55P": 16.2, "E50P": 12.3, "E545": 20.25,
    "E550": 20.25, "PC24": 17.0, "HDJT": 12.12, "SF50": 11.79,
    # Light aircraft
    "C150": 10.1, "C152": 10.1, "C182": 11.0, "C206": 10.97, "C210": 11.2, "P28A": 10.67,
    "PA34": 11.85, "PA31": 12.4, "PA46": 13.1, "SR20": 11.68, "SR22": 11.68, "DA40": 11.94,
    "DA42": 13.42, "DA62": 14.55, "BE36": 10.21, "BE58": 11.53, "BE9L": 15.32, "B350": 17.65,
    "PC12": 16.28, "TBM7": 12.83, "TBM8": 12.83, "TBM9": 12.83, "M20P": 11.0, "C310": 11.25,
    "C340": 11.62, "C414": 13.45, "C421": 12.53, "DR40": 8.72, "TB20": 9.97, "PA18": 10.73,
    "DHC2": 14.64, "DHC3": 17.68, "AN2": 18.18, "PC6": 15.87,
    # Rotorcraft
    "EC35": 10.2, "EC30": 10.69, "EC45": 11.0, "EC20": 10.2, "AS50": 10.69, "AS55": 10.69,
    "AS65": 11.94, "AS32": 15.6, "A109": 11.0, "A119": 10.83, "A139": 13.8, "A169": 12.12,
    "A189": 14.6, "B06": 10.16, "B407": 10.67, "B412": 14.02, "B429": 10.97, "R22": 7.67,
    "R44": 10.06, "R66": 10.06, "S76": 13.41, "S92": 17.17, "H60": 16.36, "H47": 18.29,
    "BK17": 11.0, "NH90": 16.3, "EH10": 18.59,
    # High performance
    "F16": 9.96, "F15": 13.05, "F18": 12.31, "F18S": 13.62, "F35": 10.7, "F22": 13.56,
    "EUFI": 10.95, "RFAL": 10.9, "TOR": 13.91, "HAWK": 9.94, "L39": 9.46, "ALPJ": 9.11,
    "T38": 7.7, "F5": 8.13, "SU27": 14.7, "MG29": 11.36, "A10": 17.53, "AV8B": 9.25,
}

# Country prefixes written with a dash after them (the spellings try both forms).
REG_PREFIXES = """
3A 3B 3C 3D 3X 4K 4L 4O 4R 4X 5A 5B 5H 5N 5R 5T 5U 5V 5Y 6O 6V 6Y 7O 7P 7Q 7T 8P 8Q 8R 9A 9G 9H 9J
9K 9L 9M 9N 9Q 9U 9V 9Y A2 A3 A4O A5 A6 A7 A8 A9C B C C5 C6 C9 CC CN CP CS CX D D2 D4 EC EI EK EP
ES ET EW EX EY EZ F G HA HB HC HH HI HK HL HP HR HS HZ I J2 J5 J8 JA JY LN LV LX LY LZ N OB OD OE
OH OK OM OO OY P2 P4 PH PK PP PR PT PZ RA RP S2 S5 S7 S9 SE SP ST SU SX T7 T9 TC TF TG TI TJ TL TN
TR TS TT TU TY TZ UK UN UR V2 V3 V5 V7 V8 VH VN VP VQ VT XA XT XU XY YA YI YJ YK YL YN YR YS YU YV
Z ZA ZK ZS
""".split()

PUBLISHERS = [("Benjwri", ["benjwri"])]

REGISTRATION_COUNT = 400


def scramble(text):
    data = text.encode("utf-8")
    return "".join("%02X" % (b ^ SCRAMBLE_KEY[i % len(SCRAMBLE_KEY)]) for i, b in enumerate(data))


def size_class(code, info):
    desc, wtc = info.get("desc", "---"), info.get("wtc", "-")
    if desc[:1] in ("H", "G", "T"):
        return "rotorcraft"
    if code in HIGHPERF:
        return "highperf"
    if code in BIZJETS:
        return "bizjet"
    if wtc in ("H", "J"):
        return "heavy"
    engine = desc[2:3]
    if wtc == "M" and engine == "J":
        return "large"
    if wtc == "M" and engine == "T" and code not in LIGHT_TURBOPROPS and desc[1:2] not in ("1",):
        return "large"
    return "light"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--shared", default=os.path.join(here, "..", "..", "shared"))
    ap.add_argument("--out", default=os.path.join(here, "..", "standins", "download_server", "data",
                                                  "aircraftdb.xml"))
    args = ap.parse_args()
    testdata = os.path.join(args.shared, "testdata", "aircraft_types")
    data = os.path.join(args.shared, "data")

    with open(os.path.join(testdata, "readsb_types.json"), encoding="utf-8") as f:
        types = json.load(f)
    spans = dict(SPANS)
    with open(os.path.join(testdata, "aircraft_types_wingspan_openap.csv"), encoding="utf-8") as f:
        for row in csv.DictReader(f):
            spans[row["icao_type"]] = float(row["wingspan_m"])
    codes = sorted(c for c in types if 2 <= len(c) <= 4 and c.isalnum() and c.upper() == c)
    sets = {name: [] for name in ("large", "heavy", "bizjet", "rotorcraft", "highperf")}
    for code in codes:
        cls = size_class(code, types[code])
        if cls != "light":
            sets[cls].append(code)

    # Registrations: the dump1090 table joined with the FlightGear fleet for the airline; every
    # cargo aircraft first, then airlines in turn, until the count is reached.
    reg_type = {}
    with open(os.path.join(data, "dump1090_mutability_aircraft_db.csv"), encoding="utf-8") as f:
        for row in csv.DictReader(f):
            if row["registration"] and row["icao_type"] in types:
                reg_type[row["registration"]] = row["icao_type"]
    by_airline = {}
    seen = set()
    with open(os.path.join(data, "flightgear_ai_fleet.csv"), encoding="utf-8") as f:
        for row in csv.DictReader(f):
            reg = row["registration"]
            if reg in reg_type and reg not in seen and len(row["airline"]) == 3:
                seen.add(reg)
                by_airline.setdefault(row["airline"], []).append(
                    (reg, row["airline"], reg_type[reg], 1 if row["flighttype"] == "cargo" else 0))
    chosen = [r for rows in by_airline.values() for r in rows if r[3]]
    queues = {a: [r for r in rows if not r[3]] for a, rows in sorted(by_airline.items())}
    while len(chosen) < REGISTRATION_COUNT and any(queues.values()):
        for airline in sorted(queues):
            if queues[airline] and len(chosen) < REGISTRATION_COUNT:
                chosen.append(queues[airline].pop(0))
    chosen.sort()

    out = []
    out.append('<?xml version="1.0"?>')
    out.append("<meta>")
    for name, value in (("author", "Tavix"), ("version", "1.0.0"),
                        ("date", datetime.date.today().isoformat()),
                        ("copyright", "see README.md beside this file"), ("MSFS", "2020/2024")):
        out.append("  <info name=%s value=%s />" % (quoteattr(name), quoteattr(value)))
    out.append("</meta>")
    out.append("<aircraftdb>")
    out.append("  <types>")
    for code in codes:
        span = spans.get(code)
        out.append('    <t c="%s"%s />' % (code, ' span="%g"' % span if span else ""))
    out.append("  </types>")
    out.append("  <typesets>")
    for name, members in sets.items():
        out.append('    <set name="%s">%s</set>' % (name, " ".join(members)))
    out.append("  </typesets>")
    out.append("  <regprefixes>%s</regprefixes>" % " ".join(REG_PREFIXES))
    out.append("  <registrations>")
    for reg, airline, typ, cargo in chosen:
        out.append('    <r k="%s" a="%s" t="%s" o="%s" c="%d" />'
                   % (scramble(reg), scramble(airline), typ, scramble(""), cargo))
    out.append("  </registrations>")
    out.append("  <publishers>")
    for name, names in PUBLISHERS:
        out.append("    <group name=%s>%s</group>"
                   % (quoteattr(name), "".join("<n>%s</n>" % escape(n) for n in names)))
    out.append("  </publishers>")
    out.append("  <simaddons20></simaddons20>")
    out.append("  <thirdparties20></thirdparties20>")
    out.append("  <thirdparties24></thirdparties24>")
    out.append("</aircraftdb>")
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(out) + "\n")
    print("%s: %d types (%d with span), sets %s, %d registrations"
          % (args.out, len(codes), sum(1 for c in codes if c in spans),
             {k: len(v) for k, v in sets.items()}, len(chosen)), file=sys.stderr)


if __name__ == "__main__":
    main()
