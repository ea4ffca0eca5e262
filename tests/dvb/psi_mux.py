#!/usr/bin/env python3
"""Writes a small MPEG transport stream that carries only tables (PAT, PMTs, SDT) for
scan tests: what ffmpeg cannot make, such as names in ISO/IEC 8859-11 with selector
0x07. The services have no media; a scan only reads the tables.

    psi_mux.py OUT.ts LAYOUT.json

LAYOUT: {"tsid": 7, "sdt_sections": 1,
       "services": [{"sid": 3001, "pmt": 4352, "pcr": 512,
                     "streams": [[27, 512], [3, 513]], "name_hex": "07a1b2"}]}
"name_hex" are the raw bytes of the name field (selector included); a service
without it gets no service descriptor. With "sdt_sections": 2 the services are
divided between two SDT sections (0 and 1).
"""
import json
import sys


def crc32_mpeg(data):
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else crc << 1
            crc &= 0xFFFFFFFF
    return crc


def section(table_id, extension, body, number=0, last=0):
    length = 5 + len(body) + 4
    head = bytes([table_id, 0xB0 | (length >> 8), length & 0xFF,
                  extension >> 8, extension & 0xFF, 0xC1, number, last])
    data = head + body
    return data + crc32_mpeg(data).to_bytes(4, "big")


def pat(tsid, services):
    body = bytes([0x00, 0x00, 0xE0, 0x10])  # network PID entry
    for s in services:
        body += s["sid"].to_bytes(2, "big") + (0xE000 | s["pmt"]).to_bytes(2, "big")
    return section(0x00, tsid, body)


def pmt(service):
    body = (0xE000 | service["pcr"]).to_bytes(2, "big") + b"\xF0\x00"
    for stream_type, pid in service["streams"]:
        body += bytes([stream_type]) + (0xE000 | pid).to_bytes(2, "big") + b"\xF0\x00"
    return section(0x02, service["sid"], body)


def sdt(tsid, services, number, last):
    body = b"\x21\x74\xFF"  # original network id, reserved
    for s in services:
        descriptors = b""
        if "name_hex" in s:
            name = bytes.fromhex(s["name_hex"])
            provider = b"Vantiro"
            payload = bytes([0x01, len(provider)]) + provider + bytes([len(name)]) + name
            descriptors = bytes([0x48, len(payload)]) + payload
        body += s["sid"].to_bytes(2, "big") + b"\xFC" + (0x8000 | len(descriptors)).to_bytes(2, "big")
        body += descriptors
    return section(0x42, tsid, body, number, last)


class Packetizer:
    def __init__(self):
        self.counters = {}

    def packets(self, pid, data):
        out = b""
        payload = b"\x00" + data  # pointer field
        first = True
        while payload:
            chunk, payload = payload[:184], payload[184:]
            cc = self.counters.get(pid, 0)
            self.counters[pid] = (cc + 1) & 0x0F
            head = bytes([0x47, (0x40 if first else 0x00) | (pid >> 8), pid & 0xFF, 0x10 | cc])
            out += head + chunk + b"\xFF" * (184 - len(chunk))
            first = False
        return out


def null_packets(count):
    return (bytes([0x47, 0x1F, 0xFF, 0x10]) + b"\xFF" * 184) * count


def main():
    out_path, layout_path = sys.argv[1], sys.argv[2]
    with open(layout_path) as f:
        layout = json.load(f)
    tsid = layout.get("tsid", 1)
    services = layout["services"]
    sdt_sections = layout.get("sdt_sections", 1)
    if sdt_sections == 2:
        half = (len(services) + 1) // 2
        sdts = [sdt(tsid, services[:half], 0, 1), sdt(tsid, services[half:], 1, 1)]
    else:
        sdts = [sdt(tsid, services, 0, 0)]
    p = Packetizer()
    stream = b""
    for _ in range(4):  # a few repetitions, padded so that the file has some length
        stream += p.packets(0x0000, pat(tsid, services))
        for s in services:
            stream += p.packets(s["pmt"], pmt(s))
        for table in sdts:
            stream += p.packets(0x0011, table)
        stream += null_packets(40)
    with open(out_path, "wb") as f:
        f.write(stream)


if __name__ == "__main__":
    main()
