#!/usr/bin/python3
"""The browser build's figures, in headless Chromium on this machine: the sizes of what
the page loads (raw and gzip -9), the time to the first frame, and the time per frame, the
last as a ratio to its peer measured in the same run: the native headless capture
rendering the same frames on the same virtual clock (vexo-capture --no-video).

usage: bench/web_bench.py [PAGE_DIR] [VEXO_CAPTURE] (defaults: build/web and
build/default/tools/capture/vexo-capture; `make web` and the native build first)
"""
import gzip
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import browser  # noqa: E402


def sizes(page_dir):
    print("== sizes (bytes)")
    total = total_gz = 0
    for name in sorted(os.listdir(page_dir)):
        data = open(os.path.join(page_dir, name), "rb").read()
        packed = len(gzip.compress(data, 9))
        total += len(data)
        total_gz += packed
        print("  %-16s %9d  gzip %9d" % (name, len(data), packed))
    print("  %-16s %9d  gzip %9d" % ("all", total, total_gz))


def normal_mode(open_page, base):
    t0 = time.monotonic()
    page = open_page(base)
    page.wait_for("window.kestol && kestol.state === 'ready'", 60)
    ready = time.monotonic() - t0
    page_ready = page.evaluate("performance.now()")
    page.key("a", "KeyA", 65)
    page.wait_for("kestol.firstFrameAt !== null", 30)
    page.wait_for("kestol.presentTimes.length >= 360", 60)
    r = page.evaluate("({first: kestol.firstFrameAt, started: kestol.startedAt, audio: kestol.audioReadyAt,"
                      " times: kestol.presentTimes,"
                      " cost: kestol.presentCost, presents: kestol.presents})")
    page.key("Escape", "Escape", 27)
    times = r["times"][60:360]  # five seconds after the first one
    gaps = [b - a for a, b in zip(times, times[1:])]
    gaps_sorted = sorted(gaps)
    print("== normal mode (paced by requestAnimationFrame and the AudioContext)")
    print("  first visit to the start gate: %.0f ms (with the service worker's reload)" % (ready * 1000))
    print("  start gate ready after the isolated load began: %.0f ms" % page_ready)
    print("  click to first frame: %.1f ms (the audio output's start %.1f ms, then the program's own)" %
          (r["first"] - r["started"], r["audio"] - r["started"]))
    print("  frame interval over 300 frames: mean %.2f ms, median %.2f, p95 %.2f, max %.2f" %
          (statistics.mean(gaps), statistics.median(gaps), gaps_sorted[int(len(gaps) * 0.95)], gaps_sorted[-1]))
    print("  the page's share per frame (pixel conversion, putImageData): %.3f ms" % (r["cost"] / r["presents"]))


def test_mode(open_page, base):
    page = open_page(base + "?test=1")
    page.wait_for("window.kestol && kestol.state === 'ready'", 60)
    page.click(640, 400)
    page.wait_for("kestol.state === 'ended'", 300)
    r = page.evaluate("({first: kestol.firstFrameAt, ended: kestol.endedAt, last: kestol.lastFrame,"
                      " cost: kestol.presentCost, presents: kestol.presents})")
    per_frame = (r["ended"] - r["first"]) / r["last"]
    print("  %d frames in %.0f ms: %.3f ms per frame (page's share %.3f ms)" %
          (r["last"] + 1, r["ended"] - r["first"], per_frame, r["cost"] / r["presents"]))
    return per_frame, r["last"] + 1


def native_peer(capture, frames, runs=5):
    """The best of a few runs: one takes well under a second, so load shows in it."""
    best = None
    for _ in range(runs):
        t0 = time.monotonic()
        subprocess.run([capture, "--no-video", "--quiet", "--log", os.devnull], check=True,
                       stderr=subprocess.DEVNULL)
        elapsed = time.monotonic() - t0
        best = elapsed if best is None else min(best, elapsed)
    per_frame = best * 1000 / frames
    print("== peer: native headless capture, same frames, no video (best of %d)" % runs)
    print("  %.3f ms per frame" % per_frame)
    return per_frame


def main():
    page_dir = sys.argv[1] if len(sys.argv) > 1 else "build/web"
    capture = sys.argv[2] if len(sys.argv) > 2 else "build/default/tools/capture/vexo-capture"
    print("load:", os.getloadavg())
    sizes(page_dir)
    with browser.static_server(page_dir) as base, browser.chromium() as open_page:
        normal_mode(open_page, base)
        print("== test mode (virtual clock, unpaced: the whole demo as fast as it renders; 3 runs)")
        web, frames = min(test_mode(open_page, base) for _ in range(3))
    native = native_peer(capture, frames)
    print("== ratio: browser (best run) / native per frame = %.2f" % (web / native))
    print("load:", os.getloadavg())


if __name__ == "__main__":
    main()
