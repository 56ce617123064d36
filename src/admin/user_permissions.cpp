#include "admin/user_permissions.h"

#include <winport/com_ptr.h>

#include "caller.h"
#include "documents/edited_cell.h"
#include "documents/spreadsheet.h"
#include "errors/com_error.h"
#include "errors/entry.h"
#include "errors/new_bstr.h"
#include "soap/response_document.h"

namespace quillmere {
namespace {

constexpr const OLECHAR* kTraceName = OLESTR("CUserPermissions::execute::execute");

struct Permission {
  const OLECHAR* name;
  GroupMask bit;
};

constexpr Permission kPermissions[] = {
    {OLESTR("QMS_ADMIN"), GroupAdmin},
    {OLESTR("QMS_BATCHABLE"), GroupBatch},
    {OLESTR("QMS_UPLOADDATA"), GroupUploadData},
    {OLESTR("QMS_DOWNLOADFILES"), GroupDownloadFiles},
    {OLESTR("QMS_UPLOADSCRIPTS"), GroupUploadScripts},
    {OLESTR("QMS_PORTALINTERACTIVE"), GroupPortalInteractive},
    {OLESTR("QMS_PORTAL"), GroupPortal},
};

void WriteButton(winport::WideString& output, BSTR identityToken) {
  WriteEditButton(output, OLESTR("Administrator"), OLESTR("UserPermissions"),
                  winport::BstrView(identityToken));
}

}  // namespace

HRESULT CUserPermissions::execute(ISOAPMessage* request, ISOAPMessage* response) {
  return RunEntry(owner().reporting(), kTraceName, [&] { return Answer(request, response); });
}

HRESULT CUserPermissions::Answer(ISOAPMessage* request, ISOAPMessage* response) const {
  winport::ScopedBstr children;
  CheckHr(request->getDictionaryInformation(children.Receive()));
  winport::WideString output;
  if (const auto cell = FindEditedCell(winport::BstrView(children.Get()))) {
    // A cell of another column than the name form's is posted from a session's sheet: the
    // session must still be there.
    if (cell->column != OLESTR("UserName")) {
      const winport::ScopedBstr token = IdentityTokenOf(request);
      const winport::ComPtr<ISession> session = CallerSession(owner(), token.Get());
      UserAdministrationOf(*session.Get());
      winport::ScopedBstr text;
      CheckHr(session->GetSessionText(text.Receive()));
    }
    WritePermissions(request, cell->value, output);
  } else {
    const winport::ScopedBstr token = IdentityTokenOf(request);
    const winport::ComPtr<ISession> session = CallerSession(owner(), token.Get());
    if (!IsAdministrator(*session.Get()))
      return RefuseNonAdministrator(owner(), response, kTraceName);
    WriteSheetHead(output, {}, {OLESTR("UserName")});
    WriteSheetRow(output, OLESTR("UserName"), {OLESTR("enter a name")});
    WriteSheetClosing(output);
    WriteButton(output, token.Get());
  }
  return CheckHr(AddXmlData(response, output));
}

void CUserPermissions::WritePermissions(ISOAPMessage* request, winport::WideView userName,
                                        winport::WideString& output) const {
  WriteSheetHead(output, userName, {OLESTR("Permitted")});
  const winport::ScopedBstr token = IdentityTokenOf(request);
  const winport::ComPtr<ISession> session = CallerSession(owner(), token.Get());
  ULONG mask = 0;
  CheckHr(UserAdministrationOf(*session.Get())->GetUserPermissions(NewBstr(userName).Get(), &mask));
  for (const Permission& permission : kPermissions) {
    WriteSheetRow(output, permission.name,
                  {(mask & permission.bit) != 0 ? OLESTR("true") : OLESTR("false")});
  }
  WriteSheetClosing(output);
  WriteButton(output, token.Get());
}

}  // namespace quillmere
