"""Offsets of the first lit command from each burst's start, from fulgora-play
--log files; see sync-offsets.sh.
  sync_offsets.py run LOG.csv STARTS.txt RATE SECONDS NAME MODE [SINCE_S]
      one line out; with SINCE_S only the bursts that start after it
  sync_offsets.py tracks LOG.csv RATE NAME MODE STARTS.txt:SECONDS...
      one line per track of a gapless playlist, the onsets at their place in
      the playlist; a DSP after ours that holds audio back puts each onset
      that much later on the heard clock, so these offsets are light minus
      heard onset plus its hold-back
  sync_offsets.py gap LOG.csv [FROM_S UNTIL_S]
      the longest gap between level commands (after one heard in that span)
  sync_offsets.py drove LOG.csv        whose level commands the board got
  sync_offsets.py report RESULTS       (the table)"""
import csv
import sys

LIT = 30  # sum of the three bytes above which a command counts as lit


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
    """Per burst start (heard seconds), the first lit command's offset in ms."""
    offsets, missed = [], 0
    for i, s in enumerate(starts):
        low = max(s - 0.25, starts[i - 1] + 0.35 if i else -1.0)
        lit = [h for _, h, a, b, c in rows if a + b + c > LIT and low <= h <= s + 0.4]
        if lit:
            offsets.append((lit[0] - s) * 1000.0)
        else:
            missed += 1
    return offsets, missed


def line(name, mode, missed, per_s, offsets):
    print("%s|%s|%d|%s|%s" % (name, mode, missed, per_s,
                              " ".join("%.2f" % o for o in offsets)))


def run(log, starts_file, rate, seconds, name, mode, since="-1"):
    rate, seconds = int(rate), float(seconds)
    starts = [int(x) / rate for x in open(starts_file).read().split()]
    rows = levels(log)
    offsets, missed = offsets_of(rows, [s for s in starts if s > float(since)])
    line(name, mode, missed, len(rows) / seconds, offsets)


def tracks(log, rate, name, mode, *playlist):
    rate = int(rate)
    rows = levels(log)
    begin = 0.0
    for k, item in enumerate(playlist):
        starts_file, seconds = item.rsplit(":", 1)
        starts = [begin + int(x) / rate for x in open(starts_file).read().split()]
        offsets, missed = offsets_of(rows, starts)
        inside = [r for r in rows if begin <= r[1] < begin + float(seconds)]
        line("%s, track %d" % (name, k + 1), mode, missed, len(inside) / float(seconds), offsets)
        begin += float(seconds)


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
            if mode not in table[name]:
                cells.append("%-30s" % "-")
                continue
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
        cells.append("%s %6.1f/s %d missed" % (stats(offs), per_s / max(n, 1), missed))
    print("%-50s | %-30s | %-30s" % ("all %d bursts" % len(totals["rate"][0]), cells[0], cells[1]))


if __name__ == "__main__":
    {"run": run, "tracks": tracks, "gap": gap, "drove": drove,
     "report": report}[sys.argv[1]](*sys.argv[2:])
