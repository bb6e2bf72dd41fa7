#!/usr/bin/env python3
"""Regenerates the download stand-in's committed data from ../shared/data (run from the repository
root: python3 standins/download_server/tools/make_tree.py). Writes:
  data/airports_msfs.xml, data/airports_msfs_names.xml   every airport of the OurAirports conversion
                                                          (the 5,034 medium and large airports with an
                                                          elevation, worldwide, as the real server's list)
  MSFS/archive/stock/<ICAO>.xml                           stock parking files: PHNL and BIKF from
                                                          FlightGear ground networks, EHAM, LSZH, EDDF
                                                          and EGLL from FlightGear apt.dat ramp rows
  data/regcodes/TF.xml                                    registration-code pack of Iceland (TF-):
                                                          the dump1090 aircraft table (registration,
                                                          ICAO type) joined with the FlightGear AI
                                                          fleets (airline, cargo flight type)
Stands carry position, heading and radius only (no schedules); the parking files use the program's
parking-file layout with publisher "stock".
"""
import csv
import datetime
import math
import os
import re
import xml.etree.ElementTree as ET

SRC = os.path.join(os.path.dirname(__file__), "..", "..", "..", "..", "shared", "data")
OUT = os.path.join(os.path.dirname(__file__), "..")
SCRAMBLE_KEY = b"Tavix/RegCodes-7Q"  # must equal kScrambleKey in src/liveries/regcodes.cpp
REGCODE_PACKS = ("TF",)  # country prefixes with a pack of their own


def airports():
    """The whole list, worldwide: the program picks its park airport from it wherever the user is."""
    for source, target, root_name in (("airports_msfs_format_from_ourairports.xml", "airports_msfs.xml", "airports"),
                                      ("airport_names_msfs_format_from_ourairports.xml", "airports_msfs_names.xml",
                                       "AirportNames")):
        root = ET.Element(root_name)
        for a in ET.parse(os.path.join(SRC, source)).getroot():
            ET.SubElement(root, "airport", a.attrib)
        ET.indent(root)
        ET.ElementTree(root).write(os.path.join(OUT, "data", target), encoding="UTF-8", xml_declaration=True)


def fg_coord(text):
    m = re.match(r"([NSEW])(\d+) ([\d.]+)", text.strip())
    value = int(m.group(2)) + float(m.group(3)) / 60.0
    return -value if m.group(1) in "SW" else value


def write_apf(icao, name, alt, stands):
    root = ET.Element("root")
    meta = ET.SubElement(root, "meta")
    for k, v in (("author", "Tavix"), ("version", "1"), ("date", "2026-01-01"),
                 ("copyright", "FlightGear data, GPL-2+"), ("MSFS", "2020")):
        ET.SubElement(meta, "info", name=k, value=v)
    params = ET.SubElement(root, "parameters")
    for k, v in (("airport_name", name), ("publisher", "stock"), ("altitude", str(alt)),
                 ("num_parkpos", str(len(stands))), ("RT_traffic_week", "0")):
        ET.SubElement(params, "parameter", name=k, value=v)
    pp = ET.SubElement(root, "parkpositions")
    seen = set()
    for s in stands:
        if s["id"] in seen:
            continue
        seen.add(s["id"])
        ET.SubElement(pp, "parkpos", id=s["id"], latitude="%.6f" % s["lat"], longitude="%.6f" % s["lon"],
                      heading="%.1f" % s["hdg"], radius="%.1f" % s["radius"], cargo=s["cargo"], ramp="false")
    path = os.path.join(OUT, "MSFS", "archive", "stock", icao + ".xml")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0"?>\n')
        for child in root:
            ET.indent(child)
            f.write(ET.tostring(child, encoding="unicode") + "\n")


def groundnets():
    for icao, name, alt in (("PHNL", "Honolulu Intl", 13), ("BIKF", "Keflavik", 170)):
        tree = ET.parse(os.path.join(SRC, "flightgear_groundnets", icao + ".groundnet.xml"))
        stands = []
        for p in tree.getroot().iter("Parking"):
            stands.append({"id": (p.get("name", "") + p.get("number", "")).strip() or p.get("index"),
                           "lat": fg_coord(p.get("lat")), "lon": fg_coord(p.get("lon")),
                           "hdg": float(p.get("heading", "0")) % 360.0, "radius": float(p.get("radius", "20")),
                           "cargo": "true" if "cargo" in p.get("type", "") else "false"})
        write_apf(icao, name, alt, stands)


def apt_dat():
    wanted = {"EHAM": ("Schiphol", -11), "LSZH": ("Zurich", 1416), "EDDF": ("Frankfurt am Main", 355),
              "EGLL": ("London Heathrow", 83)}
    current = None
    stands = {}
    with open(os.path.join(SRC, "flightgear_apt_subset.dat"), encoding="utf-8", errors="replace") as f:
        for line in f:
            parts = line.split()
            if not parts:
                continue
            if parts[0] == "1":
                current = parts[4]
            elif parts[0] == "15" and current in wanted:
                sid = " ".join(parts[4:]) or "stand"
                stands.setdefault(current, []).append({"id": sid, "lat": float(parts[1]), "lon": float(parts[2]),
                                                       "hdg": float(parts[3]) % 360.0, "radius": 30.0,
                                                       "cargo": "true" if "cargo" in sid.lower() else "false"})
    for icao, (name, alt) in wanted.items():
        if stands.get(icao):
            write_apf(icao, name, alt, stands[icao])


def scramble(text):
    data = text.encode("utf-8")
    return "".join("%02X" % (b ^ SCRAMBLE_KEY[i % len(SCRAMBLE_KEY)]) for i, b in enumerate(data))


def regcodes():
    """One pack per prefix: every registration of that country that has both an ICAO type (dump1090
    table) and an airline (FlightGear fleets); the cargo flag from the fleet's flight type."""
    types = set(re.findall(r'<t c="([^"]+)"', open(os.path.join(OUT, "data", "aircraftdb.xml"), encoding="utf-8").read()))
    reg_type = {}
    with open(os.path.join(SRC, "dump1090_mutability_aircraft_db.csv"), encoding="utf-8") as f:
        for row in csv.DictReader(f):
            if row["registration"] and row["icao_type"] in types:
                reg_type[row["registration"]] = row["icao_type"]
    fleet = {}
    with open(os.path.join(SRC, "flightgear_ai_fleet.csv"), encoding="utf-8") as f:
        for row in csv.DictReader(f):
            if len(row["airline"]) == 3:
                fleet.setdefault(row["registration"], row)
    folder = os.path.join(OUT, "data", "regcodes")
    os.makedirs(folder, exist_ok=True)
    for prefix in REGCODE_PACKS:
        regs = sorted(r for r in reg_type if r.startswith(prefix + "-") and r in fleet)
        lines = ['<?xml version="1.0"?>', "<meta>"]
        for k, v in (("author", "Tavix"), ("version", "1"), ("date", datetime.date.today().isoformat()),
                     ("copyright", "see data/README.md of the download stand-in"), ("MSFS", "2020/2024")):
            lines.append('  <info name="%s" value="%s" />' % (k, v))
        lines += ["</meta>", "<regcodes>", "  <registrations>"]
        for reg in regs:
            cargo = 1 if fleet[reg]["flighttype"] == "cargo" else 0
            lines.append('    <r k="%s" a="%s" t="%s" o="%s" c="%d" />'
                         % (scramble(reg), scramble(fleet[reg]["airline"]), reg_type[reg], scramble(""), cargo))
        lines += ["  </registrations>", "</regcodes>"]
        with open(os.path.join(folder, prefix + ".xml"), "w", encoding="utf-8", newline="\n") as f:
            f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    if not os.path.isdir(SRC):
        # A fresh clone without the shared data folder: the committed derived files stay as they are.
        print("make_tree: %s not found, the committed tree is kept" % os.path.normpath(SRC))
        raise SystemExit(0)
    os.makedirs(os.path.join(OUT, "data"), exist_ok=True)
    airports()
    groundnets()
    apt_dat()
    regcodes()
