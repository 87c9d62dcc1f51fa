"""The light against the sound as the audio server played it; see
heard-offsets.sh.
  heard_offsets.py run TRACK.wav STARTS.txt REC.raw STAMPS.txt BOARD.csv NAME MODE
      finds each burst in the recording of the sink's monitor, stamps its onset
      on the monotonic clock, and prints one line: the first lit command minus
      the onset as played, per burst
  heard_offsets.py report RESULTS        the table (median, p95, max of |offset|)
  heard_offsets.py check RESULTS LOW HIGH  every burst found in order, each
      offset within LOW..HIGH ms; the failures, and exit 1, otherwise"""
import csv
import struct
import sys

import numpy as np

sys.path.insert(0, __import__("os").path.dirname(__file__))
from sync_offsets import LIT, stats  # noqa: E402

SEARCH_S = 0.5  # how far from where the whole track lies a burst may be found
MATCH_S = 0.15  # how far a burst's light may stray from the common shift
# A burst is "stalled" when, between its onset and its light, no command at
# all reached the board for this long (or three command intervals, if longer):
# the machine gave the player, its worker or the board no core then, so the
# light could not be on time whatever the clock said. The report counts such
# bursts; the check leaves them out.
STALL_S = 0.05


def read_wav(path):
    """(rate, channels, float32 frames x channels): 16-bit PCM or float."""
    data = open(path, "rb").read()
    at, fmt = 12, None
    while at + 8 <= len(data):
        tag, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        body = data[at + 8:at + 8 + size]
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", body[:16])
        elif tag == b"data":
            kind, channels, rate, _, _, bits = fmt
            if kind == 3 or (kind == 0xFFFE and bits == 32):
                x = np.frombuffer(body, dtype="<f4")
            else:
                x = np.frombuffer(body, dtype="<i2").astype(np.float32) / 32768.0
            return rate, channels, x.reshape(-1, channels)
        at += 8 + size + (size & 1)
    raise SystemExit(path + ": no audio")


def correlate(signal, pattern):
    """Cross-correlation of pattern at every lag into signal (FFT)."""
    n = len(signal) + len(pattern)
    size = 1 << (n - 1).bit_length()
    c = np.fft.irfft(np.fft.rfft(signal, size) * np.conj(np.fft.rfft(pattern, size)), size)
    return c[:len(signal) - len(pattern) + 1]


def locate(track, rec, starts, rate):
    """Each burst's first frame in the recording: the whole track's best lag,
    then each burst's own best lag near it (where the server really played
    it). None for a burst not found there."""
    lag = int(np.argmax(correlate(rec, track)))
    burst = rate // 10
    found = []
    for s in starts:
        pattern = track[s:s + burst]
        low = max(0, lag + s - int(SEARCH_S * rate))
        window = rec[low:lag + s + burst + int(SEARCH_S * rate)]
        if len(window) < len(pattern):
            found.append(None)
            continue
        c = correlate(window, pattern)
        best = int(np.argmax(c))
        # A true find matches the burst sample for sample (a float sink at the
        # track's rate): nearly all of its energy correlates.
        energy = float(np.dot(pattern, pattern))
        found.append(low + best if c[best] > 0.9 * energy else None)
    return found


def first_frame_at(stamps, rate):
    """Monotonic time of the recording's first frame. The monitor hands on
    every frame the sink renders, and a null sink renders on the monotonic
    clock, so frame f was played at this plus f / rate. The stamps' own
    latency reports are not trusted for that at the start: for the first
    second or two of the recording they can be off by a few hundred ms (the
    recording stream's report from while the idle sink rendered far ahead,
    then the library's smoothing towards the true one), so the reference is
    their median over the recording's second half, where they agree within
    a fraction of a millisecond."""
    settled = stamps[len(stamps) // 2:]
    offsets = settled[:, 1] - settled[:, 0] / rate
    spread = float(np.percentile(offsets, 95) - np.percentile(offsets, 5))
    if spread > 0.005:
        print("heard_offsets: the recording's stamps spread %.1f ms after settling" %
              (spread * 1000.0), file=sys.stderr)
    return float(np.median(offsets))


def lit_runs(board):
    """Times of the level commands, and the starts of their lit runs."""
    times, starts, was_lit = [], [], False
    with open(board) as f:
        for row in csv.reader(f):
            if len(row) < 5 or row[2] == "" or row[0] == "time_s":
                continue
            t, lit = float(row[0]), int(row[2]) + int(row[3]) + int(row[4]) > LIT
            times.append(t)
            if lit and not was_lit:
                starts.append(t)
            was_lit = lit
    return times, starts


def common_shift(onsets, runs):
    """The one shift (lit run minus onset, -2..+1 s) that lines up the most
    lit runs with onsets: the mode's lead or lag, however large, so that each
    burst is paired with its own light and not a neighbour's."""
    best, shift = (-1, 0.0), 0.0
    for candidate in sorted({r - o for r in runs for o in onsets if -2.0 <= r - o <= 1.0}):
        d = [min(abs(r - o - candidate) for r in runs) for o in onsets]
        score = (sum(x <= MATCH_S / 2 for x in d), -sum(min(x, MATCH_S) for x in d))
        if score > best:
            best, shift = score, candidate
    return shift


def run(track_wav, starts_file, rec_raw, stamps_file, board, name, mode):
    rate, channels, track = read_wav(track_wav)
    starts = [int(x) for x in open(starts_file).read().split()]
    rec = np.fromfile(rec_raw, dtype=np.float32).reshape(-1, channels)[:, 0]
    stamps = np.loadtxt(stamps_file, ndmin=2)
    found = locate(track[:, 0], rec, starts, rate)
    times, runs = lit_runs(board)
    # In order: each burst where the track has it, relative to the first.
    misplaced = 0
    first = next((f for f in found if f is not None), None)
    for s, f in zip(starts, found):
        if f is None or abs((f - first) - (s - starts[0])) > rate // 100:
            misplaced += 1
    start = first_frame_at(stamps, rate)
    onsets = [start + f / rate if f is not None else None for f in found]
    offsets, missed = [], 0
    shift = common_shift([o for o in onsets if o is not None], runs)
    stall = max(STALL_S, 3.0 * float(np.median(np.diff(times)))) if len(times) > 1 else STALL_S
    for onset in onsets:
        near = [r for r in runs if onset is not None and abs(r - onset - shift) <= MATCH_S]
        light = min(near, key=lambda r: abs(r - onset - shift)) if near else None
        end = light if light is not None else (onset or 0.0) + MATCH_S + max(shift, 0.0)
        stalled = onset is not None and longest_gap(times, onset - 0.02, end) > stall
        if light is None:
            if stalled:
                offsets.append("s")
            else:
                missed += 1
            continue
        offsets.append("%.2f%s" % ((light - onset) * 1000.0, "s" if stalled else ""))
    span = times[-1] - times[0] if len(times) > 1 else 0.0
    per_s = len(times) / span if span > 0 else 0.0
    print("%s|%s|%d|%d|%d|%.1f|%s" % (name, mode, len(starts), misplaced, missed, per_s,
                                      " ".join(offsets)))


def longest_gap(times, low, high):
    """The longest time no level command reached the board in low..high."""
    inside = [low] + [t for t in times if low < t < high] + [high]
    return max(b - a for a, b in zip(inside, inside[1:]))


def rows(results):
    """Per run: name, mode, bursts, misplaced, missed, commands per second,
    the offsets of the bursts not stalled, those of all bursts lit, and how
    many stalled."""
    for line in open(results):
        name, mode, bursts, misplaced, missed, per_s, offs = line.rstrip("\n").split("|")
        tokens = offs.split()
        yield name, mode, int(bursts), int(misplaced), int(missed), float(per_s), \
            [float(x) for x in tokens if not x.endswith("s")], \
            [float(x.rstrip("s")) for x in tokens if x != "s"], sum(x.endswith("s") for x in tokens)


def report(results):
    table, order = {}, []
    for name, mode, bursts, misplaced, missed, per_s, _, offs, stalled in rows(results):
        if name not in table:
            table[name] = {}
            order.append(name)
        table[name][mode] = "%s %+7.1f %5.1f/s %d/%d" % (
            stats(offs), float(np.median(offs)) if offs else 0.0, per_s,
            len(offs), bursts) + \
            ("" if misplaced == 0 else " %d misplaced" % misplaced) + \
            ("" if stalled == 0 else " %d stalled" % stalled)
    print("light - onset as the server played it, ms: |offset| median p95 max, signed median;")
    print("level commands per second; bursts measured/all (stalled: no command reached the")
    print("board for 50 ms or more between the onset and the light, the machine busy)")
    print("%-34s | %-38s | %-38s" % ("", "SYNC off", "SYNC on"))
    for name in order:
        print("%-34s | %-38s | %-38s" % (name, table[name].get("off", "-"),
                                          table[name].get("on", "-")))


def check(results, low, high):
    low, high, bad = float(low), float(high), []
    for name, mode, bursts, misplaced, missed, per_s, offs, _, stalled in rows(results):
        if misplaced:
            bad.append("%s %s: %d of %d bursts not where the track has them" %
                       (name, mode, misplaced, bursts))
        if missed:
            bad.append("%s %s: %d of %d bursts without their light" % (name, mode, missed, bursts))
        if 2 * stalled > bursts:
            bad.append("%s %s: %d of %d bursts stalled, too few to judge" %
                       (name, mode, stalled, bursts))
        for o in offs:
            if not low <= o <= high:
                bad.append("%s %s: a burst lit %.1f ms from its onset" % (name, mode, o))
        print("%s %s: %d bursts, %d stalled, offsets %s ms" %
              (name, mode, bursts, stalled, " ".join("%.1f" % o for o in offs)))
    for b in bad:
        print("FAIL: " + b)
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    {"run": run, "report": report, "check": check}[sys.argv[1]](*sys.argv[2:])
