#!/usr/bin/env python3
"""The live ranking page in a real browser: headless Chromium loads it from a running
quorvexd and the rows it draws must be the ones `quorvexd ranking` lists."""

import html.parser
import os
import re
import shutil
import subprocess
import sys
import tempfile

QUORVEXD = sys.argv[1]
SKIP = 77
os.environ["QUORVEXD_TEST_FAST_HASH"] = "1"  # lets --fast-hash make cheap test hashes


class TableRows(html.parser.HTMLParser):
    """The texts of the cells of every row of the table body."""

    def __init__(self):
        super().__init__()
        self.rows, self.in_body, self.cell = [], False, None

    def handle_starttag(self, tag, attrs):
        if tag == "tbody":
            self.in_body = True
        elif self.in_body and tag == "tr":
            self.rows.append([])
        elif self.in_body and tag == "td":
            self.cell = ""

    def handle_endtag(self, tag):
        if tag == "tbody":
            self.in_body = False
        elif tag == "td" and self.cell is not None:
            self.rows[-1].append(self.cell.strip())
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data


def run(*args):
    return subprocess.run([QUORVEXD, *args], check=True, capture_output=True, text=True, timeout=60).stdout


def browser_rows(url, profile):
    browser = shutil.which("chromium")
    flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + profile, "--virtual-time-budget=8000", "--dump-dom", url]
    for _ in range(3):  # the page fetches its rows once loaded; a loaded machine may need another go
        dom = subprocess.run([browser, *flags], capture_output=True, text=True, timeout=120).stdout
        parser = TableRows()
        parser.feed(dom)
        if parser.rows:
            return parser.rows, dom
    return [], dom


def serve(data, names):
    server = subprocess.Popen([QUORVEXD, "serve", "--data", data, "--listen", "127.0.0.1:0", "--http", "127.0.0.1:0",
                               "--no-demo", "--fast-hash", "--ranking-names", names],
                              stdout=subprocess.PIPE, text=True)
    for line in server.stdout:
        found = re.search(r"ranking page (http://\S+)", line)
        if found:
            return server, found.group(1)
    server.kill()
    sys.exit("quorvexd did not print its ranking page address")


def main():
    # The contest here is a test's: cheap password hashes are allowed for it.
    os.environ["QUORVEXD_TEST_FAST_HASH"] = "1"
    if not shutil.which("chromium"):
        print("SKIPPED: chromium is not installed (scripts/setup.sh installs it)")
        return SKIP
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        data = os.path.join(tmp, "contest")
        run("init-db", "--data", data)
        for name, cash in (("张三丰", "10000"), ("lisi", "15000"), ("wangwu", "5000"), ("zhao6", "12000.50")):
            run("add-user", name, "pw", "--cash", cash, "--data", data, "--fast-hash")
        # "rank user total cash stock return status" lines under a heading.
        expected = [line.split() for line in run("ranking", "--data", data).splitlines()[1:]]
        expected = [[f[0], f[1], f[2], float(f[5])] for f in expected]

        for names in ("full", "masked"):
            server, url = serve(data, names)
            try:
                rows, dom = browser_rows(url, os.path.join(tmp, "profile-" + names))
            finally:
                server.terminate()
                server.wait(timeout=30)
            # Cells: rank, contestant, total assets, return with %, positions.
            got = [[r[0], r[1], r[2], float(r[3].rstrip("%"))] for r in rows]
            want = [[e[0], e[1] if names == "full" else e[1][0] + "**", e[2], e[3]] for e in expected]
            if got != want:
                failures.append(f"{names} names: page rows {got} differ from quorvexd ranking {want}\n{dom[:2000]}")
            if "更新于" not in dom:
                failures.append(f"{names} names: the page does not say when it was updated")
    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
