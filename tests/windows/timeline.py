#!/usr/bin/env python3
"""Checks that screenshots of a running demo follow its timeline in step.

  timeline.py REF_DIR REF_FPS STEP SHOTS_FILE [MAX_STRETCH]

REF_DIR holds the demo's frames as rendered headless in virtual time (NNNNN.png, frame n at
n / REF_FPS seconds, 320 x 200), every STEP-th frame. SHOTS_FILE lists "SECONDS PNG" lines: a screenshot and the
wall-clock time it was taken, counted from the demo window's appearance. The demo's clock
starts a little after that, so one lag, the same for every shot, is searched for: the one
that makes the shots most like the reference frames at their times minus the lag, each shot
allowed SLACK seconds either way (the screenshot's own latency, a late frame). The check
passes when
  - the lag lies between 0 and 8 seconds,
  - at that lag every shot looks like its reference frame (difference under a limit), and
  - the shots match their own moments far better than moments 10 s away (so they are not
    merely alike, as dark frames are), and the shots are not all one picture.
Where MAX_STRETCH is over 1 (a machine too busy to play in real time, whose demo clock falls
behind by varying amounts), each shot is matched to its own moment instead, the moments never
going back and none later than the shot or earlier than its time over MAX_STRETCH.
The screenshot may hold the picture anywhere and at any scale (full screen, doubled or
stretched): the bounding box of its non-black pixels, over all shots, is taken as the picture.
"""
import sys
from PIL import Image, ImageChops, ImageFilter, ImageStat

THUMB = (80, 50)
MAX_DIFF = 12.0     # mean absolute grey difference (0..255) of a shot and its frame
MAX_LAG = 8.0
LAG_STEP = 0.25
SLACK = 0.75


def thumb(img):
    return img.convert("L").resize(THUMB, Image.BILINEAR).filter(ImageFilter.BoxBlur(1))


def diff(a, b):
    return ImageStat.Stat(ImageChops.difference(a, b)).mean[0]


def main():
    ref_dir, fps, step, shots_file = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    max_stretch = float(sys.argv[5]) if len(sys.argv) > 5 else 1.0
    shots = []
    for line in open(shots_file):
        t, path = line.split()
        shots.append((float(t), Image.open(path).convert("RGB")))
    if len(shots) < 4:
        sys.exit("timeline: fewer than 4 screenshots")

    # The picture's place on the screen: where any shot has a non-black pixel.
    box = None
    for _, img in shots:
        b = img.convert("L").point(lambda v: 255 if v > 24 else 0).getbbox()
        if b:
            box = b if box is None else (min(box[0], b[0]), min(box[1], b[1]),
                                         max(box[2], b[2]), max(box[3], b[3]))
    if box is None:
        sys.exit("timeline: every screenshot is black")
    w, h = box[2] - box[0], box[3] - box[1]
    # The picture is 320 x 200 (16:10): widen the box around its centre to that shape where
    # the content's edges were dark.
    if w * 10 < h * 16:
        grow = (h * 16 // 10 - w) // 2
        box = (box[0] - grow, box[1], box[2] + grow, box[3])
    elif w * 10 > h * 16:
        grow = (w * 10 // 16 - h) // 2
        box = (box[0], box[1] - grow, box[2], box[3] + grow)
    shot_thumbs = [(t, thumb(img.crop(box))) for t, img in shots]

    refs = {}

    def ref(seconds):
        n = max(0, int(round(seconds * fps / step))) * step
        if n not in refs:
            try:
                refs[n] = thumb(Image.open("%s/%05d.png" % (ref_dir, n)))
            except FileNotFoundError:
                refs[n] = None
        return refs[n]

    def errors(lag):
        out = []
        window = [i * step / fps for i in range(-int(SLACK * fps / step), int(SLACK * fps / step) + 1)]
        for t, s in shot_thumbs:
            near = [r for r in (ref(t - lag + d) for d in window) if r is not None]
            out.append(min(diff(s, r) for r in near) if near else 255.0)
        return out

    if max_stretch > 1.0:
        # A busy machine: the demo's clock may fall behind by varying amounts, so each shot
        # gets its own moment, between its time slowed by MAX_STRETCH (less the lag) and its
        # time itself, the moments never going back (the best such sequence).
        grid = [n * step / fps for n in range(0, 100000) if ref(n * step / fps) is not None]
        grid = grid if grid else [0.0]
        cost, back = None, []
        for t, s in shot_thumbs:
            lo, hi = (t - MAX_LAG) / max_stretch - SLACK, t + SLACK
            here = [diff(s, ref(g)) if lo <= g <= hi else 1e9 for g in grid]
            if cost is None:
                cost, pick = here, list(range(len(grid)))
            else:
                run, arg, new, pick = 1e18, 0, [], []
                for k in range(len(grid)):
                    if cost[k] < run:
                        run, arg = cost[k], k
                    new.append(here[k] + run)
                    pick.append(arg)
                cost = new
            back.append(pick)
        k = min(range(len(grid)), key=lambda k: cost[k])
        chosen = []
        for pick in reversed(back):
            chosen.append(k)
            k = pick[k]
        chosen.reverse()
        moments = [grid[k] for k in chosen]
        at_best = [diff(s, ref(m)) for (_, s), m in zip(shot_thumbs, moments)]
        far_errors = [diff(s, ref(m + 10.0)) for (_, s), m in zip(shot_thumbs, moments)
                      if ref(m + 10.0) is not None]
        print("   picture at %s on the screen; the demo's clock fitted shot by shot "
              "(busy machine)" % (box,))
    else:
        lags = [i * LAG_STEP for i in range(int(MAX_LAG / LAG_STEP) + 1)]
        best = min(lags, key=lambda lag: sum(errors(lag)))
        at_best = errors(best)
        moments = [t - best for t, _ in shot_thumbs]
        far_errors = [e for e in errors(best + 10.0) if e < 255.0]
        print("   picture at %s on the screen; demo clock %.2f s behind the window"
              % (box, best))
    for (t, _), m, e in zip(shot_thumbs, moments, at_best):
        print("   shot at %5.1f s ~ demo frame at %5.1f s: difference %.1f" % (t, m, e))
    ok = True
    worst = max(at_best)
    if worst > MAX_DIFF:
        print("timeline: a shot differs from the demo at its time by %.1f (limit %.1f)"
              % (worst, MAX_DIFF))
        ok = False
    mean = sum(at_best) / len(at_best)
    if far_errors:
        far = sum(far_errors) / len(far_errors)
        print("   mean difference %.1f in step, %.1f against moments 10 s off" % (mean, far))
        if not far > 2 * mean:
            print("timeline: the shots match other moments as well as their own")
            ok = False
    distinct = max(diff(shot_thumbs[0][1], s) for _, s in shot_thumbs)
    if distinct < MAX_DIFF:
        print("timeline: the picture never changed")
        ok = False
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
