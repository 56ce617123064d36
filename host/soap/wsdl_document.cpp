// The WSDL 1.1 description of every service in the catalogue. Each object's elements live
// in the object's own namespace; messages, port types and bindings in urn:quillmere. The
// host's headers are declared in its namespace and bound to the requests; SOAP clients
// send them only when asked to, so they stay optional. Responses declare none, so that
// clients hand back the results themselves; a Variables block still comes back.
#include "host/common/xml_text.h"
#include "host/soap/service_catalog.h"
#include "host/soap/soap_namespaces.h"

namespace quillmere::host {
namespace {

constexpr std::string_view kDefinitionsNamespace = "urn:quillmere";
constexpr std::string_view kAnyElements =
    "<xsd:any minOccurs=\"0\" maxOccurs=\"unbounded\" processContents=\"lax\"/>";

std::string Prefix(std::string_view object) {
  return "o" + std::string(object);
}

std::string MixedContent() {
  return "<xsd:complexType mixed=\"true\"><xsd:sequence>" + std::string(kAnyElements) +
         "</xsd:sequence></xsd:complexType>";
}

std::string StringElement(const std::string& name) {
  return "<xsd:element name=\"" + name + "\" type=\"xsd:string\" minOccurs=\"0\"/>";
}

std::string RequestElement(const MethodInfo& method) {
  std::string out = "<xsd:element name=\"" + method.name + "\"><xsd:complexType><xsd:sequence>";
  for (const std::string& parameter : method.parameters)
    out += StringElement(parameter);
  if (method.anyParameters) out += kAnyElements;
  return out + "</xsd:sequence></xsd:complexType></xsd:element>";
}

// A document result is mixed content so that clients hand back its elements; anything a
// response carries beyond its results (a workstation id) is allowed after them.
std::string ResponseElement(const MethodInfo& method) {
  std::string out =
      "<xsd:element name=\"" + method.name + "Response\"><xsd:complexType><xsd:sequence>";
  for (const std::string& result : method.results) {
    if (result == "XMLDATA") {
      out += "<xsd:element name=\"" + result + "\" minOccurs=\"0\">" + MixedContent() +
             "</xsd:element>";
    } else {
      out += StringElement(result);
    }
  }
  if (method.anyParameters) out += kAnyElements;
  return out + "</xsd:sequence></xsd:complexType></xsd:element>";
}

std::string HeaderElements() {
  return "<xsd:element name=\"Variables\">" + MixedContent() +
         "</xsd:element>"
         "<xsd:element name=\"OnSuccess\"><xsd:complexType><xsd:sequence>" +
         std::string(kAnyElements) +
         "</xsd:sequence><xsd:attribute name=\"object\" type=\"xsd:string\"/>"
         "</xsd:complexType></xsd:element>";
}

std::string Schema(const ServiceInfo& service) {
  std::string out = "<xsd:schema targetNamespace=\"" + ObjectNamespace(service.object) +
                    "\" elementFormDefault=\"unqualified\">";
  if (service.object == kHostObject) out += HeaderElements();
  for (const MethodInfo& method : service.methods) {
    out += RequestElement(method) + ResponseElement(method);
  }
  return out + "</xsd:schema>";
}

std::string Message(const std::string& name, const std::string& part, const std::string& element) {
  return "<wsdl:message name=\"" + name + "\"><wsdl:part name=\"" + part + "\" element=\"" +
         element + "\"/></wsdl:message>";
}

std::string MessageName(const ServiceInfo& service, const MethodInfo& method,
                        std::string_view direction) {
  return service.object + method.name + std::string(direction);
}

std::string Messages(const ServiceInfo& service) {
  std::string out;
  const std::string prefix = Prefix(service.object);
  for (const MethodInfo& method : service.methods) {
    out +=
        Message(MessageName(service, method, "Request"), "parameters", prefix + ":" + method.name);
    out += Message(MessageName(service, method, "Response"), "parameters",
                   prefix + ":" + method.name + "Response");
  }
  return out;
}

// Each operation's documentation: what it does, then who may call it.
std::string PortType(const ServiceInfo& service, const AccessDescription& access) {
  std::string out = "<wsdl:portType name=\"" + service.object + "PortType\">";
  for (const MethodInfo& method : service.methods) {
    const std::string who = access ? " " + access(service.object, method.name) : "";
    out += "<wsdl:operation name=\"" + method.name + "\"><wsdl:documentation>" +
           EscapeXmlText(method.summary + who) + "</wsdl:documentation><wsdl:input message=\"tns:" +
           MessageName(service, method, "Request") +
           "\"/><wsdl:output message=\"tns:" + MessageName(service, method, "Response") +
           "\"/></wsdl:operation>";
  }
  return out + "</wsdl:portType>";
}

std::string Header(std::string_view part) {
  return "<soap:header message=\"tns:" + std::string(part) + "Header\" part=\"" +
         std::string(part) + "\" use=\"literal\"/>";
}

// The module's objects follow an OnSuccess chain; the host's own methods do not.
std::string Binding(const ServiceInfo& service) {
  const bool chained = service.object != kHostObject;
  std::string out = "<wsdl:binding name=\"" + service.object +
                    "Binding\" type=\"tns:" + service.object +
                    "PortType\"><soap:binding style=\"document\" "
                    "transport=\"http://schemas.xmlsoap.org/soap/http\"/>";
  for (const MethodInfo& method : service.methods) {
    out += "<wsdl:operation name=\"" + method.name + "\"><soap:operation soapAction=\"" +
           ObjectNamespace(service.object) + "#" + method.name +
           "\" style=\"document\"/><wsdl:input><soap:body use=\"literal\"/>" + Header("Variables") +
           (chained ? Header("OnSuccess") : "") +
           "</wsdl:input><wsdl:output><soap:body use=\"literal\"/></wsdl:output></wsdl:operation>";
  }
  return out + "</wsdl:binding>";
}

std::string Service(std::string_view endpointUrl) {
  std::string out = "<wsdl:service name=\"Quillmere\">";
  for (const ServiceInfo& service : ServiceCatalog()) {
    out += "<wsdl:port name=\"" + service.object + "\" binding=\"tns:" + service.object +
           "Binding\"><soap:address location=\"" + EscapeXmlAttribute(endpointUrl) +
           "\"/></wsdl:port>";
  }
  return out + "</wsdl:service>";
}

}  // namespace

std::string WsdlDocument(std::string_view endpointUrl, const AccessDescription& access) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<wsdl:definitions xmlns:wsdl=\"http://schemas.xmlsoap.org/wsdl/\" "
      "xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:tns=\"" +
      std::string(kDefinitionsNamespace) + "\"";
  for (const ServiceInfo& service : ServiceCatalog()) {
    out += " xmlns:" + Prefix(service.object) + "=\"" + ObjectNamespace(service.object) + "\"";
  }
  out += " targetNamespace=\"" + std::string(kDefinitionsNamespace) +
         "\" name=\"Quillmere\"><wsdl:documentation>The administrative services. Every "
         "operation takes an optional Variables header (any XML, returned in the response's "
         "header); operations of the module's objects also take optional OnSuccess headers, "
         "each naming the next request of a chain run when this one succeeds."
         "</wsdl:documentation><wsdl:types>";
  for (const ServiceInfo& service : ServiceCatalog())
    out += Schema(service);
  out += "</wsdl:types>";
  const std::string hostElement = Prefix(kHostObject) + ":";
  out += Message("VariablesHeader", "Variables", hostElement + "Variables");
  out += Message("OnSuccessHeader", "OnSuccess", hostElement + "OnSuccess");
  for (const ServiceInfo& service : ServiceCatalog())
    out += Messages(service);
  for (const ServiceInfo& service : ServiceCatalog())
    out += PortType(service, access);
  for (const ServiceInfo& service : ServiceCatalog())
    out += Binding(service);
  return out + Service(endpointUrl) + "</wsdl:definitions>\n";
}

}  // namespace quillmere::host
