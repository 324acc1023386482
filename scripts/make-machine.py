#!/usr/bin/env python3
"""Writes a simulated machine description and the alias file beside it (FOLDER/machine.json,
FOLDER/drive_c/ProgramData/Quorvel/QV-KELP/aliases.json).

    scripts/make-machine.py 1000 /tmp/big           # 1000 QV-KELP PCI Express boards, for timing
    scripts/make-machine.py 72 /tmp/m72 10000       # 72 boards, 10,000 alias records of other boards
    scripts/make-machine.py --random 17 /tmp/m17    # a machine made at random from seed 17

The first form puts each board behind a root port of its own, 250 to a host bridge, with an alias
file without records (or with RECORDS records of boards that are not present, about 160 bytes
each), and prints the last board's item name (for `hwconfig show ITEM_NAME`). The
second makes, from the seed alone (the same seed gives the same files), a machine for comparing
builds (scripts/compare-builds.sh): see random_machine.py.
"""
import json
import pathlib
import sys


def board(index, port_id):
    item = "PCI\\VEN_1F2B&DEV_7B10&SUBSYS_7B101F2B&REV_02\\4&%X&0&0018" % (0x10000000 + index)
    return item, {
        "id": item, "parent": port_id, "address": 0,
        "hardwareKey": {
            "BusProperties": {"pciVendorID": 7979, "pciDeviceID": 31504, "pciSubsystemVendorID": 7979,
                              "pciSubsystemID": 31504, "pciRevision": 2, "pciBusNumber": 1 + index % 255,
                              "pciDeviceNumber": 0, "pciFunctionNumber": 0, "pcieLinkWidth": 4,
                              "pcieMaxLinkWidth": 8},
            "DeviceProperties": {"manufacturerName": "Quorvel", "modelName": "QV-KELP 2310e",
                                 "serialNumber": "B%07X" % index, "pxiGeographicAddress": 0}},
        "interfaces": [
            {"class": "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}",
             "key": {"Properties": {"interfaceVersion": 3, "isProductQV": 1,
                                    "mainInterface": {"guid": "{6A2F9D13-8C47-4E0B-B5D8-3F1C27E9A046}"},
                                    "connectsToNumSlots": 0, "supportsRouting": 0,
                                    "supportsRoutingEnumeration": 0, "supportsRegiEnumeration": 0,
                                    "resetRoutingForCal": 0, "driverBaseName": "qvkelpdrv"}}},
            {"class": "{6A2F9D13-8C47-4E0B-B5D8-3F1C27E9A046}"}],
        "board": {"selfCal": {"time": "2026-01-20T10:12:00Z", "temperature": 33.25},
                  "externalCal": {"time": "2025-11-05T00:00:00Z", "intervalDays": 365, "password": "kelp"},
                  "temperatures": [36.5, 44.0, 33.75, 33.5], "selfTest": 0, "selfCalibration": 0}}


def main():
    random = len(sys.argv) == 4 and sys.argv[1] == "--random" and sys.argv[2].isdigit()
    sized = len(sys.argv) in (3, 4) and sys.argv[1].isdigit() and (len(sys.argv) == 3 or sys.argv[3].isdigit())
    if not (random or sized):
        # --help, -h or a line of another shape: the usage, on standard output when asked for.
        asked = len(sys.argv) == 2 and sys.argv[1] in ("--help", "-h")
        print(__doc__.strip(), file=sys.stdout if asked else sys.stderr)
        sys.exit(0 if asked else 2)
    if sys.argv[1] == "--random":
        import random_machine
        random_machine.write(int(sys.argv[2]), pathlib.Path(sys.argv[3]))
        return
    count, folder = int(sys.argv[1]), pathlib.Path(sys.argv[2])
    records = int(sys.argv[3]) if len(sys.argv) == 4 else 0
    devices = [{"id": "ROOT\\ACPI_HAL\\0000"}, {"id": "ACPI_HAL\\PNP0C08\\0", "parent": "ROOT\\ACPI_HAL\\0000"}]
    last_item = ""
    for index in range(count):
        bridge, port = divmod(index, 250)
        bridge_id = "ACPI\\PNP0A08\\%d" % bridge
        if port == 0:
            devices.append({"id": bridge_id, "parent": "ACPI_HAL\\PNP0C08\\0"})
        port_id = "PCI\\VEN_8086&DEV_2030&SUBSYS_00000000&REV_04\\3&%X&0&%02X" % (0x2F1E4C9 + bridge, port)
        devices.append({"id": port_id, "parent": bridge_id, "address": ((port // 8) << 16) | (port % 8)})
        last_item, entry = board(index, port_id)
        devices.append(entry)
    aliases = folder / "drive_c" / "ProgramData" / "Quorvel" / "QV-KELP"
    aliases.mkdir(parents=True, exist_ok=True)
    absent = {"PCI:VEN_1F2B&DEV_7B10&SUBSYS_7B101F2B&REV_02/0000:%02X:E0:00:%02X:%02X" % (i >> 16, (i >> 8) & 255, i & 255):
              {"alias": "Absent%06d" % i, "note": "a board of another machine, kept by the lab"}
              for i in range(records)}
    (aliases / "aliases.json").write_text(json.dumps({"devices": absent}, indent=1) + "\n")
    machine = {"drives": {"C": "drive_c"}, "commonAppData": "C:\\ProgramData", "devices": devices}
    (folder / "machine.json").write_text(json.dumps(machine, indent=1))
    print(last_item)


main()
