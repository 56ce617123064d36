#include "host/commands/call_command.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/commands/call_envelope.h"
#include "host/commands/command_support.h"
#include "host/commands/http_client.h"
#include "host/commands/pretty_xml.h"

namespace quillmere::host {
namespace {

struct CallOptions {
  std::filesystem::path prefix;
  std::string object;
  std::string method;
  std::string url = "http://127.0.0.1:8080/soap";
  std::string user;
  std::string token;
  std::vector<std::string> cells;
  std::vector<std::string> parameters;
  bool raw = false;
};

// "NAME=VALUE" pairs; CLI11 has already refused any without "=".
NamedTexts Pairs(const std::vector<std::string>& texts) {
  NamedTexts pairs;
  for (const std::string& text : texts) {
    const size_t equals = text.find('=');
    pairs.emplace_back(text.substr(0, equals), text.substr(equals + 1));
  }
  return pairs;
}

CallAnswer Call(const HttpUrl& url, const CallRequest& request) {
  const HttpAnswer http = PostHttp(url,
                                   {{"Content-Type", "text/xml; charset=utf-8"},
                                    {"SOAPAction", SoapAction(request.object, request.method)}},
                                   RequestEnvelope(request));
  std::optional<CallAnswer> answer = ReadCallAnswer(http.body);
  if (!answer || (http.status != 200 && !answer->fault)) {
    throw CommandFailure("the host answered HTTP " + std::to_string(http.status) + " " +
                         http.reason);
  }
  return *std::move(answer);
}

void ThrowIfFault(const CallAnswer& answer) {
  if (answer.fault) throw CommandFailure(answer.fault->code + ": " + answer.fault->text);
}

std::string Result(const CallAnswer& answer, std::string_view name) {
  for (const auto& [result, text] : answer.results)
    if (result == name) return text;
  throw CommandFailure("the host's answer has no " + std::string(name));
}

void Print(const CallAnswer& answer, bool raw, std::ostream& out) {
  if (answer.document) {
    std::optional<std::string> text = raw ? std::nullopt : PrettyXml(*answer.document);
    if (!text) text = *answer.document;  // shown as it came when it is no XML
    out << *text << (text->empty() || text->back() == '\n' ? "" : "\n");
  }
  if (answer.results.empty()) return;
  Table table{{"NAME", "VALUE"}, {}};
  for (const auto& [name, text] : answer.results)
    table.rows.push_back({name, text});
  PrintTable(table, false, out);
}

void Run(const CallOptions& options, std::istream& in, std::ostream& out) {
  UsePrefix(options.prefix);
  const std::optional<HttpUrl> url = ParseHttpUrl(options.url);
  if (!url) throw CommandFailure("not an http:// URL: " + options.url);
  CallRequest request{options.object, options.method, {}, Pairs(options.cells)};
  std::string token = options.token;
  if (!options.user.empty()) {
    const std::string password = ReadSecret("Password for " + options.user + ": ", in, std::cerr);
    const CallAnswer logon =
        Call(*url, {"Host", "Logon", {{"User", options.user}, {"Password", password}}, {}});
    ThrowIfFault(logon);
    token = Result(logon, "IdentityToken");
  }
  if (!token.empty()) request.parameters.emplace_back("IdentityToken", token);
  for (auto& parameter : Pairs(options.parameters))
    request.parameters.push_back(std::move(parameter));

  std::optional<CallAnswer> answer;
  std::optional<CommandFailure> failure;
  try {
    answer = Call(*url, request);
  } catch (const CommandFailure& error) {
    failure = error;
  }
  // The session opened here ends here, whatever the call did.
  if (!options.user.empty()) {
    const CallAnswer logoff = Call(*url, {"Host", "Logoff", {{"IdentityToken", token}}, {}});
    if (!failure) ThrowIfFault(logoff);
  }
  if (failure) throw *failure;
  ThrowIfFault(*answer);
  Print(*answer, options.raw, out);
}

const CLI::Validator kNameIsValue(
    [](const std::string& text) {
      return text.find('=') == std::string::npos || text.front() == '='
                 ? std::string("expected NAME=VALUE")
                 : std::string();
    },
    "NAME=VALUE");

}  // namespace

void AddCallCommand(CLI::App& app, std::istream& in, std::ostream& out) {
  auto options = std::make_shared<CallOptions>();
  CLI::App* call = app.add_subcommand(
      "call", "Send one SOAP request to a running host and print the document it answers");
  AddPrefixOption(*call, options->prefix);
  call->add_option("object", options->object, "Administrator, WbemProvider or Host")->required();
  call->add_option("method", options->method, "The method, e.g. AdminSessionList")->required();
  call->add_option("--url", options->url, "The host's SOAP endpoint (http:// only)")
      ->capture_default_str()
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  auto* user = call->add_option("--user", options->user,
                                "Log on as this user for the call (the password is asked "
                                "without echo, or read from standard input)");
  auto* token =
      call->add_option("--token", options->token, "The IdentityToken of a session already open");
  user->excludes(token);
  call->add_option("--cell", options->cells,
                   "An edited sheet cell, ROW_COL=VALUE, sent as DELTACELL_ROW_COL")
      ->check(kNameIsValue);
  call->add_option("--param", options->parameters, "A further parameter, NAME=VALUE")
      ->check(kNameIsValue);
  call->add_flag("--raw", options->raw, "Print the document exactly as the host sent it");
  call->callback([options, &in, &out] { Run(*options, in, out); });
}

}  // namespace quillmere::host
