"""The browser build in headless Chromium, from a plain static server on 127.0.0.1:

- test mode (?test=1, the virtual clock): chosen frames equal the headless capture's
  frames byte for byte, and the demo ends by itself where the capture ends (at 0x0B00);
- normal mode: the music position the program reads follows the AudioContext's output
  clock within one 20 ms chunk; Alt+Enter enters full screen and leaves it; Escape ends.

- the wasm holds the native build's vexo.pak, byte for byte (with --pak).

usage: test_web.py PAGE_DIR VEXO_CAPTURE [--pak VEXO_PAK] [--screenshots DIR]
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

# Frames compared: the first two, a picture change, the middle, the last before the end.
FRAMES = [0, 1, 600, 2500, 3000, 5068]
CHUNK_FRAMES = 882  # one 20 ms chunk at 44,100 Hz
END_START = "0x0A20"  # about three seconds before the end


def read_png_rgb(path):
    """8-bit RGB PNG (as the capture writes them) to (width, height, bytes)."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s is no PNG" % path)
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if (depth, colour, interlace) != (8, 2, 0):
                raise ValueError("%s: only 8-bit RGB without interlace" % path)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 3
    out = bytearray(height * stride)
    previous = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = previous[i]
            c = previous[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
            elif kind != 0:
                raise ValueError("%s: bad filter %d" % (path, kind))
        out[y * stride:(y + 1) * stride] = line
        previous = line
    return width, height, bytes(out)


def capture_frames_from(capture, workdir, position):
    """How many frames the headless capture shows from `position` to the end."""
    log = os.path.join(workdir, "from.txt")
    subprocess.run([capture, "--no-video", "--quiet", "--from", position, "--log", log], check=True)
    lines = [line.split() for line in open(log) if not line.startswith("#")]
    if not lines or lines[-1][-1] != "end" or lines[-1][2] != "0x0B00":
        raise AssertionError("the capture from %s does not end at 0x0B00" % position)
    return int(lines[-1][0]) - int(lines[0][0])


def capture_reference(capture, workdir):
    """The headless capture's log and the chosen frames as 320 x 200 PNGs."""
    frames = os.path.join(workdir, "frames")
    log = os.path.join(workdir, "log.txt")
    subprocess.run([capture, "--no-video", "--quiet", "--scale", "1", "--log", log, "--frames", frames,
                    "--frame-list", ",".join(map(str, FRAMES))], check=True)
    end = [line.split() for line in open(log) if line.endswith(" end\n")]
    if len(end) != 1:
        raise AssertionError("the capture's log has no end line")
    return frames, int(end[0][0]), int(end[0][2], 16)


class Checks:
    def __init__(self):
        self.failures = 0

    def expect(self, ok, what):
        print(("ok   " if ok else "FAIL ") + what)
        if not ok:
            self.failures += 1
        return ok


def start(open_page, url):
    page = open_page(url)
    page.wait_for("window.kestol && kestol.state === 'ready'", 60, "the start gate")
    if not page.evaluate("document.getElementById('gate').hidden === false && "
                         "document.getElementById('gate').textContent.includes('start')"):
        raise AssertionError("the start gate does not ask for a click")
    return page


def test_mode(open_page, base, frames_dir, end_frame, end_position, checks, screenshots):
    page = start(open_page, base + "?test=1&frames=" + ",".join(map(str, FRAMES)))
    page.click(640, 400)  # any click starts it
    page.wait_for("kestol.state === 'ended'", 120, "the end of the demo in test mode")
    for n in FRAMES:
        rgba = page.evaluate("kestol.frames[%d] || null" % n)
        if not checks.expect(rgba is not None and len(rgba) == 320 * 200 * 4, "frame %d was shown" % n):
            continue
        width, height, rgb = read_png_rgb(os.path.join(frames_dir, "%05d.png" % n))
        page_rgb = bytes(v for i, v in enumerate(rgba) if i % 4 != 3)
        same = (width, height) == (320, 200) and page_rgb == rgb
        differ = sum(1 for i in range(0, len(rgb), 3) if page_rgb[i:i + 3] != rgb[i:i + 3]) if not same else 0
        checks.expect(same, "frame %d equals the headless capture's byte for byte%s" %
                      (n, "" if same else " (%d pixels differ)" % differ))
        checks.expect(all(rgba[i] == 255 for i in range(3, len(rgba), 4)), "frame %d is opaque" % n)
    last = page.evaluate("kestol.lastFrame")
    checks.expect(end_position == 0x0B00, "the capture ends at 0x0B00 (0x%04X)" % end_position)
    checks.expect(last == end_frame - 1, "the page ended by itself after frame %d, as the capture (%d)" %
                  (end_frame - 1, last))
    checks.expect(page.evaluate("!document.getElementById('end').hidden && "
                                "document.getElementById('end').textContent.includes('The end') && "
                                "!!document.getElementById('replay')"),
                  "the page shows 'The end' and a replay button")
    checks.expect(page.evaluate("kestol.messages.length") == 0, "no error message")
    if screenshots:
        page.screenshot(os.path.join(screenshots, "web-end.png"))


def normal_mode(open_page, base, checks, screenshots):
    page = start(open_page, base)
    if screenshots:
        page.screenshot(os.path.join(screenshots, "web-start.png"))
    page.key("a", "KeyA", 65)  # any key starts it
    page.wait_for("kestol.state === 'running' && kestol.lastFrame >= 60", 30, "a second of the demo")
    checks.expect(page.evaluate("kestol.audio !== null && kestol.audio.sampleRate === 44100"),
                  "the AudioContext runs at 44,100 Hz")
    worst = 0
    for _ in range(10):
        sample = page.evaluate("kestol.audioCheck()")
        worst = max(worst, abs(sample["program"] - sample["heard"]))
        time.sleep(0.1)
    checks.expect(worst < CHUNK_FRAMES, "the music position follows the AudioContext's output clock "
                  "(at most %d frames apart, below one chunk of %d)" % (worst, CHUNK_FRAMES))
    checks.expect(page.evaluate("getComputedStyle(document.getElementById('screen')).imageRendering")
                  == "pixelated", "the canvas is pixelated")
    scale_ok = page.evaluate("(() => { const c = document.getElementById('screen');"
                             " const s = c.clientWidth / 320; return s >= 1 && s === Math.floor(s)"
                             " && c.clientHeight === 200 * s; })()")
    checks.expect(scale_ok, "the canvas is scaled by a whole factor")
    alt = 1
    page.key("Enter", "Enter", 13, modifiers=alt)
    checks.expect(bool(page.wait_for("document.fullscreenElement !== null", 10, "full screen")),
                  "Alt+Enter enters full screen")
    if screenshots:
        time.sleep(0.3)
        page.screenshot(os.path.join(screenshots, "web-fullscreen.png"))
    page.key("Enter", "Enter", 13, modifiers=alt)
    checks.expect(bool(page.wait_for("document.fullscreenElement === null", 10, "leaving full screen")),
                  "Alt+Enter again leaves full screen")
    page.key("Escape", "Escape", 27)
    page.wait_for("kestol.state === 'ended'", 20, "the end after Escape")
    checks.expect(page.evaluate("!document.getElementById('end').hidden"), "Escape ends the demo")


def normal_mode_end(open_page, base, expected_frames, checks):
    """Near the end of the song, in real time: the demo plays on to 0x0B00 and ends by
    itself, as many frames as the capture shows from there (a music position that stepped
    back would end it early, as if the song had looped)."""
    page = start(open_page, base + "?start=" + END_START)
    page.click(640, 400)
    page.wait_for("kestol.state === 'ended'", 60, "the end of the demo in real time")
    shown = page.evaluate("kestol.lastFrame") + 1
    checks.expect(page.evaluate("kestol.exitCode") == 0 and abs(shown - expected_frames) <= expected_frames // 10,
                  "from %s the demo ends by itself after %d frames in real time (the capture: %d)" %
                  (END_START, shown, expected_frames))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("page_dir")
    parser.add_argument("capture")
    parser.add_argument("--pak")
    parser.add_argument("--screenshots")
    args = parser.parse_args()
    checks = Checks()
    if args.pak:
        pak = open(args.pak, "rb").read()
        wasm = open(os.path.join(args.page_dir, "vexo.wasm"), "rb").read()
        checks.expect(len(pak) > 0 and wasm.count(pak) == 1, "vexo.wasm holds vexo.pak (%d bytes) once" % len(pak))
    begun = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="kestol-web-") as workdir:
        frames_dir, end_frame, end_position = capture_reference(args.capture, workdir)
        end_frames = capture_frames_from(args.capture, workdir, END_START)
        with browser.static_server(args.page_dir) as base, browser.chromium() as open_page:
            test_mode(open_page, base, frames_dir, end_frame, end_position, checks, args.screenshots)
            normal_mode(open_page, base, checks, args.screenshots)
            normal_mode_end(open_page, base, end_frames, checks)
    print("%s in %.1f s" % ("all passed" if checks.failures == 0 else "%d failed" % checks.failures,
                            time.monotonic() - begun))
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
