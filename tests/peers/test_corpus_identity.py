#!/usr/bin/python3
"""Every corpus file loads, and orvane-cli info --json reports the same musical tracks as an
independent reading by python3-mido: channel, first program and note-on count of each."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peerlib  # noqa: E402


def main():
    mido = peerlib.require_mido()
    files = peerlib.corpus_files()
    failures = 0
    for path in files:
        info = peerlib.info_json(path)
        if info is None:
            failures += 1
            continue
        midi = peerlib.read_with_mido(mido, path)
        if midi is None:
            continue
        expected = peerlib.expected_musical_tracks(midi)
        reported = peerlib.reported_musical_tracks(info)
        if expected != reported:
            failures += 1
            peerlib.fail("%s:\n  mido:   %s\n  orvane: %s" % (path, expected, reported))
    peerlib.finish(failures, len(files), "corpus files")


if __name__ == "__main__":
    main()
