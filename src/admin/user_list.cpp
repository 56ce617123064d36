#include "admin/user_list.h"

#include <winport/com_ptr.h>
#include <winport/scoped_variant.h>

#include "caller.h"
#include "documents/spreadsheet.h"
#include "errors/com_error.h"
#include "errors/entry.h"
#include "errors/new_bstr.h"
#include "quick_safe_array_access.h"
#include "quillmere/repository.h"
#include "soap/response_document.h"

namespace quillmere {
namespace {

constexpr const OLECHAR* kTraceName = OLESTR("CUserList::execute::execute");

// The portal's main menu as the caller's session sees it; empty when there is none.
winport::WideString MainMenu(ISOAPObjectImpl& owner, ISession& session) {
  winport::ComPtr<IRepository> repository;
  CheckHr(owner.GetNamedObjectQI(NewBstr(OLESTR("Repository")).Get(), __uuidof(IRepository),
                                 reinterpret_cast<void**>(repository.GetAddressOf())));
  if (!repository) RaiseComErrorWithoutInfo(E_POINTER);
  winport::ComPtr<IRepositoryView> view;
  CheckHr(repository->GetSessionView(&session, view.GetAddressOf()));
  if (!view) RaiseComErrorWithoutInfo(E_POINTER);
  winport::ScopedBstr text;
  view->ReadDocument(NewBstr(OLESTR("\\mainmenu.xml")).Get(), NewBstr(OLESTR("X")).Get(),
                     text.Receive());
  return winport::WideString(winport::BstrView(text.Get()));
}

// One row per user name, each with the cell "t". A value that is not an array of strings
// is never read as one.
void WriteUserRows(ISOAPObjectImpl& owner, const VARIANT& users, winport::WideString& output) {
  if (users.vt != (VT_ARRAY | VT_BSTR)) {
    Warn(owner, kTraceName, OLESTR("Type Mismatch in Parameter. Pass a string array by reference"));
    RaiseComErrorWithoutInfo(DISP_E_TYPEMISMATCH);
  }
  SAFEARRAY* names = users.parray;
  // Another shape is read by its first dimension.
  if (SafeArrayGetDim(names) != 1)
    Warn(owner, kTraceName, OLESTR("Type Mismatch in Parameter. Pass a one-dimensional array"));
  LONG lower = 0;
  LONG upper = -1;
  CheckHr(SafeArrayGetLBound(names, 1, &lower));
  CheckHr(SafeArrayGetUBound(names, 1, &upper));
  const QuickSafeArrayAccess<BSTR> elements(names);
  for (LONG index = lower; index <= upper; ++index) {
    WriteSheetRow(output, winport::BstrView(elements[static_cast<size_t>(index - lower)]),
                  {OLESTR("t")});
  }
}

}  // namespace

HRESULT CUserList::execute(ISOAPMessage* request, ISOAPMessage* response) {
  return RunEntry(owner().reporting(), kTraceName, [&] { return List(request, response); });
}

HRESULT CUserList::List(ISOAPMessage* request, ISOAPMessage* response) const {
  const winport::ScopedBstr token = IdentityTokenOf(request);
  const winport::ComPtr<ISession> session = CallerSession(owner(), token.Get());
  // The menu is read before the caller is checked.
  winport::WideString output = MainMenu(owner(), *session.Get());
  if (!IsAdministrator(*session.Get()))
    return RefuseNonAdministrator(owner(), response, kTraceName);

  WriteSheetHead(output, OLESTR("List of Users"), {OLESTR("Edit")});
  winport::ScopedVariant users;
  CheckHr(UserAdministrationOf(*session.Get())->GetUserList(users.Receive()));
  WriteUserRows(owner(), users.Get(), output);
  WriteSheetClosing(output);
  WriteEditButton(output, OLESTR("Administrator"), OLESTR("UserPermissions"),
                  winport::BstrView(token.Get()));
  return CheckHr(AddXmlData(response, output));
}

}  // namespace quillmere
