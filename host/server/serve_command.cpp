#include "host/server/serve_command.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include <sys/resource.h>

#include <winport/machine.h>
#include <winport/message_queuing.h>
#include <winport/scoped_com_init.h>
#include <winport/windows.h>

#include "host/common/utc_time.h"
#include "host/components/content_repository.h"
#include "host/components/extension_object.h"
#include "host/components/job_source_class.h"
#include "host/components/job_table.h"
#include "host/components/log_file_writer_class.h"
#include "host/components/machine_probes.h"
#include "host/components/wmi_data.h"
#include "host/server/console_files.h"
#include "host/server/dispatcher.h"
#include "host/server/health.h"
#include "host/server/host_methods.h"
#include "host/server/http_server.h"
#include "host/server/message_faults.h"
#include "host/server/metrics.h"
#include "host/server/module_loader.h"
#include "host/server/soap_routes.h"
#include "host/server/soap_service.h"
#include "host/server/stop_signals.h"
#include "host/soap/service_catalog.h"
#include "host/soap/soap_message.h"
#include "host/users/session_manager.h"
#include "host/users/user_store.h"

namespace quillmere::host {
namespace {

constexpr ULONG kAllGroups = 0x7F;
constexpr auto kTick = std::chrono::seconds(1);
constexpr int kTicksBetweenExpiries = 5;

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// An IPv6 literal is bracketed in a URL.
std::string UrlAuthority(const ListenAddress& listen, uint16_t port) {
  const bool v6 = listen.host.find(':') != std::string::npos;
  return (v6 ? "[" + listen.host + "]" : listen.host) + ":" + std::to_string(port);
}

// Session records show their start to the second, cut short; the WMI row is to show the
// same second, so it is given the whole second rather than the exact time.
SessionRow RowOf(const SessionInfo& session) {
  return {session.id, session.user, session.workstation, WholeSecondOf(session.created),
          session.token};
}

PoolRow RowOf(const PoolActivity& activity) {
  return {"http", static_cast<LONG>(activity.threads), static_cast<LONG>(activity.busy),
          static_cast<LONG>(activity.queued), static_cast<LONG>(activity.completed)};
}

// Every connection is an open file: the soft limit goes as high as the hard one allows.
rlim_t RaiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) getrlimit(RLIMIT_NOFILE, &limit);
  }
  return limit.rlim_cur;
}

// The connection limit that the open-file limit leaves room for, beside the databases,
// logs and libraries the host keeps open.
unsigned ConnectionsWithin(rlim_t openFiles, unsigned wanted, HostLog& log) {
  constexpr rlim_t kOtherFiles = 256;
  const rlim_t room = openFiles > 2 * kOtherFiles ? openFiles - kOtherFiles : openFiles / 2;
  if (wanted <= room) return wanted;
  log.Write(LogLevel::Warning, "serving at most " + std::to_string(room) +
                                   " connections: the open-file limit is " +
                                   std::to_string(openFiles));
  return static_cast<unsigned>(room);
}

void CreateFirstAdministrator(UserStore& users, std::ostream& out) {
  if (!users.Empty()) return;
  const std::string password = RandomPassword();
  users.Add("admin", password, kAllGroups);
  out << "Created the administrator \"admin\" with the password: " << password << "\n"
      << "It is shown only this once. Change it with: quillmere users passwd admin\n";
}

}  // namespace

int RunServe(const ServeOptions& options, std::ostream& out) {
  if (!options.prefix.empty()) ::setenv("QUILLMERE_PREFIX", options.prefix.c_str(), 1);
  StopSignals signals;  // before any thread starts
  HostLog log(options.logLevel);
  const winport::ScopedComInit apartment(COINIT_MULTITHREADED);
  if (!apartment.Succeeded()) throw std::runtime_error("COM initialisation failed");
  const std::filesystem::path prefix = winport::machine::Prefix();

  // Logons wait for hashing on request threads; at most half of those threads wait, so
  // that a flood of logons leaves the others serving.
  const unsigned hashing = std::max(1u, options.threads / 2);
  UserStore users(DefaultUserDatabase(),
                  {.threads = std::min(2u, hashing), .queued = hashing - std::min(2u, hashing)});
  std::ostringstream firstAdministrator;
  CreateFirstAdministrator(users, firstAdministrator);

  const HRESULT installed = WmiData::InstallMof();
  if (FAILED(installed))
    throw std::runtime_error("installing the MOF failed: " + HresultText(installed));
  WmiData wmi;
  JobTable jobs;
  jobs.changed = [&] { wmi.JobsChanged(jobs.All()); };
  SessionEvents events;
  events.opened = [&](const SessionInfo& session) { wmi.SessionOpened(RowOf(session)); };
  events.closed = [&](const SessionInfo& session) {
    jobs.DropSession(session.token);
    wmi.SessionClosed(RowOf(session));
  };
  const winport::ComPtr<SessionManager> sessions =
      MakeSessionManager(users, std::chrono::seconds(options.sessionTimeoutSeconds), events,
                         [&](const std::string& token) { return jobs.Count(token); }, {},
                         {.perUser = options.maxSessionsPerUser, .total = options.maxSessions});
  const std::filesystem::path content = prefix / "host" / "content";
  InstallDefaultContent(content);

  const MessageClass messages;
  const JobSourceClass jobSource(jobs);
  const LogFileWriterClass logWriter(winport::machine::SystemDirectory() / "LogFiles" /
                                     "Quillmere");
  const winport::ComPtr<SoapService> service =
      MakeSoapService([](quillmere::ISOAPMessage* request, const std::string& text) {
        return FaultResponseFor(request, quillmere::FaultCode::Client, text);
      });
  service->SetNamedObject(
      "Session",
      winport::ComPtr<IUnknown>(static_cast<quillmere::ISessionManagerReconnect*>(sessions.Get())));
  service->SetNamedObject("Repository", MakeRepository(content));
  service->SetNamedObject("Extension", MakeExtensionObject());
  LoadedModule module(options.module, service.Get(), log);

  const HostMethods hostMethods(*sessions.Get(), jobs);
  const Authorizer authorizer(*sessions.Get());
  const Dispatcher dispatcher(*service.Get(), hostMethods, authorizer, log,
                              EnvelopeLimits{.maxBodyBytes = options.maxBodyBytes});
  HttpServerOptions http;
  http.address = options.listen.host;
  http.port = options.listen.port;
  http.threads = options.threads;
  http.maxBodyBytes = options.maxBodyBytes;
  http.requestDeadlineSeconds = options.requestDeadlineSeconds;
  http.maxConnectionsPerClient = options.maxConnectionsPerClient;
  http.maxConnections = ConnectionsWithin(RaiseOpenFileLimit(), options.maxConnections, log);
  if (!options.tlsCertificate.empty()) {
    http.tlsCertificate = ReadText(options.tlsCertificate);
    http.tlsKey = ReadText(options.tlsKey);
  }
  RequestMetrics requestMetrics(CatalogueMethods());
  SoapRoutes routes;
  routes.call = [&](const HttpRequest& request) {
    const auto start = std::chrono::steady_clock::now();
    HttpResponse response = dispatcher(request);
    requestMetrics.Count(response.logLabel, response.status == 200,
                         std::chrono::steady_clock::now() - start);
    if (response.logLabel == "Host#Logon" && response.status != 200) requestMetrics.LogonFailed();
    return response;
  };
  routes.wsdl = [](const std::string& url) { return WsdlDocument(url, AccessText); };
  const std::string scheme = http.tlsCertificate.empty() ? "http" : "https";
  std::atomic<uint16_t> port{options.listen.port};  // known once the server is listening
  routes.endpointUrl = [&] {
    return !options.publicUrl.empty()
               ? options.publicUrl
               : scheme + "://" + UrlAuthority(options.listen, port.load()) + "/soap";
  };
  EventCounter eventCounter;
  QueueCounter queueCounter;
  MachineMonitor monitor({
      .reportQueue = [&] { return module.ReportQueue(); },
      .settings = ReadReportQueueSettings,
      .queuingRunning = winport::msmq::IsRunning,
      .messagesQueued = [&](const std::string& path) { return queueCounter.Count(path); },
      .eventsWritten = [&] { return eventCounter.Written(); },
      .liveSessions = [&] { return sessions->Count(); },
      .process = ReadProcessUsage,
  });
  const ConsoleFiles console(options.console);
  const HttpHandler site = [&](const HttpRequest& request) {
    return request.path == "/soap" ? routes(request) : console(request);
  };
  // /health and /metrics beside /soap, or on a listener of their own.
  const MonitoringRoutes monitoring{monitor, options.noMetrics ? nullptr : &requestMetrics,
                                    options.monitoringListen ? HttpHandler() : site};
  HttpServer server(http, options.monitoringListen ? site : HttpHandler(std::cref(monitoring)),
                    log);
  port = server.Port();
  std::optional<HttpServer> monitoringServer;
  std::string monitoringBanner;
  if (options.monitoringListen) {
    HttpServerOptions plain;
    plain.address = options.monitoringListen->host;
    plain.port = options.monitoringListen->port;
    plain.threads = 1;
    plain.maxConnections = 64;
    plain.maxConnectionsPerClient = 8;
    monitoringServer.emplace(plain, std::cref(monitoring), log);
    monitoringBanner = "Monitoring: http://" +
                       UrlAuthority(*options.monitoringListen, monitoringServer->Port()) +
                       "/health\n";
  }

  const std::string root = scheme + "://" + UrlAuthority(options.listen, port.load());
  const std::string url = root + "/soap";
  // The URL comes last: whoever reads the banner may stop reading there.
  out << "Quillmere host serving the module\n"
      << "Prefix: " << prefix.string() << "\n"
      << firstAdministrator.str() << monitoringBanner << "Console: " << root << "/\n"
      << "WSDL: " << url << "?wsdl\n"
      << "Listening on " << url << std::endl;

  PoolActivity written = server.Activity();
  wmi.Pool(RowOf(written));
  for (int tick = 1; !signals.Wait(kTick); ++tick) {
    if (tick % kTicksBetweenExpiries == 0) sessions->ExpireIdle();
    const PoolActivity now = server.Activity();
    if (now == written) continue;
    wmi.Pool(RowOf(now));
    written = now;
  }
  log.Write(LogLevel::Info, "stopping: finishing the requests in progress");
  server.Stop();
  if (monitoringServer) monitoringServer->Stop();
  module.Stop();
  service->Clear();
  log.Write(LogLevel::Info, "stopped");
  return 0;
}

}  // namespace quillmere::host
