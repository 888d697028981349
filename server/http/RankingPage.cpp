#include "server/http/RankingPage.h"

#include <sodium.h>

#include <string_view>

namespace server {

const char kRankingPage[] = R"html(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Quorvex 模拟炒股大赛 · 实时排行</title>
<style>
body { font-family: "WenQuanYi Micro Hei", "Noto Sans CJK SC", "Microsoft YaHei", sans-serif;
       margin: 0; padding: 12px; background: #f4f5f7; color: #222; }
h1 { font-size: 1.3em; margin: 0 0 4px; }
#status { font-size: 0.9em; color: #555; margin-bottom: 8px; }
#status.stale { color: #b00020; font-weight: bold; }
table { border-collapse: collapse; width: 100%; max-width: 900px; background: #fff; }
th, td { padding: 6px 8px; border-bottom: 1px solid #ddd; white-space: nowrap; }
th { background: #2b4a7a; color: #fff; cursor: pointer; user-select: none; position: sticky; top: 0; }
th.sorted::after { content: attr(data-arrow); }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
td.up { color: #c62828; }
td.down { color: #2e7d32; }
tr:nth-child(even) td { background: #f8f9fb; }
#periods { display: flex; gap: 4px; margin: 0 0 8px; max-width: 900px; }
#periods button { flex: 1; padding: 8px 0; font-size: 1em; border: 1px solid #2b4a7a; background: #fff;
                  color: #2b4a7a; border-radius: 4px; cursor: pointer; font-family: inherit; }
#periods button[aria-selected="true"] { background: #2b4a7a; color: #fff; font-weight: bold; }
@media (max-width: 560px) { body { padding: 4px; } th, td { padding: 5px 4px; font-size: 0.9em; }
                            .wide { display: none; } }
</style>
</head>
<body>
<h1>模拟炒股大赛 · 实时排行</h1>
<div id="periods" role="tablist" aria-label="排行周期">
<button role="tab" data-period="day" title="今日收益率排行">日榜</button>
<button role="tab" data-period="week" title="本周收益率排行">周榜</button>
<button role="tab" data-period="month" title="本月收益率排行">月榜</button>
<button role="tab" data-period="all" title="开赛以来收益率排行">总榜</button>
</div>
<div id="status">正在读取排行……</div>
<table id="ranking">
<thead><tr>
<th data-key="rank" data-type="num">名次</th>
<th data-key="name" data-type="text">选手</th>
<th data-key="total" data-type="num">总资产（元）</th>
<th data-key="return" data-type="num" id="returnHead">总收益率</th>
<th data-key="profit" data-type="num">盈亏（元）</th>
<th data-key="positions" data-type="num" class="wide">持仓数</th>
</tr></thead>
<tbody></tbody>
</table>
<script>
"use strict";
let rows = [];
let sortKey = "rank", ascending = true;
// The period shown: from the address (#day, #week, #month, #all), the whole contest by default.
const periodNames = {day: "日", week: "周", month: "月", all: "总"};
let period = periodNames[location.hash.slice(1)] ? location.hash.slice(1) : "all";
const body = document.querySelector("#ranking tbody");
const status = document.getElementById("status");

function cell(text, cls) {
  const td = document.createElement("td");
  td.textContent = text;
  if (cls) td.className = cls;
  return td;
}

function draw() {
  const head = document.querySelector('th[data-key="' + sortKey + '"]');
  const numeric = head.dataset.type === "num";
  const sorted = rows.slice().sort((a, b) => {
    const x = numeric ? parseFloat(a[sortKey]) : a[sortKey];
    const y = numeric ? parseFloat(b[sortKey]) : b[sortKey];
    const order = x < y ? -1 : x > y ? 1 : a.rank - b.rank;
    return ascending ? order : -order;
  });
  document.querySelectorAll("th").forEach(th => {
    th.classList.toggle("sorted", th === head);
    th.dataset.arrow = ascending ? " ▲" : " ▼";
  });
  body.replaceChildren(...sorted.map(r => {
    const tr = document.createElement("tr");
    const ret = parseFloat(r.return);
    const profit = parseFloat(r.profit);
    tr.append(cell(r.rank, "num"), cell(r.name), cell(r.total, "num"),
              cell(r.return + "%", "num " + (ret > 0 ? "up" : ret < 0 ? "down" : "")),
              cell(r.profit, "num " + (profit > 0 ? "up" : profit < 0 ? "down" : "")),
              cell(r.positions, "num wide"));
    return tr;
  }));
}

document.querySelectorAll("th").forEach(th => th.addEventListener("click", () => {
  if (sortKey === th.dataset.key) ascending = !ascending;
  else { sortKey = th.dataset.key; ascending = th.dataset.type !== "num" || sortKey === "rank"; }
  draw();
}));

function showPeriod() {
  document.querySelectorAll("#periods button").forEach(b => {
    const chosen = b.dataset.period === period;
    b.setAttribute("aria-selected", chosen ? "true" : "false");
    b.tabIndex = chosen ? 0 : -1;
  });
  document.getElementById("returnHead").textContent = periodNames[period] + "收益率";
}

document.querySelectorAll("#periods button").forEach(b => {
  b.addEventListener("click", () => {
    period = b.dataset.period;
    history.replaceState(null, "", "#" + period);
    showPeriod();
    refresh();
  });
  b.addEventListener("keydown", e => {
    // Left and right arrows move between the tabs, as in any tab strip.
    if (e.key !== "ArrowLeft" && e.key !== "ArrowRight") return;
    const all = [...document.querySelectorAll("#periods button")];
    const next = all[(all.indexOf(b) + (e.key === "ArrowRight" ? 1 : all.length - 1)) % all.length];
    next.focus();
    next.click();
  });
});

let asked = 0;
async function refresh() {
  const mine = ++asked;
  try {
    const answer = await fetch("ranking.json?period=" + period, {cache: "no-store"});
    if (!answer.ok) throw new Error(answer.status);
    const data = await answer.json();
    if (mine !== asked) return; // a later tab's answer is on its way
    rows = data.rows;
    status.className = "";
    const index = parseFloat(data.index) - 1000;
    status.textContent = "交易日 " + data.day + " · 更新于 " + data.updated + " · 共 " + rows.length + " 名选手 · 大盘指数 " +
      data.index + "（" + (index / 10).toFixed(2) + "%）· 选手收益率中位数 " + data.median + "%";
    draw();
  } catch (e) {
    // Keep the last rows but say plainly that they are no longer current.
    status.className = "stale";
    status.textContent = "无法连接服务器，下面是较早的排行，可能已过期";
  }
}

showPeriod();
refresh();
setInterval(refresh, 3000);
</script>
</body>
</html>
)html";

namespace {

// 'sha256-…' of the text between `open` and `close` in the page.
std::string InlineHash(std::string_view open, std::string_view close) {
    const std::string_view page(kRankingPage);
    const auto from = page.find(open) + open.size();
    const std::string_view text = page.substr(from, page.find(close, from) - from);
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    char base64[sodium_base64_ENCODED_LEN(crypto_hash_sha256_BYTES, sodium_base64_VARIANT_ORIGINAL)];
    sodium_bin2base64(base64, sizeof base64, digest, sizeof digest, sodium_base64_VARIANT_ORIGINAL);
    return "'sha256-" + std::string(base64) + "'";
}

} // namespace

std::string RankingPagePolicy() {
    return "default-src 'none'; script-src " + InlineHash("<script>", "</script>") + "; style-src " +
           InlineHash("<style>", "</style>") +
           "; connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
}

} // namespace server
