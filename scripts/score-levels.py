#!/usr/bin/env python3
"""Scores the water levels `sondralis-cli levels` estimates against the truth.

    scripts/score-levels.py [--seeds 1,2,3,4,5,6] [--session-order 2,3,4,1]
                            [--rate HZ] [--work DIR] [--build DIR] [CLI OPTION...]

For each seed, scripts/make-lake.py makes the oblique survey of the
generated lake as four sessions on days of their own, each in a file of its
own, with water levels of 0, +30, -45 and +12 cm and 1 % of the readings
made spikes, and writes the truth beside it. `sondralis-cli levels` (with
--despike and any further options given after the script's own) estimates
each session's offset, the first session fixed at 0; the script prints, per
session, the estimate, the true offset relative to the first session, the
error, the crossings (and how many of them are overlaps rather than
crossings of tracks) and the standard error, and at the end how many
sessions with at least 20 crossings of tracks came within +-3 cm. With --reference
best the errors are taken relative to the session with the most crossings
instead of the first (what the offsets between well-crossed sessions are
worth when the first session rests on few crossings). Sessions levelled to
another group's first session (when none they cross is linked to the first)
are scored against that one. Standard library only.
"""
import argparse
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--seeds", default="1,2,3,4,5,6")
    ap.add_argument("--session-order", default="")
    ap.add_argument("--rate", type=float, default=1.0)
    ap.add_argument("--levels", default="0,30,-45,12")
    ap.add_argument("--reference", choices=("first", "best"), default="first")
    ap.add_argument("--work", default="/tmp/sondralis-levels")
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    a, extra = ap.parse_known_args(argv)
    cli = os.path.join(a.build, "src", "cli", "sondralis-cli")
    within = total = 0
    print(f"{'seed':>4} {'session':<30} {'estimate':>8} {'true':>6} {'error':>6} {'cross':>5} {'overl':>5} {'stderr':>6}")
    for seed in (int(s) for s in a.seeds.split(",")):
        lake = os.path.join(a.work, f"seed{seed}")
        truth_path = os.path.join(a.work, f"seed{seed}.json")
        cmd = [sys.executable, os.path.join(HERE, "make-lake.py"), lake, "--seed", str(seed), "--rate", str(a.rate),
               "--levels", a.levels, "--spikes", "0.01", "--session-files", "--truth", truth_path]
        if a.session_order:
            cmd += ["--session-order", a.session_order]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        with open(truth_path) as f:
            truth = {s["name"]: s["offset_cm"] for s in json.load(f)["sessions"]}
        files = sorted(os.path.join(lake, n) for n in os.listdir(lake) if n.startswith("lake_session"))
        out = subprocess.run([cli, "levels"] + files + ["--despike"] + extra, check=True, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True).stdout
        rows = [json.loads(line) for line in out.splitlines() if line.strip()]
        # Offsets are relative to the first session of each group of
        # sessions linked by crossings ("reference", null for the group of
        # the first session of all), or to the group's best-crossed session.
        group = lambda r: r.get("reference") or rows[0]["session"]
        offset = {r["session"]: r["offset_cm"] for r in rows}
        refs = {}
        for r in rows:
            if r["offset_cm"] is None:
                continue
            g = group(r)
            if a.reference == "first":
                refs[g] = g
            elif g not in refs or r["crossings"] > next(x["crossings"] for x in rows if x["session"] == refs[g]):
                refs[g] = r["session"]
        for r in rows:
            ref = refs.get(group(r), group(r))
            true = truth[r["session"]] - truth[ref]
            est = None if r["offset_cm"] is None else r["offset_cm"] - offset[ref]
            err = None if est is None else est - true
            overlaps = r.get("overlaps", 0)
            if r["session"] != ref and r["crossings"] - overlaps >= 20:
                total += 1
                within += err is not None and abs(err) <= 3
            print(f"{seed:4d} {r['session']:<30} {'-' if est is None else f'{est:8.1f}':>8} {true:6.1f} "
                  f"{'-' if err is None else f'{err:6.1f}':>6} {r['crossings']:5d} {overlaps:5d} {r['std_error_cm']:6.1f}", flush=True)
    print(f"sessions with >= 20 crossings within +-3 cm: {within} of {total}")


if __name__ == "__main__":
    main(sys.argv[1:])
