// Reporting with its real delivery, on a machine whose settings the test loads, and what
// reaches the event log, read back.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <utility>

#include <winport/event_log_reader.h>

#include "diagnostics/reporting.h"
#include "store_fixture.h"

namespace delivery_tests {

// Counts what the worker has delivered, so that a test can wait for it. A base made before
// the Reporting beside it, so it outlives that object's worker.
class DeliveryCounter : public quillmere::ReportQueue::Consumer {
 public:
  bool WaitFor(int records) {
    std::unique_lock hold(mutex_);
    return changed_.wait_for(hold, std::chrono::minutes(1), [&] { return delivered_ >= records; });
  }

  void Process(std::unique_ptr<quillmere::ReportRecord> record) override {
    reporting_->Deliver(std::move(record));
    std::lock_guard hold(mutex_);
    ++delivered_;
    changed_.notify_all();
  }
  void WriteQueueEvent(WORD type, DWORD eventId) override {
    reporting_->WriteStatusEvent(type, eventId);
  }

 protected:
  quillmere::Reporting* reporting_ = nullptr;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int delivered_ = 0;
};

class DeliveringReporting : public DeliveryCounter, public quillmere::Reporting {
 public:
  explicit DeliveringReporting(quillmere::MsmqRuntime& runtime)
      : Reporting(runtime, static_cast<DeliveryCounter*>(this)) {
    reporting_ = this;
  }
};

// Every event on the machine as "source id type category", and "|" and its first string
// up to its first blank line.
inline std::vector<std::string> Events() {
  std::vector<std::string> events;
  for (const auto& event : winport::eventlog::ReadEvents()) {
    char head[32];
    std::snprintf(head, sizeof head, " %08X %u %u", static_cast<unsigned>(event.event_id),
                  event.type, event.category);
    events.push_back(winport::WideToUtf8(event.source) + head);
    if (!event.strings.empty())
      events.back() +=
          "|" + winport::WideToUtf8(event.strings[0]).substr(0, event.strings[0].find(u"\r\n\r\n"));
  }
  return events;
}

class DeliveryTest : public settings_testing::StoreTest {
 protected:
  quillmere::MsmqRuntime runtime;  // the process's, for this test alone
};

// Reporting's seven settings in their order, as "15 1 0 1 1 3 Name"; "-" leaves one out.
inline std::string SettingsMof(const std::string& values) {
  static const std::pair<const char*, int> kSettings[] = {
      {"ReportingLevel", 3}, {"LogToEventLog", 11}, {"LogUserActivity", 11}, {"LogToFile", 11},
      {"LogToMSMQ", 11},     {"MSMQ_Capacity", 3},  {"MSMQ_Name", 8}};
  std::istringstream in(values);
  std::string mof;
  std::string value;
  for (const auto& [name, type] : kSettings) {
    if (!(in >> value) || value == "-") continue;
    mof += settings_testing::Setting(
        name, type, type == 8 ? "StringValue = \"" + value + "\";" : "IntVal = " + value + ";");
  }
  return mof;
}

}  // namespace delivery_tests
