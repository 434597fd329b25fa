"""Shared pieces of the peer checks: finding the real-world corpus, running orvane-cli, and
an independent reading of a file's musical tracks built on python3-mido.

The identity rules are implemented here from mido's messages, independently of the C++ code:
  - a track is musical when it holds a note-on with velocity above 0;
  - its channel is the one with the most note-ons, ties going to the channel whose first
    note-on comes first;
  - its program is that channel's first program change; when that channel has none, the
    first program change of the track on any channel; 0 when there is none at all;
  - a Format 1 or 2 track holding tempo, time or key signature events besides notes is split
    into a conductor and a musical track, so only musical tracks are compared;
  - a Format 0 file whose single track plays notes on two or more channels becomes one track
    per note channel (ascending), each with that channel's notes and first program (or 0).
"""
import glob
import json
import os
import subprocess
import sys

SKIP = 77
CORPUS_PACKAGE = "openttd-openmsx"


def fail(message):
    print("FAIL: " + message)


def under_ci():
    return os.environ.get("CI") == "true"


def skip(message):
    """A peer program, module or the corpus is missing. On a developer's machine the check is
    skipped; under continuous integration (CI=true) ./bootstrap has installed every peer, so
    a missing one is a failure rather than a silent skip."""
    if under_ci():
        print("FAIL: %s (CI=true: every peer check must run)" % message)
        sys.exit(1)
    print("SKIP: " + message)
    sys.exit(SKIP)


def require_mido():
    try:
        import mido  # noqa: F401
    except ImportError:
        skip("python3-mido is not installed (run ./bootstrap)")
    import mido
    return mido


def corpus_files():
    """Every .mid of Debian's openttd-openmsx package, plus the files or folders named in
    ORVANE_MIDI_CORPUS (separated by ':'), which may add files the team has never seen."""
    files = []
    try:
        listing = subprocess.run(["dpkg", "-L", CORPUS_PACKAGE], capture_output=True, text=True, check=False)
        files += [line for line in listing.stdout.splitlines() if line.lower().endswith(".mid") and os.path.isfile(line)]
    except OSError:
        pass
    for entry in filter(None, os.environ.get("ORVANE_MIDI_CORPUS", "").split(":")):
        if os.path.isdir(entry):
            for pattern in ("*.mid", "*.MID", "*.midi"):
                files += glob.glob(os.path.join(entry, "**", pattern), recursive=True)
        elif os.path.isfile(entry):
            files.append(entry)
    files = sorted(set(files))
    if not files:
        skip("no corpus: install the Debian package %s (./bootstrap does) or set ORVANE_MIDI_CORPUS" % CORPUS_PACKAGE)
    return files


def cli():
    path = os.environ.get("ORVANE_CLI")
    if not path or not os.access(path, os.X_OK):
        skip("ORVANE_CLI does not name the built orvane-cli")
    return path


def build_tool(name):
    path = os.path.join(os.environ.get("ORVANE_BUILD_DIR", ""), "tools", name)
    if not os.access(path, os.X_OK):
        skip("the tool %s is not built (%s)" % (name, path))
    return path


def info_json(path):
    """orvane-cli info --json of a file, or None (with the reason printed) when it fails."""
    result = subprocess.run([cli(), "info", path, "--json"], capture_output=True, text=True, check=False)
    if result.returncode != 0:
        fail("%s: orvane-cli info exited %d: %s" % (path, result.returncode, result.stderr.strip()))
        return None
    try:
        return json.loads(result.stdout)
    except ValueError as error:
        fail("%s: orvane-cli info --json printed no JSON (%s): %r" % (path, error, result.stdout[:200]))
        return None


def read_with_mido(mido, path):
    """The file as mido reads it, or None when mido cannot read it (then it is not compared)."""
    for clip in (False, True):
        try:
            return mido.MidiFile(path, clip=clip)
        except Exception as error:  # mido raises many kinds for odd files
            reason = error
    print("note: mido cannot read %s (%s); not compared" % (path, reason))
    return None


def is_note_on(message):
    return message.type == "note_on" and message.velocity > 0


CONDUCTOR_META = {"set_tempo", "time_signature", "key_signature"}


def track_identity(messages):
    """(channel, program, note-on count) of one musical track, or None without notes."""
    counts, first_note, first_program = {}, {}, {}
    any_program = None
    for index, message in enumerate(messages):
        if message.type == "program_change":
            first_program.setdefault(message.channel, message.program)
            if any_program is None:
                any_program = message.program
        elif is_note_on(message):
            counts[message.channel] = counts.get(message.channel, 0) + 1
            first_note.setdefault(message.channel, index)
    if not counts:
        return None
    channel = max(counts, key=lambda c: (counts[c], -first_note[c]))
    program = first_program.get(channel, any_program if any_program is not None else 0)
    return channel, program, sum(counts.values())


def expected_musical_tracks(midi):
    """The musical tracks the model should show, as (channel, program, note-ons) tuples."""
    if midi.type == 0 and midi.tracks:
        first = midi.tracks[0]
        note_channels = sorted({m.channel for m in first if is_note_on(m)})
        if len(note_channels) >= 2:
            expected = []
            for channel in note_channels:
                programs = [m.program for m in first if m.type == "program_change" and m.channel == channel]
                notes = sum(1 for m in first if is_note_on(m) and m.channel == channel)
                expected.append((channel, programs[0] if programs else 0, notes))
            return expected
    return [identity for identity in (track_identity(track) for track in midi.tracks) if identity is not None]


def reported_musical_tracks(info):
    return [(t["channel"], t["program"], t["notes"]) for t in info["tracks"]]


def finish(failures, checked, what):
    if failures:
        print("%d of %d %s disagree" % (failures, checked, what))
        sys.exit(1)
    print("all %d %s agree" % (checked, what))
    sys.exit(0)
