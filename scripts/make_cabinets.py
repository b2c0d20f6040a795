#!/usr/bin/python3
"""Makes the bundled speaker cabinet impulse responses in data/CABS/.

Each cabinet is designed as a magnitude response from the features guitar
speaker cabinets are known for, then turned into a minimum-phase impulse
response (real cepstrum) and written as a 24-bit mono WAV:

  - a low resonance: the box and cone resonance, a peak of a few dB at
    70..120 Hz, with the response falling at 12 dB per octave below it
    (an open back loses more low end: a lower, broader peak, a faster fall);
  - a lower-mid dip around 400..800 Hz;
  - a presence peak at 2..3.5 kHz (cone break-up), with a few narrow ripples
    around it;
  - a steep roll-off above 4.5..6 kHz (more speakers and a closed back roll
    off lower).

Run from the repository root:  /usr/bin/python3 scripts/make_cabinets.py
Needs numpy (Debian: python3-numpy). The output is the same on every run.
"""

import os
import struct
import sys

import numpy as np

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "CABS")


def peak(f, f0, gain_db, q):
    """A bell on a log-frequency axis: gain_db at f0, bandwidth from q."""
    octaves = np.log2(np.maximum(f, 1e-3) / f0)
    width = 1.0 / (2.0 * q)
    return gain_db * np.exp(-0.5 * (octaves / width) ** 2)


def highpass_db(f, fc, q, order=2):
    """A resonant high-pass (second-order sections) in dB."""
    s = 1j * f / fc
    h = s * s / (s * s + s / q + 1.0)
    return order / 2 * 20.0 * np.log10(np.maximum(np.abs(h), 1e-12))


def lowpass_db(f, fc, poles):
    """A Butterworth-like low-pass of `poles` poles in dB."""
    return -10.0 * np.log10(1.0 + (f / fc) ** (2 * poles))


def design(cab, rate, n_fft=1 << 16):
    f = np.fft.rfftfreq(n_fft, 1.0 / rate)
    db = highpass_db(f, cab["low_f"], cab["low_q"])
    db += peak(f, cab["low_f"] * 1.1, cab["low_boost"], 1.2)
    db += peak(f, cab["dip_f"], -cab["dip_db"], 0.8)
    db += peak(f, cab["presence_f"], cab["presence_db"], 1.4)
    # Cone break-up: narrow ripples of fixed pattern above the presence peak.
    rng = np.random.default_rng(cab["seed"])
    for _ in range(6):
        fr = cab["presence_f"] * 2 ** rng.uniform(-0.8, 1.0)
        db += peak(f, fr, rng.uniform(-4.0, 3.0), rng.uniform(4.0, 9.0))
    db += lowpass_db(f, cab["rolloff_f"], cab["rolloff_poles"])
    db = np.maximum(db, -90.0)
    mag = 10.0 ** (db / 20.0)
    # Minimum phase from the real cepstrum.
    cep = np.fft.irfft(np.log(mag), n_fft)
    fold = np.zeros(n_fft)
    fold[0] = cep[0]
    fold[1 : n_fft // 2] = 2.0 * cep[1 : n_fft // 2]
    fold[n_fft // 2] = cep[n_fft // 2]
    h = np.fft.irfft(np.exp(np.fft.rfft(fold)), n_fft)
    n = int(cab["ms"] * rate / 1000)
    h = h[:n]
    # A short half-cosine fade over the last 20 %.
    tail = n // 5
    h[n - tail :] *= 0.5 * (1.0 + np.cos(np.linspace(0.0, np.pi, tail)))
    return h / np.max(np.abs(h)) * 0.9


def write_wav24(path, samples, rate):
    data = bytearray()
    for v in np.round(samples * 8388607.0).astype(np.int64):
        data += struct.pack("<i", int(v))[:3]
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * 3, 3, 24)
    with open(path, "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE")
        out.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        out.write(b"data" + struct.pack("<I", len(data)) + data)


CABINETS = {
    # An open-back 1x12 combo: less low end, a bright top.
    "1x12 Open Back.wav": dict(rate=48000, ms=120, low_f=105, low_q=0.9, low_boost=2.0, dip_f=550, dip_db=3.0,
                               presence_f=2600, presence_db=5.0, rolloff_f=6000, rolloff_poles=5, seed=112),
    # A closed 2x12: fuller lows, a deeper mid dip.
    "2x12 Closed.wav": dict(rate=48000, ms=150, low_f=90, low_q=1.3, low_boost=3.0, dip_f=500, dip_db=4.0,
                            presence_f=2900, presence_db=4.5, rolloff_f=5200, rolloff_poles=6, seed=212),
    # A closed-back 4x12: the strongest low resonance, the earliest roll-off;
    # stored at 44.1 kHz (resampled when it loads).
    "4x12 Closed Back.wav": dict(rate=44100, ms=200, low_f=80, low_q=1.6, low_boost=4.0, dip_f=650, dip_db=5.0,
                                 presence_f=3200, presence_db=5.5, rolloff_f=4600, rolloff_poles=7, seed=412),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, cab in CABINETS.items():
        h = design(cab, cab["rate"])
        path = os.path.join(OUT, name)
        write_wav24(path, h, cab["rate"])
        size = os.path.getsize(path)
        if size >= 200 * 1024:
            sys.exit(f"{name} is {size} bytes; keep each cabinet under 200 KB")
        print(f"{path}: {len(h)} samples at {cab['rate']} Hz, {size} bytes")


if __name__ == "__main__":
    main()
