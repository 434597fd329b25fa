#!/usr/bin/python3
"""Split, merge and loop exports of every corpus file, checked with python3-mido:

  - mido reads every output;
  - every note of a split file (no transpose, no tempo override) starts and ends at the same
    second, within 1 ms, as the same note of its source track, both measured through each
    file's own tempo map;
  - every track of every output sets its program and the volume, pan and reverb controllers
    at tick 0, before its first note;
  - a loop's notes repeat at exactly the section length, and no note of a loop outlives the
    repeat it starts in;
  - and for one corpus file, every output rendered by the fluidsynth program is not silent.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peerlib  # noqa: E402

SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
TOLERANCE = 0.001
REPEATS = 3
MIXER_CONTROLLERS = (7, 10, 91)


class Failures:
    def __init__(self):
        self.count = 0

    def __call__(self, message):
        peerlib.fail(message)
        self.count += 1


def run_cli(*args):
    return subprocess.run([peerlib.cli(), *args], capture_output=True, text=True, check=False)


def json_outputs(result, fail, what):
    if result.returncode != 0:
        fail("%s exited %d: %s" % (what, result.returncode, result.stderr.strip()))
        return None
    try:
        return json.loads(result.stdout)
    except ValueError:
        fail("%s printed no JSON: %r" % (what, result.stdout[:200]))
        return None


def tempo_map(midi):
    """(tick, microseconds per quarter) changes of all tracks, in time order (mido's rule)."""
    changes = []
    for track in midi.tracks:
        tick = 0
        for message in track:
            tick += message.time
            if message.type == "set_tempo":
                changes.append((tick, message.tempo))
    changes.sort(key=lambda change: change[0])
    return changes


def seconds_converter(mido, midi):
    changes = tempo_map(midi)

    def seconds(tick):
        total, last, tempo = 0.0, 0, 500000
        for change_tick, change_tempo in changes:
            if change_tick >= tick:
                break
            total += mido.tick2second(change_tick - last, midi.ticks_per_beat, tempo)
            last, tempo = change_tick, change_tempo
        return total + mido.tick2second(tick - last, midi.ticks_per_beat, tempo)

    return seconds


def absolute(track):
    tick, timed = 0, []
    for message in track:
        tick += message.time
        timed.append((tick, message))
    return timed


def notes(timed, channel=None):
    """(channel, key, start tick, end tick or None) of every note, note-offs paired first in,
    first out per channel and key."""
    open_notes, result = {}, []
    for tick, message in timed:
        if message.type not in ("note_on", "note_off") or (channel is not None and message.channel != channel):
            continue
        key = (message.channel, message.note)
        if peerlib.is_note_on(message):
            open_notes.setdefault(key, []).append(len(result))
            result.append([message.channel, message.note, tick, None])
        elif open_notes.get(key):
            result[open_notes[key].pop(0)][3] = tick
    return result


def source_musical_notes(midi):
    """The notes of each musical track as the model lists them (see peerlib)."""
    if midi.type == 0 and midi.tracks:
        timed = absolute(midi.tracks[0])
        channels = sorted({m.channel for _, m in timed if peerlib.is_note_on(m)})
        if len(channels) >= 2:
            return [notes(timed, channel) for channel in channels]
    tracks = [absolute(track) for track in midi.tracks]
    return [notes(timed) for timed in tracks if any(peerlib.is_note_on(m) for _, m in timed)]


def in_seconds(note_list, seconds):
    return sorted((c, k, round(seconds(s), 6), None if e is None else round(seconds(e), 6)) for c, k, s, e in note_list)


def compare_notes(source, exported, fail, what):
    if len(source) != len(exported):
        fail("%s: %d notes, the source track has %d" % (what, len(exported), len(source)))
        return
    for a, b in zip(source, exported):
        same = a[0] == b[0] and a[1] == b[1] and abs(a[2] - b[2]) <= TOLERANCE
        same = same and ((a[3] is None) == (b[3] is None)) and (a[3] is None or abs(a[3] - b[3]) <= TOLERANCE)
        if not same:
            fail("%s: note %s in the source is %s in the export" % (what, a, b))
            return


def check_setup_before_notes(midi, fail, what):
    """Every track with notes sets program and mixer controllers at tick 0 before its first note."""
    for index, track in enumerate(midi.tracks):
        timed = absolute(track)
        if not any(peerlib.is_note_on(m) for _, m in timed):
            continue
        seen = set()
        for tick, message in timed:
            if peerlib.is_note_on(message):
                break
            if tick != 0:
                continue
            if message.type == "program_change":
                seen.add("program")
            elif message.type == "control_change" and message.control in MIXER_CONTROLLERS:
                seen.add(message.control)
        missing = {"program", *MIXER_CONTROLLERS} - seen
        if missing:
            fail("%s track %d: no %s at tick 0 before the first note" % (what, index, sorted(map(str, missing))))


def check_loop(midi, fail, what):
    """Notes repeat every section length and none outlives its repeat."""
    final = max((tick for track in midi.tracks for tick, m in absolute(track) if m.type == "end_of_track"), default=0)
    if final % REPEATS != 0:
        fail("%s: final tick %d is not %d section lengths" % (what, final, REPEATS))
        return
    length = final // REPEATS
    for index, track in enumerate(midi.tracks):
        track_notes = notes(absolute(track))
        repeats = [[] for _ in range(REPEATS)]
        for channel, key, start, end in track_notes:
            repeat = start // length
            if end is None or end > (repeat + 1) * length:
                fail("%s track %d: note %d at tick %d hangs past its repeat" % (what, index, key, start))
                return
            if repeat < REPEATS:
                repeats[repeat].append((channel, key, start - repeat * length, end - repeat * length))
        for repeat in range(1, REPEATS):
            if sorted(repeats[repeat]) != sorted(repeats[0]):
                fail("%s track %d: repeat %d differs from the first" % (what, index, repeat + 1))
                return


def read(mido, path, fail):
    midi = peerlib.read_with_mido(mido, path)
    if midi is None:
        fail("mido cannot read %s" % path)
    return midi


def check_file(mido, source_path, work, fail):
    """Every check on the outputs of one corpus file; returns the paths of its outputs."""
    name = os.path.basename(source_path)
    source = peerlib.read_with_mido(mido, source_path)
    info = peerlib.info_json(source_path)
    if source is None or info is None:
        return []
    outputs = []

    split = json_outputs(run_cli("split", source_path, "-o", os.path.join(work, "split"), "--json"), fail,
                         name + " split")
    source_notes = source_musical_notes(source)
    source_seconds = seconds_converter(mido, source)
    for entry in split or []:
        what = "%s split track %d" % (name, entry["track"])
        if os.path.getsize(entry["file"]) != entry["bytes"]:
            fail("%s: the file has not the size printed" % what)
        midi = read(mido, entry["file"], fail)
        if midi is None:
            continue
        outputs.append(entry["file"])
        check_setup_before_notes(midi, fail, what)
        exported = [n for track in midi.tracks for n in notes(absolute(track))]
        row = entry["track"] - 1
        if row < len(source_notes):
            compare_notes(in_seconds(source_notes[row], source_seconds),
                          in_seconds(exported, seconds_converter(mido, midi)), fail, what)

    duration = info.get("durationSeconds", 0)
    loop = ["--loop", "%.3f" % (duration * 0.25), "%.3f" % (duration * 0.5), "--repeat", str(REPEATS)]
    if len(info["tracks"]) >= 2:
        for label, extra in (("merge", []), ("merge loop", loop)):
            path = os.path.join(work, label.replace(" ", "_") + ".mid")
            if json_outputs(run_cli("merge", source_path, "-o", path, "--json", *extra), fail, name + " " + label):
                midi = read(mido, path, fail)
                if midi is not None:
                    outputs.append(path)
                    check_setup_before_notes(midi, fail, name + " " + label)
                    if extra:
                        check_loop(midi, fail, name + " " + label)
    for entry in json_outputs(run_cli("split", source_path, "-o", os.path.join(work, "loops"), "--json", *loop),
                              fail, name + " split loop") or []:
        midi = read(mido, entry["file"], fail)
        if midi is not None:
            outputs.append(entry["file"])
            what = "%s split loop track %d" % (name, entry["track"])
            check_setup_before_notes(midi, fail, what)
            check_loop(midi, fail, what)
    return outputs


def loudest_sample(path):
    with wave.open(path, "rb") as audio:
        if audio.getsampwidth() != 2:
            return None
        frames = audio.readframes(audio.getnframes())
    samples = memoryview(frames).cast("h")
    return max((abs(s) for s in samples), default=0)


def check_rendering(outputs, work, fail):
    if not shutil.which("fluidsynth") or not os.path.isfile(SOUNDFONT):
        if peerlib.under_ci():
            fail("fluidsynth or %s is missing (CI=true: every peer check must run)" % SOUNDFONT)
        else:
            print("note: fluidsynth or %s is missing; rendering not checked" % SOUNDFONT)
        return
    for index, path in enumerate(outputs):
        wav = os.path.join(work, "render%d.wav" % index)
        result = subprocess.run(["fluidsynth", "-ni", "-a", "file", "-F", wav, "-T", "wav", "-O", "s16",
                                 SOUNDFONT, path], capture_output=True, text=True, check=False)
        loudest = loudest_sample(wav) if os.path.isfile(wav) else None
        if result.returncode != 0 or not loudest:
            fail("fluidsynth renders %s as silence (exit %d, loudest sample %s)" % (path, result.returncode, loudest))


def main():
    mido = peerlib.require_mido()
    files = peerlib.corpus_files()
    fail = Failures()
    for number, path in enumerate(files):
        with tempfile.TemporaryDirectory(prefix="orvane-exports-") as work:
            outputs = check_file(mido, path, work, fail)
            if number == 0:
                check_rendering(outputs, work, fail)
    peerlib.finish(fail.count, len(files), "corpus files' exports")


if __name__ == "__main__":
    main()
