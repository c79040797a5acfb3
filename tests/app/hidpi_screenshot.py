#!/usr/bin/python3
"""hidpi_screenshot.py SORVANE SIM: the program under Xvfb (with a window manager) at
QT_SCALE_FACTOR 2 on a 2560 x 1440 screen and 3 on 3840 x 2160, connected to a simulated
handheld; at 2 the new connection's scale is 4, too large for the screen, so its window
opens at scale 1. The screen must show the simulator's own picture (its dump) with
each device pixel as a factor x factor block of exactly its colour, and every window of
the program, frame included, must lie on the screen. Everything stays on loopback."""

import os, random, re, shutil, subprocess, sys, tempfile, time
from PIL import Image

app, sim = sys.argv[1], sys.argv[2]


def free_display():
    for n in range(131, 170):
        if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
            return f":{n}"
    sys.exit("no free X display")


def find(screen, picture):
    """The top left corner of `picture` in `screen` (both RGB), or None."""
    w, h = picture.size
    rows = [picture.crop((0, y, w, y + 1)).tobytes() for y in range(h)]
    key = max(range(h), key=lambda y: len(set(rows[y][i:i + 3] for i in range(0, len(rows[y]), 3))))
    sw = screen.size[0]
    data = screen.tobytes()
    for y in range(key, screen.size[1] - (h - key) + 1):
        line = data[y * sw * 3:(y + 1) * sw * 3]
        at = line.find(rows[key])
        while at >= 0:
            top, left = y - key, at // 3
            if at % 3 == 0 and all(data[((top + r) * sw + left) * 3:((top + r) * sw + left + w) * 3] == rows[r]
                                   for r in range(h)):
                return left, top
            at = line.find(rows[key], at + 1)
    return None


def check(factor, size, scale):
    work = tempfile.mkdtemp()
    procs = []
    try:
        display = free_display()
        procs.append(subprocess.Popen(["Xvfb", display, "-screen", "0", f"{size[0]}x{size[1]}x24", "-nolisten", "tcp"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        env = dict(os.environ, DISPLAY=display)
        env.pop("QT_QPA_PLATFORM", None)
        for _ in range(100):
            if subprocess.run(["xdotool", "getdisplaygeometry"], env=env, capture_output=True).returncode == 0:
                break
            time.sleep(0.1)
        procs.append(subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        # A simulated handheld on port 1899 (the port --connect dials) of a loopback
        # address of its own, with a clock that stands still.
        dump = os.path.join(work, "dump")
        os.mkdir(dump)
        for _ in range(40):
            host = f"127.0.{random.randint(1, 250)}.{random.randint(2, 250)}"
            s = subprocess.Popen([sim, "--host", host, "--port", "1899", "--clock", "fixed", "--dump-dir", dump],
                                 stdout=subprocess.PIPE, text=True)
            if s.stdout.readline().startswith("tcp "):
                procs.append(s)
                break
            s.kill()
            s.wait()
        else:
            sys.exit("no loopback address free for the simulator")
        config, home = os.path.join(work, "config"), os.path.join(work, "home")
        os.mkdir(config)
        with open(os.path.join(config, "settings.reg"), "w") as f:
            f.write('Sorvane settings store 1\n\n[SOFTWARE\\Halvard\\Sorvane]\n"AcceptInbound"=dword:00000000\n'
                    f'"Scale"=dword:{scale:08x}\n\n'
                    '[SOFTWARE\\Halvard\\Sorvane\\Platform]\n"ActiveSyncAddresses"="127.0.0.1"\n'
                    '"LanBroadcastAddress"="127.0.0.1"\n')
        procs.append(subprocess.Popen([app, "--connect", host], env=dict(env, QT_SCALE_FACTOR=str(factor),
                                      SORVANE_CONFIG_DIR=config, SORVANE_HOME=home, ASAN_OPTIONS="detect_leaks=0")))
        found = None
        deadline = time.monotonic() + 60 # for the program to start and show the picture
        while not found and time.monotonic() < deadline:
            time.sleep(1)
            if not os.path.exists(os.path.join(dump, "main.ppm")):
                continue
            expected = Image.open(os.path.join(dump, "main.ppm")).convert("RGB")
            expected = expected.resize((expected.width * factor, expected.height * factor), Image.NEAREST)
            shot = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=env, capture_output=True).stdout
            with open(os.path.join(work, "shot.ppm"), "wb") as f:
                f.write(shot)
            found = find(Image.open(os.path.join(work, "shot.ppm")).convert("RGB"), expected)
        if not found:
            shutil.copy(os.path.join(work, "shot.ppm"), f"/tmp/hidpi-{factor}.ppm")
            return [f"x{factor}: the simulator's picture, each pixel {factor} x {factor}, is not on the screen "
                    f"(screenshot kept as /tmp/hidpi-{factor}.ppm)"]
        faults = []
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(procs[-1].pid)], env=env,
                             capture_output=True, text=True).stdout.split()
        titles = []
        for wid in ids:
            geo = dict(re.findall(r"(\w+)=(\d+)", subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid],
                                                                  env=env, capture_output=True, text=True).stdout))
            extents = subprocess.run(["xprop", "-id", wid, "_NET_FRAME_EXTENTS"], env=env, capture_output=True,
                                     text=True).stdout
            left, right, top, bottom = ([int(v) for v in re.findall(r"\d+", extents.split("=")[-1])] + [0] * 4)[:4] \
                if "=" in extents else (0, 0, 0, 0)
            x, y, w, h = (int(geo[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
            titles.append(wid)
            if x - left < 0 or y - top < 0 or x + w + right > size[0] or y + h + bottom > size[1]:
                faults.append(f"x{factor}: window {wid} at {x},{y} {w}x{h} (frame {left},{right},{top},{bottom}) "
                              f"leaves the {size[0]}x{size[1]} screen")
        if len(titles) < 2:
            faults.append(f"x{factor}: {len(titles)} windows of the program on the screen, not the main and device windows")
        return faults
    finally:
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(work, ignore_errors=True)


faults = check(2, (2560, 1440), 4) + check(3, (3840, 2160), 1)
for f in faults:
    print("FAULT:", f)
sys.exit(1 if faults else 0)
