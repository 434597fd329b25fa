"""orvane-cli tempo gives the same result for the same recording in every accepted format:
WAV, FLAC, AIFF, CAF and ALAC exactly as the WAV, MP3 and AAC within 0.5 BPM. The recordings
are a generated drum pattern and songs of the MIDI corpus rendered with FluidSynth; the
encodings are made with the ffmpeg program.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peerlib  # noqa: E402

LOSSLESS = [
    ("flac", ["-c:a", "flac"]),
    ("aiff", ["-c:a", "pcm_s16be"]),
    ("aif", ["-c:a", "pcm_s16be"]),
    ("caf", ["-c:a", "pcm_s16le"]),
    ("wave", ["-f", "wav", "-c:a", "pcm_s16le"]),
    ("alac.m4a", ["-c:a", "alac"]),
]
LOSSY = [
    ("mp3", ["-c:a", "libmp3lame", "-b:a", "192k"]),
    ("aac.m4a", ["-c:a", "aac", "-b:a", "192k"]),
]


def tempo(path):
    result = subprocess.run([peerlib.cli(), "tempo", "--json", path], capture_output=True, text=True, check=False)
    if result.returncode != 0:
        return {"error": result.stderr.strip()}
    return json.loads(result.stdout)


def drum_recording(folder):
    path = os.path.join(folder, "drums.wav")
    # A kick on every beat at 112 BPM with a hi-hat between, made by ffmpeg's own sources.
    expression = ("0.6*exp(-mod(t,60/112)*25)*sin(2*PI*55*t)"
                  "+0.15*exp(-mod(t+30/112,60/112)*80)*(random(0)*2-1)").replace(",", "\\,")
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "aevalsrc=%s|%s:s=44100:d=70" % (expression, expression), "-c:a", "pcm_s16le", path], check=True)
    return path


def rendered_recordings(folder, count):
    soundfont = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
    if not os.path.exists(soundfont) or not shutil.which("fluidsynth"):
        return []
    try:
        songs = peerlib.corpus_files()[:count]
    except SystemExit:
        return []
    paths = []
    for song in songs:
        whole = os.path.join(folder, "whole.wav")
        out = os.path.join(folder, os.path.splitext(os.path.basename(song))[0] + ".wav")
        if subprocess.run(["fluidsynth", "-ni", "-q", "-g", "0.6", "-r", "44100", "-F", whole, soundfont, song],
                          capture_output=True, check=False).returncode == 0:
            # 70 seconds are enough: the detector reads 60, and shorter files encode faster.
            subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", whole, "-t", "70", out], check=True)
            paths.append(out)
    return paths


def main():
    peerlib.cli()
    if not shutil.which("ffmpeg"):
        peerlib.skip("the ffmpeg program is not installed (run ./bootstrap)")
    failures = []
    with tempfile.TemporaryDirectory(prefix="orvane-tempo-formats-") as folder:
        recordings = [drum_recording(folder)] + rendered_recordings(folder, int(os.environ.get("ORVANE_TEMPO_SONGS", "1")))
        for wav in recordings:
            reference = tempo(wav)
            name = os.path.basename(wav)
            if "error" in reference:
                failures.append("%s: %s" % (name, reference["error"]))
                continue
            print("%-32s wav %.3f BPM" % (name, reference["tempoBPM"]))
            for extension, options in LOSSLESS + LOSSY:
                encoded = os.path.splitext(wav)[0] + "." + extension
                subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", wav] + options + [encoded], check=True)
                result = tempo(encoded)
                if "error" in result:
                    failures.append("%s as %s: %s" % (name, extension, result["error"]))
                    continue
                lossy = (extension, options) in LOSSY
                print("%-32s %-8s %.3f BPM" % (name, extension, result["tempoBPM"]))
                if lossy:
                    if abs(result["tempoBPM"] - reference["tempoBPM"]) > 0.5:
                        failures.append("%s as %s: %.3f BPM, the WAV gives %.3f" % (name, extension, result["tempoBPM"], reference["tempoBPM"]))
                    # MP4 records its length in milliseconds.
                    if abs(result["songLengthSeconds"] - reference["songLengthSeconds"]) > 0.001:
                        failures.append("%s as %s: length %r, the WAV gives %r" % (name, extension, result["songLengthSeconds"], reference["songLengthSeconds"]))
                elif result != reference:
                    failures.append("%s as %s: %r, the WAV gives %r" % (name, extension, result, reference))
    for failure in failures:
        peerlib.fail(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
