#!/usr/bin/env python3
"""The live link's speed end to end, with real processes: tidelink-host plays the user and the
CAD application, Ombrel.exe the renderer, both stamping the same monotonic clock.

1. Edit latency: a drawing in which one material holds 100 000 triangles over ten instances;
   200 moves of those instances at random moments of the tick period (seeded). For each edit,
   from the host handing its batch to the plug-in to the renderer having read the header
   version that carries it.
2. First sync of the generated 2-million-triangle drawing (10 000 instances, 200 materials): from
   the start button to the renderer having read every surface, split into streaming, flush,
   commit and the renderer's read; beside it, a fresh shared-memory object of the same number of
   mesh bytes created and written once (tidelink-fresh-write).
3. Commits beside a reading renderer: the same run goes on with 200 moves as in 1 while the
   renderer reads the 2-million-triangle scene on every update; the plug-in's debug log names
   each commit that missed the renderer's lock.

Every figure is the median over RUNS runs; the last line is one JSON object.
Usage: live_link.py BUILD_DIR [RUNS] [SEED]"""
import json
import os
import random
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
EDITS = 200
# Each moved instance lands this far beyond the last one (millimetres, along x), so that the
# moved material's largest x tells exactly which edits a read carries.
FIRST_TARGET_MM = 200000
STEP_MM = 2000
COMMIT = re.compile(r"Commit (\d+): flush ([0-9.]+) ms, commit ([0-9.]+) ms")
MISSED = "for the renderer's lock in vain"


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path) as file:
        return [json.loads(line) for line in file if line.strip()]


def make_drawing(path, *counts):
    subprocess.run([sys.executable, os.path.join(HERE, "make_drawing.py"), path] + [str(c) for c in counts],
                   check=True, capture_output=True)


def edit_script(path, instances, start_x_mm, tick_ms, seed):
    """200 moves of `instances` in turn, each after a wait of one to two tick periods (so at a
    random moment of the period), each putting the instance at the next target along x."""
    generator = random.Random(seed)
    x = dict(zip(instances, start_x_mm))
    targets = []
    with open(path, "w") as script:
        for edit in range(EDITS):
            name = instances[edit % len(instances)]
            target = FIRST_TARGET_MM + STEP_MM * edit
            script.write("wait %.3f\n" % ((tick_ms + generator.random() * tick_ms) / 1000.0))
            script.write('move "%s" %d 0 0\n' % (name, target - x[name]))
            x[name] = target
            targets.append(target)
    return targets


class Link:
    """One link command beside one renderer, in a scratch environment of its own."""

    def __init__(self, build, work, name):
        self.build, self.folder = build, os.path.join(work, name)
        os.makedirs(self.folder)
        self.environment = dict(os.environ, TIDELINK_REGISTRY=self.path("registry.sqlite"),
                                TIDELINK_RUNTIME_DIR=self.path("runtime"),
                                TIDELINK_DEBUG_LOG=self.path("debug.log"))
        subprocess.run([self.program("Ombrel.exe"), "--install", self.path("ombrel")], env=self.environment,
                       check=True, capture_output=True)
        with open(self.path("answers.txt"), "w") as answers:
            answers.write("message no\n")

    def path(self, name):
        return os.path.join(self.folder, name)

    def program(self, name):
        return os.path.join(self.build, "bin", name)

    def run(self, drawing, edits):
        # Its output goes to a file: a pipe nobody empties would stop it at its first full buffer.
        with open(self.path("renderer.txt"), "w") as output:
            renderer = subprocess.Popen([self.program("Ombrel.exe"), "--seconds", "900", "--history",
                                         self.path("history.jsonl"), "--read-log", self.path("reads.jsonl")],
                                        stdout=output, stderr=subprocess.STDOUT, env=self.environment)
        try:
            deadline = time.monotonic() + 30
            while "is waiting for TideLink" not in open(self.path("renderer.txt")).read():
                if time.monotonic() > deadline or renderer.poll() is not None:
                    sys.exit("Ombrel.exe did not start")
                time.sleep(0.05)
            host = subprocess.run([self.program("tidelink-host"), "link", drawing, "--document", self.path("drawing.vwx"),
                                   "--ui-script", self.path("answers.txt"), "--edits", edits, "--paced",
                                   "--edit-log", self.path("edits.jsonl"), "--seconds", "1", "--timeout", "300"],
                                  capture_output=True, text=True, env=self.environment)
            with open(self.path("host.txt"), "w") as output:
                output.write(host.stdout + host.stderr)
            if host.returncode != 0:
                sys.exit("the link failed:\n" + host.stdout[-3000:] + host.stderr[-3000:])
            time.sleep(0.5)
        finally:
            renderer.send_signal(signal.SIGTERM)
            renderer.wait(timeout=60)
        history, reads = read_lines(self.path("history.jsonl")), read_lines(self.path("reads.jsonl"))
        if len(history) != len(reads) or any(h["version"] != r["version"] for h, r in zip(history, reads)):
            sys.exit("the renderer's history and read log disagree")
        rejected = next((update for update in history if update["problems"]), None)
        if rejected:
            sys.exit("the renderer rejected records of version %d: %s" % (rejected["version"], rejected["problems"][:3]))
        with open(self.path("debug.log"), errors="replace") as log:
            debug = log.read()
        return read_lines(self.path("edits.jsonl")), history, reads, debug


def surface_named(update, name):
    return next((s for s in update["surfaces"] if s["name"] == name), None)


def latencies(edit_log, history, reads, material, targets, split):
    """Per edit, ms from its hand-over to the first read whose moved material reaches its target;
    `split` gets, per edit read after an update message, the ms until that message came (the wait
    for the tick, the flush, the commit and the message), from the message to the lock and from
    the lock to the end of the read."""
    handed = [line["handed_ns"] for line in edit_log if line["event"] == "edit"]
    if len(handed) != len(targets) or None in handed:
        sys.exit("the host did not hand over every edit")
    result, update = [], 0
    for handed_ns, target in zip(handed, targets):
        threshold = target / 1000.0 + 0.5  # link metres: half way to the previous target's far edge
        while update < len(history):
            surface = surface_named(history[update], material)
            if surface and surface["bounds"] and surface["bounds"]["max"][0] >= threshold:
                break
            update += 1
        if update == len(history):
            sys.exit("the renderer never read the edit that moves an instance to x = %d mm" % target)
        read = reads[update]
        result.append((read["read_ns"] - handed_ns) / 1e6)
        if read["message_ns"]:
            split.append(((read["message_ns"] - handed_ns) / 1e6, (read["locked_ns"] - read["message_ns"]) / 1e6,
                          (read["read_ns"] - read["locked_ns"]) / 1e6))
    return result


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def first_sync(edit_log, history, reads, debug):
    start = next(line["at_ns"] for line in edit_log if line["event"] == "start")
    sent = next(line["at_ns"] for line in edit_log if line["event"] == "drawing sent")
    # The edits move instances only, so the last read holds as many surfaces and triangles as the
    # first one that holds the whole drawing.
    whole = reads[-1]
    full = next(index for index, read in enumerate(reads)
                if read["surfaces"] == whole["surfaces"] and read["triangles"] == whole["triangles"])
    commits = [(int(n), float(f), float(c)) for n, f, c in COMMIT.findall(debug)]
    upto = history[full]["commitCount"]
    # A commit that missed the lock while the renderer copied the whole drawing is logged before
    # the first commit after the one it read in full; every miss after that one met an edit.
    after = re.search(r"Commit %d: " % (upto + 1), debug)
    missed_before = debug.count(MISSED, 0, after.start() if after else len(debug))
    reading = reads[:full + 1]
    return {
        "first_sync_ms": (reads[full]["read_ns"] - start) / 1e6,
        "streaming_ms": (sent - start) / 1e6,
        "flush_ms": sum(f for n, f, c in commits if n <= upto),
        "commit_ms": sum(c for n, f, c in commits if n <= upto),
        "read_ms": sum((r["read_ns"] - r["locked_ns"]) / 1e6 for r in reading),
        "last_read_ms": (reads[full]["read_ns"] - reads[full]["locked_ns"]) / 1e6,
        "last_read_locked_ms": (reads[full]["unlocked_ns"] - reads[full]["locked_ns"]) / 1e6,
        "commits": len([1 for n, f, c in commits if n <= upto]),
        "first_sync_missed_commits": missed_before,
        "missed_commits": debug.count(MISSED) - missed_before,
        "reads": len(reading),
        "mesh_bytes": reads[full]["mesh_bytes"],
        "triangles": reads[full]["triangles"],
        "surfaces": reads[full]["surfaces"],
    }


def main():
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 16
    fresh_write = os.path.join(build, "bin", "tidelink-fresh-write")
    if not os.path.exists(fresh_write):
        sys.exit("%s is missing: build the target tidelink-fresh-write (benchmarks on)" % fresh_write)
    figures = []
    with tempfile.TemporaryDirectory() as work:
        # 30 instances of three 5 000-triangle grids, one material each: "Material 2" holds ten
        # instances, 100 000 triangles as both sides are drawn.
        small = os.path.join(work, "small.gltf")
        make_drawing(small, 30, 3, 3, 5000)
        small_instances = ["Instance %d" % number for number in range(2, 30, 3)]
        # make_drawing's default: 10 000 instances, 1 000 geometries, 200 materials, 2 000 000
        # triangles as drawn; "Material 5" holds 50 instances (n % 200 == 5), ten of them moved.
        large = os.path.join(work, "large.gltf")
        make_drawing(large, 10000, 1000, 200, 100)
        large_instances = ["Instance %d" % number for number in range(5, 2000, 200)]
        for run in range(runs):
            link = Link(build, work, "small-%d" % run)
            targets = edit_script(link.path("edits.txt"), small_instances,
                                  [1500 * (int(n.split()[1]) % 100) for n in small_instances], 50, seed + run)
            edit_log, history, reads, debug = link.run(small, link.path("edits.txt"))
            tick_ms = next(line["tick_ms"] for line in edit_log if line["event"] == "start")
            split = []
            small_latency = latencies(edit_log, history, reads, "Material 2", targets, split)

            link = Link(build, work, "large-%d" % run)
            targets = edit_script(link.path("edits.txt"), large_instances,
                                  [1500 * (int(n.split()[1]) % 100) for n in large_instances], tick_ms, seed + run)
            edit_log, history, reads, debug = link.run(large, link.path("edits.txt"))
            sync = first_sync(edit_log, history, reads, debug)
            large_latency = latencies(edit_log, history, reads, "Material 5", targets, [])
            fresh = json.loads(subprocess.run([fresh_write, str(sync["mesh_bytes"]), "5"], check=True,
                                              capture_output=True, text=True).stdout)
            figure = {
                "p50_ms": percentile(small_latency, 0.5), "p90_ms": percentile(small_latency, 0.9),
                "p99_ms": percentile(small_latency, 0.99), "tick_ms": tick_ms,
                "first_sync_ms": sync["first_sync_ms"], "fresh_write_ms": fresh["median_ms"],
                "first_sync_ratio": sync["first_sync_ms"] / fresh["median_ms"],
                "edits": len(small_latency), "missed_commits": sync["missed_commits"],
                "large_p50_ms": percentile(large_latency, 0.5), "large_p99_ms": percentile(large_latency, 0.99),
                "to_message_p50_ms": percentile([part[0] for part in split], 0.5),
                "to_message_p99_ms": percentile([part[0] for part in split], 0.99),
                "to_lock_p50_ms": percentile([part[1] for part in split], 0.5),
                "to_lock_p99_ms": percentile([part[1] for part in split], 0.99),
                "read_p50_ms": percentile([part[2] for part in split], 0.5),
                "read_p99_ms": percentile([part[2] for part in split], 0.99),
            }
            figure.update({key: sync[key] for key in ("first_sync_missed_commits", "streaming_ms", "flush_ms",
                                                       "commit_ms", "read_ms",
                                                       "last_read_ms", "last_read_locked_ms", "commits", "reads",
                                                       "mesh_bytes", "triangles", "surfaces")})
            figures.append(figure)
            print("run %d: edit latency p50 %.1f / p90 %.1f / p99 %.1f ms (tick %d ms); first sync %.0f ms of %d "
                  "triangles, %d mesh bytes (streaming %.0f, flush %.0f, commit %.0f, renderer's reads %.0f ms in %d); "
                  "fresh write %.1f ms (%.1fx); missed commits %d; latency beside the large scene p50 %.1f / p99 %.1f ms"
                  % (run + 1, figure["p50_ms"], figure["p90_ms"], figure["p99_ms"], tick_ms, figure["first_sync_ms"],
                     sync["triangles"], sync["mesh_bytes"], sync["streaming_ms"], sync["flush_ms"], sync["commit_ms"],
                     sync["read_ms"], sync["reads"], fresh["median_ms"], sync["first_sync_ms"] / fresh["median_ms"],
                     figure["missed_commits"], figure["large_p50_ms"], figure["large_p99_ms"]), flush=True)

    median = {key: statistics.median(figure[key] for figure in figures) for key in figures[0]}
    tick = median["tick_ms"]
    print("medians of %d runs: p50 %.1f ms (goal %.1f), p99 %.1f ms (goal %.1f); first sync %.0f ms, %.1fx the "
          "fresh write of the same run (median %.1f ms; goal 4x); missed commits %d (goal 0)"
          % (runs, median["p50_ms"], tick / 2 + 5, median["p99_ms"], tick + 5, median["first_sync_ms"],
             median["first_sync_ratio"], median["fresh_write_ms"], median["missed_commits"]))
    print(json.dumps({key: round(value, 3) if isinstance(value, float) else value for key, value in median.items()}))


if __name__ == "__main__":
    main()
