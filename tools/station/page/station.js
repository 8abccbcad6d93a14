// The station's page: draws the board's JSON at each event from the station, says
// when the connection is lost and when it is back, and sends the controls with
// the token that the station put into the page. Text from the station is only
// ever set as text, never as markup.
"use strict";

const token = document.querySelector('meta[name="station-token"]').content;
let station = null;   // the id of the station run the page was served by
let lost = false;
let backTimer = null;

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (text !== undefined) made.textContent = text;
  return made;
}

function duration(seconds) {
  const total = Math.max(0, Math.round(seconds));
  const minutes = Math.floor(total / 60);
  const rest = String(total % 60).padStart(2, "0");
  return minutes >= 60
    ? Math.floor(minutes / 60) + ":" + String(minutes % 60).padStart(2, "0") + ":" + rest
    : minutes + ":" + rest;
}

function connection(text, kind) {
  const banner = document.getElementById("connection");
  banner.textContent = text;
  banner.className = "connection " + kind;
  banner.hidden = text === "";
}

function control(path) {
  return fetch(path, { method: "POST", headers: { "X-Station-Token": token }, body: "{}" });
}

function showFile(file) {
  const facts = document.getElementById("file-facts");
  facts.replaceChildren();
  if (!file) return;
  document.getElementById("file-name").textContent = file.name;
  const targets = file.targets.map((target) => target.id + " " + target.name).join(", ");
  for (const fact of ["format " + file.format, file.targets.length + " targets: " + targets,
                      "SHA-256 " + file.sha256.slice(0, 12), "checksum " + file.checksum,
                      "signature " + file.signature]) {
    facts.append(element("span", "", fact));
  }
}

function tileState(port) {
  switch (port.state) {
    case "updating": return "target " + port.target + " of " + port.targets + " · " + port.percent + " %";
    case "waiting": return "waiting for a device";
    default: return port.state;
  }
}

function tileDetail(port) {
  if (port.state === "updating") {
    return port.secondsLeft === null ? "" : duration(port.secondsLeft) + " left";
  }
  if (port.state === "failed") return port.status;
  if (port.state === "passed") return "next device: switch it on";
  return port.note;
}

// A tile is made once per port and then updated in place, so that its button
// stays the same element between events (a press is never lost to a redraw).
function makeTile(index) {
  const tile = element("div", "tile");
  tile.dataset.port = index;
  for (const part of ["label", "path", "state", "detail progress"]) tile.append(element("div", part));
  const bar = element("div", "bar");
  bar.append(element("div"));
  tile.append(bar, element("div", "detail status"), element("div", "counts"));
  const button = element("button", "pause");
  button.type = "button";
  button.addEventListener("click", () =>
    control("/api/ports/" + index + (tile.dataset.paused === "true" ? "/resume" : "/pause")));
  tile.append(button);
  return tile;
}

function showTile(tile, port, controls) {
  tile.className = "tile " + port.state;
  tile.dataset.state = port.state;
  tile.dataset.paused = port.paused;
  tile.querySelector(".label").textContent = port.label;
  tile.querySelector(".path").textContent = port.path;
  tile.querySelector(".state").textContent = port.state;
  tile.querySelector(".progress").textContent = port.state === "updating" ? tileState(port) : "";
  tile.querySelector(".bar div").style.width =
    (port.state === "updating" ? port.percent : port.state === "passed" ? 100 : 0) + "%";
  tile.querySelector(".status").textContent = tileDetail(port);
  tile.querySelector(".counts").textContent =
    port.passed + " passed, " + port.failed + " failed" + (port.paused ? " · paused" : "");
  const button = tile.querySelector("button.pause");
  button.textContent = port.paused ? "Resume" : "Pause";
  button.hidden = !controls || port.state === "stopped";
}

function showTiles(ports, controls) {
  const tiles = document.getElementById("tiles");
  if (tiles.children.length !== ports.length) {
    tiles.replaceChildren(...ports.map((port, index) => makeTile(index)));
  }
  ports.forEach((port, index) => showTile(tiles.children[index], port, controls));
}

function showResults(results) {
  const body = document.querySelector("#results tbody");
  body.replaceChildren();
  for (const result of results) {
    const row = element("tr");
    row.append(element("td", "", new Date(result.start).toLocaleTimeString()),
               element("td", "", result.label),
               element("td", result.outcome, result.outcome),
               element("td", "", duration(result.seconds)),
               element("td", "", result.status));
    row.dataset.start = result.start;
    row.dataset.port = result.port;
    body.append(row);
  }
}

function show(state) {
  showFile(state.file);
  document.getElementById("total-passed").textContent = state.totals.passed;
  document.getElementById("total-failed").textContent = state.totals.failed;
  document.getElementById("total-rate").textContent = state.totals.perHour;
  const controls = token !== "" && state.control && !state.ended;
  const stop = document.getElementById("stop-line");
  stop.hidden = !controls;
  stop.disabled = state.stopping;
  const line = document.getElementById("line-state");
  line.textContent = state.ended ? "The line has ended." :
    state.stopping ? "Stopping: the line ends once the running updates have finished." : "";
  line.hidden = line.textContent === "";
  showTiles(state.ports, controls);
  showResults(state.results);
}

function follow() {
  const events = new EventSource("/api/events");
  events.onopen = () => {
    if (!lost) return;
    lost = false;
    connection("Connection to the station is back.", "back");
    clearTimeout(backTimer);
    backTimer = setTimeout(() => connection("", ""), 4000);
  };
  events.onmessage = (message) => {
    const state = JSON.parse(message.data);
    if (station !== null && state.station !== station) {
      // A new run of the station: its controls take a new token.
      connection("The station was restarted: loading its page again.", "back");
      events.close();
      setTimeout(() => location.reload(), 1000);
      return;
    }
    station = state.station;
    show(state);
  };
  events.onerror = () => {
    lost = true;
    clearTimeout(backTimer);
    connection("Connection to the station lost: what is shown may be out of date. Trying again…", "lost");
  };
}

document.getElementById("stop-line").addEventListener("click", () => {
  if (confirm("Stop the line? Running updates finish; no port starts another device.")) {
    control("/api/stop");
  }
});
follow();
