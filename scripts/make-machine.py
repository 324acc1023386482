#!/usr/bin/env python3
"""Writes a machine description with N boards, for timing hwconfig on large machines:

    scripts/make-machine.py 4000 /tmp/boards-4000/machine.json
    build/plain/bin/hwconfig --machine /tmp/boards-4000/machine.json list

Each board is a PCI Express board behind a bridge of its own on one host bridge, every registry
value a report reads, a PXI place and a board state for the simulated driver library.
The machine's drive C is a folder beside the description holding an alias file with no records."""
import json
import os
import sys

BOARD_CLASS = "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}"
REGISTER_CLASS = "{307EC87D-29CC-4584-A948-31D05774699E}"
HOST_BRIDGE = "ACPI\\PNP0A08\\0"


def board_devices(n):
    bridge = "PCI\\VEN_8086&DEV_A110&SUBSYS_00000000&REV_F0\\3&11583659&0&%04X" % n
    board = "PCI\\VEN_ABCD&DEV_1234&SUBSYS_5678ABCD&REV_01\\4&%07X&0&00E0" % n
    bus = n + 1
    yield {"id": bridge, "parent": HOST_BRIDGE, "address": (n % 32) << 16}
    yield {
        "id": board, "parent": bridge, "address": 0,
        "hardwareKey": {
            "BusProperties": {
                "pciVendorID": 43981, "pciDeviceID": 4660, "pciSubsystemVendorID": 43981,
                "pciSubsystemID": 22136, "pciRevision": 1, "pciBusNumber": bus, "pciDeviceNumber": 0,
                "pciFunctionNumber": 0, "pcieLinkWidth": 4, "pcieMaxLinkWidth": 8},
            "DeviceProperties": {
                "manufacturerName": "Quorvel", "modelName": "KELP-4410", "serialNumber": "%08X" % n,
                "pxiGeographicAddress": 2 + n % 18}},
        "interfaces": [
            {"class": BOARD_CLASS, "key": {"Properties": {
                "interfaceVersion": 4, "isProductQV": 1, "mainInterface": {"guid": REGISTER_CLASS},
                "connectsToNumSlots": 1, "supportsRouting": 0, "supportsRoutingEnumeration": 0,
                "supportsRegiEnumeration": 0, "resetRoutingForCal": 0, "driverBaseName": "qvkelpdrv",
                "hardwareRevision": "B"}}},
            {"class": REGISTER_CLASS}],
        "board": {
            "selfCal": {"time": "2026-03-01T08:30:00Z", "temperature": 35.5},
            "externalCal": {"time": "2025-06-01T00:00:00Z", "intervalDays": 365, "password": "kelp"},
            "temperatures": [41.25, 55.0, 38.5, 37.75]}}


def machine(boards):
    devices = [{"id": "ROOT\\ACPI_HAL\\0000"},
               {"id": "ACPI_HAL\\PNP0C08\\0", "parent": "ROOT\\ACPI_HAL\\0000"},
               {"id": HOST_BRIDGE, "parent": "ACPI_HAL\\PNP0C08\\0"}]
    for n in range(boards):
        devices.extend(board_devices(n))
    pxi = [{"bus": n + 1, "device": 0, "function": 0, "chassis": 1 + n // 18, "slot": 2 + n % 18}
           for n in range(boards)]
    return {"drives": {"C": "drive_c"}, "commonAppData": "C:\\ProgramData", "devices": devices, "pxi": pxi}


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make-machine.py BOARDS FILE")
    boards, path = int(sys.argv[1]), sys.argv[2]
    folder = os.path.dirname(os.path.abspath(path))
    aliases = os.path.join(folder, "drive_c", "ProgramData", "Quorvel", "QV-KELP")
    os.makedirs(aliases, exist_ok=True)
    with open(os.path.join(aliases, "aliases.json"), "w") as out:
        json.dump({"devices": {}}, out)
    with open(path, "w") as out:
        json.dump(machine(boards), out, indent=1)


if __name__ == "__main__":
    main()
