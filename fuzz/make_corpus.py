#!/usr/bin/python3
"""Writes the seed corpus of the reader's fuzz target into fuzz/corpus/parse/.

Small byte-built files (valid songs of each format and division, and files that stop or lie
in each way the reader must survive) and the demo song. Run it again after changing it; the files are committed.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "parse")


def varlen(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, (value & 0x7F) | 0x80)
        value >>= 7
    return bytes(out)


def header(fmt, ntracks, division=480):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, ntracks, division)


def chunk(body, kind=b"MTrk", length=None):
    return kind + struct.pack(">I", len(body) if length is None else length) + body


def meta(kind, payload, delta=0):
    return varlen(delta) + bytes([0xFF, kind]) + varlen(len(payload)) + payload


EOT = meta(0x2F, b"")
TEMPO = meta(0x51, bytes([0x07, 0xA1, 0x20]))
TIMESIG = meta(0x58, bytes([3, 2, 24, 8]))
KEYSIG = meta(0x59, bytes([0xFD, 0]))


def notes(channel, count=4, key=60, step=96, running=False, spread=1):
    out = b""
    for i in range(count):
        status = bytes([0x90 | channel])
        out += varlen(step if i else 0) + status + bytes([key + i * spread, 90])
        out += varlen(step) + (b"" if running else status) + bytes([key + i * spread, 0])
    return out


def program(channel, value):
    return b"\x00" + bytes([0xC0 | channel, value])


def song(fmt, bodies, division=480):
    return header(fmt, len(bodies), division) + b"".join(chunk(b) for b in bodies)


SEEDS = {
    "format1_conductor_and_two_tracks": song(1, [
        meta(0x03, b"Song") + TEMPO + TIMESIG + KEYSIG + EOT,
        meta(0x03, b"Piano") + program(0, 0) + b"\x00\xB0\x07\x64" + notes(0) + EOT,
        program(9, 0) + notes(9, key=36, running=True) + EOT,
    ]),
    "format0_three_channels": song(0, [
        TEMPO + TIMESIG + program(0, 24) + program(1, 33) + notes(0) + notes(1, key=40) + notes(9, key=38) + EOT,
    ]),
    "format0_one_channel": song(0, [TEMPO + notes(2) + EOT]),
    "format1_noncompliant_track": song(1, [TEMPO + KEYSIG + meta(0x03, b"Lead") + notes(3) + EOT]),
    "format2_two_patterns": song(2, [notes(0) + EOT, notes(1) + EOT]),
    "smpte_division": song(1, [notes(0) + EOT], division=0xE728),
    "tempo_changes_out_of_order": song(1, [
        meta(0x51, bytes([0x06, 0x1A, 0x80]), delta=960) + EOT,
        TEMPO + meta(0x51, bytes([0x09, 0x27, 0xC0]), delta=480) + notes(0) + EOT,
    ]),
    "zero_tempo": song(1, [meta(0x51, bytes([0, 0, 0])) + notes(0) + EOT]),
    "sysex_and_escape": song(1, [
        b"\x00\xF0\x05\x7E\x7F\x09\x01\xF7" + b"\x00\xF7\x02\x01\x02" + notes(0) + EOT,
    ]),
    "running_status_across_meta": song(1, [
        b"\x00\x90\x3C\x40" + meta(0x01, b"x") + b"\x00\x3C\x00" + notes(0) + EOT,
    ]),
    "system_common_bytes": song(1, [b"\x00\xF2\x01\x00\xF8\x00" + notes(4) + EOT]),
    "padded_meta_length": song(1, [b"\x00\xFF\x03\x80\x80\x02Hi" + notes(0) + EOT]),
    "empty_track_and_foreign_chunk": header(1, 3) + chunk(b"") + chunk(b"junk", kind=b"XFIH") + chunk(notes(0)),
    "header_only_plus_one_byte": header(1, 1) + b"\x00",
    "chunk_length_beyond_data": header(1, 1) + chunk(notes(0), length=4000),
    "truncated_inside_event": song(1, [notes(0) + b"\x00\x90\x3C"]),
    "truncated_varlen": song(1, [notes(0) + b"\x81\x82"]),
    "five_byte_delta": song(1, [b"\x81\x80\x80\x80\x00\x90\x3C\x40" + EOT]),
    "meta_length_beyond_chunk": song(1, [notes(0) + b"\x00\xFF\x01\x7F\x41"]),
    "tick_overflow": song(1, [b"\xFF\xFF\xFF\x7F\x90\x3C\x40" + b"\xFF\xFF\xFF\x7F\x3C\x00" * 16 + EOT]),
    "large_time_signature_exponent": song(1, [meta(0x58, bytes([7, 200, 24, 8])) + notes(0) + EOT]),
    "drum_single_key_and_mixer": song(1, [
        b"\x00\xB9\x07\x50\x00\xB9\x0A\x20\x00\xB9\x5B\x30" + notes(9, key=38, step=60, spread=0) + EOT,
    ]),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(OUT, name + ".mid"), "wb") as f:
            f.write(data)
    shutil.copyfile(os.path.join(HERE, "..", "examples", "demo.mid"), os.path.join(OUT, "demo_song.mid"))


if __name__ == "__main__":
    main()
