#!/usr/bin/python3
"""Round trip: every track of every corpus file, written with header + buildTrackChunk, is
read back with the same events by our reader and by python3-mido; and each written track
holds the same events as the source file's chunk (same-tick order aside)."""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peerlib  # noqa: E402


def message_key(message):
    """A mido message as the model keeps it: the complete bytes, status first. System
    exclusive events become 0xF0 and the payload without a closing 0xF7 (no length), because
    mido reads 0xF0 and 0xF7 events alike."""
    if message.type == "sysex":
        return b"\xf0" + bytes(message.data)
    return bytes(message.bytes())


def event_key(data):
    if data[:1] in (b"\xf0", b"\xf7"):
        length, position = 0, 1
        while position < len(data):
            length = (length << 7) | (data[position] & 0x7F)
            position += 1
            if data[position - 1] < 0x80:
                break
        payload = data[position:position + length]
        return b"\xf0" + (payload[:-1] if payload.endswith(b"\xf7") else payload)
    return data


def mido_tracks(midi):
    tracks = []
    for track in midi.tracks:
        tick, events = 0, []
        for message in track:
            tick += message.time
            events.append((tick, message_key(message)))
        tracks.append(events)
    return tracks


def as_events(tracks):
    return [[(tick, event_key(bytes.fromhex(text))) for tick, text in track] for track in tracks]


def is_meta(event):
    return event[1][:1] == b"\xff"


CONDUCTOR_TYPES = (0x51, 0x58, 0x59)


def split_as_reader_does(track):
    """A track holding tempo, time or key signatures besides notes, as our reader splits it:
    a conductor with every meta event, and the musical rest without those three kinds."""
    conductor = [e for e in track if is_meta(e)]
    musical = [e for e in track if not (is_meta(e) and len(e[1]) > 1 and e[1][1] in CONDUCTOR_TYPES)]
    return conductor, musical


def reread_matches(written, reread):
    """Written tracks are read back unchanged, except that a track mixing conductor events
    with notes comes back split in two."""
    position = 0
    for track in written:
        if position < len(reread) and reread[position] == track:
            position += 1
            continue
        if tuple(reread[position:position + 2]) != split_as_reader_does(track):
            return False
        position += 2
    return position == len(reread)


def check(mido, tool, source, folder):
    base = os.path.join(folder, os.path.basename(source))
    result = subprocess.run([tool, source, base + ".out.mid", base + ".json"], capture_output=True, text=True, check=False)
    if result.returncode != 0:
        peerlib.fail("%s: roundtrip_tracks exited %d %s" % (source, result.returncode, result.stderr.strip()))
        return False
    with open(base + ".json") as f:
        dump = json.load(f)
    written, reread = as_events(dump["written"]), as_events(dump["reread"])
    problems = []
    if not reread_matches(written, reread):
        problems.append("our reader reads back other events")
    rewritten = peerlib.read_with_mido(mido, base + ".out.mid")
    if rewritten is None or mido_tracks(rewritten) != written:
        problems.append("mido reads back other events")
    source_midi = peerlib.read_with_mido(mido, source)
    if source_midi is not None and len(source_midi.tracks) == len(written):
        for index, (chunk, track) in enumerate(zip(mido_tracks(source_midi), written)):
            added_end = track and (not chunk or chunk[-1][1] != b"\xff\x2f\x00")
            if sorted(chunk) != sorted(track[:-1] if added_end else track):
                problems.append("track %d holds other events than the source chunk" % (index + 1))
    for problem in problems:
        peerlib.fail("%s: %s" % (source, problem))
    return not problems


def main():
    mido = peerlib.require_mido()
    files = peerlib.corpus_files()
    tool = peerlib.build_tool("roundtrip_tracks")
    with tempfile.TemporaryDirectory(prefix="orvane-roundtrip-") as folder:
        failures = sum(0 if check(mido, tool, path, folder) else 1 for path in files)
    peerlib.finish(failures, len(files), "round trips")


if __name__ == "__main__":
    main()
