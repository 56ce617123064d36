// Every SOAP object the host serves, its methods and their parameters, and the WSDL 1.1
// document generated from them.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmere::host {

struct MethodInfo {
  std::string name;
  std::vector<std::string> parameters;
  std::vector<std::string> results;
  bool anyParameters;   // further elements of any name may follow the named ones
  std::string summary;  // what the method does, for the WSDL's readers
};

struct ServiceInfo {
  std::string object;
  std::vector<MethodInfo> methods;
};

const std::vector<ServiceInfo>& ServiceCatalog();
const MethodInfo* FindMethod(std::string_view object, std::string_view method);

// Who may call a method, in words, for its documentation.
using AccessDescription =
    std::function<std::string(std::string_view object, std::string_view method)>;

// Document/literal; one portType, binding and port per object, all at endpointUrl. Each
// operation's documentation is its summary followed by what access says of it.
std::string WsdlDocument(std::string_view endpointUrl, const AccessDescription& access = {});

}  // namespace quillmere::host
