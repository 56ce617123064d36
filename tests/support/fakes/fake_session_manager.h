// The host's session manager (its named object "Session"): the callers' sessions by
// identity token, and the sessions it lists.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "fakes/call_log.h"
#include "soap/session_manager.h"

namespace fakes {

inline BSTR NewBstr(const std::string& text) {
  return SysAllocString(winport::Utf8ToWide(text).c_str());
}

// A caller's session.
class FakeSession : public winport::ComObject<quillmere::ISession> {
 public:
  LONG adminFlags = 0;
  CallLog log;

  HRESULT STDMETHODCALLTYPE GetIdentityToken(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSessionText(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUser(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetWorkstation(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCreated(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetLastAccess(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Touch() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsAdmin(LONG* flags) override {
    *flags = adminFlags;
    return log.Enter("IsAdmin");  // callers read the flags whatever the result
  }
};

// One listed session.
class FakeSessionRecord : public winport::ComObject<quillmere::ISessionRecord> {
 public:
  std::string token;
  std::string xml;
  ULONG groups = 0;
  CallLog log;

  HRESULT STDMETHODCALLTYPE GetSessionId(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUser(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIdentityToken(BSTR* out) override {
    FAKE_ENTER(log, "GetIdentityToken");
    *out = token.empty() ? nullptr : NewBstr(token);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetWorkstation(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCreated(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetLastAccess(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetJobCount(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetXml(BSTR* out) override {
    FAKE_ENTER(log, "GetXml");
    *out = NewBstr(xml);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetState(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetGroups(ULONG* out) override {
    FAKE_ENTER(log, "GetGroups");
    *out = groups;
    return S_OK;
  }
};

// Walks a fixed list; its log (shared with the manager) can make Next fail.
class FakeSessionEnumerator : public winport::ComObject<quillmere::ISessionEnumerator> {
 public:
  FakeSessionEnumerator(std::vector<winport::ComPtr<FakeSessionRecord>> sessions,
                        std::shared_ptr<CallLog> log)
      : sessions_(std::move(sessions)), log_(std::move(log)) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, quillmere::ISessionRecord** session,
                                 ULONG* fetched) override {
    *session = nullptr;
    if (fetched) *fetched = 0;
    FAKE_ENTER(*log_, "Next");
    if (count != 1) return E_INVALIDARG;
    if (next_ >= sessions_.size()) return S_FALSE;
    HandOut(sessions_[next_++].Get(), session);
    if (fetched) *fetched = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(quillmere::ISessionEnumerator**) override { return E_NOTIMPL; }

 private:
  std::vector<winport::ComPtr<FakeSessionRecord>> sessions_;
  std::shared_ptr<CallLog> log_;
  size_t next_ = 0;
};

class FakeSessionManager : public winport::ComObject<quillmere::ISessionManagerReconnect,
                                                     quillmere::ISessionManagerEnumeration> {
 public:
  std::map<std::string, winport::ComPtr<FakeSession>> callers;  // by identity token
  std::vector<winport::ComPtr<FakeSessionRecord>> sessions;
  CallLog log;
  std::shared_ptr<CallLog> enumeratorLog = std::make_shared<CallLog>();  // every enumerator's

  // A caller's session under token, made and kept here.
  FakeSession& AddCaller(const std::string& token, LONG adminFlags) {
    auto session = winport::MakeComObject<FakeSession>();
    session->adminFlags = adminFlags;
    callers[token] = session;
    return *session.Get();
  }
  FakeSessionRecord& AddSession(const std::string& token, const std::string& xml, ULONG groups) {
    auto session = winport::MakeComObject<FakeSessionRecord>();
    session->token = token;
    session->xml = xml;
    session->groups = groups;
    sessions.push_back(session);
    return *session.Get();
  }

  HRESULT STDMETHODCALLTYPE Reconnect(BSTR token, quillmere::ISession** session) override {
    return Find("Reconnect", token, session);
  }
  HRESULT STDMETHODCALLTYPE Logon(BSTR, BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PhantomReconnect(BSTR token, quillmere::ISession** session) override {
    return Find("PhantomReconnect", token, session);
  }
  HRESULT STDMETHODCALLTYPE EnumSessions(quillmere::ISessionEnumerator** out) override {
    *out = nullptr;
    FAKE_ENTER(log, "EnumSessions");
    *out = new FakeSessionEnumerator(sessions, enumeratorLog);
    (*out)->AddRef();
    return S_OK;
  }

 private:
  HRESULT Find(const char* operation, BSTR token, quillmere::ISession** session) {
    *session = nullptr;
    FAKE_ENTER(log, operation);
    const auto found = callers.find(winport::WideToUtf8(winport::BstrView(token)));
    // An unknown token is a session that has timed out or was logged off.
    if (found == callers.end()) return HRESULT_FROM_WIN32(ERROR_NOT_AUTHENTICATED);
    HandOut(found->second.Get(), session);
    return S_OK;
  }
};

}  // namespace fakes
