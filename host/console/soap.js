// SOAP 1.1 over fetch to the host's endpoint, as any client calls it: the envelope is
// built as an XML document (so every value is escaped by the serializer), the answer is
// parsed as XML and a fault comes back as a SoapFault.
const ENVELOPE = "http://schemas.xmlsoap.org/soap/envelope/";
const ENDPOINT = "/soap";

export class SoapFault extends Error {
  constructor(code, text, detail) {
    super(text);
    this.code = code;
    this.detail = detail;
  }
}

// parameters: [{name, value, cdata}] in order; a name that is not an XML name throws.
export function envelope(object, method, parameters) {
  const doc = document.implementation.createDocument(ENVELOPE, "soap:Envelope", null);
  const body = doc.createElementNS(ENVELOPE, "soap:Body");
  const call = doc.createElementNS(`urn:quillmere:${object}`, `m:${method}`);
  for (const { name, value, cdata } of parameters) {
    const parameter = doc.createElementNS(null, name);
    parameter.appendChild(cdata ? doc.createCDATASection(value) : doc.createTextNode(value));
    call.appendChild(parameter);
  }
  body.appendChild(call);
  doc.documentElement.appendChild(body);
  return new XMLSerializer().serializeToString(doc);
}

function childText(parent, localName) {
  for (const child of parent.children) if (child.localName === localName) return child.textContent;
  return "";
}

// The method's answer element (e.g. m:UserListResponse).
export async function call(object, method, parameters = []) {
  let response;
  try {
    response = await fetch(ENDPOINT, {
      method: "POST",
      cache: "no-store",
      credentials: "same-origin",
      headers: {
        "Content-Type": "text/xml; charset=utf-8",
        SOAPAction: `"urn:quillmere:${object}#${method}"`,
      },
      body: envelope(object, method, parameters),
    });
  } catch (error) {
    throw new SoapFault("Network", "The server cannot be reached", String(error.message || ""));
  }
  const text = await response.text();
  const answer = new DOMParser().parseFromString(text, "text/xml");
  if (answer.getElementsByTagName("parsererror").length > 0) {
    throw new SoapFault("Server", `The server answered HTTP ${response.status} without a SOAP envelope`,
                        text.slice(0, 200));
  }
  const fault = answer.getElementsByTagNameNS(ENVELOPE, "Fault")[0];
  if (fault) {
    throw new SoapFault(childText(fault, "faultcode"), childText(fault, "faultstring"),
                        childText(fault, "detail"));
  }
  const body = answer.getElementsByTagNameNS(ENVELOPE, "Body")[0];
  if (!body || !body.firstElementChild) {
    throw new SoapFault("Server", "The answer has no body", "");
  }
  return body.firstElementChild;
}

export function parameterText(answer, name) {
  return childText(answer, name);
}
