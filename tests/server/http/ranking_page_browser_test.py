#!/usr/bin/env python3
"""The live ranking page in a real browser: headless Chromium loads it from a running
quorvexd and the rows it draws must be the ones `quorvexd ranking` lists; its 日/周/月/总 tabs
show each period's ranking of a contest traded over two days."""

import html.parser
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

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


def serve(data, names, *more):
    """The server, its ranking page's address and its trading port."""
    server = subprocess.Popen([QUORVEXD, "serve", "--data", data, "--listen", "127.0.0.1:0", "--http", "127.0.0.1:0",
                               "--no-demo", "--fast-hash", "--ranking-names", names, *more],
                              stdout=subprocess.PIPE, text=True)
    url = None
    for line in server.stdout:
        found = re.search(r"ranking page (http://\S+)", line)
        if found:
            url = found.group(1)
        found = re.search(r"listening on \S+:(\d+)", line)
        if found and url:
            return server, url, int(found.group(1))
    server.kill()
    sys.exit("quorvexd did not print its ranking page address")


def frame(command, body):
    data = body.encode("gbk")
    return b"%08d%03d" % (len(data) + 11, command) + data


def trade(port, user, order):
    """Logs `user` in and places one order (command 2); the answer must accept it."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(frame(1, f"user_name={user}&pwd=pw&yjm=TEST"))
        s.sendall(frame(2, f"{order}&curuser={user}&curpwd=pw"))
        buffer = b""
        while True:
            while len(buffer) < 11 or len(buffer) < int(buffer[:8]):
                chunk = s.recv(65536)
                if not chunk:
                    raise RuntimeError("server closed the connection")
                buffer += chunk
            length, command = int(buffer[:8]), int(buffer[8:11])
            body, buffer = buffer[11:length].decode("gbk"), buffer[length:]
            if command == 2:
                if not body.startswith("0,"):
                    raise RuntimeError(f"order refused: {body}")
                return


def period_rows(url, profile, period):
    """The rows the page draws on the tab of `period` and the JSON of that period."""
    rows, dom = browser_rows(url + "#" + period, profile)
    with urllib.request.urlopen(url + "ranking.json?period=" + period, timeout=10) as answer:
        data = json.load(answer)
    return rows, dom, data


def check_periods(tmp, failures):
    # 000001 is worth 10.80 while its asks start at 10.00: a buy gains 0.80 a share at once.
    csv = os.path.join(tmp, "book.csv")
    with open(csv, "w", encoding="utf-8") as f:
        f.write("0,000001,平安银行,10.80,10.00,9.99,9.98,9.97,9.96,9.95,99999,99999,99999,99999,99999,"
                "10.00,10.01,10.02,10.03,10.04,99999,99999,99999,99999,99999\n")
    data = os.path.join(tmp, "periods")
    run("init-db", "--data", data)
    for name in ("张三丰", "lisi"):
        run("add-user", name, "pw", "--cash", "100000", "--data", data, "--fast-hash")
    server, url, port = serve(data, "masked", "--quotes-csv", csv)
    try:
        # Day 1: lisi buys 5,000 at 10.00: 50,000 + commission 15.00 + transfer fee 0.50, worth
        # 54,000: 103,984.50, a return of 3.98 %.
        trade(port, "lisi", "code=000001&price=10.00&num=5000&name=x&type=1")
    finally:
        server.terminate()
        server.wait(timeout=30)
    run("rollover", "--data", data, "--quotes-csv", csv)  # the day closes at the contest's prices
    server, url, port = serve(data, "masked", "--quotes-csv", csv)
    try:
        # Day 2: 张三丰 buys 2,000: 20,000 + 6.00 + 0.20, worth 21,600: 101,593.80, 1.59 % today
        # and since the start; lisi gains nothing today.
        trade(port, "张三丰", "code=000001&price=10.00&num=2000&name=x&type=1")
        time.sleep(1.5)  # the standings are republished every half second
        want = {"day": [["1", "张**", "101593.80", "1.59%", "1593.80"], ["2", "l**", "103984.50", "0.00%", "0.00"]],
                "all": [["1", "l**", "103984.50", "3.98%", "3984.50"], ["2", "张**", "101593.80", "1.59%", "1593.80"]]}
        titles = {"day": "日收益率", "all": "总收益率"}
        for period in ("day", "all"):
            rows, dom, json_rows = period_rows(url, os.path.join(tmp, "profile-" + period), period)
            if [r[:5] for r in rows] != want[period]:
                failures.append(f"{period} tab: rows {rows}, want {want[period]}\n{dom[:3000]}")
            drawn = [[r["rank"], r["name"], r["total"], r["return"] + "%", r["profit"]] for r in json_rows["rows"]]
            if [[str(d[0])] + d[1:] for d in drawn] != want[period]:
                failures.append(f"{period}: ranking.json rows {drawn}, want {want[period]}")
            if titles[period] not in dom or not re.search(f'data-period="{period}"[^>]*aria-selected="true"', dom):
                failures.append(f"{period} tab: not shown as the chosen one\n{dom[:3000]}")
            if "大盘指数 1080.00（8.00%）" not in dom:
                failures.append(f"{period} tab: the index (10.80 over 10.00: 1080.00) is not shown\n{dom[:3000]}")
        with urllib.request.urlopen(url + "ranking.json?period=year", timeout=10) as answer:
            failures.append("ranking.json?period=year answered " + str(answer.status))
    except urllib.error.HTTPError as e:
        if e.code != 400:
            failures.append(f"ranking.json?period=year: {e.code}, want 400")
    finally:
        server.terminate()
        server.wait(timeout=30)


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
            server, url, _ = serve(data, names)
            try:
                rows, dom = browser_rows(url, os.path.join(tmp, "profile-" + names))
            finally:
                server.terminate()
                server.wait(timeout=30)
            # Cells: rank, contestant, total assets, return with %, profit, positions. The page opens
            # on the whole contest, ranked by return: equal returns share a rank, the larger total
            # first, as quorvexd ranking lists them.
            got = [[r[0], r[1], r[2], float(r[3].rstrip("%"))] for r in rows]
            ranks = [str(1 + sum(1 for o in expected if o[3] > e[3])) for e in expected]
            want = [[rank, e[1] if names == "full" else e[1][0] + "**", e[2], e[3]] for rank, e in zip(ranks, expected)]
            if got != want:
                failures.append(f"{names} names: page rows {got} differ from quorvexd ranking {want}\n{dom[:2000]}")
            if "更新于" not in dom:
                failures.append(f"{names} names: the page does not say when it was updated")
        check_periods(tmp, failures)
    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
