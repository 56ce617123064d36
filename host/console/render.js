// One renderer for each document type the module answers, driven by the document alone.
// Everything is built with DOM calls and textContent: no server text is ever read as HTML.
import { child, childrenNamed } from "./reader.js";

const CHUNK = 500;  // rows built between two yields to the page

function el(name, props = {}, ...children) {
  const node = document.createElement(name);
  for (const [key, value] of Object.entries(props)) {
    if (key === "text") node.textContent = value;
    else if (key === "class") node.className = value;
    else if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
    else node.setAttribute(key, value);
  }
  for (const c of children) if (c) node.append(c);
  return node;
}

const text = (element) => (element ? element.textContent.trim() : "");
const attr = (element, name) => (element && element.getAttribute(name)) || "";

// A table whose rows are built in chunks, each chunk in a fragment, yielding between
// chunks so that a long listing never holds the page. The promise it registers in
// `ctx.pending` ends when the last row is in.
function rowTable(ctx, { caption, headers, rows, makeRow, label }) {
  const body = el("tbody");
  const table = el("table", { class: "grid", "aria-label": label || caption || "Listing" },
                   caption ? el("caption", { text: caption }) : null,
                   el("thead", {}, el("tr", {}, ...headers.map((h) => el("th", { scope: "col", text: h })))),
                   body);
  table.dataset.rows = String(rows.length);
  const fill = async () => {
    for (let start = 0; start < rows.length; start += CHUNK) {
      if (start > 0) await new Promise((resolve) => setTimeout(resolve, 0));
      if (ctx.cancelled()) return;
      const began = performance.now();
      const fragment = document.createDocumentFragment();
      for (const row of rows.slice(start, start + CHUNK)) fragment.append(makeRow(row));
      body.append(fragment);
      ctx.longestChunk = Math.max(ctx.longestChunk || 0, performance.now() - began);
    }
  };
  ctx.pending.push(fill());
  return table;
}

// An element shown in one cell: its attributes, its text, or the names of its children.
function describe(element) {
  const parts = [...element.attributes].map((a) => `${a.name}=${a.value}`);
  if (element.children.length === 0 && text(element)) parts.push(text(element));
  return parts.join(" ");
}

const isEmpty = (element) =>
  element.children.length === 0 && element.attributes.length === 0 && !text(element);

// A kind of child that is always empty (SELF) is a flag; an empty list is an empty cell.
function listingCell(element, flag) {
  if (!element) return el("td");
  if (flag) return el("td", { class: "flag", text: "yes" });
  if (element.children.length === 0) return el("td", { text: describe(element) });
  const items = [...element.children].map((c) => el("li", { text: describe(c) || c.localName }));
  return el("td", {}, el("ul", { class: "inline-list" }, ...items));
}

// A listing: one row per child element, one column per attribute, then one per kind of
// child element (SELF, QMSGROUPS, JOBLIST...), in the order they first appear.
function renderListing(listing, ctx) {
  const rows = [...listing.children];
  const attributes = [];
  const kinds = [];
  const filled = new Set();
  for (const row of rows) {
    for (const a of row.attributes) if (!attributes.includes(a.name)) attributes.push(a.name);
    for (const c of row.children) {
      if (!kinds.includes(c.localName)) kinds.push(c.localName);
      if (!isEmpty(c)) filled.add(c.localName);
    }
  }
  if (rows.length === 0) return el("p", { class: "empty", text: `${listing.localName}: none` });
  return rowTable(ctx, {
    label: listing.localName,
    headers: [...attributes, ...kinds],
    rows,
    makeRow: (row) => {
      const tr = el("tr", child(row, "SELF") ? { class: "self" } : {});
      for (const a of attributes) tr.append(el("td", { text: row.getAttribute(a) ?? "" }));
      for (const k of kinds) tr.append(listingCell(child(row, k), !filled.has(k)));
      return tr;
    },
  });
}

function renderDialog(dialog, ctx) {
  const section = el("section", { class: "dialog" });
  const bar = child(dialog, "QMSDIALOGBAR");
  if (bar) {
    const titleBar = el("div", { class: "dialog-bar" });
    for (const s of childrenNamed(bar, "QMSSTATIC")) {
      const span = el("span", { text: attr(s, "text") });
      const colour = attr(s, "txtcolor");
      if (/^#[0-9a-fA-F]{6}$/.test(colour)) span.style.color = colour;
      const size = parseInt(attr(s, "fontsize"), 10);
      if (size >= 6 && size <= 48) span.style.fontSize = `${size}pt`;
      titleBar.append(span);
    }
    section.append(titleBar);
  }
  for (const listing of child(dialog, "QMSDIALOGCONTENT")?.children ?? []) {
    section.append(renderListing(listing, ctx));
  }
  return section;
}

// The sheet's variables and rows. ROW rows carry a CASENAME; TR rows of a class listing
// begin with the first property's name when they hold one cell more than the variables.
function readSheet(sheet) {
  const variables = childrenNamed(child(sheet, "VARINFO"), "VARDATA").map((v) => ({
    name: text(child(v, "VARNAME")),
    editable: attr(child(v, "VFORMAT"), "sp:edit") !== "no",
  }));
  const rows = [...(child(child(sheet, "CONTENT"), "RFORMAT")?.children ?? [])].map((row) => {
    if (row.localName === "ROW") {
      return { name: text(child(row, "CASENAME")), cells: childrenNamed(row, "CELL").map(text) };
    }
    let cells = childrenNamed(row, "TD").map(text);
    if (cells.length === variables.length + 1) cells = cells.slice(1);
    return { name: null, cells };
  });
  return { variables, rows };
}

function renderSheet(sheet, button, ctx) {
  const labeling = child(sheet, "LABELING");
  const section = el("section", { class: "sheet" });
  const info = text(child(labeling, "INFOBOX"));
  if (info) section.append(el("p", { class: "infobox", text: info }));
  const { variables, rows } = readSheet(sheet);
  const cased = rows.some((r) => r.name !== null);
  const editable = Boolean(button);
  const headers = [...(cased ? ["Case"] : []), ...variables.map((v) => v.name)];
  const caption = text(child(labeling, "HEADER"));
  if (rows.length === 0) {
    section.append(el("p", { class: "empty", text: `${caption || "Sheet"}: no rows` }));
    return section;
  }
  const inputs = [];
  section.append(rowTable(ctx, {
    caption, headers, rows, label: caption || "Sheet",
    makeRow: (row) => {
      const tr = el("tr");
      if (cased) {
        const th = el("th", { scope: "row" });
        th.append(editable && variables.length
          ? el("button", { type: "button", class: "link", text: row.name,
                           "aria-label": `Open ${row.name}`,
                           onclick: () => ctx.postEdits(button, [[row.name, variables[0].name, row.name]]) })
          : row.name);
        tr.append(th);
      }
      row.cells.forEach((value, i) => {
        const variable = variables[i] || { name: `Column ${i + 1}`, editable: false };
        if (!editable || !variable.editable) {
          tr.append(el("td", { text: value }));
          return;
        }
        const input = el("input", { value, "aria-label": `${variable.name} of ${row.name ?? i + 1}` });
        input.dataset.row = row.name ?? String(i);
        input.dataset.column = variable.name;
        inputs.push(input);
        tr.append(el("td", {}, input));
      });
      return tr;
    },
  }));
  if (editable) {
    section.append(el("button", {
      type: "button", class: "apply", text: attr(button, "text") || "Apply Changes",
      onclick: () => ctx.postEdits(button, inputs.filter((i) => i.value !== i.defaultValue)
        .map((i) => [i.dataset.row, i.dataset.column, i.value])),
    }));
  }
  return section;
}

const SETTING_COLUMNS = ["Name", "Description", "Responsible", "Type", "Value"];

// The settings table: one TR per setting, its five cells in SETTING_COLUMNS order; the
// value is edited through PutMetadata, which finds the setting by the name before the
// first underscore, so a name holding one cannot be changed there.
function renderSettings(table, ctx) {
  const rows = childrenNamed(table, "TR").map((tr) => childrenNamed(tr, "TD").map(text));
  const inputs = [];
  const section = el("section", { class: "settings" });
  section.append(rowTable(ctx, {
    caption: "Settings", headers: SETTING_COLUMNS, rows,
    makeRow: (cells) => {
      const [name] = cells;
      const tr = el("tr");
      cells.slice(0, 4).forEach((c, i) => tr.append(el(i === 0 ? "th" : "td", i === 0 ? { scope: "row", text: c } : { text: c })));
      const input = el("input", { value: cells[4] ?? "", "aria-label": `Value of ${name}` });
      input.dataset.setting = name;
      if (name.includes("_")) {
        input.readOnly = true;
        input.title = "PutMetadata cannot change a setting whose name holds an underscore";
      } else {
        inputs.push(input);
      }
      tr.append(el("td", {}, input));
      return tr;
    },
  }));
  section.append(el("button", {
    type: "button", class: "apply", text: "Apply Changes",
    onclick: () => ctx.putSettings(inputs.filter((i) => i.value !== i.defaultValue)
      .map((i) => [i.dataset.setting, i.value])),
  }));
  return section;
}

// A document of a type this console does not know: its tree, as text.
function renderTree(element) {
  const item = el("li", {}, el("code", { text: element.localName }), " ", describe(element));
  if (element.children.length) item.append(el("ul", {}, ...[...element.children].map(renderTree)));
  return item;
}

// ctx: { pending: [], cancelled(), postEdits(button, edits), putSettings(edits) }; the
// renderers add longestChunk, the longest time in ms the page was held by one chunk.
export function renderDocument(elements, ctx) {
  const fragment = document.createDocumentFragment();
  elements.forEach((element, i) => {
    switch (element.localName) {
      case "QMSMENU":
      case "QMSBUTTON":
        break;  // the menu is the navigation; a button belongs to the sheet before it
      case "QMSDIALOG":
        fragment.append(renderDialog(element, ctx));
        break;
      case "QMSSPREADSHEET": {
        const next = elements[i + 1];
        fragment.append(renderSheet(element, next?.localName === "QMSBUTTON" ? next : null, ctx));
        break;
      }
      case "TABLE":
        fragment.append(renderSettings(element, ctx));
        break;
      default:
        fragment.append(el("ul", { class: "tree" }, renderTree(element)));
    }
  });
  return fragment;
}

// A document can be edited when it has a button or is the settings table; the others are
// listings that the console keeps up to date.
export function isLive(elements) {
  return elements.length > 0 &&
    !elements.some((e) => e.localName === "QMSBUTTON" || e.localName === "TABLE");
}

// The menu items of the module's QMSMENU: [{text, object, method}].
export function menuItems(elements) {
  const menu = elements.find((e) => e.localName === "QMSMENU");
  return childrenNamed(menu, "QMSMENUITEM").map((item) => ({
    text: attr(item, "text"),
    object: text(child(item, "SoapObject")),
    method: text(child(item, "SoapMethod")),
  })).filter((item) => item.object && item.method);
}

export { el };
