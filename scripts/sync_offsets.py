"""Offsets of the first lit command from each heard onset, from a
fulgora-play --log file; see sync-offsets.sh for the arguments."""
import csv
import sys

log, chunk, rate, every, length, pause_at, pause_for, seek_at, seek_to, chunks = sys.argv[1:]
chunk, rate, every, chunks = int(chunk), int(rate), int(every), int(chunks)
length, pause_at, pause_for = float(length), float(pause_at), float(pause_for)
seek_at, seek_to = float(seek_at), float(seek_to)
LIT = 30  # sum of the three bytes above which a command counts as lit

rows = []
with open(log) as f:
    for r in csv.DictReader(f):
        if r["ch0"] == "":
            continue  # the closing command
        rows.append((float(r["time_s"]), float(r["heard_s"]),
                     int(r["ch0"]) + int(r["ch1"]) + int(r["ch2"])))

# Passes of the heard clock: a seek backwards starts the second one.
passes = [[]]
for row in rows:
    if passes[-1] and row[1] < passes[-1][-1][1] - 0.05:
        passes.append([])
    passes[-1].append(row)
ranges = [(0.0, seek_at), (seek_to, length)]

half_block = (chunk // 2) / rate  # the block is the whole chunk: 4096 is a power of two
onset_step = every * chunk / rate
classes = {"start": [], "steady": [], "after seek": [], "after pause": []}
missed = {k: 0 for k in classes}
for p, (low, high) in enumerate(ranges):
    k = 0
    while k * onset_step < length:
        block = k * onset_step + half_block
        k += 1
        if not (low <= block < high):
            continue
        if p == 1 and block < seek_to + 2.5:
            cls = "after seek"
        elif p == 0 and block < 1.0:
            cls = "start"
        elif p == 0 and pause_at <= block < pause_at + 2.5:
            cls = "after pause"
        else:
            cls = "steady"
        lit = [h for (_, h, s) in (passes[p] if p < len(passes) else [])
               if s > LIT and block - 1.5 <= h <= block + 0.5]
        if lit:
            classes[cls].append((lit[0] - block) * 1000.0)
        else:
            missed[cls] += 1


def median(a):
    n = len(a)
    return a[n // 2] if n % 2 else (a[n // 2 - 1] + a[n // 2]) / 2


def stats(values):
    a = sorted(abs(v) for v in values)
    if not a:
        return "no onsets"
    p95 = a[min(len(a) - 1, -(-95 * len(a) // 100) - 1)]  # nearest rank
    return ("median %+.1f ms (|offset|: median %.1f, p95 %.1f, max %.1f ms)"
            % (median(sorted(values)), median(a), p95, a[-1]))


every_value = []
for name, values in classes.items():
    every_value += values
    print("  %-12s %2d onsets%s: %s" % (name, len(values),
          (", %d missed" % missed[name]) if missed[name] else "", stats(values)))
print("  %-12s %2d onsets%s: %s" % ("all", len(every_value),
      (", %d missed" % sum(missed.values())) if sum(missed.values()) else "", stats(every_value)))
heard_s = sum(high - low for low, high in ranges)
print("  level commands: %d for %d chunks through the DSP, of which %.0f were heard (the seek"
      " drops the rest);\n  %.2f commands per second of heard audio, %.2f chunks per second"
      % (len(rows), chunks, heard_s * rate / chunk, len(rows) / heard_s, rate / chunk))
