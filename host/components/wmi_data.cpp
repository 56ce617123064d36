#include "host/components/wmi_data.h"

#include <algorithm>

#include <winport/scoped_variant.h>
#include <winport/wide.h>

#include "host/common/com_boundary.h"
#include "host/common/utc_time.h"
#include "wmi_connection.h"

namespace quillmere::host {
namespace {

constexpr const OLECHAR* kLiveClasses[] = {OLESTR("Session"), OLESTR("Job"), OLESTR("VXPool")};

winport::ScopedVariant Text(std::string_view text) {
  return winport::ScopedVariant(winport::Utf8ToWide(text).c_str());
}

winport::WideString SessionPath(LONG id) {
  return winport::Utf8ToWide("Session.Id=" + std::to_string(id));
}

// Job ids are the table's decimal numbers: nothing in them needs quoting.
winport::WideString JobPath(const std::string& id) {
  return winport::Utf8ToWide("Job.Id=\"" + id + "\"");
}

}  // namespace

WmiData::WmiData() {
  if (FAILED(ConnectHostNamespace(services_))) services_.Reset();
  Clear();
}

WmiData::~WmiData() {
  Clear();
}

HRESULT WmiData::Clear() {
  const std::lock_guard<std::mutex> hold(mutex_);
  if (!services_) return E_UNEXPECTED;
  HRESULT result = S_OK;
  for (const OLECHAR* className : kLiveClasses) {
    std::vector<winport::ComPtr<IWbemClassObject>> instances;
    InstancesOf(services_.Get(), className, instances);
    for (const auto& instance : instances) {
      winport::ScopedVariant path;
      HRESULT hr = instance->Get(OLESTR("__RELPATH"), 0, path.Receive(), nullptr, nullptr);
      if (SUCCEEDED(hr) && path.Type() == VT_BSTR)
        hr = DeleteInstance(services_.Get(), winport::BstrView(path.Get().bstrVal));
      if (FAILED(hr)) result = hr;
    }
  }
  jobIds_.clear();
  return result;
}

HRESULT WmiData::SessionOpened(const SessionRow& session) {
  return Guarded([&] {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (!services_) return E_UNEXPECTED;
    sessionIds_[session.token] = session.id;
    PropertyValues values;
    values.emplace_back(OLESTR("Id"), winport::ScopedVariant(session.id));
    values.emplace_back(OLESTR("User"), Text(session.user));
    values.emplace_back(OLESTR("Workstation"), Text(session.workstation));
    values.emplace_back(OLESTR("Started"), Text(UtcText(FromOleDate(session.started))));
    return StoreInstance(services_.Get(), OLESTR("Session"), values);
  });
}

HRESULT WmiData::SessionClosed(const SessionRow& session) {
  return Guarded([&] {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (!services_) return E_UNEXPECTED;
    sessionIds_.erase(session.token);
    return DeleteInstance(services_.Get(), SessionPath(session.id));
  });
}

HRESULT WmiData::JobsChanged(const std::vector<JobInfo>& jobs) {
  return Guarded([&] {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (!services_) return E_UNEXPECTED;
    HRESULT result = S_OK;
    std::set<std::string> listed;
    for (const JobInfo& job : jobs) {
      listed.insert(job.id);
      const auto owner = sessionIds_.find(job.token);
      PropertyValues values;
      values.emplace_back(OLESTR("Id"), Text(job.id));
      values.emplace_back(OLESTR("Name"), Text(job.name));
      values.emplace_back(OLESTR("Session"),
                          winport::ScopedVariant(owner != sessionIds_.end() ? owner->second : 0));
      values.emplace_back(OLESTR("Submitted"), Text(job.submitted));
      const HRESULT hr = StoreInstance(services_.Get(), OLESTR("Job"), values);
      if (FAILED(hr)) result = hr;
    }
    for (const std::string& gone : jobIds_) {
      if (listed.count(gone) != 0) continue;
      const HRESULT hr = DeleteInstance(services_.Get(), JobPath(gone));
      if (FAILED(hr)) result = hr;
    }
    jobIds_ = std::move(listed);
    return result;
  });
}

HRESULT WmiData::Pool(const PoolRow& pool) {
  return Guarded([&] {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (!services_) return E_UNEXPECTED;
    PropertyValues values;
    values.emplace_back(OLESTR("Name"), Text(pool.name));
    values.emplace_back(OLESTR("Threads"), winport::ScopedVariant(pool.threads));
    values.emplace_back(OLESTR("Busy"), winport::ScopedVariant(pool.busy));
    values.emplace_back(OLESTR("Idle"),
                        winport::ScopedVariant(std::max<LONG>(0, pool.threads - pool.busy)));
    values.emplace_back(OLESTR("Queued"), winport::ScopedVariant(pool.queued));
    values.emplace_back(OLESTR("Completed"), winport::ScopedVariant(pool.completed));
    return StoreInstance(services_.Get(), OLESTR("VXPool"), values);
  });
}

}  // namespace quillmere::host
