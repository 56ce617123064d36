// The host's session manager (its named object "Session") and what it hands out: the
// caller's session, the enumerated sessions and the user administration. Slot order is
// the session manager's; operations the module never calls keep their places.
#pragma once

#include <winport/windows.h>

#include "quillmere/guids.h"

namespace quillmere {

// Permission bits of a user or session.
enum GroupMask : ULONG {
  GroupAdmin = 0x01,
  GroupBatch = 0x02,
  GroupUploadData = 0x04,
  GroupDownloadFiles = 0x08,
  GroupUploadScripts = 0x10,
  GroupPortalInteractive = 0x20,
  GroupPortal = 0x40,
};

struct ISession : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetIdentityToken(BSTR* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSessionText(BSTR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUser(BSTR* user) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWorkstation(BSTR* workstation) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCreated(DATE* created) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLastAccess(DATE* lastAccess) = 0;
  virtual HRESULT STDMETHODCALLTYPE Touch() = 0;
  // GroupAdmin set: the user belongs to the administrators' group.
  virtual HRESULT STDMETHODCALLTYPE IsAdmin(LONG* flags) = 0;
};

struct ISessionManagerReconnect : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reconnect(BSTR identityToken, ISession** session) = 0;
  virtual HRESULT STDMETHODCALLTYPE Logon(BSTR user, BSTR password, BSTR* identityToken) = 0;
  // As Reconnect, without counting as the session's activity.
  virtual HRESULT STDMETHODCALLTYPE PhantomReconnect(BSTR identityToken, ISession** session) = 0;
};

struct ISessionRecord : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetSessionId(LONG* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUser(BSTR* user) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIdentityToken(BSTR* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWorkstation(BSTR* workstation) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCreated(DATE* created) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLastAccess(DATE* lastAccess) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetJobCount(LONG* count) = 0;
  // Text that opens the session's SESSION element.
  virtual HRESULT STDMETHODCALLTYPE GetXml(BSTR* xml) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetState(LONG* state) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetGroups(ULONG* groups) = 0;
};

struct ISessionEnumerator : public IUnknown {
  // Exactly S_OK delivers one session; any other result ends the walk.
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, ISessionRecord** session, ULONG* fetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(ISessionEnumerator** clone) = 0;
};

struct ISessionManagerEnumeration : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE EnumSessions(ISessionEnumerator** sessions) = 0;
};

struct IUserAdministration : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetUserPermissions(BSTR user, ULONG* groups) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUserPermissions(BSTR user, ULONG groups) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPassword(BSTR user, BSTR password) = 0;
  // A one-dimensional array of user names (strings).
  virtual HRESULT STDMETHODCALLTYPE GetUserList(VARIANT* users) = 0;
};

// The host's "Extension" object: only ever asked for this interface.
struct IExtensionObject : public IUnknown {};

}  // namespace quillmere
