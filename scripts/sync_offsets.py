"""Offsets of the first lit command from each burst's start, from fulgora-play
--log files; see sync-offsets.sh. COLUMN names the component build measured.
  sync_offsets.py playlist DIR RATE SECONDS...
      writes DIR/trackN.wav (32-bit float, stereo) and DIR/trackN.txt (each
      burst's first frame): 100 ms noise bursts 0.6 to 1.2 s apart; each
      silence digital silence for its first half, -80 dBFS of DC (dark, but
      no silence to a silence skipper) for the rest
  sync_offsets.py run LOG.csv STARTS.txt RATE SECONDS NAME COLUMN [SINCE_S]
      one line out; with SINCE_S only the bursts that start after it
  sync_offsets.py tracks LOG.csv RATE NAME COLUMN AFTER STARTS.txt:SECONDS...
      one line per track of a gapless playlist (made by playlist), each
      onset where it is heard in what was played with AFTER (none,
      crossfade, skip-silence, resample, delay) after ours
  sync_offsets.py storm-times STARTS.txt RATE   "AT:TO PAUSE_AT" for storm
  sync_offsets.py storm LOG.csv STARTS.txt RATE NAME COLUMN AT:TO PAUSE_AT NOTES
      one line for the bursts heard around a seek and a pause; the first
      burst after each into NOTES
  sync_offsets.py before-burst STARTS.txt RATE SECONDS
      a time SECONDS before a burst that follows a long dark stretch
  sync_offsets.py paused LOG.csv PAUSE_AT   lit commands while paused
  sync_offsets.py gap LOG.csv [FROM_S UNTIL_S]
      the longest gap between level commands (after one heard in that span)
  sync_offsets.py drove LOG.csv        whose level commands the board got
  sync_offsets.py report RESULTS COLUMN...   (the table)"""
import array
import collections
import csv
import random
import struct
import sys

LIT = 30  # sum of the three bytes above which a command counts as lit
CROSSFADE_S = 0.2  # the stand-in's crossfader overlap and its delay's hold-back
SKIP_LONGER_S, SKIP_KEPT_S = 0.1, 0.02  # its silence skipper
DC = 1e-4  # -80 dBFS


def write_wav(path, rate, samples):
    """32-bit float stereo WAV of interleaved samples."""
    data = array.array("f", samples)
    if sys.byteorder != "little":
        data.byteswap()
    body = data.tobytes()
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 26 + 8 + len(body)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<IHHIIHHH", 18, 3, 2, rate, rate * 8, 8, 32, 0))
        f.write(b"data" + struct.pack("<I", len(body)) + body)


def silences(starts, frames, rate):
    """(first frame, length) of each digital silence of a playlist track."""
    burst = rate // 10
    edges = [0] + [s + burst for s in starts]
    ends = starts + [frames]
    return [(a, (b - a) // 2) for a, b in zip(edges, ends)]


def playlist(directory, rate, *lengths):
    rate = int(rate)
    for k, seconds in enumerate(lengths):
        frames = round(float(seconds) * rate)
        rng = random.Random(rate + k)
        starts, at = [], round(rng.uniform(0.6, 1.2) * rate)
        while at + rate // 10 < frames:
            starts.append(at)
            at += round(rng.uniform(0.6, 1.2) * rate)
        mono = [DC] * frames
        for s in starts:
            for i in range(s, s + rate // 10):
                mono[i] = rng.uniform(-0.5, 0.5)
        for a, n in silences(starts, frames, rate):
            mono[a:a + n] = [0.0] * n
        write_wav("%s/track%d.wav" % (directory, k + 1), rate,
                  [x for x in mono for _ in (0, 1)])
        with open("%s/track%d.txt" % (directory, k + 1), "w") as f:
            f.write("".join("%d\n" % s for s in starts))


def levels(log):
    """(time_s, heard_s, ch0, ch1, ch2) of every level command."""
    rows = []
    with open(log) as f:
        for r in csv.DictReader(f):
            if r["ch0"] != "":
                rows.append((float(r["time_s"]), float(r["heard_s"]),
                             int(r["ch0"]), int(r["ch1"]), int(r["ch2"])))
    return rows


def offsets_of(rows, starts):
    """Per burst start (heard seconds), the offset in ms of the light's rise
    (a lit command after a dark one) that comes first after the one taken
    by the burst before, from 250 ms before to 550 ms after the start (a
    light late by as much as the bursts are apart still goes to its own);
    None where none came."""
    edges, was_lit = [], False
    for _, h, a, b, c in rows:
        lit = a + b + c > LIT
        if lit and not was_lit:
            edges.append(h)
        was_lit = lit
    offsets, taken = [], -1e9
    for s in starts:
        rise = next((h for h in edges if h > taken and s - 0.25 <= h <= s + 0.55), None)
        offsets.append(None if rise is None else (rise - s) * 1000.0)
        taken = taken if rise is None else rise
    return offsets


def line(name, column, per_s, offsets):
    found = [o for o in offsets if o is not None]
    print("%s|%s|%d|%s|%s" % (name, column, len(offsets) - len(found), per_s,
                              " ".join("%.2f" % o for o in found)))


def read_starts(path, rate):
    return [int(x) / rate for x in open(path).read().split()]


def run(log, starts_file, rate, seconds, name, column, since="-1"):
    starts = read_starts(starts_file, int(rate))
    rows = levels(log)
    line(name, column, len(rows) / float(seconds),
         offsets_of(rows, [s for s in starts if s > float(since)]))


def heard_onsets(after, rate, playlist_items):
    """Per track, its bursts' onsets in heard seconds of what was played,
    and where each track begins there (one more: where the last ends)."""
    out, bounds, begin, removed = [], [], 0, 0
    longer, kept = round(SKIP_LONGER_S * rate), round(SKIP_KEPT_S * rate)
    cut = lambda n: n - kept if n > longer else 0
    for k, (starts, frames) in enumerate(playlist_items + [([], 0)]):
        shift = {"crossfade": -k * round(CROSSFADE_S * rate),
                 "delay": round(CROSSFADE_S * rate) if k else 0}.get(after, 0)
        bounds.append((begin + shift - removed) / rate)
        if k == len(playlist_items):
            break
        runs = silences(starts, frames, rate)
        onsets = []
        for i, s in enumerate(starts):
            if after == "skip-silence":
                removed += cut(runs[i][1])
            onsets.append((begin + s + shift - removed) / rate)
        if after == "skip-silence":
            removed += cut(runs[-1][1])
        out.append(onsets)
        begin += frames
    return out, bounds


def tracks(log, rate, name, column, after, *items):
    rate = int(rate)
    rows = levels(log)
    parsed = []
    for item in items:
        starts_file, seconds = item.rsplit(":", 1)
        parsed.append(([int(x) for x in open(starts_file).read().split()],
                       round(float(seconds) * rate)))
    onsets, bounds = heard_onsets(after, rate, parsed)
    offsets = offsets_of(rows, [o for t in onsets for o in t])
    at = 0
    for k, t in enumerate(onsets):
        begin, end = bounds[k], bounds[k + 1]
        inside = [r for r in rows if begin <= r[1] < end]
        line("%s, track %d" % (name, k + 1), column, len(inside) / (end - begin),
             offsets[at:at + len(t)])
        at += len(t)


def storm_times(starts_file, rate):
    s = read_starts(starts_file, int(rate))
    return "%.3f:%.3f %.3f" % (s[1] + 0.3, s[3] - 0.2, s[4] + 0.3)


def storm(log, starts_file, rate, name, column, seek, pause_at, notes):
    starts = read_starts(starts_file, int(rate))
    at, to = (float(x) for x in seek.split(":"))
    heard = [s for s in starts if s < at or s >= to]
    rows = levels(log)
    offsets = offsets_of(rows, heard)
    line(name, column, len(rows) / 8.0, offsets)
    def first(since):
        o = next((o for s, o in zip(heard, offsets) if s >= since), None)
        return "none lit" if o is None else "%.1f ms" % o
    with open(notes, "a") as f:
        f.write("%s: seek %s, pause at %s: the first burst after the seek %s, after the "
                "resume %s\n" % (column, seek, pause_at, first(to), first(float(pause_at))))


def before_burst(starts_file, rate, seconds):
    s = read_starts(starts_file, int(rate))
    for i in range(2, len(s)):
        if s[i] - s[i - 1] >= 0.6:
            print("%.3f" % (s[i] - float(seconds)))
            return
    print("%.3f" % (s[-1] - float(seconds)))


def paused(log, pause_at):
    rows = levels(log)
    # While paused the heard position stands: the value most repeated from
    # the pause on.
    count = collections.Counter(round(h, 6) for _, h, _, _, _ in rows if h >= float(pause_at))
    if not count:
        print("no command from the pause on")
        return
    stood = count.most_common(1)[0][0]
    during = [r for r in rows if abs(r[1] - stood) < 1e-6]
    lit = [r for r in during if r[2] + r[3] + r[4] > LIT]
    top = max((r[2] + r[3] + r[4] for r in during), default=0)
    print("%d lit of %d commands while heard stood at %.3f s (largest sum %d)"
          % (len(lit), len(during), stood, top))


def gap(log, since="-1", until="1e9"):
    rows = levels(log)
    worst, at = 0.0, 0.0
    for a, b in zip(rows, rows[1:]):
        if float(since) <= a[1] <= float(until) and b[0] - a[0] > worst:
            worst, at = b[0] - a[0], a[1]
    print("%.1f ms after the command heard at %.2f s" % (worst * 1000.0, at))


def drove(log):
    rows = levels(log)
    # The second chain converts an 11 kHz tone: the high band alone lights.
    tone = sum(1 for _, _, a, b, c in rows if c > LIT and a + b < 10)
    print("%d of %d level commands of the second chain's tone alone" % (tone, len(rows)))


def stats(values):
    a = sorted(abs(v) for v in values)
    if not a:
        return "%5s %5s %6s" % ("-", "-", "-")
    n = len(a)
    med = a[n // 2] if n % 2 else (a[n // 2 - 1] + a[n // 2]) / 2
    p95 = a[min(n - 1, -(-95 * n // 100) - 1)]  # nearest rank
    return "%5.1f %5.1f %6.1f" % (med, p95, a[-1])


def report(results, *columns):
    table, order = {}, []
    for row in open(results):
        name, column, missed, per_s, offs = row.rstrip("\n").split("|")
        if name not in table:
            table[name] = {}
            order.append(name)
        table[name][column] = (int(missed), float(per_s), [float(x) for x in offs.split()])
    print("|light - heard onset| in ms: median p95 max; commands per second of heard audio;"
          " bursts lit of all")
    print("%-52s" % "" + "".join(" | %-35s" % c for c in columns))
    totals = {c: [[], 0] for c in columns}
    for name in order:
        cells = []
        for c in columns:
            if c not in table[name]:
                cells.append("-")
                continue
            missed, per_s, offs = table[name][c]
            cells.append("%s %5.1f/s %d/%d lit" % (stats(offs), per_s, len(offs),
                                                    len(offs) + missed))
            totals[c][0] += offs
            totals[c][1] += missed
        print("%-52s" % name + "".join(" | %-35s" % x for x in cells))
    cells = ["%s %7s %d/%d lit" % (stats(t[0]), "", len(t[0]), len(t[0]) + t[1])
             for t in (totals[c] for c in columns)]
    print("%-52s" % "all bursts" + "".join(" | %-35s" % x for x in cells))


if __name__ == "__main__":
    commands = {"playlist": playlist, "run": run, "tracks": tracks, "storm-times": storm_times,
                "storm": storm, "before-burst": before_burst, "paused": paused, "gap": gap,
                "drove": drove, "report": report}
    result = commands[sys.argv[1]](*sys.argv[2:])
    if result is not None:
        print(result)
