#include "server/http/RankingPage.h"

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
@media (max-width: 560px) { body { padding: 4px; } th, td { padding: 5px 4px; font-size: 0.9em; } }
</style>
</head>
<body>
<h1>模拟炒股大赛 · 实时排行</h1>
<div id="status">正在读取排行……</div>
<table id="ranking">
<thead><tr>
<th data-key="rank" data-type="num">名次</th>
<th data-key="name" data-type="text">选手</th>
<th data-key="total" data-type="num">总资产（元）</th>
<th data-key="return" data-type="num">收益率</th>
<th data-key="positions" data-type="num">持仓数</th>
</tr></thead>
<tbody></tbody>
</table>
<script>
"use strict";
let rows = [];
let sortKey = "rank", ascending = true;
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
    tr.append(cell(r.rank, "num"), cell(r.name), cell(r.total, "num"),
              cell(r.return + "%", "num " + (ret > 0 ? "up" : ret < 0 ? "down" : "")),
              cell(r.positions, "num"));
    return tr;
  }));
}

document.querySelectorAll("th").forEach(th => th.addEventListener("click", () => {
  if (sortKey === th.dataset.key) ascending = !ascending;
  else { sortKey = th.dataset.key; ascending = th.dataset.type !== "num" || sortKey === "rank"; }
  draw();
}));

async function refresh() {
  try {
    const answer = await fetch("ranking.json", {cache: "no-store"});
    if (!answer.ok) throw new Error(answer.status);
    const data = await answer.json();
    rows = data.rows;
    status.className = "";
    status.textContent = "交易日 " + data.day + " · 更新于 " + data.updated + " · 共 " + rows.length + " 名选手";
    draw();
  } catch (e) {
    // Keep the last rows but say plainly that they are no longer current.
    status.className = "stale";
    status.textContent = "无法连接服务器，下面是较早的排行，可能已过期";
  }
}

refresh();
setInterval(refresh, 3000);
</script>
</body>
</html>
)html";

} // namespace server
