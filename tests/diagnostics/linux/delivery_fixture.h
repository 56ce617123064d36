// Reporting with its real delivery, on a machine whose settings the test loads, and what
// reaches the event log, read back.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include <winport/event_log_reader.h>
#include <winport/wide.h>

#include "diagnostics/reporting.h"
#include "store_fixture.h"

namespace delivery_tests {

// Counts what its worker has delivered, so a test can wait for it.
class DeliveringReporting : public quillmere::Reporting {
 public:
  explicit DeliveringReporting(quillmere::MsmqRuntime& runtime) : Reporting(runtime) {}
  ~DeliveringReporting() override { Stop(); }

  bool WaitFor(std::size_t records) {
    std::unique_lock hold(mutex_);
    return changed_.wait_for(hold, std::chrono::minutes(1), [&] { return delivered_ >= records; });
  }

 protected:
  void Process(std::unique_ptr<quillmere::ReportRecord> record) override {
    Reporting::Process(std::move(record));
    std::lock_guard hold(mutex_);
    ++delivered_;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t delivered_ = 0;
};

// Every event on the machine as "source id type category", its first string after a bar
// when it has one.
inline std::vector<std::string> Events() {
  std::vector<std::string> events;
  for (const auto& record : winport::eventlog::ReadEvents()) {
    char head[64];
    std::snprintf(head, sizeof head, " %08X %u %u", static_cast<unsigned>(record.event_id),
                  record.type, record.category);
    std::string event = winport::WideToUtf8(record.source) + head;
    if (!record.strings.empty()) event += "|" + winport::WideToUtf8(record.strings[0]);
    events.push_back(event);
  }
  return events;
}

// The seven settings as MOF; a null value leaves the setting out.
inline std::string SettingsMof(const char* level, const char* eventLog, const char* userActivity,
                               const char* file, const char* msmq, const char* capacity,
                               const char* name) {
  using settings_testing::Setting;
  std::string mof;
  const auto add = [&](const char* setting, const char* value, int type) {
    if (value == nullptr) return;
    mof += Setting(setting, type,
                   type == 8 ? std::string("StringValue = \"") + value + "\";"
                             : std::string("IntVal = ") + value + ";");
  };
  add("ReportingLevel", level, 3);
  add("LogToEventLog", eventLog, 11);
  add("LogUserActivity", userActivity, 11);
  add("LogToFile", file, 11);
  add("LogToMSMQ", msmq, 11);
  add("MSMQ_Capacity", capacity, 3);
  add("MSMQ_Name", name, 8);
  return mof;
}

class DeliveryTest : public settings_testing::StoreTest {
 protected:
  quillmere::MsmqRuntime runtime;
};

}  // namespace delivery_tests
