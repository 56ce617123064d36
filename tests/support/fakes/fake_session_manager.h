// The host's session manager (its named object "Session"): the callers' sessions by
// identity token, and the sessions it lists.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/scoped_variant.h>
#include <winport/windows.h>

#include "fakes/call_log.h"
#include "quillmere/session_manager.h"

namespace fakes {

// A session, as its caller holds it (ISession), as the manager lists it (ISessionRecord),
// and as the user administration it offers its caller (IUserAdministration).
class FakeSession : public winport::ComObject<quillmere::ISession, quillmere::ISessionRecord,
                                              quillmere::IUserAdministration> {
 public:
  std::string token;
  std::string xml;
  LONG adminFlags = 0;
  ULONG groups = 0;
  std::vector<std::string> users;  // what GetUserList gives, unless userList is set
  winport::ScopedVariant userList;
  std::map<std::string, ULONG> permissions;  // by user name; others have none
  bool administrationIsNull = false;         // asked for it, answers S_OK with nothing
  CallLog log;

  // The user administration can be refused ("QueryInterface IUserAdministration").
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualGUID(riid, __uuidof(quillmere::IUserAdministration))) {
      *object = nullptr;
      FAKE_ENTER(log, "QueryInterface IUserAdministration");
      if (administrationIsNull) return S_OK;
    }
    return ComObject::QueryInterface(riid, object);
  }
  HRESULT STDMETHODCALLTYPE GetSessionText(BSTR* out) override {
    *out = nullptr;
    FAKE_ENTER(log, "GetSessionText");
    *out = NewBstr("session of " + token);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetUserList(VARIANT* out) override {
    VariantInit(out);
    FAKE_ENTER(log, "GetUserList");
    if (userList.Type() != VT_EMPTY) return VariantCopy(out, userList.AsInput());
    SAFEARRAY* names = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(users.size()));
    for (LONG index = 0; index < static_cast<LONG>(users.size()); ++index) {
      BSTR name = NewBstr(users[static_cast<size_t>(index)]);
      SafeArrayPutElement(names, &index, name);
      SysFreeString(name);
    }
    out->vt = VT_ARRAY | VT_BSTR;
    out->parray = names;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetUserPermissions(BSTR user, ULONG* mask) override {
    *mask = 0;
    FAKE_ENTER(log, "GetUserPermissions", Utf8(user));
    const auto found = permissions.find(Utf8(user));
    if (found != permissions.end()) *mask = found->second;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE IsAdmin(LONG* flags) override {
    *flags = adminFlags;
    return log.Enter("IsAdmin");  // callers read the flags whatever the result
  }
  HRESULT STDMETHODCALLTYPE GetIdentityToken(BSTR* out) override {
    FAKE_ENTER(log, "GetIdentityToken");
    *out = token.empty() ? nullptr : NewBstr(token);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetXml(BSTR* out) override {
    FAKE_ENTER(log, "GetXml");
    *out = NewBstr(xml);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetGroups(ULONG* out) override {
    FAKE_ENTER(log, "GetGroups");
    *out = groups;
    return S_OK;
  }
  // Nothing the module does asks for these.
  HRESULT STDMETHODCALLTYPE SetUserPermissions(BSTR, ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetPassword(BSTR, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUser(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetWorkstation(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCreated(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetLastAccess(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Touch() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSessionId(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetJobCount(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetState(LONG*) override { return E_NOTIMPL; }
};

class FakeSessionEnumerator
    : public FakeWalk<quillmere::ISessionEnumerator, quillmere::ISessionRecord, FakeSession> {
 public:
  using FakeWalk::FakeWalk;
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(quillmere::ISessionEnumerator**) override { return E_NOTIMPL; }
};

class FakeSessionManager : public winport::ComObject<quillmere::ISessionManagerReconnect,
                                                     quillmere::ISessionManagerEnumeration> {
 public:
  std::map<std::string, winport::ComPtr<FakeSession>> callers;  // by identity token
  std::vector<winport::ComPtr<FakeSession>> sessions;           // listed
  CallLog log;
  std::shared_ptr<CallLog> enumeratorLog = std::make_shared<CallLog>();  // every enumerator's

  FakeSession& AddCaller(const std::string& token, LONG adminFlags) {
    auto& session = callers[token] = winport::MakeComObject<FakeSession>();
    session->adminFlags = adminFlags;
    return *session.Get();
  }
  FakeSession& AddSession(const std::string& token, const std::string& xml, ULONG groups) {
    auto& session = sessions.emplace_back(winport::MakeComObject<FakeSession>());
    session->token = token;
    session->xml = xml;
    session->groups = groups;
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
    HandOut(static_cast<quillmere::ISessionEnumerator*>(
                new FakeSessionEnumerator(sessions, enumeratorLog)),
            out);
    return S_OK;
  }

 private:
  HRESULT Find(const char* operation, BSTR token, quillmere::ISession** session) {
    *session = nullptr;
    FAKE_ENTER(log, operation);
    const auto found = callers.find(Utf8(token));
    // An unknown token is a session that has timed out or was logged off.
    if (found == callers.end()) return HRESULT_FROM_WIN32(ERROR_NOT_AUTHENTICATED);
    HandOut(found->second.Get(), session);
    return S_OK;
  }
};

}  // namespace fakes
