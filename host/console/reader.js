// The module's documents as XML elements. The host sends a document as elements when it
// is well-formed and as text otherwise (a value holding markup, or more elements than the
// host reads); text is read as XML when it can be, and else by a tolerant reader that
// knows only the documents' own vocabulary: anything else in it, a setting's "<img ...>"
// included, stays text.
const VOCABULARY = new Set([
  "QMSDIALOG", "QMSDIALOGBAR", "QMSSTATIC", "QMSDIALOGCONTENT", "ADMINSESSIONLIST",
  "ADMINJOBLIST", "SESSION", "SELF", "QMSGROUPS", "JOBLIST", "JOB", "QMSMENU", "QMSMENUITEM",
  "SoapObject", "SoapMethod", "QMSSPREADSHEET", "LABELING", "INFOBOX", "HEADER", "VARINFO",
  "VARDATA", "VARNAME", "VFORMAT", "CONTENT", "RFORMAT", "ROW", "CASENAME", "CELL", "TR", "TD",
  "QMSBUTTON", "QMSIMAGE", "IdentityToken", "TABLE",
]);
const isKnown = (name) => VOCABULARY.has(name) || /^QMS_[A-Z]+$/.test(name);

// A tag with double-quoted attributes only; the module writes no other form.
const TAG = /<(\/?)([A-Za-z_][\w.:-]*)((?:\s+[\w:.-]+\s*=\s*"[^"]*")*)\s*(\/?)>/g;
const ATTRIBUTE = /([\w:.-]+)\s*=\s*"([^"]*)"/g;
const ENTITIES = { lt: "<", gt: ">", amp: "&", quot: '"', apos: "'" };

function decode(text) {
  return text.replace(/&(#x[0-9a-fA-F]+|#\d+|lt|gt|amp|quot|apos);/g, (whole, name) => {
    if (name[0] !== "#") return ENTITIES[name];
    const code = name[1] === "x" ? parseInt(name.slice(2), 16) : parseInt(name.slice(1), 10);
    return code > 0 && code <= 0x10ffff ? String.fromCodePoint(code) : whole;
  });
}

export function readTolerantly(text) {
  const doc = document.implementation.createDocument(null, "XMLDATA", null);
  const stack = [doc.documentElement];
  const top = () => stack[stack.length - 1];
  const addText = (piece) => {
    if (piece) top().appendChild(doc.createTextNode(decode(piece)));
  };
  let at = 0;
  for (const match of text.matchAll(TAG)) {
    const [whole, closing, name, attributes, selfClosing] = match;
    const opened = stack.findLastIndex((element) => element.nodeName === name);
    const known = isKnown(name) && (!closing || opened > 0) && !(closing && selfClosing);
    if (!known) continue;  // left in the text around it
    addText(text.slice(at, match.index));
    at = match.index + whole.length;
    if (closing) {
      stack.length = opened;
      continue;
    }
    const element = doc.createElementNS(null, name);
    for (const [, attribute, value] of attributes.matchAll(ATTRIBUTE)) {
      if (!attribute.startsWith("xmlns")) element.setAttribute(attribute, decode(value));
    }
    top().appendChild(element);
    if (!selfClosing) stack.push(element);
  }
  addText(text.slice(at));
  return [...doc.documentElement.children];
}

// The top-level elements of the XMLDATA parameter of a method's answer.
export function documentElements(answer) {
  const xmldata = [...answer.children].find((child) => child.localName === "XMLDATA");
  if (!xmldata) return [];
  if (xmldata.firstElementChild) return [...xmldata.children];
  const text = xmldata.textContent;
  if (!text.trim()) return [];
  const parsed = new DOMParser().parseFromString(`<XMLDATA>${text}</XMLDATA>`, "text/xml");
  if (parsed.getElementsByTagName("parsererror").length === 0) {
    return [...parsed.documentElement.children];
  }
  return readTolerantly(text);
}

export const child = (element, name) =>
  element && [...element.children].find((c) => c.localName === name);
export const childrenNamed = (element, name) =>
  element ? [...element.children].filter((c) => c.localName === name) : [];
