#!/usr/bin/python3
"""Format 0 versions of corpus files, written by mido itself (all tracks merged into one),
explode into one track per note channel: a conductor first, then the channels in ascending
order, named "Drums" (channel 10), after the channel's first program, or "Ch N"."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peerlib  # noqa: E402

SAMPLE_SIZE = 8


def expected_name(channel, has_program, instrument_text):
    if channel == 9:
        return "Drums"
    return instrument_text if has_program else "Ch %d" % (channel + 1)


def check(mido, source, folder):
    original = peerlib.read_with_mido(mido, source)
    if original is None:
        return True
    merged = mido.MidiFile(type=0, ticks_per_beat=original.ticks_per_beat)
    merged.tracks.append(mido.merge_tracks(original.tracks))
    path = os.path.join(folder, os.path.basename(source))
    merged.save(path)

    info = peerlib.info_json(path)
    if info is None:
        return False
    expected = peerlib.expected_musical_tracks(merged)
    problems = []
    if peerlib.reported_musical_tracks(info) != expected:
        problems.append("tracks: mido %s, orvane %s" % (expected, peerlib.reported_musical_tracks(info)))
    if len(expected) >= 2:
        if not info["explodedFromFormat0"] or info["trackCount"] != len(expected) + 1:
            problems.append("explodedFromFormat0 %s, trackCount %s" % (info["explodedFromFormat0"], info["trackCount"]))
        track = merged.tracks[0]
        for row in info["tracks"]:
            channel = row["channel"]
            has_program = any(m.type == "program_change" and m.channel == channel for m in track)
            name = expected_name(channel, has_program, row["instrument"])
            if row["name"] != name:
                problems.append("channel %d named %r, expected %r" % (channel, row["name"], name))
    for problem in problems:
        peerlib.fail("%s (Format 0): %s" % (source, problem))
    return not problems


def main():
    mido = peerlib.require_mido()
    files = peerlib.corpus_files()
    step = max(1, len(files) // SAMPLE_SIZE)
    sample = files[::step][:SAMPLE_SIZE]
    with tempfile.TemporaryDirectory(prefix="orvane-format0-") as folder:
        failures = sum(0 if check(mido, path, folder) else 1 for path in sample)
    peerlib.finish(failures, len(sample), "Format 0 files")


if __name__ == "__main__":
    main()
