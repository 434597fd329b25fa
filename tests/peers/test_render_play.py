#!/usr/bin/python3
"""orvane-cli render and play against independent peers: the WAV file of each song lasts as
long as python3-mido says the song's musical tracks do (plus the release tail), is not
silent, and follows the loudness of the same song rendered by the fluidsynth program; play
without a sound device runs to the end (or to Ctrl-C) and exits 0."""
import array
import math
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    try:
        import audioop  # fast loudness figures where this Python still has it
    except ImportError:
        audioop = None
import os
import signal
import subprocess
import sys
import tempfile
import time
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peerlib  # noqa: E402

TAIL_SECONDS = 1.5
RATE = 44100
SOUNDFONTS = ["/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
              "/usr/share/sounds/sf2/TimGM6mb.sf2"]


def soundfont():
    named = os.environ.get("ORVANE_SOUNDFONT")
    if named:
        return named if os.path.isfile(named) else None
    return next((path for path in SOUNDFONTS if os.path.isfile(path)), None)


def musical_end_seconds(midi):
    """Seconds to the last event (end of track included) of the tracks that play notes."""
    tempos, last_tick = [], 0
    for track in midi.tracks:
        tick, has_notes, end = 0, False, 0
        for message in track:
            tick += message.time
            end = tick
            if message.type == "set_tempo":
                tempos.append((tick, message.tempo))
            has_notes = has_notes or peerlib.is_note_on(message)
        if has_notes:
            last_tick = max(last_tick, end)
    tempos.sort(key=lambda item: item[0])
    seconds, at, tempo = 0.0, 0, 500000
    for tick, value in tempos:
        if tick >= last_tick:
            break
        seconds += (tick - at) * tempo / 1e6 / midi.ticks_per_beat
        at, tempo = tick, value
    return seconds + (last_tick - at) * tempo / 1e6 / midi.ticks_per_beat


def read_wav(path):
    with wave.open(path) as wav:
        shape = (wav.getframerate(), wav.getnchannels(), wav.getsampwidth())
        samples = array.array("h", wav.readframes(wav.getnframes()))
    if sys.byteorder == "big":
        samples.byteswap()
    return shape, samples


def rms(samples):
    if audioop is not None:
        return audioop.rms(samples.tobytes(), 2)
    return math.sqrt(sum(x * x for x in samples) / max(1, len(samples)))


def peak(samples):
    return audioop.max(samples.tobytes(), 2) if audioop is not None else max(abs(x) for x in samples)


def envelope(samples, window=RATE // 4):
    """RMS of both channels in quarter-second windows."""
    step = 2 * window
    return [rms(samples[i:i + step]) for i in range(0, len(samples) - step, step)]


def correlation(a, b):
    n = min(len(a), len(b))
    a, b = a[:n], b[:n]
    mean_a, mean_b = sum(a) / n, sum(b) / n
    cov = sum((x - mean_a) * (y - mean_b) for x, y in zip(a, b))
    var = math.sqrt(sum((x - mean_a) ** 2 for x in a) * sum((y - mean_b) ** 2 for y in b))
    return cov / var if var else 0.0


def check_render(mido, path, folder, compare_with_peer):
    midi = peerlib.read_with_mido(mido, path)
    if midi is None or midi.type == 2 or midi.ticks_per_beat <= 0:
        return True
    out = os.path.join(folder, "song.wav")
    started = time.monotonic()
    result = subprocess.run([peerlib.cli(), "render", path, "-o", out, "--force"], capture_output=True, text=True)
    wall = time.monotonic() - started
    if result.returncode != 0:
        peerlib.fail("%s: render exited %d: %s" % (path, result.returncode, result.stderr.strip()))
        return False
    (rate, channels, width), samples = read_wav(out)
    seconds = len(samples) / channels / rate
    expected = musical_end_seconds(midi) + TAIL_SECONDS
    loudest, loudness = peak(samples), rms(samples)
    print("%s: %.3f s (expected %.3f), peak %d, rms %.0f, %.0fx real time" %
          (os.path.basename(path), seconds, expected, loudest, loudness, seconds / wall))
    good = (rate, channels, width) == (RATE, 2, 2) and abs(seconds - expected) < 0.002 and loudest > 1000 and loudness > 30
    if not good:
        peerlib.fail("%s: WAV %s, %.3f s instead of %.3f, peak %d, rms %.0f" %
                     (path, (rate, channels, width), seconds, expected, loudest, loudness))
        return False
    if compare_with_peer:
        peer = os.path.join(folder, "peer.wav")
        subprocess.run(["fluidsynth", "-ni", "-q", "-o", "synth.lock-memory=0", "-F", peer, "-r", str(RATE),
                        soundfont(), path], capture_output=True, check=False)
        if os.path.isfile(peer):
            similarity = correlation(envelope(samples), envelope(read_wav(peer)[1]))
            print("  loudness follows fluidsynth's rendering: correlation %.3f" % similarity)
            # The stream is built as the window builds it, with each track's mixer values set
            # once at the start, so a song's own volume fades are not heard; the notes and their
            # timing are the same, which keeps the loudness curves close.
            if similarity < 0.6:
                peerlib.fail("%s: loudness differs from fluidsynth's (correlation %.3f)" % (path, similarity))
                return False
    return True


def play(arguments, stop_after=None):
    environment = dict(os.environ, ORVANE_AUDIO_OUTPUT="null")
    process = subprocess.Popen([peerlib.cli(), "play"] + arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True, env=environment)
    if stop_after is not None:
        first_line = process.stdout.readline()
        time.sleep(stop_after)
        process.send_signal(signal.SIGINT)
        out, err = process.communicate(timeout=30)
        return process.returncode, first_line + out, err
    out, err = process.communicate(timeout=120)
    return process.returncode, out, err


def format_time(seconds):
    whole = int(seconds)
    return "%d:%02d" % (whole // 60, whole % 60)


def check_play(mido, path, folder):
    failures = 0
    midi = peerlib.read_with_mido(mido, path)
    length = musical_end_seconds(midi)
    code, out, err = play([path, "--from", "%.3f" % max(0.0, length - 1.2)])
    lines = out.split()
    final = format_time(length) + " / " + format_time(length)
    if code != 0 or not out.endswith(final + "\n"):
        peerlib.fail("play to the end: exit %d, output ends %r (expected %r); %s" % (code, out[-40:], final, err))
        failures += 1
    code, out, err = play([path], stop_after=0.5)
    if code != 0 or not out.startswith("0:00 / " + format_time(length)):
        peerlib.fail("play stopped by Ctrl-C: exit %d, output %r; %s" % (code, out[:80], err))
        failures += 1
    code, out, err = play([path, "--soundfont", os.path.join(folder, "missing.sf2")])
    expected = "❌ AVMIDIPlayer init failed: The SoundFont “%s” does not exist.\n" % os.path.join(folder, "missing.sf2")
    if code != 1 or out != expected:
        peerlib.fail("play with a missing SoundFont: exit %d, output %r" % (code, out))
        failures += 1
    keep = os.path.join(folder, "keep.wav")
    with open(keep, "wb") as handle:
        handle.write(b"precious")
    result = subprocess.run([peerlib.cli(), "render", path, "-o", keep], capture_output=True)
    if result.returncode != 3 or open(keep, "rb").read() != b"precious":
        peerlib.fail("render replaced an existing file without --force (exit %d)" % result.returncode)
        failures += 1
    return failures


def main():
    mido = peerlib.require_mido()
    if soundfont() is None:
        peerlib.skip("no General MIDI SoundFont (install fluid-soundfont-gm or set ORVANE_SOUNDFONT)")
    files = peerlib.corpus_files()
    named = [entry.rstrip("/") for entry in os.environ.get("ORVANE_MIDI_CORPUS", "").split(":") if entry]
    extra = {path for path in files if any(path == entry or path.startswith(entry + "/") for entry in named)}
    # Every sixth file of the package keeps the run short; files named in ORVANE_MIDI_CORPUS
    # are all rendered.
    chosen = [path for index, path in enumerate(files) if index % 6 == 0 or path in extra]
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for index, path in enumerate(chosen):
            if not check_render(mido, path, folder, compare_with_peer=index < 3):
                failures += 1
        failures += check_play(mido, chosen[0], folder)
    peerlib.finish(failures, len(chosen) + 4, "renders and plays")


if __name__ == "__main__":
    main()
