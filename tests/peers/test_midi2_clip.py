#!/usr/bin/python3
"""MIDI 2.0 Clip files written by orvane-cli convert, read by a clip reader written here from
the MIDI Clip file and UMP formats (independently of the C++ code), against python3-mido's
reading of the source file: the same ticks per quarter note, the same notes (tick, channel,
key, velocity) of every channel, and the same tempos and time signatures at the same ticks.

The reader: "SMF2CLIP", then big-endian 32-bit words. A packet's word count follows its type
(bits 31..28). Delta Clockstamps (type 0, status 4) advance the time; Start of Clip (0xF0200000)
starts the sequence, whose ticks count from there; DCTPQ (type 0, status 3) gives the ticks per
quarter note; type 2 packets are MIDI 1.0 Channel Voice messages; type 4 MIDI 2.0 Channel Voice
note messages are taken with their top seven velocity bits; Flex Data (type 0xD) status bank 0
status 0 is Set Tempo (10 ns units), status 1 Set Time Signature."""
import os
import struct
import subprocess
import sys
import tempfile
from collections import Counter

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peerlib  # noqa: E402

WORDS = [1, 1, 1, 2, 2, 4, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4]


class Clip:
    def __init__(self, data):
        if data[:8] != b"SMF2CLIP":
            raise ValueError("no SMF2CLIP signature")
        if (len(data) - 8) % 4:
            raise ValueError("payload is not whole words")
        words = struct.unpack(">%dI" % ((len(data) - 8) // 4), data[8:])
        self.tpq = None
        self.notes = Counter()     # (tick, channel, key, velocity) of note-ons
        self.offs = Counter()      # (tick, channel, key) of note-offs
        self.tempos = set()        # (tick, microseconds)
        self.signatures = Counter()  # (tick, numerator, denominator exponent, 32nds)
        self.started = False
        self.ended = False
        tick, origin, index = 0, 0, 0
        while index < len(words):
            word = words[index]
            count = WORDS[word >> 28]
            packet = words[index:index + count]
            if len(packet) < count:
                raise ValueError("truncated packet at word %d" % index)
            index += count
            kind = word >> 28
            at = tick - origin if self.started else 0
            if kind == 0x0:
                status = (word >> 20) & 0xF
                if status == 0x4:
                    tick += word & 0xFFFFF
                elif status == 0x3:
                    self.tpq = word & 0xFFFF
            elif kind == 0xF and packet == (0xF0200000, 0, 0, 0):
                self.started, origin = True, tick
            elif kind == 0xF and packet == (0xF0210000, 0, 0, 0):
                self.ended = True
            elif kind == 0x2:
                self.channel_message(at, (word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF)
            elif kind == 0x4:
                status = (word >> 16) & 0xFF
                if status >> 4 in (0x8, 0x9):
                    velocity = packet[1] >> 25
                    if status >> 4 == 0x9 and velocity == 0:
                        velocity = 1
                    self.channel_message(at, status, (word >> 8) & 0x7F, velocity)
            elif kind == 0xD and word & 0x00F0FFFF == 0x00100000:
                self.tempos.add((at, max(packet[1] // 100, 1)))
            elif kind == 0xD and word & 0x00F0FFFF == 0x00100001:
                value = packet[1]
                self.signatures[(at, value >> 24, (value >> 16) & 0xFF, (value >> 8) & 0xFF)] += 1

    def channel_message(self, tick, status, key, velocity):
        channel = status & 0x0F
        if status >> 4 == 0x9 and velocity > 0:
            self.notes[(tick, channel, key, velocity)] += 1
        elif status >> 4 in (0x8, 0x9):
            self.offs[(tick, channel, key)] += 1


def source_of(mido, midi):
    notes, offs, tempos, signatures = Counter(), Counter(), set(), Counter()
    for track in midi.tracks:
        tick = 0
        for message in track:
            tick += message.time
            if message.type == "note_on" and message.velocity > 0:
                notes[(tick, message.channel, message.note, message.velocity)] += 1
            elif message.type in ("note_on", "note_off"):
                offs[(tick, message.channel, message.note)] += 1
            elif message.type == "set_tempo":
                tempos.add((tick, message.tempo))
            elif message.type == "time_signature":
                exponent = message.denominator.bit_length() - 1
                signatures[(tick, message.numerator, exponent, message.notated_32nd_notes_per_beat)] += 1
    return notes, offs, tempos, signatures


def main():
    mido = peerlib.require_mido()
    cli = peerlib.cli()
    failures = checked = 0
    with tempfile.TemporaryDirectory() as folder:
        for path in peerlib.corpus_files():
            midi = peerlib.read_with_mido(mido, path)
            if midi is None or midi.type == 2:
                continue
            out = os.path.join(folder, "clip.midi2")
            result = subprocess.run([cli, "convert", path, "-o", out, "--force"], capture_output=True, text=True)
            checked += 1
            if result.returncode != 0:
                failures += 1
                peerlib.fail("%s: convert exited %d: %s" % (path, result.returncode, result.stderr.strip()))
                continue
            with open(out, "rb") as handle:
                try:
                    clip = Clip(handle.read())
                except ValueError as error:
                    failures += 1
                    peerlib.fail("%s: the clip does not read: %s" % (path, error))
                    continue
            notes, offs, tempos, signatures = source_of(mido, midi)
            problems = []
            if not clip.started or not clip.ended:
                problems.append("no Start of Clip or End of Clip")
            if clip.tpq != midi.ticks_per_beat:
                problems.append("ticks per quarter note %s, source %d" % (clip.tpq, midi.ticks_per_beat))
            if clip.notes != notes:
                problems.append("note-ons differ: %d in the clip, %d in the source, first missing %s" % (
                    sum(clip.notes.values()), sum(notes.values()), sorted((notes - clip.notes).elements())[:3]))
            if clip.offs != offs:
                problems.append("note-offs differ: %d in the clip, %d in the source" % (
                    sum(clip.offs.values()), sum(offs.values())))
            if clip.tempos != tempos:
                problems.append("tempos differ: %s / %s" % (sorted(clip.tempos)[:3], sorted(tempos)[:3]))
            if clip.signatures != signatures:
                problems.append("time signatures differ: %s / %s" % (sorted(clip.signatures), sorted(signatures)))
            if problems:
                failures += 1
                peerlib.fail("%s: %s" % (path, "; ".join(problems)))
    peerlib.finish(failures, checked, "converted clips")


if __name__ == "__main__":
    main()
