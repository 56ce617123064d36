// The jobs sessions submitted, kept by the host for as long as the session lives.
#pragma once

#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <winport/windows.h>

namespace quillmere::host {

struct JobInfo {
  std::string id;         // unique for the life of the table
  std::string token;      // the owning session's identity token
  std::string name;       // as submitted
  std::string submitted;  // UTC, YYYY-MM-DDTHH:MM:SSZ
};

// A submission the table refuses: a name that is empty or too long, or a session that
// already has as many jobs as it may.
class JobError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr size_t kMaxJobNameBytes = 256;
inline constexpr size_t kMaxJobsPerSession = 100;

class JobTable {
 public:
  // The new job's id; throws JobError.
  std::string Submit(std::string_view token, std::string_view name);
  // False when the session has no such job.
  bool Cancel(std::string_view token, std::string_view jobId);
  std::vector<JobInfo> Jobs(std::string_view token) const;  // in submission order
  std::vector<JobInfo> All() const;                         // in submission order
  LONG Count(std::string_view token) const;
  void DropSession(std::string_view token);

  // Called after every change, one call at a time and in the order of the changes, so a
  // listener reading All() leaves the newest state behind. Set before the table is used.
  std::function<void()> changed;

 private:
  void NotifyChanged();

  mutable std::mutex mutex_;
  std::mutex notifying_;
  std::vector<JobInfo> jobs_;
  unsigned long long nextId_ = 1;
};

}  // namespace quillmere::host
