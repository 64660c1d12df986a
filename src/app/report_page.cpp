#include "app/report_page.h"

namespace q {

namespace {

// Everything before the report's JSON.
constexpr const char* kPageHead = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Visibility report</title>
<style>
body { font: 14px sans-serif; margin: 16px; color: #222; background: #fff; }
h1 { font-size: 20px; margin: 0 0 8px; }
#top { display: flex; gap: 16px; align-items: flex-start; }
#plan { width: 760px; height: 560px; border: 1px solid #bbb; background: #fafafa; }
#plan .area { stroke: #555; stroke-width: 1; cursor: pointer; }
#plan .area.seen { stroke: #000; stroke-width: 3; }
#plan .area.selected { stroke: #06c; stroke-width: 4; }
#plan .portal { stroke-width: 3; stroke-linecap: round; pointer-events: none; }
#plan .portal.never { stroke-dasharray: 6 4; }
#plan text { pointer-events: none; fill: #222; text-anchor: middle; dominant-baseline: middle; }
#figures { min-width: 320px; max-width: 400px; }
#figures table td:first-child { color: #666; padding-right: 12px; }
#figures code { user-select: all; display: block; white-space: pre-wrap; word-break: break-all;
                background: #f0f0f0; padding: 4px; margin: 2px 0; }
.legend { display: flex; align-items: center; gap: 6px; margin: 6px 0; }
.scale { width: 200px; height: 14px; border: 1px solid #999; }
.swatch { display: inline-block; width: 24px; height: 4px; }
table.list { border-collapse: collapse; margin: 12px 0; }
table.list th { cursor: pointer; background: #eee; user-select: none; }
table.list th, table.list td { border: 1px solid #ccc; padding: 2px 6px; text-align: right; }
table.list tr.selected td { background: #def; }
</style>
</head>
<body>
<h1 id="title">Visibility report</h1>
<p id="summary"></p>
<div id="bands"></div>
<div id="top">
  <div>
    <svg id="plan"></svg>
    <div class="legend">areas drawn at most from an area:
      <span id="lowest"></span><span class="scale" id="scale"></span><span id="highest"></span></div>
    <div class="legend">portals, by views that passed them:
      <span class="swatch" id="never"></span> never
      <span class="swatch" id="seldom"></span> seldom
      <span class="swatch" id="often"></span> <span id="mostPassed"></span></div>
  </div>
  <aside id="figures"><p>Click an area on the plan or in the table to see its figures and the areas it sees
    (outlined in black).</p></aside>
</div>
<h2>Areas</h2>
<table class="list" id="areaTable"></table>
<h2>Portals</h2>
<table class="list" id="portalTable"></table>
<script type="application/json" id="report">)PAGE";

// Everything after it: the script that draws the page.
constexpr const char* kPageTail = R"PAGE(</script>
<script>
"use strict";
const report = JSON.parse(document.getElementById("report").textContent);
const svgNs = document.getElementById("plan").namespaceURI;  // an inline svg is in its own namespace
const low = [255, 237, 160], high = [189, 0, 38];
const rarely = [190, 190, 190], often = [0, 120, 50], never = "rgb(40, 100, 220)";
const rgb = (c) => "rgb(" + c.map(Math.round).join(",") + ")";
const mix = (a, b, t) => a.map((v, i) => v + (b[i] - v) * t);
const onPlan = report.areas.filter((a) => a.band >= 0);
const drawnLow = Math.min(...onPlan.map((a) => a.areasDrawnMax));
const drawnHigh = Math.max(...onPlan.map((a) => a.areasDrawnMax));
const mostPassed = Math.max(1, ...report.portals.map((p) => p.timesPassed));
const areaColour = (a) => rgb(mix(low, high, drawnHigh > drawnLow ? (a.areasDrawnMax - drawnLow) / (drawnHigh - drawnLow) : 1));
const portalColour = (p) => p.timesPassed === 0 ? never : rgb(mix(rarely, often, p.timesPassed / mostPassed));
const element = (tag, text) => { const e = document.createElement(tag); if (text !== undefined) e.textContent = text; return e; };
let band = onPlan.length ? onPlan[0].band : 0;
let selected = -1;

document.title = "Visibility report: " + report.map;
document.getElementById("title").textContent = "Visibility report: " + report.map;
document.getElementById("summary").textContent = report.areaCount + " areas, " + report.portalCount + " portals, " +
  report.eyes + " eyes, " + report.views + " views, " + report.surfaces + " surfaces, " + report.triangles +
  " triangles; made in " + report.seconds + " s";
document.getElementById("lowest").textContent = onPlan.length ? drawnLow : "-";
document.getElementById("highest").textContent = onPlan.length ? drawnHigh : "-";
document.getElementById("scale").style.background = "linear-gradient(to right, " + rgb(low) + ", " + rgb(high) + ")";
document.getElementById("never").style.background = never;
document.getElementById("seldom").style.background = rgb(rarely);
document.getElementById("often").style.background = rgb(often);
document.getElementById("mostPassed").textContent = mostPassed + " times";

// Floors at clearly different heights: one plan per band, chosen here.
const bands = [...new Set(onPlan.map((a) => a.band))].sort((a, b) => a - b);
if (bands.length > 1) {
  const choose = element("select");
  choose.id = "band";
  for (const b of bands) {
    const option = element("option", "floor band " + b + " (from height " +
      Math.min(...onPlan.filter((a) => a.band === b).map((a) => a.floor)) + ")");
    option.value = b;
    choose.append(option);
  }
  choose.onchange = () => { band = Number(choose.value); drawPlan(); };
  document.getElementById("bands").append("Storey: ", choose);
}

function drawPlan() {
  const plan = document.getElementById("plan");
  plan.replaceChildren();
  const areas = onPlan.filter((a) => a.band === band);
  const inBand = new Set(areas.map((a) => a.area));
  const portals = report.portals.filter((p) => p.ends && (inBand.has(p.areas[0]) || inBand.has(p.areas[1])));
  const points = areas.flatMap((a) => a.outline).concat(portals.flatMap((p) => p.ends));
  if (!points.length) return;
  const xs = points.map((p) => p[0]), zs = points.map((p) => p[1]);
  const left = Math.min(...xs), top = Math.min(...zs);
  const width = Math.max(1, Math.max(...xs) - left), height = Math.max(1, Math.max(...zs) - top);
  const margin = Math.max(width, height) * 0.04;
  plan.setAttribute("viewBox", [left - margin, top - margin, width + 2 * margin, height + 2 * margin].join(" "));
  for (const a of areas) {
    const shape = document.createElementNS(svgNs, "polygon");
    shape.setAttribute("points", a.outline.map((p) => p.join(",")).join(" "));
    shape.setAttribute("fill", areaColour(a));
    shape.setAttribute("vector-effect", "non-scaling-stroke");
    shape.setAttribute("class", "area");
    shape.id = "area" + a.area;
    const tip = document.createElementNS(svgNs, "title");
    tip.textContent = "area " + a.area + ": draws at most " + a.areasDrawnMax + " areas, seen from " + a.seenFrom;
    shape.append(tip);
    shape.onclick = () => select(a.area);
    plan.append(shape);
  }
  for (const p of portals) {
    const line = document.createElementNS(svgNs, "line");
    [["x1", p.ends[0][0]], ["y1", p.ends[0][1]], ["x2", p.ends[1][0]], ["y2", p.ends[1][1]]]
      .forEach(([k, v]) => line.setAttribute(k, v));
    line.setAttribute("stroke", portalColour(p));
    line.setAttribute("vector-effect", "non-scaling-stroke");
    line.setAttribute("class", p.timesPassed === 0 ? "portal never" : "portal");
    plan.append(line);
  }
  const labelSize = Math.max(width, height) / 30;
  for (const a of areas) {
    const label = document.createElementNS(svgNs, "text");
    label.setAttribute("x", a.outline.reduce((s, p) => s + p[0], 0) / a.outline.length);
    label.setAttribute("y", a.outline.reduce((s, p) => s + p[1], 0) / a.outline.length);
    label.setAttribute("font-size", labelSize);
    label.textContent = a.area;
    plan.append(label);
  }
  highlight();
}

function highlight() {
  const sees = new Set(selected >= 0 ? report.areas[selected].sees : []);
  for (const shape of document.querySelectorAll("#plan .area")) {
    const area = Number(shape.id.slice(4));
    shape.classList.toggle("selected", area === selected);
    shape.classList.toggle("seen", area !== selected && sees.has(area));
  }
  for (const row of document.querySelectorAll("#areaTable tr[data-area]"))
    row.classList.toggle("selected", Number(row.dataset.area) === selected);
}

const figureNames = [["eyes", "eyes"], ["floorsRefused", "floors refused"], ["areasDrawnMax", "areas drawn, most"],
  ["areasDrawnMean", "areas drawn, mean"], ["surfacesDrawnMax", "surfaces drawn, most"],
  ["surfacesDrawnMean", "surfaces drawn, mean"], ["trianglesDrawnMax", "triangles drawn, most"],
  ["trianglesDrawnMean", "triangles drawn, mean"], ["portalsPassed", "portals passed"],
  ["seenFrom", "seen from (areas)"], ["floor", "floor height"], ["band", "floor band"]];

function select(area) {
  const a = report.areas[area];
  if (!a) return;
  selected = area;
  if (a.band >= 0 && a.band !== band) {
    band = a.band;
    const choose = document.getElementById("band");
    if (choose) choose.value = band;
    drawPlan();
  }
  const panel = document.getElementById("figures");
  panel.replaceChildren(element("h2", "Area " + area));
  const figures = element("table");
  for (const [key, name] of figureNames) {
    const row = element("tr");
    row.append(element("td", name), element("td", a[key] === null ? "-" : String(a[key])));
    figures.append(row);
  }
  panel.append(figures, element("p", "Sees: " + (a.sees.length ? a.sees.join(", ") : "nothing")));
  panel.append(element("p", a.worstEye ? "Options for its worst eye (the view drawing most areas):" : "No eye stood here."));
  if (a.worstEye) panel.append(element("code", a.worstEye));
  highlight();
}

// A table of rows (arrays of cells) that sorts by the header clicked,
// numbers as numbers, again to reverse.
function fillTable(id, headers, rows, onRow) {
  const table = document.getElementById(id);
  let sortedBy = 0, rising = true;
  const draw = () => {
    table.replaceChildren();
    const head = element("tr");
    headers.forEach((h, i) => {
      const cell = element("th", h + (i === sortedBy ? (rising ? " \u25b2" : " \u25bc") : ""));
      cell.onclick = () => { rising = i === sortedBy ? !rising : true; sortedBy = i; draw(); };
      head.append(cell);
    });
    table.append(head);
    const key = (v) => v === null ? -Infinity : v;
    const order = rows.slice().sort((a, b) => {
      const x = key(a[sortedBy]), y = key(b[sortedBy]);
      return (x < y ? -1 : x > y ? 1 : 0) * (rising ? 1 : -1);
    });
    for (const cells of order) {
      const row = element("tr");
      cells.forEach((c) => row.append(element("td", c === null ? "-" : String(c))));
      if (onRow) onRow(row, cells);
      table.append(row);
    }
    highlight();
  };
  draw();
}

fillTable("areaTable", ["area", "band", "eyes", "areas drawn, most", "mean", "surfaces, most", "triangles, most",
  "portals passed", "seen from"],
  report.areas.map((a) => [a.area, a.band, a.eyes, a.areasDrawnMax, a.areasDrawnMean, a.surfacesDrawnMax,
    a.trianglesDrawnMax, a.portalsPassed, a.seenFrom]),
  (row, cells) => { row.dataset.area = cells[0]; row.onclick = () => select(cells[0]); });
fillTable("portalTable", ["portal", "area +", "area -", "times passed"],
  report.portals.map((p) => [p.portal, p.areas ? p.areas[0] : null, p.areas ? p.areas[1] : null, p.timesPassed]));
drawPlan();
const asked = /click=(\d+)/.exec(location.hash + location.search);
if (asked) select(Number(asked[1]));
</script>
</body>
</html>
)PAGE";

}  // namespace

std::string visibilityReportPage(const std::string& json) {
    // Inside the script block only "</script" could end it early; "<" stands
    // in the JSON only within strings, where \u003c reads back the same.
    std::string page = kPageHead;
    for (char c : json) {
        if (c == '<')
            page += "\\u003c";
        else
            page += c;
    }
    return page + kPageTail;
}

}  // namespace q
