"""orvane-cli tempo against an independent implementation of the detector written here with
numpy, on generated audio (clicks, drum patterns, pulses with swing, tones at several rates
and channel counts) and on songs of the MIDI corpus rendered to audio with FluidSynth.

The reference follows the algorithm as a reader of its description would write it, with
numpy's own summation (pairwise for the frame sums, sequential for the whitening means):
  - mono mix: one channel copied; several divided by the channel count and added in order;
  - peak limit to 0.98 (32-bit) only when the peak is above it;
  - onset envelope: frames of 1024 samples every 512, value 0.65 * rise of energy +
    0.35 * rise of the summed squared in-frame steps (32-bit), whitened by subtracting the
    clipped local mean over max(int(rate * 0.45), 3) frames and scaled to a peak of 1;
  - 64-bit autocorrelation of the mean-removed envelope for lags floor(f*60/200)...ceil(f*60/60),
    non-strict local maxima, a log-normal prior around 120 BPM (one octave), parabolic
    refinement, candidates in 60...200 BPM at least 5 BPM apart, up to three.
The tempo must agree within 0.01 BPM and the candidates must be the same on every file.
"""
import json
import math
import os
import subprocess
import sys
import tempfile
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peerlib  # noqa: E402

try:
    import numpy as np
except ImportError:
    peerlib.skip("numpy is not installed (python3-numpy; run ./bootstrap)")

F32 = np.float32


def read_wave(path):
    with wave.open(path, "rb") as w:
        channels, width, rate, count = w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()
        data = w.readframes(count)
    assert width == 2, "the reference reads 16-bit files"
    samples = np.frombuffer(data, dtype="<i2").astype(F32) * F32(1.0 / 32768)
    return samples.reshape(-1, channels), rate


def write_wave(path, samples, rate):
    if samples.ndim == 1:
        samples = samples[:, None]
    ints = np.clip(np.round(samples * 32767.0), -32768, 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(ints.shape[1])
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(ints.tobytes())


def mono_window(channels_by_frame, rate):
    window = channels_by_frame[: int(60.0 * rate)]
    count = window.shape[1]
    if count == 1:
        mono = window[:, 0].copy()
    else:
        mono = np.zeros(window.shape[0], dtype=F32)
        for c in range(count):
            mono = mono + window[:, c] / F32(count)
    peak = np.max(np.abs(mono)) if mono.size else F32(0)
    if peak > 0:
        scale = F32(0.98) / peak
        if scale < F32(1.0):
            mono = mono * scale
    return mono


def envelope(mono, rate):
    frame_rate = rate * 0.001953125
    if mono.size < 1024:
        return np.zeros(0, dtype=F32), frame_rate
    frames = (mono.size - 1024) // 512 + 1
    view = np.lib.stride_tricks.sliding_window_view(mono, 1024)[::512][:frames]
    energy = np.sum(view * view, axis=1, dtype=F32)
    steps = np.diff(view, axis=1)
    brightness = np.sum(steps * steps, axis=1, dtype=F32)
    previous_energy = np.concatenate([[F32(0)], energy[:-1]]).astype(F32)
    previous_brightness = np.concatenate([[F32(0)], brightness[:-1]]).astype(F32)
    rise_e = energy - previous_energy
    rise_b = brightness - previous_brightness
    rise_e = np.where(rise_e > 0, rise_e, F32(0)).astype(F32)
    rise_b = np.where(rise_b > 0, rise_b, F32(0)).astype(F32)
    values = (F32(0.65) * rise_e + F32(0.35) * rise_b).astype(F32)
    n = values.size
    if n < 5:
        return values, frame_rate
    radius = max(int(frame_rate * 0.45), 3)
    out = np.zeros(n, dtype=F32)
    for i in range(n):
        lo, hi = max(0, i - radius), min(i + radius, n - 1)
        total = np.cumsum(values[lo : hi + 1], dtype=F32)[-1]
        mean = total / F32(hi - lo + 1)
        difference = values[i] - mean
        out[i] = difference if difference > 0 else F32(0)
    largest = out.max()
    if largest > 0:
        out = out / largest
    return out.astype(F32), frame_rate


class Failure(Exception):
    pass


def detect(channels_by_frame, rate, total_frames):
    duration = total_frames / rate if rate > 0 else 0.0
    mono = mono_window(channels_by_frame, rate)
    values, f = envelope(mono, rate)
    if values.size == 0:
        raise Failure("Onset envelope is empty.")
    longest = f * 60.0 / 60.0
    minimum = int(longest) + 2
    if values.size < minimum:
        raise Failure("Onset envelope is too short for this BPM range; need at least %d frames, got %d." % (minimum, values.size))
    x = values.astype(np.float64)
    n = x.size
    mean = x.sum() / n
    if not ((x - mean) ** 2).sum() / n > 1e-10:
        raise Failure("Onset envelope has no usable AC content.")
    x = x - mean
    min_lag = max(int(math.floor(f * 60.0 / 200.0)), 1)
    max_lag = min(n - 2, int(math.ceil(longest)))
    energy = float(np.dot(x, x))
    scores = np.zeros(max_lag + 1)
    for lag in range(min_lag, max_lag + 1):
        scores[lag] = np.dot(x[lag:], x[: n - lag]) / energy
    peaks = [
        lag for lag in range(min_lag, max_lag + 1)
        if (lag == min_lag or scores[lag - 1] <= scores[lag]) and (lag == max_lag or scores[lag + 1] <= scores[lag])
    ]
    candidates = []
    for lag in peaks:
        coarse = f * 60.0 / lag
        weight = math.exp(-0.5 * (math.log2(coarse / 120.0) / 1.0) ** 2) if coarse > 0 and math.isfinite(coarse) else 0.0
        weighted = scores[lag] * weight
        refined = float(lag)
        if lag >= 1 and lag + 1 < scores.size:
            y0, y1, y2 = scores[lag - 1], scores[lag], scores[lag + 1]
            d = y0 - 2 * y1 + y2
            if abs(d) > 1e-6:
                refined = lag + min(max(0.5 * (y0 - y2) / d, -0.5), 0.5)
        bpm = f * 60.0 / refined if refined > 1 else f * 60.0
        candidates.append((bpm, weighted if weighted >= 0 else 0.0))
    usable = [c for c in candidates if c[1] > 0 and math.isfinite(c[0]) and 60.0 <= c[0] <= 200.0]
    usable.sort(key=lambda c: -c[1])
    chosen = []
    for c in usable:
        if len(chosen) == 3:
            break
        if all(abs(a[0] - c[0]) >= 5.0 for a in chosen):
            chosen.append(c)
    if not chosen:
        raise Failure("No usable tempo candidates were found in the audio.")
    if len(chosen) == 1:
        confidence = 1.0
    else:
        s1, s2 = chosen[0][1], chosen[1][1]
        confidence = max(min((s1 - s2) / s1, 1.0), 0.0) if s1 > 0 else 0.0
    best = chosen[0][0]
    beats = math.floor(duration / (60.0 / best) + 0.5)
    return {
        "tempoBPM": math.floor(best * 1000 + 0.5) / 1000,
        "confidence": confidence,
        "confident": confidence >= 0.15,
        "totalBeats": max(beats, 0),
        "songLengthSeconds": duration,
        "candidates": [list(c) for c in chosen],
    }


def generated_files(folder):
    rng = np.random.default_rng(11)
    files = []

    def add(name, samples, rate):
        path = os.path.join(folder, name)
        write_wave(path, samples, rate)
        files.append(path)

    def clicks(bpm, seconds, rate, swing=0.0, jitter=0.0):
        out = np.zeros(int(seconds * rate))
        period = rate * 60.0 / bpm
        t, beat = 0.0, 0
        burst = np.exp(-np.arange(800) / 150.0) * np.sin(np.arange(800) * 0.3)
        while t < out.size:
            start = int(t + (swing * period if beat % 2 else 0) + rng.normal(0, jitter * rate))
            if 0 <= start < out.size:
                end = min(out.size, start + burst.size)
                out[start:end] += 0.8 * burst[: end - start]
            t += period
            beat += 1
        return out

    def drums(bpm, seconds, rate):
        n = int(seconds * rate)
        out = 0.01 * rng.standard_normal(n)
        period = rate * 60.0 / bpm
        kick = np.exp(-np.arange(int(0.25 * rate)) / (0.04 * rate)) * np.sin(2 * np.pi * 55 * np.arange(int(0.25 * rate)) / rate)
        snare = np.exp(-np.arange(int(0.15 * rate)) / (0.03 * rate)) * rng.standard_normal(int(0.15 * rate))
        hat = np.exp(-np.arange(int(0.05 * rate)) / (0.01 * rate)) * rng.standard_normal(int(0.05 * rate))
        beat = 0
        while beat * period < n:
            for offset, sound, level in ((0, kick if beat % 2 == 0 else snare, 0.6), (0.5, hat, 0.2)):
                start = int((beat + offset) * period)
                end = min(n, start + sound.size)
                if start < n:
                    out[start:end] += level * sound[: end - start]
            beat += 1
        return out

    def tones(bpm, seconds, rate):
        t = np.arange(int(seconds * rate)) / rate
        beat = (t * bpm / 60.0) % 1.0
        envelope_ = np.exp(-beat * 6.0)
        chord = sum(np.sin(2 * np.pi * f0 * t) for f0 in (220.0, 277.2, 329.6)) / 3
        return 0.5 * envelope_ * chord + 0.05 * np.sin(2 * np.pi * 60 * t)

    add("clicks-120.wav", clicks(120, 30, 44100), 44100)
    add("clicks-87.wav", clicks(87, 40, 44100), 44100)
    add("clicks-174-jitter.wav", clicks(174, 25, 44100, jitter=0.004), 44100)
    add("swing-132.wav", clicks(132, 30, 44100, swing=0.16), 44100)
    add("drums-98.wav", np.stack([drums(98, 35, 44100), drums(98, 35, 44100) * 0.7], 1), 44100)
    add("drums-140-48k.wav", drums(140, 30, 48000), 48000)
    add("drums-75-22k.wav", drums(75, 45, 22050), 22050)
    add("tones-110.wav", np.stack([tones(110, 30, 44100), tones(110, 30, 44100) * 0.5, 0.1 * rng.standard_normal(30 * 44100)], 1), 44100)
    add("tones-160-long.wav", np.stack([tones(160, 90, 44100)] * 2, 1), 44100)
    add("loud-clicks-104.wav", np.clip(3.0 * clicks(104, 20, 44100), -1, 1), 44100)
    add("noise.wav", 0.3 * rng.standard_normal(20 * 44100), 44100)
    add("silence.wav", np.zeros(5 * 44100), 44100)
    add("half-second.wav", clicks(120, 0.5, 44100), 44100)
    return files


def rendered_files(folder, count):
    soundfont = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
    if not os.path.exists(soundfont):
        return []
    try:
        songs = peerlib.corpus_files()[:count]
    except SystemExit:
        return []
    files = []
    for song in songs:
        out = os.path.join(folder, os.path.basename(song) + ".wav")
        result = subprocess.run(["fluidsynth", "-ni", "-q", "-g", "0.6", "-r", "44100", "-F", out, soundfont, song],
                                capture_output=True, check=False)
        if result.returncode == 0 and os.path.exists(out):
            files.append(out)
    return files


def run_cli(path):
    result = subprocess.run([peerlib.cli(), "tempo", "--json", path], capture_output=True, text=True, check=False)
    if result.returncode != 0:
        return None, result.stderr.strip()
    return json.loads(result.stdout), None


def compare(path):
    samples, rate = read_wave(path)
    try:
        expected, expected_error = detect(samples, rate, samples.shape[0]), None
    except Failure as failure:
        expected, expected_error = None, str(failure)
    actual, actual_error = run_cli(path)
    name = os.path.basename(path)
    if expected_error or actual_error:
        if expected_error != actual_error:
            return "%s: reference %r, orvane-cli %r" % (name, expected_error or expected, actual_error or actual)
        return None
    problems = []
    if abs(actual["tempoBPM"] - expected["tempoBPM"]) > 0.01:
        problems.append("tempo %s vs %s" % (actual["tempoBPM"], expected["tempoBPM"]))
    if len(actual["candidates"]) != len(expected["candidates"]):
        problems.append("candidates %s vs %s" % (actual["candidates"], expected["candidates"]))
    else:
        for a, e in zip(actual["candidates"], expected["candidates"]):
            if abs(a[0] - e[0]) > 0.01 or abs(a[1] - e[1]) > 1e-4 * max(1.0, abs(e[1])):
                problems.append("candidate %s vs %s" % (a, e))
    if abs(actual["confidence"] - expected["confidence"]) > 1e-4 or actual["confident"] != expected["confident"]:
        problems.append("confidence %s/%s vs %s/%s" % (actual["confidence"], actual["confident"], expected["confidence"], expected["confident"]))
    if actual["totalBeats"] != expected["totalBeats"] or abs(actual["songLengthSeconds"] - expected["songLengthSeconds"]) > 1e-9:
        problems.append("length %s/%s vs %s/%s" % (actual["songLengthSeconds"], actual["totalBeats"], expected["songLengthSeconds"], expected["totalBeats"]))
    largest = max([abs(actual["tempoBPM"] - expected["tempoBPM"])] +
                  [abs(a[0] - e[0]) for a, e in zip(actual["candidates"], expected["candidates"])])
    print("%-40s %8.3f BPM  largest BPM difference %.2g  %s" % (name, actual["tempoBPM"], largest, "ok" if not problems else "DIFFERS"))
    return "%s: %s" % (name, "; ".join(problems)) if problems else None


def main():
    peerlib.cli()
    with tempfile.TemporaryDirectory(prefix="orvane-tempo-peer-") as folder:
        files = generated_files(folder) + rendered_files(folder, int(os.environ.get("ORVANE_TEMPO_SONGS", "3")))
        differences = [d for d in (compare(path) for path in files) if d]
    for difference in differences:
        peerlib.fail(difference)
    print("%d of %d files agree with the reference" % (len(files) - len(differences), len(files)))
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
