#!/usr/bin/python3
"""Writes the seed corpus of the MIDI Clip fuzz target into fuzz/corpus/midi2clip/.

Small word-built clips: valid clips with MIDI 1.0 and MIDI 2.0 Channel Voice packets, tempo
and time signatures, and clips that stop or lie in each way the importer must survive. Run it
again after changing it; the files are committed. With ORVANE_CLI naming a built orvane-cli,
it also writes demo_song.midi2, the demo song converted to a clip.
"""
import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "midi2clip")

START = [0xF0200000, 0, 0, 0]
END = [0xF0210000, 0, 0, 0]


def dc(ticks):
    return [0x00400000 | ticks]


def header(tpq=480):
    return dc(0) + [0x00300000 | tpq] + dc(0) + START


def footer():
    return dc(0) + END


def midi1(group, status, data1, data2):
    return [0x20000000 | group << 24 | status << 16 | data1 << 8 | data2]


def midi2(group, status, index, value):
    return [0x40000000 | group << 24 | status << 16 | index << 8, value]


def tempo(ten_ns):
    return [0xD0100000, ten_ns, 0, 0]


def time_signature(numerator, exponent, thirty_seconds):
    return [0xD0100001, numerator << 24 | exponent << 16 | thirty_seconds << 8, 0, 0]


def clip(words, tail=b""):
    return b"SMF2CLIP" + struct.pack(">%dI" % len(words), *words) + tail


SEEDS = {
    "midi2_notes_two_groups": header() + dc(0) + tempo(50000000) + dc(0) + time_signature(4, 2, 8)
    + dc(0) + midi2(0, 0xC0, 0, 0x05000000) + dc(0) + midi2(0, 0x90, 60, 0xC8140000)
    + dc(0) + midi2(1, 0x99, 38, 0x80000000) + dc(480) + midi2(0, 0xE0, 0, 0x80000000)
    + dc(0) + midi2(0, 0x80, 60, 0) + dc(0) + midi2(1, 0x89, 38, 0) + footer(),
    "midi1_notes_controllers": header(96) + dc(0) + midi1(0, 0xB3, 7, 100) + dc(0) + midi1(0, 0x93, 64, 90)
    + dc(96) + midi1(0, 0x83, 64, 0) + dc(0) + midi1(0, 0xD3, 40, 0) + footer(),
    "events_before_start_of_clip": dc(0) + [0x00300000 | 480] + dc(100) + midi2(0, 0x90, 60, 0x80000000)
    + dc(50) + midi1(0, 0x90, 62, 90) + START + dc(10) + midi1(0, 0x80, 62, 0) + END,
    "unsupported_packets": header() + dc(0) + midi2(0, 0x25, 0, 0) + dc(0) + midi1(0, 0x90, 60, 100)
    + dc(0) + [0x10F80000] + dc(0) + [0x30010000, 0] + dc(0) + [0x60000000] + dc(0) + [0xB0000000, 0, 0]
    + dc(0) + [0xD0100002, 0, 0, 0] + dc(0) + [0xF0010000, 0, 0, 0] + dc(0) + [0x00000000] + footer(),
    "only_structural": header() + dc(0) + tempo(50000000) + footer(),
    "invalid_midi1_status": header() + dc(0) + midi1(0, 0x90, 60, 100) + dc(0) + [0x20700000] + footer(),
    "large_delta_clockstamps": header() + midi1(0, 0x90, 60, 100) + dc(0xFFFFF) * 8 + midi1(0, 0x80, 60, 0) + footer(),
    "empty_clip": header() + footer(),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, words in SEEDS.items():
        with open(os.path.join(OUT, name + ".midi2"), "wb") as handle:
            handle.write(clip(words))
    broken = {
        "truncated_packet": clip(header() + midi1(0, 0x90, 60, 100) + [0x40903C00]),
        "odd_payload": clip(header() + midi1(0, 0x90, 60, 100), b"\x00\x01\x02"),
        "signature_only": b"SMF2CLIP",
        "short_signature": b"SMF2CL",
    }
    for name, data in broken.items():
        with open(os.path.join(OUT, name + ".midi2"), "wb") as handle:
            handle.write(data)
    cli = os.environ.get("ORVANE_CLI")
    if cli:
        demo = os.path.join(HERE, "..", "examples", "demo.mid")
        subprocess.run([cli, "convert", demo, "-o", os.path.join(OUT, "demo_song.midi2"), "--force"],
                       check=True, stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
