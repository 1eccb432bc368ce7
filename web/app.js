// The dashboard: follows the service's event stream and drives it with the token kept in
// this browser. Plain JavaScript; Chart.js is served by the service itself.
"use strict";

const $ = (id) => document.getElementById(id);
const TOKEN_KEY = "gc6890.token";
const RUN_STATES = 12;     // run-state changes kept on the page
const LOG_LINES = 500;     // comms log entries kept on the page
const CHART_POINTS = 1500; // the most points drawn per series; longer windows are thinned

const page = {
  status: null,
  lastGoodMs: 0,        // this browser's clock when the last good poll arrived
  lastRun: null,        // the last run seen (a run job or a sequence's): method, vial, volume
  sequenceInjecting: null, // the vial a sequence is injecting from, null when none
  runLength: {},        // method name -> {run, post} minutes, from its summary
  postRunSince: 0,      // this browser's clock when post-run began
  readings: [],         // {t, oven, p1, p2, f1, f2}, oldest first
  windowS: 600,
  shownMethod: null,    // the method whose summary is shown
  loadJob: null,        // the load job followed by the summary's progress bar
  source: null,         // the event stream's AbortController
  lastEventId: "",      // the last event's id, to resume after
  role: null,           // the kept token's role (whoami), null when unknown
  jobs: {},             // id -> the latest record of each job seen on the stream
  told: {},             // ids of jobs asked for from this page, whose end is said here
};
window.dashboard = page;

function text(el, value) { el.textContent = value; }
function fmt(value, digits) {
  return typeof value === "number" && isFinite(value) ? value.toFixed(digits) : "–";
}
function clock(iso) { return iso ? new Date(iso).toLocaleTimeString() : ""; }

// ---- requests --------------------------------------------------------------------------

function token() { return localStorage.getItem(TOKEN_KEY) || ""; }

// The headers of every request: the token when one is kept (reads need it too when the
// service listens beyond loopback).
function authorized(headers = {}) {
  if (token()) headers.Authorization = "Bearer " + token();
  return headers;
}

function say(message, ok, el = $("message")) {
  text(el, message);
  el.className = "message " + (ok ? "ok" : "bad");
}

// A POST with the token; the service's answer as {status, body}. A refusal is said on the
// page with the service's own message, under Control unless `where` is given.
async function post(path, body, contentType, where) {
  const headers = authorized({ "Content-Type": contentType || "application/json" });
  let res;
  try {
    res = await fetch(path, { method: "POST", headers, body });
  } catch (e) {
    say("The service cannot be reached: " + e.message, false, where);
    return { status: 0, body: {} };
  }
  let answer = {};
  try { answer = await res.json(); } catch (e) { answer = {}; }
  if (!res.ok && res.status !== 400) {
    say("Refused (" + res.status + "): " + (answer.error || res.statusText) +
        (res.status === 401 ? " — enter the token under Control" : ""), false, where);
  }
  return { status: res.status, body: answer };
}

// ---- who is watching -------------------------------------------------------------------

// The controls that change the instrument or its files: an operator's and an admin's, not a
// viewer's. The sequence's also depend on its state (showSequence).
const OPERATOR_CONTROLS = ["run-submit", "stop", "reset", "zones-on", "zones-off", "load",
  "upload-submit", "sequence-submit", "sequence-pause", "sequence-resume", "sequence-skip",
  "sequence-abort"];
const SEQUENCE_CONTROLS = new Set(["sequence-submit", "sequence-pause", "sequence-resume",
  "sequence-skip", "sequence-abort"]);

function mayOperate() { return page.role !== "viewer"; }
function allow(id, enabled) { $(id).disabled = !enabled || !mayOperate(); }

// Asks the service who the kept token belongs to, shows it, and disables what its role may
// not use. Without an answer (no token, a wrong one) nothing is disabled: the service
// refuses what it must and the page says why.
async function askWhoami() {
  let who = null;
  try {
    const res = await fetch("/api/v1/whoami", { headers: authorized() });
    if (res.ok) who = await res.json();
  } catch (e) { who = null; }
  page.role = who ? who.role : null;
  text($("whoami"), who ? "as " + who.name + " (" + who.role + ")" : "");
  for (const id of OPERATOR_CONTROLS) {
    if (!SEQUENCE_CONTROLS.has(id)) allow(id, true);
    else if (!mayOperate()) $(id).disabled = true;
  }
  if (page.sequenceState !== undefined) loadSequence(null).catch(() => {});
}

async function getJson(path) {
  const res = await fetch(path, { headers: authorized() });
  if (!res.ok) throw new Error(path + ": " + res.status);
  return res.json();
}

// ---- header, run, sampler --------------------------------------------------------------

function showLine(status) {
  const el = $("line");
  const line = status.line || "unknown";
  let age = "";
  if (line !== "up" && page.lastGoodMs)
    age = ", last good poll " + Math.round((Date.now() - page.lastGoodMs) / 1000) + " s ago";
  else if (status.age_ms != null && line !== "up")
    age = ", last good poll " + Math.round(status.age_ms / 1000) + " s ago";
  text(el, "line " + line + age);
  el.className = "badge " + line;
  el.title = status.line_reason || "";
}

function jobText(job) {
  let s = job.kind + (job.method ? " " + job.method : "") + ": " + job.state;
  if (job.progress) s += " " + job.progress.sent + "/" + job.progress.total + " lines";
  return s;
}

function showJob(job) {
  const el = $("job");
  const busy = job && (job.state === "queued" || job.state === "running");
  text(el, busy ? "job " + jobText(job) : "no job");
  el.className = "badge" + (busy ? " busy" : "");
}

function showStatus(status) {
  page.status = status;
  if (!status.stale && status.line === "up") page.lastGoodMs = Date.now();
  if (status.name) { text($("name"), status.name); document.title = status.name + " · gc6890"; }
  if (status.identity)
    text($("identity"), status.identity.product + " · firmware " + (status.identity.firmware || "?"));
  showLine(status);
  showJob(status.job);
  if (status.job && status.job.kind === "run") rememberRun(status.job);

  const state = status.run_state || "idle";
  const stateEl = $("run-state");
  if (stateEl.textContent !== state) {
    text(stateEl, state);
    stateEl.className = "state " + state;
    if (state === "post-run") page.postRunSince = Date.now();
  }
  showProgress(status, state);
  showAlerts(status);
  showSampler(status);
  text($("readings"), "oven " + fmt(status.oven_temperature, 1) + " °C · column 1 " +
       fmt(status.column1_pressure, 2) + " psi, " + fmt(status.column1_flow, 2) + " ml/min · column 2 " +
       fmt(status.column2_pressure, 2) + " psi, " + fmt(status.column2_flow, 2) + " ml/min");
}

function rememberRun(job) {
  if (!page.lastRun || page.lastRun.id !== job.id) {
    page.lastRun = { id: job.id, method: job.method, vial: job.vial, volume: job.volume };
    if (job.method && !page.runLength[job.method]) fetchSummary(job.method).catch(() => {});
  }
}

function showProgress(status, state) {
  const run = page.lastRun;
  text($("run-method"), run ? run.method + " · vial " + run.vial : "");
  const bar = $("run-progress");
  const lengths = run && page.runLength[run.method];
  const elapsed = status.elapsed_min || 0;
  if (state === "idle") {
    bar.value = 0;
    text($("run-time"), "no run");
    return;
  }
  if (!lengths) {
    bar.removeAttribute("value");  // a run of unknown length: the bar moves on its own
    text($("run-time"), fmt(elapsed, 2) + " min elapsed");
    return;
  }
  const total = lengths.run + lengths.post;
  let done = Math.min(elapsed, lengths.run);
  if (state === "post-run") done = lengths.run + (Date.now() - page.postRunSince) / 60000;
  bar.max = total || 1;
  bar.value = Math.min(done, bar.max);
  text($("run-time"), fmt(done, 2) + " of " + fmt(lengths.run, 2) + " min" +
       (lengths.post ? " + " + fmt(lengths.post, 2) + " min post-run" : ""));
}

function showAlerts(status) {
  const list = $("alerts");
  list.replaceChildren();
  const add = (cls, label, words) => {
    const li = document.createElement("li");
    li.className = cls;
    const b = document.createElement("strong");
    text(b, label);
    li.append(b, words ? " " + words : "");
    list.append(li);
  };
  if (status.line && status.line !== "up")
    add("bad", "Line " + status.line + ":", status.line_reason || "");
  if (status.error) add("bad", "Error:", status.error_text || "the GC reports an error");
  // The GC's text often begins with the very words of the label; during a run it often
  // gives no reason at all.
  const why = (status.not_ready_text || "").replace(/^NOT READY:\s*/i, "");
  if (status.not_ready) add("warn", why ? "Not ready:" : "Not ready", why || (status.running ? "while the run goes on" : ""));
  else if (status.not_ready === false && !status.error && status.line === "up") add("ready", "Ready", "");
  if (status.status_text) add("", "", status.status_text);
}

function showSampler(status) {
  const s = status.sampler;
  const job = status.job;
  text($("sampler-state"), !s ? "no data yet" : s.error ? "error" : s.busy ? "busy" : s.ready ? "ready" : "not ready");
  const injecting = job && job.kind === "run" && job.state === "running";
  const bySequence = page.sequenceInjecting;
  text($("sampler-injecting"), injecting ? "yes, vial " + job.vial : bySequence ? "yes, vial " + bySequence + " (sequence)" : "no");
  text($("sampler-vial"), page.lastRun ? String(page.lastRun.vial) : "–");
  const err = $("sampler-error");
  text(err, s && s.error ? "the sampler reports an error" + (status.error_text ? ": " + status.error_text : "") : "none");
  err.className = s && s.error ? "bad" : "";
}

function addRunState(change) {
  const li = document.createElement("li");
  li.dataset.state = change.state;
  text(li, clock(change.time) + " " + change.state +
       (change.found_at_start ? " (found at start)" : ""));
  const list = $("run-states");
  list.append(li);
  while (list.children.length > RUN_STATES) list.firstChild.remove();
}

// ---- chart -----------------------------------------------------------------------------

const SERIES = [
  { key: "oven", label: "Oven °C", color: "#c0392b", axis: "temp" },
  { key: "p1", label: "Column 1 psi", color: "#1f4e79", axis: "pres" },
  { key: "p2", label: "Column 2 psi", color: "#5aa0d8", axis: "pres", dash: [6, 3] },
  { key: "f1", label: "Column 1 ml/min", color: "#1e7a3c", axis: "flow" },
  { key: "f2", label: "Column 2 ml/min", color: "#7cc48d", axis: "flow", dash: [6, 3] },
];

function makeChart() {
  const ctx = $("chart");
  page.chart = new Chart(ctx, {
    type: "line",
    data: { datasets: SERIES.map((s) => ({
      label: s.label, data: [], borderColor: s.color, backgroundColor: s.color, borderWidth: 1.6,
      borderDash: s.dash || [], pointRadius: 0, yAxisID: s.axis, parsing: false })) },
    options: {
      animation: false, maintainAspectRatio: false, normalized: true,
      interaction: { mode: "nearest", axis: "x", intersect: false },
      scales: {
        x: { type: "linear", title: { display: true, text: "minutes before now" },
             ticks: { callback: (v) => (v === 0 ? "now" : String(-v)) } },
        temp: { position: "left", title: { display: true, text: "°C" } },
        pres: { position: "right", title: { display: true, text: "psi" }, grid: { drawOnChartArea: false } },
        flow: { position: "right", title: { display: true, text: "ml/min" }, grid: { drawOnChartArea: false } },
      },
      plugins: { legend: { labels: { boxWidth: 14 } } },
    },
  });
}

function drawChart() {
  if (!page.chart) return;
  const now = Date.now();
  const from = now - page.windowS * 1000;
  while (page.readings.length && page.readings[0].t < from) page.readings.shift();
  const step = Math.max(1, Math.ceil(page.readings.length / CHART_POINTS));
  page.chart.data.datasets.forEach((set, i) => {
    const key = SERIES[i].key;
    const points = [];
    for (let j = 0; j < page.readings.length; j += step) {
      const r = page.readings[j];
      points.push({ x: (r.t - now) / 60000, y: r[key] });
    }
    set.data = points;
  });
  page.chart.options.scales.x.min = -page.windowS / 60;
  page.chart.options.scales.x.max = 0;
  page.chart.update("none");
  text($("chart-count"), page.readings.length + " readings");
}

function addReading(status) {
  if (status.stale || !status.time) return;
  const t = Date.parse(status.time);
  const last = page.readings[page.readings.length - 1];
  if (last && t <= last.t) return;
  page.readings.push({ t, oven: status.oven_temperature, p1: status.column1_pressure,
                       p2: status.column2_pressure, f1: status.column1_flow, f2: status.column2_flow });
}

async function loadHistory() {
  const h = await getJson("/api/v1/history?seconds=" + page.windowS);
  const readings = h.time_ms.map((t, i) => ({ t, oven: h.oven_temperature[i], p1: h.column1_pressure[i],
    p2: h.column2_pressure[i], f1: h.column1_flow[i], f2: h.column2_flow[i] }));
  // Readings that came on the stream while the history was on its way are kept.
  const newest = readings.length ? readings[readings.length - 1].t : 0;
  page.readings = readings.concat(page.readings.filter((r) => r.t > newest));
  drawChart();
}

// ---- methods ---------------------------------------------------------------------------

async function loadMethods() {
  const list = await getJson("/api/v1/methods");
  text($("methods-folder"), list.methods.length + " methods in " + list.folder);
  const body = $("methods");
  const choice = $("run-method-choice");
  const chosen = choice.value;
  body.replaceChildren();
  choice.replaceChildren();
  for (const m of list.methods) {
    const tr = document.createElement("tr");
    const name = document.createElement("td");
    text(name, m.name);
    const when = document.createElement("td");
    text(when, new Date(m.modified).toLocaleString());
    const actions = document.createElement("td");
    const show = document.createElement("button");
    text(show, "Summary");
    show.setAttribute("aria-label", "Summary of " + m.name);
    show.addEventListener("click", () => showSummary(m.name).catch((e) => say(e.message, false)));
    actions.append(show);
    tr.append(name, when, actions);
    body.append(tr);
    const option = document.createElement("option");
    option.value = option.textContent = m.name;
    choice.append(option);
  }
  if (chosen) choice.value = chosen;
}

async function fetchSummary(name) {
  const s = await getJson("/api/v1/methods/" + encodeURIComponent(name) + "/summary");
  page.runLength[name] = { run: s.run_length_min, post: s.post_run_min || 0 };
  return s;
}

async function showSummary(name) {
  const s = await fetchSummary(name);
  page.shownMethod = name;
  $("summary").hidden = false;
  text($("summary-title"), "Method " + name);
  text($("summary-length"), "Run length " + fmt(s.run_length_min, 2) + " min" +
       (s.post_run_min ? ", post-run " + fmt(s.post_run_min, 2) + " min" : "") +
       "; oven at most " + fmt(s.oven.max_temperature, 0) + " °C");
  const inlets = $("summary-inlets");
  inlets.replaceChildren();
  for (const i of s.inlets) {
    const li = document.createElement("li");
    text(li, i.side + ": " + i.label + (i.zone_on ? ", heated" : ", zone off"));
    inlets.append(li);
  }
  if (!s.inlets.length) inlets.append(Object.assign(document.createElement("li"), { textContent: "the GC keeps its own" }));
  const columns = $("summary-columns");
  columns.replaceChildren();
  for (const c of s.columns) {
    const li = document.createElement("li");
    text(li, "column " + c.column + " on the " + c.inlet + " inlet: " + c.length_m + " m × " +
         c.diameter_um + " µm, film " + c.film_um + " µm, " + c.carrier_gas.replace("_", "/") +
         ", " + c.control_mode.replace("_", " ") + " from " + c.initial_pressure + " " + c.initial_unit);
    columns.append(li);
  }
  if (!s.columns.length) columns.append(Object.assign(document.createElement("li"), { textContent: "none in use" }));
  drawOven(s.oven.points);
  $("load-progress").hidden = true;
  text($("load-state"), "");
}

function drawOven(points) {
  const data = points.map(([x, y]) => ({ x, y }));
  if (page.ovenChart) page.ovenChart.destroy();
  page.ovenChart = new Chart($("oven-plot"), {
    type: "scatter",
    data: { datasets: [{ label: "Oven °C", data, showLine: true, borderColor: "#c0392b",
                         backgroundColor: "#c0392b", pointRadius: 2, borderWidth: 2 }] },
    options: { animation: false, maintainAspectRatio: false, plugins: { legend: { display: false } },
      scales: { x: { type: "linear", min: 0, title: { display: true, text: "min" } },
                y: { title: { display: true, text: "°C" } } } },
  });
}

// A refused file as the service names it: its line (or column) and key, then the problem.
function fileError(b, fileName, outcome) {
  const box = document.createElement("div");
  box.className = "upload-error";
  box.setAttribute("role", "alert");
  const where = document.createElement("strong");
  text(where, b.line ? "Line " + b.line + (b.column ? ", column " + b.column : "") : "The file");
  box.append(where);
  if (b.key) {
    const key = document.createElement("code");
    text(key, b.key);
    box.append(", key ", key);
  }
  box.append(": " + (b.problem || b.error) + " (" + (b.file || fileName) + "; " + outcome + ")");
  return box;
}

async function upload(event) {
  event.preventDefault();
  const file = $("upload-file").files[0];
  if (!file) return;
  const name = $("upload-name").value.trim() || file.name.replace(/\.toml$/, "");
  const result = $("upload-result");
  result.replaceChildren();
  const answer = await post("/api/v1/methods/" + encodeURIComponent(name), await file.text(), "text/plain");
  if (answer.status === 400) {
    result.append(fileError(answer.body, file.name, "nothing was stored"));
    $("summary").hidden = true;
    return;
  }
  if (answer.status !== 201) return;
  const ok = document.createElement("p");
  ok.className = "upload-ok";
  text(ok, "Stored " + answer.body.name + ".");
  result.append(ok);
  await loadMethods();
  $("run-method-choice").value = answer.body.name;
  await showSummary(answer.body.name);
}

async function loadShown() {
  const name = page.shownMethod;
  if (!name) return;
  const answer = await post("/api/v1/load", JSON.stringify({ method: name }));
  if (answer.status !== 202) return;
  page.loadJob = answer.body.job;
  const bar = $("load-progress");
  bar.hidden = false;
  bar.value = 0;
  text($("load-state"), "load " + name + " queued");
  // Its events may have come before this answer.
  if (page.jobs[page.loadJob]) showLoad(page.jobs[page.loadJob]);
}

// A job's progress and end, as its events tell them.
function followJob(job) {
  showJob(job.state === "queued" || job.state === "running" ? job : null);
  if (job.kind === "run") rememberRun(job);
  if (job.id === page.loadJob) showLoad(job);
  page.jobs[job.id] = job;
  delete page.jobs[job.id - 100];
  tellEnd(job);
}

// The load under the summary: its progress bar and words.
function showLoad(job) {
  const bar = $("load-progress");
  if (job.progress) { bar.max = job.progress.total || 1; bar.value = job.progress.sent; }
  let words = "load " + job.method + ": " + job.state;
  if (job.progress) words += ", " + job.progress.sent + " of " + job.progress.total + " lines sent";
  if (job.state === "failed") words += ": " + job.message;
  if (job.state === "done") words = "Loaded " + job.method + " (" + (job.progress ? job.progress.total + " lines" : "done") + ")";
  text($("load-state"), words);
}

// The end of a job asked for from this page, said once (its event may come before the
// answer to the request that made it).
function tellEnd(job) {
  if (!page.told[job.id] || job.kind === "load") return;
  if (job.state === "failed") say(job.kind + " failed: " + job.message, false);
  else if (job.state === "done") say(job.kind + " done" + (job.message ? ": " + job.message : ""), true);
  else return;
  delete page.told[job.id];
}

// A job accepted by the service (202): said now, its end when it comes.
function accepted(answer, words) {
  say(words, true);
  page.told[answer.body.job] = true;
  if (page.jobs[answer.body.job]) tellEnd(page.jobs[answer.body.job]);
}

// ---- sequences -------------------------------------------------------------------------

const SEQUENCE_UNDER_WAY = ["running", "pausing", "aborting", "paused"];

function sequenceSay(message, ok) { say(message, ok, $("sequence-result")); }

// The sequence shown is read again on each of its events rather than worked out here: the
// service alone decides the rows' states. One read at a time; events that come meanwhile
// ask for one more. Without an id: the one under way, else the newest.
async function loadSequence(id) {
  if (id !== undefined) page.sequenceId = id;
  if (page.sequenceBusy) { page.sequenceAgain = true; return; }
  page.sequenceBusy = true;
  try {
    do {
      page.sequenceAgain = false;
      if (!page.sequenceId) {
        const list = await getJson("/api/v1/sequences");
        page.sequenceId = list.active || (list.latest && list.latest.id) || null;
      }
      showSequence(page.sequenceId ? await getJson("/api/v1/sequences/" + encodeURIComponent(page.sequenceId)) : null);
    } while (page.sequenceAgain);
  } finally {
    page.sequenceBusy = false;
  }
}

function cell(tr, value) {
  const td = document.createElement("td");
  text(td, value == null ? "" : String(value));
  tr.append(td);
  return td;
}

const stateClass = (state) => "st-" + state.replace(/[^a-z]+/g, "-");

// A sequence's injection is a run as any other for the Run and Sampler panels: from the
// injection on, its row's method and vial are the run shown.
// The steps are told by their step_id: the prose step is for people and may be reworded.
const SEQUENCE_IN_RUN = ["injecting", "awaiting_answer", "in_run", "writing_results"];
const SEQUENCE_INJECTED = ["in_run", "writing_results"];
function rememberSequenceInjection(s) {
  const current = s && s.current;
  if (!current || !SEQUENCE_IN_RUN.includes(current.step_id)) { page.sequenceInjecting = null; return; }
  const row = s.rows[current.row - 1];
  rememberRun({ id: s.id + "/" + current.row + "/" + current.injection, method: row.method, vial: row.vial, volume: row.volume });
  page.sequenceInjecting = SEQUENCE_INJECTED.includes(current.step_id) ? null : row.vial;
  if (page.status) showStatus(page.status);
}

function showSequence(s) {
  page.sequence = s;
  const state = s ? s.state : "none";
  const stateEl = $("sequence-state");
  text(stateEl, state);
  stateEl.className = "state " + stateClass(state);
  stateEl.dataset.state = state;
  text($("sequence-info"), s ? s.name + " · " + s.file + " · on error: " + s.on_error + " · " + s.id : "no sequence yet");

  // Where it is, and the last thing it said (a "waiting" notice names what is not ready).
  rememberSequenceInjection(s);
  const step = $("sequence-step");
  step.replaceChildren();
  if (s && s.current) step.append("Row " + s.current.row + ", injection " + s.current.injection + ": " + s.current.step);
  else if (s && s.next && state === "paused") step.append("Next: row " + s.next.row + ", injection " + s.next.injection + " (" + s.next.action + ")");
  const e = page.sequenceEvent;
  if (s && e && e.sequence === s.id) {
    const last = document.createElement("span");
    last.className = "muted";
    text(last, (step.textContent ? " · " : "") + "last: " + new Date(e.time_ms).toLocaleTimeString() + " " + e.step +
         (e.row ? " row " + e.row : "") + (e.text ? ": " + e.text : ""));
    step.append(last);
  }

  const reason = $("sequence-reason");
  reason.replaceChildren();
  if (s && s.reason && state !== "running" && state !== "finished") {
    const li = document.createElement("li");
    li.className = state === "aborted" || state === "aborting" ? "bad" : "warn";
    const b = document.createElement("strong");
    text(b, (state === "aborted" || state === "aborting" ? "Aborted:" : "Paused:"));
    li.append(b, " " + s.reason);
    reason.append(li);
  }

  const body = $("sequence-rows");
  body.replaceChildren();
  let folder = "";
  for (const r of s ? s.rows : []) {
    const tr = document.createElement("tr");
    tr.dataset.state = r.state;
    if (s.current && s.current.row === r.row) tr.className = "current";
    [r.row, r.vial, r.method, r.volume, r.sample].forEach((v) => cell(tr, v));
    const badge = document.createElement("span");
    badge.className = "row-state " + stateClass(r.state);
    text(badge, r.state);
    cell(tr, "").append(badge);
    const injections = cell(tr, "");
    for (const i of r.injections) {
      const line = document.createElement("div");
      line.dataset.state = i.state;
      line.append("#" + i.injection + " " + i.state);
      if (i.record) {
        const parts = i.record.replace(/\/$/, "").split("/");
        const code = document.createElement("code");
        text(code, parts.pop() + "/");
        code.title = i.record;
        line.append(" → ", code);
        folder = folder || parts.join("/");
      }
      injections.append(line);
    }
    body.append(tr);
  }
  $("sequence-table").hidden = !s;
  text($("sequence-folder"), s ? s.rows.length + (s.rows.length === 1 ? " row" : " rows") + (folder ? "; results in " + folder : "") : "");

  // The controls the state (and the role) allows; the service still has the last word.
  allow("sequence-pause", state === "running");
  allow("sequence-resume", state === "paused");
  allow("sequence-skip", state === "paused");
  allow("sequence-abort", ["running", "pausing", "paused"].includes(state));
  allow("sequence-submit", !SEQUENCE_UNDER_WAY.includes(state));
  page.sequenceState = state;
}

async function startSequence(event) {
  event.preventDefault();
  const file = $("sequence-file").files[0];
  if (!file) return;
  const result = $("sequence-result");
  result.replaceChildren();
  result.className = "";
  const answer = await post("/api/v1/sequences?file=" + encodeURIComponent(file.name), await file.text(),
                            "application/toml", result);
  if (answer.status === 400) result.append(fileError(answer.body, file.name, "nothing was started"));
  if (answer.status !== 201) return;
  sequenceSay("Started " + file.name + ".", true);
  await loadSequence(answer.body.id);
}

async function sequenceAction(action) {
  if (!page.sequence) return;
  const body = action === "resume" && $("sequence-skip").checked ? '{"skip_row":true}' : "{}";
  const answer = await post("/api/v1/sequences/" + encodeURIComponent(page.sequence.id) + "/" + action, body,
                            undefined, $("sequence-result"));
  if (answer.status === 400) sequenceSay("Refused: " + answer.body.error, false);
  if (answer.status !== 200) return;
  sequenceSay(action + " done.", true);
  $("sequence-skip").checked = false;
  await loadSequence();
}

// ---- comms log -------------------------------------------------------------------------

function addLog(entry) {
  const list = $("log");
  const follow = $("log-follow").checked;
  const li = document.createElement("li");
  li.className = "s" + (entry.severity === 1 ? 1 : 2);
  if (entry.time) {
    const t = document.createElement("span");
    t.className = "time";
    text(t, clock(entry.time) + " ");
    li.append(t);
  }
  li.append((entry.source ? entry.source + ": " : "") + entry.text);
  list.append(li);
  while (list.children.length > LOG_LINES) list.firstChild.remove();
  if (follow) list.scrollTop = list.scrollHeight;
}

async function loadLogTail() {
  const res = await fetch("/api/v1/log?lines=100", { headers: authorized() });
  const lines = (await res.text()).split("\n").filter((l) => l.trim());
  $("log").replaceChildren();
  for (const line of lines) addLog({ severity: 2, text: line });
}

// ---- the event stream ------------------------------------------------------------------

function banner(message) {
  const el = $("connection");
  el.hidden = !message;
  text(el, message || "");
}

// Everything the stream does not replay is read again when it (re)connects: the service
// may have restarted in between.
function refresh() {
  return Promise.allSettled([loadHistory(), loadMethods(), loadLogTail(), loadSequence(null)]);
}

const EVENT_HANDLERS = {
  status: (s) => { showStatus(s); addReading(s); },
  run: addRunState,
  job: followJob,
  log: addLog,
  sequence: (e) => {
    page.sequenceEvent = e;
    loadSequence(e.sequence).catch(() => {});
  },
  lock: (l) => addLog({ severity: 1, source: "lock", text: l.locked ? "a method download holds the instrument" : "the instrument is free", time: new Date().toISOString() }),
};

// One event of the stream ("id:", "event:" and "data:" lines) to its handler.
function dispatch(block) {
  let name = "message", data = "";
  for (const line of block.split("\n")) {
    const colon = line.indexOf(":");
    const field = colon < 0 ? line : line.slice(0, colon);
    const value = colon < 0 ? "" : line.slice(colon + 1).replace(/^ /, "");
    if (field === "id") page.lastEventId = value;
    else if (field === "event") name = value;
    else if (field === "data") data += (data ? "\n" : "") + value;
  }
  const handler = EVENT_HANDLERS[name];
  if (!handler || !data) return;
  try { handler(JSON.parse(data)); } catch (err) { console.warn(name, err); }
}

// Reads the event stream until it ends. fetch() rather than EventSource, which cannot send
// the token; it resumes after the last event seen, as EventSource would.
async function follow(stream) {
  const headers = authorized();
  if (page.lastEventId) headers["Last-Event-ID"] = page.lastEventId;
  const res = await fetch("/api/v1/events", { headers, signal: stream.signal, cache: "no-store" });
  if (!res.ok || !res.body) {
    throw new Error(res.status === 401 || res.status === 403
      ? "The service wants a token to be watched: enter it under Control."
      : "The event stream was refused (" + res.status + "); reconnecting…");
  }
  banner("");
  askWhoami();
  refresh();
  const reader = res.body.pipeThrough(new TextDecoderStream()).getReader();
  let pending = "";
  for (;;) {
    const { value, done } = await reader.read();
    if (done) throw new Error("The connection to the service is lost; reconnecting…");
    pending += value;
    for (let end; (end = pending.indexOf("\n\n")) >= 0; pending = pending.slice(end + 2))
      dispatch(pending.slice(0, end));
  }
}

function connect() {
  if (page.source) page.source.abort();
  const stream = new AbortController();
  page.source = stream;
  follow(stream).catch((e) => {
    if (page.source !== stream) return;  // replaced: a new token, say
    banner(e.name === "TypeError" ? "The connection to the service is lost; reconnecting…" : e.message);
    setTimeout(() => { if (page.source === stream) connect(); }, 2000);
  });
}

// ---- wiring ----------------------------------------------------------------------------

function wire() {
  $("token").value = token();
  $("token-form").addEventListener("submit", (e) => {
    e.preventDefault();
    localStorage.setItem(TOKEN_KEY, $("token").value.trim());
    say("The token is kept in this browser.", true);
    connect();  // the stream again, with the token
  });
  $("run-form").addEventListener("submit", async (e) => {
    e.preventDefault();
    const body = { method: $("run-method-choice").value, vial: Number($("vial").value) };
    if ($("volume").value !== "") body.volume = Number($("volume").value);
    const answer = await post("/api/v1/run", JSON.stringify(body));
    if (answer.status === 202) accepted(answer, "Run of " + body.method + " on vial " + body.vial + " requested.");
    else if (answer.status === 400) say("Refused: " + answer.body.error, false);
  });
  const simple = (id, path, body, words) => $(id).addEventListener("click", async () => {
    const answer = await post(path, body);
    if (answer.status === 202) accepted(answer, words);
    else if (answer.status === 400) say("Refused: " + answer.body.error, false);
  });
  simple("stop", "/api/v1/stop", "", "Stop requested.");
  simple("reset", "/api/v1/reset", "", "Sampler reset requested.");
  simple("zones-on", "/api/v1/zones", '{"on":true}', "Zones on requested.");
  simple("zones-off", "/api/v1/zones", '{"on":false}', "Zones off requested.");
  $("upload-form").addEventListener("submit", (e) => upload(e).catch((err) => say(err.message, false)));
  $("upload-file").addEventListener("change", () => {
    const f = $("upload-file").files[0];
    if (f) $("upload-name").value = f.name.replace(/\.toml$/, "");
  });
  $("sequence-form").addEventListener("submit", (e) => startSequence(e).catch((err) => sequenceSay(err.message, false)));
  for (const action of ["pause", "resume", "abort"])
    $("sequence-" + action).addEventListener("click", () => sequenceAction(action).catch((err) => sequenceSay(err.message, false)));
  $("load").addEventListener("click", () => loadShown().catch((err) => say(err.message, false)));
  $("window").addEventListener("change", () => {
    page.windowS = Number($("window").value);
    loadHistory().catch(() => {});
  });
  $("log-filter").addEventListener("change", () => $("log").classList.toggle("only1", $("log-filter").value === "1"));
}

wire();
if (window.Chart) makeChart();
else banner("Chart.js is missing on the service (libjs-chart.js); the chart is not shown.");
connect();
// The chart's time axis is "before now": it moves on even when nothing new comes.
setInterval(() => {
  drawChart();
  if (page.status) { showLine(page.status); showProgress(page.status, page.status.run_state || "idle"); }
}, 1000);
