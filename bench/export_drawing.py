#!/usr/bin/env python3
"""Saves a generated drawing (about one million triangles, 200 materials, 10 000 instances) as
COLLADA through tidelink-host, with the view report, beside `assimp export` of the same model as
OBJ, alternating the two, and prints the medians and their ratio.
Usage: export_drawing.py BUILD_DIR [repetitions]"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TIMINGS = re.compile(r"timings: streaming (\d+) ms, flush (\d+) ms, node building (\d+) ms, "
                     r"writing (\d+) ms \(total (\d+) ms\)")


def timed(command, environment):
    start = time.monotonic()
    result = subprocess.run(command, capture_output=True, text=True, env=environment)
    elapsed = (time.monotonic() - start) * 1000
    if result.returncode != 0:
        sys.exit("failed: %s\n%s%s" % (" ".join(command), result.stdout[-2000:], result.stderr[-2000:]))
    return elapsed, result.stdout


def main():
    build = os.path.abspath(sys.argv[1])
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    with tempfile.TemporaryDirectory() as work:
        drawing = os.path.join(work, "drawing.gltf")
        print(subprocess.run([sys.executable, os.path.join(HERE, "make_drawing.py"), drawing],
                             capture_output=True, text=True, check=True).stdout.strip())
        environment = dict(os.environ, TIDELINK_REGISTRY=os.path.join(work, "registry.db"))
        host = [os.path.join(build, "bin", "tidelink-host"), "export", drawing, "-o",
                os.path.join(work, "drawing.dae"), "--timings"]
        assimp = ["assimp", "export", drawing, os.path.join(work, "drawing.obj")]
        host_runs, phases, assimp_runs = [], [], []
        for _ in range(repetitions):
            elapsed, output = timed(host, environment)
            host_runs.append(elapsed)
            phases.append([int(value) for value in TIMINGS.search(output).groups()])
            assimp_runs.append(timed(assimp, environment)[0])
        sizes = {name: os.path.getsize(os.path.join(work, name)) for name in ("drawing.dae", "drawing.obj")}

    median = statistics.median
    names = ["streaming", "flush", "node building", "writing", "export total"]
    print("tidelink-host export, wall time of the process: median %.0f ms (%s)" %
          (median(host_runs), ", ".join("%.0f" % run for run in host_runs)))
    print("  inside it, medians: " + ", ".join(
        "%s %d ms" % (name, median(run[index] for run in phases)) for index, name in enumerate(names)))
    print("assimp export as OBJ, wall time of the process: median %.0f ms (%s)" %
          (median(assimp_runs), ", ".join("%.0f" % run for run in assimp_runs)))
    print("ratio (assimp / tidelink-host): %.2f; files: COLLADA %.1f MB, OBJ %.1f MB" %
          (median(assimp_runs) / median(host_runs), sizes["drawing.dae"] / 1e6, sizes["drawing.obj"] / 1e6))


if __name__ == "__main__":
    main()
