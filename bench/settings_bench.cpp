// GetMetadata of 50 settings in-process, after the first call (connect, enumerate, build
// the table), against the floor: the same 50 rows read from an SQLite file of their own
// (WAL, a statement prepared once, as the repository keeps them) and formatted by hand.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>

#include <winport/windows.h>

#include "diagnostics/reporting.h"
#include "fakes/fake_soap_message.h"
#include "settings/setting.h"
#include "wbem_provider/get_metadata.h"
#include "wbem_provider/wbem_provider.h"

namespace {

constexpr int kSettings = 50;

// The benchmarks run on a machine of their own, in a temporary directory.
const bool kPrivateMachine = [] {
  char pattern[] = "/tmp/settings_bench.XXXXXX";
  return mkdtemp(pattern) != nullptr && setenv("QUILLMERE_PREFIX", pattern, 1) == 0;
}();

winport::WideString SettingName(int number) {
  return winport::FormatWide("Setting%02d", number);
}

// 50 integer settings in the store, made through the store's own connection.
void Populate(quillmere::Reporter& reporting) {
  static bool done = false;
  if (done || !kPrivateMachine) return;
  done = true;
  quillmere::CSetting setting(reporting);
  if (FAILED(setting.Connect())) std::abort();
  winport::ComPtr<IWbemLocator> locator;
  CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                   reinterpret_cast<void**>(locator.GetAddressOf()));
  winport::ComPtr<IWbemServices> settings;
  locator->ConnectServer(winport::ScopedBstr(OLESTR("root\\cimv2\\quillmere")).Get(), nullptr,
                         nullptr, nullptr, 0, nullptr, nullptr, settings.GetAddressOf());
  winport::ComPtr<IWbemClassObject> metadata;
  settings->GetObject(winport::ScopedBstr(OLESTR("Metadata")).Get(), 0, nullptr,
                      metadata.GetAddressOf(), nullptr);
  for (int number = 0; number < kSettings; ++number) {
    winport::ComPtr<IWbemClassObject> instance;
    metadata->SpawnInstance(0, instance.GetAddressOf());
    winport::ScopedVariant name(SettingName(number).c_str());
    winport::ScopedVariant value(LONG{number});
    winport::ScopedVariant type(LONG{3});
    instance->Put(OLESTR("SettingName"), 0, name.AsInput(), 0);
    instance->Put(OLESTR("IntVal"), 0, value.AsInput(), 0);
    instance->Put(OLESTR("CIMTYPE"), 0, type.AsInput(), 0);
    if (FAILED(settings->PutInstance(instance.Get(), 0, nullptr, nullptr))) std::abort();
  }
}

// The provider over a populated store, with one request; each call makes its response.
struct GetMetadataCall {
  GetMetadataCall() {
    reporting.SetReportingLevel(quillmere::kLevelError);
    Populate(reporting);
  }
  winport::ComPtr<fakes::FakeSoapMessage> Run() {
    auto response = winport::MakeComObject<fakes::FakeSoapMessage>();
    if (getMetadata.execute(request.Get(), response.Get()) != S_OK) std::abort();
    return response;
  }

  const winport::ScopedComInit apartment{COINIT_MULTITHREADED};
  quillmere::Reporting reporting;
  winport::ComPtr<quillmere::CWbemProvider> provider =
      winport::MakeComObject<quillmere::CWbemProvider>(reporting);
  quillmere::CGetMetadata getMetadata{*provider.Get()};
  winport::ComPtr<fakes::FakeSoapMessage> request =
      winport::MakeComObject<fakes::FakeSoapMessage>();
};

// The table of one GetMetadata call (ASCII here).
std::string OursTable() {
  return GetMetadataCall().Run()->parameters.back().value;
}

void BM_GetMetadata50Ours(benchmark::State& state) {
  GetMetadataCall call;
  for (auto _ : state) {
    const auto response = call.Run();
    benchmark::DoNotOptimize(response->parameters.back().value.data());
  }
}
BENCHMARK(BM_GetMetadata50Ours)->Name("Settings/GetMetadata50/ours")->Unit(benchmark::kMicrosecond);

// The peer's store: one row per setting, the columns the table shows.
sqlite3* MakePeerStore() {
  if (!kPrivateMachine) std::abort();
  const std::string path = std::string(std::getenv("QUILLMERE_PREFIX")) + "/peer.db";
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::abort();
  const char* schema =
      "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
      "CREATE TABLE settings(name TEXT NOT NULL COLLATE NOCASE PRIMARY KEY, description TEXT,"
      " responsible TEXT, cimtype INTEGER, intval INTEGER)";
  if (sqlite3_exec(db, schema, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO settings(name, cimtype, intval) VALUES (?1, 3, ?2)", -1,
                     &insert, nullptr);
  for (int number = 0; number < kSettings; ++number) {
    const winport::WideString name = SettingName(number);
    sqlite3_bind_text16(insert, 1, name.data(), static_cast<int>(name.size() * sizeof(OLECHAR)),
                        SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 2, number);
    if (sqlite3_step(insert) != SQLITE_DONE) std::abort();
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  return db;
}

// Made once and kept open for the process, as the repository's connection is.
sqlite3* PeerStore() {
  static sqlite3* const store = MakePeerStore();
  return store;
}

// A cell as the table writes it: empty when the column is null.
void AppendCell(winport::WideString& table, sqlite3_stmt* rows, int column) {
  const auto* text = static_cast<const OLECHAR*>(sqlite3_column_text16(rows, column));
  if (text == nullptr) {
    table += OLESTR("<TD/> \n");
    return;
  }
  table += OLESTR("<TD>");
  table.append(text, static_cast<std::size_t>(sqlite3_column_bytes16(rows, column)) / 2);
  table += OLESTR("</TD> \n");
}

winport::WideString PeerTable(sqlite3_stmt* rows) {
  winport::WideString table = OLESTR("<TABLE>");
  while (sqlite3_step(rows) == SQLITE_ROW) {
    table += OLESTR("<TR>");
    AppendCell(table, rows, 0);
    AppendCell(table, rows, 1);
    AppendCell(table, rows, 2);
    table += OLESTR("<TD>IntVal</TD> \n");
    AppendCell(table, rows, 3);
    table += OLESTR("</TR>");
  }
  sqlite3_reset(rows);
  table += OLESTR("</TABLE>");
  return table;
}

void BM_GetMetadata50Peer(benchmark::State& state) {
  sqlite3* db = PeerStore();
  sqlite3_stmt* rows = nullptr;
  sqlite3_prepare_v3(db,
                     "SELECT name, description, responsible, intval FROM settings ORDER BY rowid",
                     -1, SQLITE_PREPARE_PERSISTENT, &rows, nullptr);
  // Both sides must build the same bytes, or the ratio means nothing.
  const winport::WideString table = PeerTable(rows);
  if (std::string(table.begin(), table.end()) != OursTable()) {
    state.SkipWithError("the peer's table differs from GetMetadata's");
  }
  for (auto _ : state) {
    winport::WideString table = PeerTable(rows);
    benchmark::DoNotOptimize(table.data());
  }
  sqlite3_finalize(rows);
}
BENCHMARK(BM_GetMetadata50Peer)->Name("Settings/GetMetadata50/peer")->Unit(benchmark::kMicrosecond);

}  // namespace
