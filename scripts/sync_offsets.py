"""Offsets of the first lit command from each burst's start, from fulgora-play
--log files; see sync-offsets.sh.
  sync_offsets.py run LOG.csv STARTS.txt RATE SECONDS NAME MODE  (one line out)
  sync_offsets.py report RESULTS                                 (the table)"""
import csv
import sys

LIT = 30  # sum of the three bytes above which a command counts as lit


def run(log, starts_file, rate, seconds, name, mode):
    rate, seconds = int(rate), float(seconds)
    starts = [int(x) / rate for x in open(starts_file).read().split()]
    rows = []
    with open(log) as f:
        for r in csv.DictReader(f):
            if r["ch0"] != "":
                rows.append((float(r["heard_s"]),
                             int(r["ch0"]) + int(r["ch1"]) + int(r["ch2"])))
    offsets, missed = [], 0
    for i, s in enumerate(starts):
        low = max(s - 0.25, starts[i - 1] + 0.35 if i else -1.0)
        lit = [h for h, v in rows if v > LIT and low <= h <= s + 0.4]
        if lit:
            offsets.append((lit[0] - s) * 1000.0)
        else:
            missed += 1
    print("%s|%s|%d|%s|%s" % (name, mode, missed, len(rows) / seconds,
                              " ".join("%.2f" % o for o in offsets)))


def stats(values):
    a = sorted(abs(v) for v in values)
    if not a:
        return "-"
    n = len(a)
    med = a[n // 2] if n % 2 else (a[n // 2 - 1] + a[n // 2]) / 2
    p95 = a[min(n - 1, -(-95 * n // 100) - 1)]  # nearest rank
    return "%5.1f %5.1f %6.1f" % (med, p95, a[-1])


def report(results):
    table, order = {}, []
    for line in open(results):
        name, mode, missed, per_s, offs = line.rstrip("\n").split("|")
        if name not in table:
            table[name] = {}
            order.append(name)
        table[name][mode] = (int(missed), float(per_s), [float(x) for x in offs.split()])
    print("|offset| in ms: median p95 max; commands per second of heard audio; missed bursts")
    print("%-50s | %-30s | %-30s" % ("", "today (SYNC_RATE=0)", "new (SYNC_RATE=60)"))
    totals = {"today": [[], 0, 0.0, 0], "rate": [[], 0, 0.0, 0]}
    for name in order:
        cells = []
        for mode in ("today", "rate"):
            missed, per_s, offs = table[name][mode]
            cells.append("%s %6.1f/s %d missed" % (stats(offs), per_s, missed))
            t = totals[mode]
            t[0] += offs
            t[1] += missed
            t[2] += per_s
            t[3] += 1
        print("%-50s | %-30s | %-30s" % (name, cells[0], cells[1]))
    cells = []
    for mode in ("today", "rate"):
        offs, missed, per_s, n = totals[mode]
        cells.append("%s %6.1f/s %d missed" % (stats(offs), per_s / n, missed))
    print("%-50s | %-30s | %-30s" % ("all %d bursts" % len(totals["rate"][0]), cells[0], cells[1]))


if __name__ == "__main__":
    {"run": run, "report": report}[sys.argv[1]](*sys.argv[2:])
