#include "host/components/job_table.h"

#include <algorithm>
#include <chrono>

#include "host/common/utc_time.h"

namespace quillmere::host {
namespace {

// The name goes into markup and WMI as text: control characters have no place there.
bool HasControlCharacter(std::string_view name) {
  return std::any_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

}  // namespace

std::string JobTable::Submit(std::string_view token, std::string_view name) {
  if (name.empty() || name.size() > kMaxJobNameBytes)
    throw JobError("a job name has 1 to 256 bytes");
  if (HasControlCharacter(name)) throw JobError("a job name holds no control characters");
  std::string id;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    const auto owned = std::count_if(jobs_.begin(), jobs_.end(),
                                     [&](const JobInfo& job) { return job.token == token; });
    if (static_cast<size_t>(owned) >= kMaxJobsPerSession)
      throw JobError("the session has as many jobs as it may");
    id = std::to_string(nextId_++);
    jobs_.push_back(JobInfo{id, std::string(token), std::string(name),
                            UtcText(std::chrono::system_clock::now())});
  }
  NotifyChanged();
  return id;
}

bool JobTable::Cancel(std::string_view token, std::string_view jobId) {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    const auto job = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobInfo& candidate) {
      return candidate.id == jobId && candidate.token == token;
    });
    if (job == jobs_.end()) return false;
    jobs_.erase(job);
  }
  NotifyChanged();
  return true;
}

std::vector<JobInfo> JobTable::Jobs(std::string_view token) const {
  const std::lock_guard<std::mutex> hold(mutex_);
  std::vector<JobInfo> owned;
  std::copy_if(jobs_.begin(), jobs_.end(), std::back_inserter(owned),
               [&](const JobInfo& job) { return job.token == token; });
  return owned;
}

std::vector<JobInfo> JobTable::All() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return jobs_;
}

LONG JobTable::Count(std::string_view token) const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return static_cast<LONG>(std::count_if(jobs_.begin(), jobs_.end(),
                                         [&](const JobInfo& job) { return job.token == token; }));
}

void JobTable::DropSession(std::string_view token) {
  size_t dropped = 0;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    dropped = std::erase_if(jobs_, [&](const JobInfo& job) { return job.token == token; });
  }
  if (dropped > 0) NotifyChanged();
}

void JobTable::NotifyChanged() {
  // The table's own lock is free meanwhile, so the listener may read it.
  const std::lock_guard<std::mutex> hold(notifying_);
  if (changed) changed();
}

}  // namespace quillmere::host
