// A stand-in host for a SOAP client under test, one request per run:
//   soap_echo --wsdl URL           prints the WSDL
//   soap_echo SOAPACTION <request  prints the HTTP status, a line feed and the reply
// Module methods answer their children inside <ECHO>; the token "deny" is refused.
#include <iostream>
#include <iterator>

#include "host/soap/soap.h"
#include "message_text.h"

namespace {

using quillmere::FaultCode;
using namespace quillmere::host;

HttpReply Answer(const std::string& action, const std::string& body) {
  auto read = ReadEnvelope(body);
  if (const auto* error = std::get_if<EnvelopeError>(&read)) {
    return WriteFault(error->code, error->text);
  }
  SoapRequest& request = std::get<SoapRequest>(read);
  if (const auto refused = CheckRequest(request, action)) {
    return WriteFault(refused->code, refused->text);
  }
  const MethodInfo* method = FindMethod(request.call.object, request.call.method);
  if (method == nullptr) return WriteFault(FaultCode::Client, "No such method");
  const std::string children = request.call.children;
  const auto response = MakeResponseFor(MakeRequestMessage(std::move(request)).Get());
  winport::ScopedBstr token;
  response->getStringParameterByAccessor(Bstr("IdentityToken").Get(), token.Receive());
  if (Text(token.Get()) == "deny") {
    winport::ComPtr<quillmere::ISOAPFault> fault;
    response->getSOAPFault(fault.GetAddressOf());
    fault->setSpecificFault(Bstr("Permission Denied").Get(), FaultCode::Client);
  }
  for (const std::string& result : method->results) {
    const bool xml = result == "XMLDATA";
    response->addResponseParameter(
        Bstr(result).Get(), Bstr(xml ? "<ECHO>" + children + "</ECHO>" : result + " & more").Get(),
        xml ? VARIANT_TRUE : VARIANT_FALSE);
  }
  return WriteResponse(response.Get());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3) return (std::cout << WsdlDocument(argv[2])) ? 0 : 1;
  const std::string action = argc == 2 ? argv[1] : "";
  const HttpReply reply = Answer(action, {std::istreambuf_iterator<char>(std::cin), {}});
  std::cout << reply.status << "\n" << reply.body;
}
