// The console's state: the session (its token kept for this tab only), the module's own
// menu, the view on show and its refresh timer.
import { call, parameterText, SoapFault } from "./soap.js";
import { documentElements } from "./reader.js";
import { el, isLive, menuItems, renderDocument } from "./render.js";

const $ = (id) => document.getElementById(id);
const REFRESH_MS = 5000;
const TOKEN = "quillmere.token";
const USER = "quillmere.user";
const DENIED = "Permission Denied";

let current = null;  // {object, method, text, extra}: what the view shows
let menu = [];  // the module's menu items: the views a URL may name
let generation = 0;  // a newer view makes older answers and renderings void
let timer = null;
let paused = false;

const token = () => sessionStorage.getItem(TOKEN) || "";
const identity = (value = token()) => ({ name: "IdentityToken", value });

function showMessage(text) {
  $("view-message").textContent = text;
  $("view-message").hidden = !text;
}

function stopTimer() {
  clearTimeout(timer);
  timer = null;
}

function showLogon(reason) {
  stopTimer();
  generation++;
  sessionStorage.removeItem(TOKEN);
  sessionStorage.removeItem(USER);
  current = null;
  menu = [];
  $("view").replaceChildren();
  $("menu").replaceChildren();
  $("console-page").hidden = true;
  $("who").hidden = true;
  $("logon-page").hidden = false;
  $("logon-reason").textContent = reason || "";
  $("logon-reason").hidden = !reason;
  $("logon-password").value = "";
  $("logon-user").focus();
}

// "Permission Denied" is the answer both to a caller who may not call the method and to
// a token whose session is over; a call every live session may make tells them apart.
async function sessionIsLive() {
  try {
    await call("Host", "CancelJob", [identity(), { name: "JobId", value: "" }]);
    return true;
  } catch (fault) {
    return !(fault instanceof SoapFault && fault.message === DENIED);
  }
}

async function failed(error) {
  if (!(error instanceof SoapFault)) {
    showMessage(`The console failed: ${error.message || error}`);
    return;
  }
  if (error.message === DENIED) {
    if (!(await sessionIsLive())) {
      showLogon("Your session has timed out or has been logged off. Log on again.");
      return;
    }
    showMessage(`${DENIED}: this needs a member of QMS_ADMIN, and ${sessionStorage.getItem(USER) || "your user"} is not one.`);
    return;
  }
  showMessage(error.detail ? `${error.message}: ${error.detail}` : error.message);
}

// A view of the menu has a URL of its own, "#/<object>/<method>", for reloading, bookmarks
// and the browser's back and forward. Only an item of the module's menu opens so: a link
// cannot make the console call anything else.
const hashOf = (item) => `#/${item.object}/${item.method}`;
const itemOf = (hash) => menu.find((item) => hashOf(item) === hash);

function buildMenu(items) {
  menu = items;
  const list = el("ul", { class: "menu-list" });
  for (const item of items) {
    const button = el("button", { type: "button", text: item.text || item.method,
                                  onclick: () => open(item) });
    button.dataset.object = item.object;
    button.dataset.method = item.method;
    list.append(el("li", {}, button));
  }
  // Up and down move between the items, Home and End to the first and the last.
  list.addEventListener("keydown", (event) => {
    const buttons = [...list.querySelectorAll("button")];
    const at = buttons.indexOf(document.activeElement);
    const to = { ArrowDown: at + 1, ArrowUp: at - 1, Home: 0, End: buttons.length - 1 }[event.key];
    if (at < 0 || to === undefined) return;
    event.preventDefault();
    buttons[(to + buttons.length) % buttons.length].focus();
  });
  $("menu").replaceChildren(list);
  markCurrent();
}

function markCurrent() {
  for (const button of $("menu").querySelectorAll("button")) {
    const on = current && button.dataset.object === current.object &&
               button.dataset.method === current.method;
    if (on) button.setAttribute("aria-current", "page");
    else button.removeAttribute("aria-current");
  }
}

function schedule(live) {
  stopTimer();
  $("pause").hidden = !live;
  $("refresh").hidden = !live;
  $("live-status").textContent = !live ? "" : paused ? "Refresh paused" :
    `Refreshed ${new Date().toLocaleTimeString()}; every ${REFRESH_MS / 1000} s`;
  if (live && !paused) timer = setTimeout(() => show({ refresh: true }), REFRESH_MS);
}

// Calls the current view's method and replaces the view with its answer.
async function show({ refresh = false } = {}) {
  const mine = ++generation;
  stopTimer();
  const view = $("view");
  view.setAttribute("aria-busy", "true");
  try {
    const answer = await call(current.object, current.method,
                              [identity(current.token || token()), ...current.extra]);
    if (mine !== generation) return;
    const started = performance.now();
    const elements = documentElements(answer);
    const items = menuItems(elements);
    if (items.length) buildMenu(items);
    const ctx = { pending: [], cancelled: () => mine !== generation, postEdits, putSettings };
    const scroll = window.scrollY;
    view.replaceChildren(renderDocument(elements, ctx));
    await Promise.all(ctx.pending);
    if (mine !== generation) return;
    const ms = performance.now() - started;
    const rows = [...view.querySelectorAll("table")].reduce((n, t) => n + Number(t.dataset.rows), 0);
    view.dataset.renderMs = ms.toFixed(1);
    view.dataset.longestChunkMs = (ctx.longestChunk || 0).toFixed(1);
    view.dataset.renders = String(Number(view.dataset.renders || 0) + 1);
    console.info(`rendered ${current.object}#${current.method}: ${rows} rows in ${ms.toFixed(1)} ms, ` +
                 `the page held ${view.dataset.longestChunkMs} ms at most`);
    if (refresh) window.scrollTo(0, scroll);
    else showMessage("");
    schedule(isLive(elements));
  } catch (error) {
    if (mine === generation) await failed(error);
  } finally {
    if (mine === generation) view.setAttribute("aria-busy", "false");
  }
}

function open(item, extra = []) {
  current = { ...item, extra };
  $("view-title").textContent = item.text || `${item.object} ${item.method}`;
  markCurrent();
  if (itemOf(hashOf(item)) && location.hash !== hashOf(item)) history.pushState(null, "", hashOf(item));
  return show().then(() => $("view-title").focus());
}

const XML_NAME = /^[A-Za-z_][A-Za-z0-9_.-]*$/;

// Edited cells go to the object, method and token the sheet's button names, one
// DELTACELL_<row>_<column> element each, the value in CDATA.
function postEdits(button, edits) {
  const field = (name) => [...button.children].find((c) => c.localName === name)?.textContent.trim() ?? "";
  if (edits.length === 0) return showMessage("Change a cell first, then apply.");
  const cells = [];
  for (const [row, column, value] of edits) {
    if (!XML_NAME.test(row) || !XML_NAME.test(column)) {
      return showMessage(`The cell ${row} / ${column} cannot be sent: its names are not XML names.`);
    }
    if (value.includes("]]>")) return showMessage("A value may not contain ]]>.");
    cells.push({ name: `DELTACELL_${row}_${column}`, value, cdata: true });
  }
  current = { object: field("SoapObject"), method: field("SoapMethod"), text: current?.text,
              token: field("IdentityToken"), extra: cells };
  markCurrent();
  return show();
}

// Each changed setting is one PutMetadata call (the method applies the first edited cell
// of a request); the last answer, the table as it now stands, replaces the view.
async function putSettings(edits) {
  if (edits.length === 0) return showMessage("Change a value first, then apply.");
  for (const [name, value] of edits.slice(0, -1)) {
    try {
      await call("WbemProvider", "PutMetadata",
                 [identity(), { name: `DELTACELL_${name}_Value`, value, cdata: true }]);
    } catch (error) {
      return failed(error);
    }
  }
  const [name, value] = edits[edits.length - 1];
  current = { object: "WbemProvider", method: "PutMetadata", text: current?.text,
              extra: [{ name: `DELTACELL_${name}_Value`, value, cdata: true }] };
  await show();
  // Once applied, the view is the settings as they stand: refreshing must not apply again.
  current = { object: "WbemProvider", method: "GetMetadata", text: current.text, extra: [] };
  markCurrent();
}

async function start() {
  $("logon-page").hidden = true;
  $("console-page").hidden = false;
  $("who").hidden = false;
  $("user-name").textContent = `Logged on as ${sessionStorage.getItem(USER) || ""}`;
  // The menu is the module's own, read with the user list; then the view the URL names.
  const wanted = location.hash;
  await open({ object: "Administrator", method: "UserList", text: "Users" });
  const item = itemOf(wanted);
  if (item && hashOf(item) !== hashOf(current)) await open(item);
  else if (itemOf(hashOf(current))) history.replaceState(null, "", hashOf(current));
}

window.addEventListener("popstate", () => {
  const item = itemOf(location.hash);
  if (item && token()) open(item);
});

$("logon-form").addEventListener("submit", async (event) => {
  event.preventDefault();
  const user = $("logon-user").value;
  $("logon-submit").disabled = true;
  try {
    const answer = await call("Host", "Logon", [{ name: "User", value: user },
                                                { name: "Password", value: $("logon-password").value }]);
    sessionStorage.setItem(TOKEN, parameterText(answer, "IdentityToken"));
    sessionStorage.setItem(USER, user);
    $("logon-password").value = "";
    await start();
  } catch (error) {
    $("logon-reason").textContent = error.detail ? `${error.message}: ${error.detail}` : error.message;
    $("logon-reason").hidden = false;
  } finally {
    $("logon-submit").disabled = false;
  }
});

$("logoff").addEventListener("click", async () => {
  try {
    await call("Host", "Logoff", [identity()]);
  } catch {
    // Over already: the form comes back all the same.
  }
  showLogon("You have logged off.");
});

$("pause").addEventListener("click", () => {
  paused = !paused;
  $("pause").setAttribute("aria-pressed", String(paused));
  $("pause").textContent = paused ? "Resume refresh" : "Pause refresh";
  if (paused) schedule(true);
  else show({ refresh: true });
});

$("refresh").addEventListener("click", () => show({ refresh: true }));

if (token()) start();
else showLogon("");
