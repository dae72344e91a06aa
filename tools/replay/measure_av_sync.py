#!/usr/bin/python3
"""How far a video's sound is from its pictures, measured from the decoded file alone.

Finds the first shot in the sound: the game's music is matched first (it plays from the first
frame), taken away, and the shot's own samples are matched in what is left. The frame in which
the bullet first appears comes from the runner's state lines. Prints the onset, the frame's time
and their difference.

usage: measure_av_sync.py VIDEO ASSET_DIR STATE_JSONL [--from SECONDS]
  VIDEO        made by zorvalen-replay --video from the same script as STATE_JSONL
  ASSET_DIR    the game's files (bgmusic.wav and bullet.wav)
  STATE_JSONL  zorvalen-replay --state of the same script
  --from       the video's --from, when it was cut
Needs ffmpeg, ffprobe and numpy (Debian: ffmpeg, python3-numpy).
"""
import json
import subprocess
import sys
import wave

import numpy as np

RATE = 44100


def samples_of(path):
    with wave.open(path) as w:
        assert w.getframerate() == RATE and w.getsampwidth() == 2
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64)
        return data.reshape(-1, w.getnchannels()).mean(axis=1)


def decoded_sound(video):
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", video, "-map", "0:a:0", "-f", "s16le", "-ac", "1",
                          "-ar", str(RATE), "-"], check=True, capture_output=True).stdout
    return np.frombuffer(raw, dtype="<i2").astype(np.float64)


def first_sound_time(video):
    """When the first decoded sample plays: the first audio frame's time, after any priming the
    container says to drop (as a player counts it)."""
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a", "-show_entries", "frame=pts_time",
                          "-read_intervals", "%+#64", "-of", "csv=p=0", video],
                         check=True, capture_output=True, text=True).stdout.split()
    return float(out[0])


def frame_time(video, index):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "frame=pts_time",
                          "-read_intervals", "%+#" + str(index + 1), "-of", "csv=p=0", video],
                         check=True, capture_output=True, text=True).stdout.split()
    return float(out[index])


def best_lag(signal, reference, lags):
    """The lag (in samples) at which `reference` best matches `signal`, by least squares."""
    best, best_error = None, None
    for lag in lags:
        length = min(len(reference), len(signal) - lag) if lag >= 0 else min(len(reference) + lag, len(signal))
        if length <= 0:
            continue
        part = signal[lag:lag + length] if lag >= 0 else signal[:length]
        ref = reference[:length] if lag >= 0 else reference[-lag:-lag + length]
        error = float(np.mean((part - ref) ** 2))
        if best_error is None or error < best_error:
            best, best_error = lag, error
    return best


def main():
    args = sys.argv[1:]
    cut = 0.0
    if "--from" in args:
        at = args.index("--from")
        cut = float(args[at + 1])
        del args[at:at + 2]
    video, assets, state = args
    first_shot = None
    with open(state) as lines:
        for line in lines:
            record = json.loads(line)
            if record["bullets"] and record["frame"] >= round(cut * 60):
                first_shot = record["frame"]
                break
    music = samples_of(assets + "/bgmusic.wav")
    shot = samples_of(assets + "/bullet.wav")
    sound = decoded_sound(video)
    audio_start = first_sound_time(video)
    picture = frame_time(video, first_shot - round(cut * 60))

    # The music, looped, from the file's first sample; matched where no shot can be heard yet.
    offset_in_music = round(cut * RATE) % len(music)
    looped = np.tile(music, 2 + len(sound) // len(music))[offset_in_music:]
    quiet = int((picture - audio_start) * RATE) - 64
    music_lag = best_lag(sound[:quiet], looped[:quiet], range(-2048, 2049))
    if music_lag >= 0:
        aligned = np.concatenate([np.zeros(music_lag), looped])[:len(sound)]
    else:
        aligned = looped[-music_lag:][:len(sound)]
    rest = sound - aligned

    guess = int((picture - audio_start) * RATE)
    shot_lag = best_lag(rest, np.concatenate([np.zeros(4096), shot]), range(guess - 4096 - 4096, guess + 4096 - 4096 + 1))
    onset = audio_start + (shot_lag + 4096) / RATE
    print(f"first bullet: frame {first_shot}, shown at {picture * 1000:.3f} ms")
    print(f"first shot sound: onset at {onset * 1000:.3f} ms (music matched at lag {music_lag} samples)")
    print(f"sound - picture: {(onset - picture) * 1000:+.3f} ms")


if __name__ == "__main__":
    main()
