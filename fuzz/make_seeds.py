#!/usr/bin/env python3
"""Writes the small seed inputs of the fuzz targets that start from hand-made
files (fuzz/seeds/<target>/). Deterministic: running it again gives the same
bytes. Usage: fuzz/make_seeds.py"""
import math
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")


def put(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def noise(count, seed=12345):
    """Values in -1..1 from a fixed linear congruential generator."""
    out = []
    for _ in range(count):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        out.append(seed / 0x3FFFFFFF - 1.0)
    return out


def twf(rate, samples, flags=0, window=0.0, start=0, window_type=2):
    """A "@TW101" impulse response: header fields at their stored offsets."""
    h = bytearray(1336)
    h[260:264] = b"Seed"
    struct.pack_into("<I4d2i", h, 520, flags, 1.0 / rate, len(samples) / rate, window, 0.0, 0, start)
    peak = max(samples, key=abs)
    struct.pack_into("<2id", h, 568, rate, len(samples), peak)
    struct.pack_into("<d", h, 608, -1000.0)
    struct.pack_into("<3i", h, 1272, 1, 0, window_type)
    return b"@TW101" + bytes(h) + struct.pack("<%df" % len(samples), *samples)


def decaying(count, at, tau):
    return [0.0] * at + [math.exp(-i / tau) * math.cos(i * 0.7) for i in range(count - at)]


def wave(rate, channels, bits, values, tag=1, extensible=False):
    """A RIFF wave file with an 18-byte format chunk, or the 40-byte
    WAVE_FORMAT_EXTENSIBLE one whose sub-format is `tag`."""
    block = channels * bits // 8
    if tag == 3:
        data = struct.pack("<%df" % len(values), *values)
    elif bits == 8:
        data = bytes(int(v * 127) + 128 for v in values)
    elif bits == 16:
        data = struct.pack("<%dh" % len(values), *(int(v * 32767) for v in values))
    else:
        data = b"".join(struct.pack("<i", int(v * 8388607))[:3] for v in values)
    if extensible:
        guid = struct.pack("<IHH", tag, 0, 0x10) + bytes([0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])
        fmt = struct.pack("<HHIIHHHHI", 0xFFFE, channels, rate, rate * block, block, bits, 22, bits,
                          (1 << channels) - 1) + guid
    else:
        fmt = struct.pack("<HHIIHHH", tag, channels, rate, rate * block, block, bits, 0)
    body = b"WAVEfmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


put("fuzz_fr_pipeline", "mls_48k.twf", twf(48000, decaying(512, 20, 30.0), flags=0x04, window=0.008))
put("fuzz_fr_pipeline", "delay_free_fallback.twf", twf(44100, decaying(256, 200, 8.0), flags=0x80, window=0.002))
put("fuzz_fr_pipeline", "min_phase_8k.twf",
    twf(8000, decaying(200, 3, 5.0), flags=0x1010, window=0.02, start=2, window_type=5))

mixer = struct.pack("<3i9i9I", 0, 40, 60, *range(1000, 10000, 1000), 1, 2, 3, 4, 5, 6, 7, 8, 15)
put("fuzz_mixer_state", "mixset00.cfg", mixer)
put("fuzz_mixer_state", "other_mixer.cfg", struct.pack("<i", 1) + mixer[4:])
put("fuzz_mixer_state", "levels_block", struct.pack("<I2i9I9i", 1, -1, -1, *([1] * 9), *range(0, 90000, 10000)))

slot = struct.pack("<iI", 2, 0x86) + b"Woofer 8".ljust(260, b"\0") + b"C:\\Units\\w8.spk".ljust(260, b"\0")
slot += struct.pack("<64d", *(i * 0.5 for i in range(64))) + struct.pack("<31d", *(1.0 / (i + 1) for i in range(31)))
put("fuzz_design_undo", "slot.son", slot)
put("fuzz_design_undo", "full_texts.son", struct.pack("<iI", 1, 0xFF) + b"N" * 520 + bytes(760))

put("fuzz_command_line", "names.txt", ' "C:\\My Measurements\\a b.mes" -nosplash /x c.twf\td.etc ""  "open')
put("fuzz_command_line", "list.txt", "C:\\a.mes\r\n\r\nC:\\b c.twf\r\n" + "x" * 300 + "\r\nlast")

put("fuzz_tips", "tips.cfg", "  First tip.\r\n\tSecond tip\t\r\n\r\n" + "Long " * 60 + "\nLast tip")

put("fuzz_frame_title", "title.txt", " \t Lab Workbench \t\r\nSecond line")
put("fuzz_frame_title", "long.txt", "T" * 100)

# Settings: a layout byte, a version byte, then the start of the block (the
# target pads it to the layout's size).
window = struct.pack("<6i", 2006, 10, 20, 800, 600, 0) + b"C:\\a.mes".ljust(260, b"\0") + bytes(260) + b"C:\\c.mes"
put("fuzz_settings_blocks", "window_2006", bytes([0, 2]) + window)
put("fuzz_settings_blocks", "window_2005_offscreen", bytes([0, 1]) + struct.pack("<6i", 2005, 5000, -900, 800, 600, 1))
put("fuzz_settings_blocks", "window_2003", bytes([1, 0]) + struct.pack("<6i", 2003, 0, 0, 640, 480, 0) + b"C:\\old.mes")
put("fuzz_settings_blocks", "program_2006", bytes([2, 1]) + bytes(4) + bytes(range(1, 200)))
put("fuzz_settings_blocks", "xover_zero_zoom", bytes([3, 0]) + struct.pack("<I28xd", 34, 0.0))
put("fuzz_settings_blocks", "toolbar", bytes([4, 0]) + bytes(range(64)))

put("fuzz_mls_recovery", "mono16.wav", wave(8000, 1, 16, noise(600)))
put("fuzz_mls_recovery", "stereo8.wav", wave(8000, 2, 8, noise(800, 7)))
put("fuzz_mls_recovery", "float_mono.wav", wave(8000, 1, 32, noise(300, 99), tag=3))
put("fuzz_mls_recovery", "stereo24_44k.wav", wave(44100, 2, 24, noise(400, 3)))
put("fuzz_mls_recovery", "extensible24_3ch.wav", wave(8000, 3, 24, noise(600, 5), extensible=True))

# A short gated burst train and a chirp at the target's rate, and noise.
burst = [0.0] * 40
for k, f in enumerate((500.0, 1000.0, 2000.0)):
    burst += [0.5 * (math.cos if k == 0 else math.sin)(2 * math.pi * f * n / 8000) for n in range(48)] + [0.0] * 50
put("fuzz_sine_analysis", "bursts16.wav", wave(8000, 1, 16, burst))
chirp = [0.5 * math.sin(2 * math.pi * 250 * (math.exp(3 * n / 8000) - 1) / 3) for n in range(400)]
put("fuzz_sine_analysis", "chirp_stereo24.wav", wave(8000, 2, 24, [v for c in zip([0.0] * 40 + chirp, [0.0] * 40 + chirp) for v in c]))
put("fuzz_sine_analysis", "noise8.wav", wave(8000, 1, 8, noise(500, 21)))

# Both channels of an impedance box: a tone and a chirp, the current
# channel a scaled, shifted copy.
tone = [0.4 * math.sin(2 * math.pi * 1000 * n / 8000) for n in range(400)]
put("fuzz_impedance_analysis", "tone16.wav", wave(8000, 2, 16, [v for n, t in enumerate([0.0] * 40 + tone) for v in (t, 0.5 * t)]))
put("fuzz_impedance_analysis", "chirp24.wav", wave(8000, 2, 24, [v for t in [0.0] * 40 + chirp for v in (t, -0.8 * t)]))
put("fuzz_impedance_analysis", "noise16.wav", wave(8000, 2, 16, noise(1200, 31)))

# Speaker units: a complete one and one without Le and Xmax.
def spk(values, texts=(b"Acme", b"W8", b"notes")):
    rec = texts[0].ljust(80, b"\0") + texts[1].ljust(80, b"\0") + texts[2].ljust(160, b"\0")
    rec += struct.pack("<8d", *values) + struct.pack("<4d", 0.0, 1e6, math.sqrt(0.5), 0.0) + bytes(96)
    return b"@SP100" + rec
put("fuzz_spk_reader", "woofer.spk", spk([30, 0.1, 0.4, 4, 6, 0.0008, 0.05, 0.006]))
put("fuzz_spk_reader", "bare.spk", spk([800, 0.001, 0.6, 2, 3.5, 0, 0.001, 0]))

# Box designs: a vented box of two units and an isobaric closed box.
def box(kind, units, isobaric, doubles, vents=1, order=0, title=b"Box"):
    rec = title.ljust(80, b"\0") + struct.pack("<ihi", kind, units, isobaric)
    rec += struct.pack("<9d", *doubles) + struct.pack("<hhh", vents, 1, order)
    rec += struct.pack("<4d", 0, 0, 0, 0) + struct.pack("<hhI", 1, 1, 1) + struct.pack("<5d", 0.3, 0.4, 0, 0, 0)
    assert len(rec) == 248
    return rec
put("fuzz_dsn_reader", "vented.dsn", b"@SD100" + spk([30, 0.1, 0.4, 4, 6, 0.0008, 0.05, 0.006])[6:] +
    box(1, 2, 0, [0.08, 0, 0.005, 28, 0, 0, 7, 1000, 1000], vents=2))
put("fuzz_dsn_reader", "isobaric.dsn", b"@SD100" + spk([45, 0.03, 0.5, 3, 6.2, 0.0005, 0.02, 0.004])[6:] +
    box(0, 2, 1, [0.02, 0, 0, 0, 50, 0, 1000, 1000, 1000], order=2))

put("fuzz_wave_reader", "extensible24_mono.wav", wave(44100, 1, 24, noise(300, 11), extensible=True))
put("fuzz_wave_reader", "extensible_float_3ch.wav", wave(8000, 3, 32, noise(300, 13), tag=3, extensible=True))

put("fuzz_compensation_reader", "unsorted.mcp",
    "Son-Rix:Compensation File v1.10\r\nunsorted.mcp\r\n4\r\nBEGIN.\r\n"
    "1000.0000  0.5000  10.0000\r\n100.0000 -1.0000 -5.0000\r\n1000.0000  3.0000  0.0000\r\n"
    "20000.0000 -2.0000  0.0000\r\nEND.\r\n")

# Vented alignment tables: two blocks with comments, a file that stops at
# another type, and commas with CR/LF.
put("fuzz_aln_reader", "b4.aln",
    "; Butterworth-like family\r\nTitle = Family B4\r\nType Vented\r\n\r\nQL 7\r\n"
    "0.30 1.50 1.00\r\n0.35 2.00 1.10 ;\r\n0.45 3.00 1.30\r\nQL 15\r\n0.25 1.2 0.9\r\n0.40 2.4 1.2\r\n")
put("fuzz_aln_reader", "stop.aln", "Title C4\nQL=10\n0.2,1,1\n0.6,2,2\nType Closed\nQL 7\n0.1 1 1\n0.9 1 1\n")
