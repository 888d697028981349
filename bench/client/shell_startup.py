#!/usr/bin/env python3
"""Time from starting the real Tavix program until its login window is viewable on an X
display. Starts its own Xvfb (needs Xvfb and xwininfo), runs the program N times and prints
each figure and the median.

Usage: shell_startup.py [BIN_DIR] [RUNS]   (BIN_DIR defaults to build/bin)
"""
import os
import re
import statistics
import subprocess
import sys
import time

bin_dir = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
display = ":%d" % (90 + os.getpid() % 9)

xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1600x1000x24", "-nolisten", "tcp"],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")
env.pop("WAYLAND_DISPLAY", None)


def viewable_login_window():
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env=env, capture_output=True, text=True,
                          errors="replace").stdout
    for line in tree.splitlines():
        if "Quorvex" in line:
            match = re.search(r"(0x[0-9a-f]+)", line)
            info = subprocess.run(["xwininfo", "-id", match.group(1)], env=env, capture_output=True,
                                  text=True, errors="replace").stdout
            if "IsViewable" in info:
                return True
    return False


try:
    for _ in range(100):  # wait for the display
        if subprocess.run(["xwininfo", "-root"], env=env, capture_output=True).returncode == 0:
            break
        time.sleep(0.05)
    figures = []
    for _ in range(runs):
        start = time.monotonic()
        # A port where nothing listens: the dialog shows at once and keeps trying to connect.
        client = subprocess.Popen([os.path.join(bin_dir, "Tavix"), "--server", "127.0.0.1:9"], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            while not viewable_login_window():
                if time.monotonic() - start > 10:
                    raise SystemExit("the login window did not appear within 10 s")
            figures.append((time.monotonic() - start) * 1000)
        finally:
            client.terminate()
            client.wait()
        print("login window viewable after %.0f ms" % figures[-1])
    print("median %.0f ms over %d runs" % (statistics.median(figures), runs))
finally:
    xvfb.terminate()
    xvfb.wait()
