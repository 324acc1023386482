"""A machine description made at random from a seed, for comparing the builds of the module
(scripts/make-machine.py --random SEED FOLDER).

What a machine may hold: host bridges of both kinds (PNP0A08 PCI Express, PNP0A03 PCI) beside other
ACPI devices; root ports; switches whose downstream ports lead to further switches (several
depths); PXI chassis (a bridge whose slots hold boards with PXI locations) and PCI Express boards
outside one; functions above 0; board interfaces of versions 1 to 4 with and without the
register-access and routing interfaces; boards not present; other vendors' devices; values left
out; texts with spaces and code-page-1252 characters; board state with and without calibration
records and temperatures; an alias file with records for present boards, absent boards, or none;
instance IDs written in lower case (the system reports them in upper case); interfaces with
reference strings, among them two register-access interfaces of one board.
"""
import json
import random

BOARD_CLASS = "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}"
MAIN_CLASS = "{6A2F9D13-8C47-4E0B-B5D8-3F1C27E9A046}"
REGISTER_CLASS = "{307EC87D-29CC-4584-A948-31D05774699E}"
ROUTING_CLASS = "{9060DC52-D4F8-4768-8256-6EE7B4D5C777}"
OTHER_CLASSES = ["{3ABF6F2D-71C4-462A-8A92-1E6861E6AF27}", "{CAC88484-7515-4C03-82E6-71A87ABAC361}"]
VENDOR = 0x1F2B
MODELS = [(0x7A21, "QV-KELP 4110"), (0x7A22, "QV-KELP 4220"), (0x7A40, "QV-KELP 4480R"),
          (0x7B10, "QV-KELP 2310e"), (0x7B20, "QV-KELP 2320e")]
# Code-page-1252 characters (all below U+0100, so each is one byte) and spaces.
TEXTS = ["Quorvel", "Quorvel Messtechnik", "Quorvel Präzision GmbH", "Señal & Co", "Kelp Æther ±5 V"]


class Maker:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.devices = []
        self.pxi = []
        self.boards = []  # (item name, present, slot path, hardware values) of QV-KELP boards
        self.bus = 0
        self.hash = seed * 7919 + 0x1000

    def chance(self, p):
        return self.rng.random() < p

    def instance(self, suffix):
        self.hash += self.rng.randint(1, 0xFFFF)
        return "%X&%X&0&%s" % (self.rng.randint(3, 6), self.hash, suffix)

    def add(self, device):
        self.devices.append(device)
        return device["id"]

    def bridge(self, parent, device_number, function, path, vendor="8086", dev="A110"):
        address = (device_number << 16) | function
        devfn = "%02X" % (device_number << 3 | function)
        return self.add({"id": "PCI\\VEN_%s&DEV_%s&SUBSYS_00000000&REV_04\\%s" % (vendor, dev, self.instance(devfn)),
                         "parent": parent, "address": address}), path + [devfn]

    def properties(self, version, register, routing):
        values = {"interfaceVersion": version, "isProductQV": 1, "mainInterface": {"guid": MAIN_CLASS},
                  "connectsToNumSlots": self.rng.randint(0, 2), "supportsRouting": int(routing),
                  "supportsRoutingEnumeration": int(routing), "supportsRegiEnumeration": int(register),
                  "resetRoutingForCal": int(routing and self.chance(0.5)), "driverBaseName": "qvkelpdrv"}
        if version >= 4 and self.chance(0.5):
            values.update({"hardwareRevision": "C%d" % self.rng.randint(1, 4),
                           "routingAdaptorName": "QV-KELP Trigger Router"})
        if version >= 3 and self.chance(0.3):
            values.update({"selfCalLibraryName": "qvKELPVRXGroupASelfCal",
                           "selfCalFunctionName": "qvKELPVRXGroupASelfCal_SelfCalibrateFromCFG"})
        return self.leave_out(values, keep={"mainInterface", "driverBaseName"})

    # One board in five leaves out one value of a key (every report then fails the same way on
    # every build, which is compared too); the others keep them all.
    def leave_out(self, values, keep=()):
        if not self.chance(0.07):
            return values
        dropped = self.rng.choice(sorted(set(values) - set(keep)))
        return {k: v for k, v in values.items() if k != dropped}

    def state(self):
        state = {"selfTest": self.rng.choice([0, 0, 0, -52003, 1]), "selfCalibration": 0}
        if self.chance(0.7):
            state["selfCal"] = {"time": "2026-0%d-1%dT08:30:00Z" % (self.rng.randint(1, 3), self.rng.randint(0, 9)),
                                "temperature": self.rng.randint(1200, 4800) / 40}
        if self.chance(0.7):
            state["externalCal"] = {"time": "2025-%02d-01T00:00:00Z" % self.rng.randint(1, 12),
                                    "intervalDays": self.rng.choice([-5, 0, 30, 365, 730]), "password": "kelp"}
        if self.chance(0.8):
            state["temperatures"] = [self.rng.randint(1200, 6400) / 40 for _ in range(self.rng.randint(0, 4))]
        return state

    def board(self, parent, path, function=0, pxi=None):
        self.bus += 1
        model, name = self.rng.choice(MODELS)
        revision = self.rng.randint(1, 3)
        devfn = "%02X" % function
        item = "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X\\%s" % (
            VENDOR, model, model, VENDOR, revision, self.instance(devfn + "00E0"))
        present = self.chance(0.85)
        version = self.rng.randint(1, 4)
        register, routing = self.chance(0.5), self.chance(0.3)
        bus_values = {"pciVendorID": VENDOR, "pciDeviceID": model, "pciSubsystemVendorID": VENDOR,
                      "pciSubsystemID": model, "pciRevision": revision, "pciBusNumber": self.bus,
                      "pciDeviceNumber": 0, "pciFunctionNumber": function,
                      "pcieLinkWidth": self.rng.choice([1, 4, 8]), "pcieMaxLinkWidth": 8}
        device_values = {"manufacturerName": self.rng.choice(TEXTS), "modelName": name,
                         "serialNumber": "%08X" % self.rng.randint(0, 0xFFFFFFFF),
                         "pxiGeographicAddress": pxi[1] if pxi else 0}
        interfaces = [{"class": BOARD_CLASS, "key": {"Properties": self.properties(version, register, routing)}},
                      {"class": MAIN_CLASS, "reference": "main"} if self.chance(0.3) else {"class": MAIN_CLASS}]
        if register and self.chance(0.2):
            interfaces += [{"class": REGISTER_CLASS, "reference": "bar0"}, {"class": REGISTER_CLASS, "reference": "bar2"}]
        elif register:
            interfaces.append({"class": REGISTER_CLASS})
        if routing:
            interfaces.append({"class": ROUTING_CLASS})
        if self.chance(0.2):
            item = item.lower()
        self.add({"id": item, "parent": parent, "address": function, "present": present,
                  "hardwareKey": {"BusProperties": self.leave_out(bus_values, keep={"pciVendorID", "pciBusNumber"}),
                                  "DeviceProperties": self.leave_out(device_values)},
                  "interfaces": interfaces, "board": self.state()})
        if pxi:
            self.pxi.append({"bus": self.bus, "device": 0, "function": function, "chassis": pxi[0], "slot": pxi[1]})
        complete = all(k in bus_values for k in ("pciDeviceID", "pciSubsystemVendorID", "pciSubsystemID", "pciRevision"))
        self.boards.append((item, present, path + [devfn], bus_values if complete else None))

    def switch(self, parent, path, depth):
        upstream, up_path = self.bridge(parent, 0, 0, path, "10B5", "8733")
        for port in range(self.rng.randint(1, 3)):
            downstream, down_path = self.bridge(upstream, port + 1, 0, up_path, "10B5", "8733")
            if depth > 1 and self.chance(0.4):
                self.switch(downstream, down_path, depth - 1)
            else:
                self.board(downstream, down_path, self.rng.choice([0, 0, 1, 2]))

    def chassis(self, parent, path, number):
        upstream, up_path = self.bridge(parent, 0, 0, path, "10B5", "8733")
        for slot in range(2, 2 + self.rng.randint(1, 4)):
            port, port_path = self.bridge(upstream, slot, 0, up_path, "10B5", "8733")
            self.board(port, port_path, 0, pxi=(number, slot))

    def machine(self):
        self.add({"id": "ROOT\\ACPI_HAL\\0000"})
        hal = self.add({"id": "ACPI_HAL\\PNP0C08\\0", "parent": "ROOT\\ACPI_HAL\\0000"})
        chassis_number = 0
        for index in range(self.rng.randint(1, 3)):
            if self.chance(0.5):
                self.add({"id": "ACPI\\PNP0C02\\%d" % index, "parent": hal})
            kind = "PNP0A08" if index == 0 or self.chance(0.6) else "PNP0A03"
            host = self.add({"id": "ACPI\\%s\\%d" % (kind, index), "parent": hal})
            for port in range(self.rng.randint(1, 3)):
                root_port, path = self.bridge(host, 0x1C + port, self.rng.choice([0, 0, 4]), ["0000", "00"])
                what = self.rng.random()
                if what < 0.3:
                    chassis_number += 1
                    self.chassis(root_port, path, chassis_number)
                elif what < 0.6:
                    self.switch(root_port, path, self.rng.randint(1, 3))
                else:
                    self.board(root_port, path, self.rng.choice([0, 0, 3]))
            if self.chance(0.5):
                self.add({"id": "PCI\\VEN_10EC&DEV_8168&SUBSYS_01231028&REV_15\\%s" % self.instance("FE"),
                          "parent": host, "address": 0x1F0006,
                          "interfaces": [{"class": self.rng.choice(OTHER_CLASSES)}]})
        return {"drives": {"C": "drive_c"}, "commonAppData": "C:\\ProgramData", "devices": self.devices,
                "pxi": self.pxi}

    # The alias file: records in the module's form for some present boards, some absent ones, or none.
    def aliases(self):
        records = {}
        if self.chance(0.25):
            return records
        for number, (item, present, path, values) in enumerate(self.boards):
            if values is None or not self.chance(0.5):
                continue
            key = "PCI:VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X/%s" % (
                values["pciVendorID"], values["pciDeviceID"], values["pciSubsystemVendorID"],
                values["pciSubsystemID"], values["pciRevision"], ":".join(path))
            records[key] = {"alias": "Board%d-%s" % (number, "here" if present else "gone"), "simulated": False}
        return records


def write(seed, folder):
    maker = Maker(seed)
    machine = maker.machine()
    aliases = folder / "drive_c" / "ProgramData" / "Quorvel" / "QV-KELP"
    aliases.mkdir(parents=True, exist_ok=True)
    (aliases / "aliases.json").write_text(json.dumps({"devices": maker.aliases()}, indent=1) + "\n", encoding="utf-8")
    (folder / "machine.json").write_text(json.dumps(machine, indent=1, ensure_ascii=False) + "\n", encoding="utf-8")
