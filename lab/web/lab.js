// The lab page: follows the lab service's event stream (GET /api/v1/lab/events: a `lab`
// event with the whole lab first, then at each change the instruments that changed) and
// draws a tile per instrument and the alerts. fetch() rather than EventSource, which cannot
// send the token.
"use strict";

const TOKEN_KEY = "gc6890.lab.token";
const $ = (id) => document.getElementById(id);
const page = { lab: null, source: null, charts: new Map(), lastEventMs: 0 };  // charts by name

function token() { return localStorage.getItem(TOKEN_KEY) || ""; }
function headers() { return token() ? { Authorization: "Bearer " + token() } : {}; }

function banner(text) {
  $("banner").textContent = text;
  $("banner").hidden = !text;
}

function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

// The age of an instrument's last status now: its age when the event came, plus the time
// since (an instrument that did not change is not sent again).
function ageNow(i) {
  return i.age_ms === null || i.age_ms === undefined ? null : i.age_ms + (Date.now() - i.receivedMs);
}

function ageText(ms) {
  if (ms === null || ms === undefined) return "not polled yet";
  if (ms < 60000) return (ms / 1000).toFixed(1) + " s old";
  return Math.round(ms / 60000) + " min old";
}

function timeText(iso) {
  const d = new Date(iso);
  return isNaN(d) ? iso : d.toLocaleTimeString();
}

// What a tile is sorted and filtered by.
function needsPerson(lab, name) { return lab.alerts.some((a) => a.instrument === name); }
function stateOf(lab, i) {
  if (!i.online) return "offline";
  if (needsPerson(lab, i.name)) return "attention";
  return i.run_state === "idle" || !i.run_state ? "idle" : "running";
}
const STATE_ORDER = { attention: 0, offline: 1, running: 2, idle: 3 };

function shown(lab) {
  const name = $("filter-name").value.trim().toLowerCase();
  const state = $("filter-state").value;
  const list = lab.instruments.filter((i) =>
    (!name || i.name.toLowerCase().includes(name)) && (state === "all" || stateOf(lab, i) === state));
  if ($("sort").value === "state")
    list.sort((a, b) => STATE_ORDER[stateOf(lab, a)] - STATE_ORDER[stateOf(lab, b)] || a.name.localeCompare(b.name));
  return list;
}

function drawAlerts(lab) {
  const list = $("alerts");
  list.replaceChildren();
  if (!lab.alerts.length) list.append(element("li", "none", "Nothing needs a person."));
  for (const a of lab.alerts) {
    const li = element("li");
    const time = element("time", "", timeText(a.time));
    time.dateTime = a.time;
    li.append(time, a.instrument + ": " + a.text);
    list.append(li);
  }
}

// One canvas and chart per instrument, kept across redraws (a tile is drawn anew at each
// event; its sparkline moves into it), its data replaced only when a sample came.
function sparkline(name, oven) {
  let spark = page.charts.get(name);
  if (!spark) {
    const canvas = element("canvas");
    canvas.width = 240;
    canvas.height = 48;
    canvas.setAttribute("role", "img");
    canvas.setAttribute("aria-label", name + " oven temperature, last hour");
    spark = { canvas, chart: null, last: null };
    if (window.Chart)
      spark.chart = new Chart(canvas, {
        type: "line",
        data: { datasets: [{ data: [], borderColor: "#b3261e", borderWidth: 1.5, pointRadius: 0, tension: 0.2 }] },
        options: { animation: false, responsive: false,
          plugins: { legend: { display: false }, tooltip: { enabled: false } },
          scales: { x: { type: "linear", display: false }, y: { display: false } } },
      });
    page.charts.set(name, spark);
  }
  const last = oven.length ? oven[oven.length - 1].join() + ":" + oven.length : "";
  if (spark.chart && last !== spark.last) {
    spark.chart.data.datasets[0].data = oven.map(([t, v]) => ({ x: t, y: v }));
    spark.chart.update("none");
    spark.last = last;
  }
  return spark.canvas;
}

function tile(lab, i) {
  const state = stateOf(lab, i);
  const t = element("article", "tile " + state);
  t.dataset.name = i.name;
  const head = element("h3");
  const name = i.url ? element("a", "", i.name) : element("span", "", i.name);
  if (i.url) name.href = i.url;
  head.append(name, element("span", "badge " + (i.online ? i.line : "offline"),
    i.online ? "line " + (i.line || "?") : "offline"));
  t.append(head);
  if (!i.online) return t;
  t.append(element("p", "muted", "status " + ageText(ageNow(i))));
  const run = element("p", "", (i.run_state || "?").toUpperCase());
  if (i.time_left_min !== null && i.time_left_min !== undefined)
    run.append(" · " + i.time_left_min.toFixed(1) + " min left");
  t.append(run);
  if (i.progress !== null && i.progress !== undefined) {
    const bar = element("progress");
    bar.max = 1;
    bar.value = i.progress;
    bar.setAttribute("aria-label", i.name + " run progress");
    t.append(bar);
  }
  t.append(element("p", i.not_ready ? "warn" : "", i.not_ready ? "not ready: " + i.not_ready_text : "ready"));
  if (i.error) t.append(element("p", "bad", "error: " + i.error_text));
  const s = i.sequence;
  if (s && (s.state === "running" || s.state === "pausing" || s.state === "paused"))
    t.append(element("p", s.state === "paused" ? "bad" : "",
      "sequence " + s.state + (s.row ? ": row " + s.row + " of " + s.rows + ", injection " +
        s.injection + " of " + s.injections : "") + (s.reason ? " (" + s.reason + ")" : "")));
  const detail = element("p", "detail muted",
    "oven " + (typeof i.oven_temperature === "number" ? i.oven_temperature.toFixed(1) + " °C" : "?") +
    " · vial " + (i.vial ?? "–") + " · " + (i.method ?? "no method"));
  t.append(detail);
  if (!document.body.classList.contains("compact")) {
    const box = element("div", "spark");
    box.append(sparkline(i.name, i.oven || []));
    t.append(box);
  }
  return t;
}

function draw() {
  const lab = page.lab;
  if (!lab) return;
  const online = lab.instruments.filter((i) => i.online).length;
  $("summary").textContent = online + " of " + lab.instruments.length + " online · " +
    lab.alerts.length + " need a person";
  banner(lab.broker.connected ? "" : "The lab service has lost the broker" +
    (lab.broker.since ? " since " + timeText(lab.broker.since) : "") + ": what is shown is as it was.");
  drawAlerts(lab);
  // The charts of instruments no longer on the broker go with them.
  for (const [name, spark] of page.charts)
    if (!lab.instruments.some((i) => i.name === name)) {
      if (spark.chart) spark.chart.destroy();
      page.charts.delete(name);
    }
  $("tiles").replaceChildren(...shown(lab).map((i) => tile(lab, i)));
}

// The lab after `event`: its instruments replace those of `lab` of their name (the oven's
// trace kept up to `oven_after` and the new samples appended), those not in `names` are
// gone, and a `full` event (the first of a stream) starts afresh.
function merge(lab, event) {
  const now = Date.now();
  const byName = new Map(lab && !event.full ? lab.instruments.map((i) => [i.name, i]) : []);
  for (const i of event.instruments) {
    const old = byName.get(i.name);
    if (old && i.oven_after !== null && i.oven_after !== undefined)
      i.oven = old.oven.filter(([t]) => t <= i.oven_after).concat(i.oven);
    i.receivedMs = now;
    byName.set(i.name, i);
  }
  const hourAgo = Date.parse(event.time) - 3600e3;
  const instruments = event.names.filter((name) => byName.has(name)).map((name) => {
    const i = byName.get(name);
    if (i.oven.length && i.oven[0][0] < hourAgo) i.oven = i.oven.filter(([t]) => t >= hourAgo);
    return i;
  });
  return { instruments, alerts: event.alerts, broker: event.broker, time: event.time };
}

async function follow(stream) {
  const res = await fetch("/api/v1/lab/events", { headers: headers(), signal: stream.signal, cache: "no-store" });
  if (!res.ok || !res.body)
    throw new Error(res.status === 401 || res.status === 403
      ? "The lab service wants a token: enter it below."
      : "The lab service refused the stream (" + res.status + "); reconnecting…");
  banner("");
  const reader = res.body.pipeThrough(new TextDecoderStream()).getReader();
  let pending = "";
  for (;;) {
    const { value, done } = await reader.read();
    if (done) throw new Error("The connection to the lab service is lost; reconnecting…");
    pending += value;
    for (let end; (end = pending.indexOf("\n\n")) >= 0; pending = pending.slice(end + 2)) {
      const data = pending.slice(0, end).split("\n").filter((l) => l.startsWith("data: "))
        .map((l) => l.slice(6)).join("\n");
      if (!data) continue;
      page.lab = merge(page.lab, JSON.parse(data));
      page.lastEventMs = Date.now();
      draw();
    }
  }
}

function connect() {
  if (page.source) page.source.abort();
  const stream = new AbortController();
  page.source = stream;
  follow(stream).catch((e) => {
    if (page.source !== stream) return;
    banner(e.name === "TypeError" ? "The connection to the lab service is lost; reconnecting…" : e.message);
    setTimeout(() => { if (page.source === stream) connect(); }, 2000);
  });
}

function wire() {
  const params = new URLSearchParams(location.search);
  $("compact").checked = params.get("compact") === "1";
  document.body.classList.toggle("compact", $("compact").checked);
  $("compact").addEventListener("change", () => {
    document.body.classList.toggle("compact", $("compact").checked);
    draw();
  });
  for (const id of ["filter-name", "filter-state", "sort"]) $(id).addEventListener("input", draw);
  $("controls").addEventListener("submit", (e) => e.preventDefault());
  $("token").value = token();
  $("token-form").addEventListener("submit", (e) => {
    e.preventDefault();
    localStorage.setItem(TOKEN_KEY, $("token").value.trim());
    connect();
  });
  // The stream sends the lab at least every 2 s: silence beyond 6 s is an outage.
  setInterval(() => {
    if (page.lastEventMs && Date.now() - page.lastEventMs > 6000)
      banner("No word from the lab service for " + Math.round((Date.now() - page.lastEventMs) / 1000) +
        " s; reconnecting…");
  }, 1000);
}

wire();
connect();
