// The host's document repository (its named object "Repository") and a session's view of
// it. Slot order is the repository's; the operations the module never calls are reserved
// slots that keep the called ones in their places.
#pragma once

#include <winport/windows.h>

#include "quillmere/guids.h"
#include "quillmere/session_manager.h"

namespace quillmere {

#define QUILLMERE_RESERVED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE Reserved##n() = 0

struct IRepositoryView : public IUnknown {
  QUILLMERE_RESERVED_SLOT(3);
  QUILLMERE_RESERVED_SLOT(4);
  QUILLMERE_RESERVED_SLOT(5);
  QUILLMERE_RESERVED_SLOT(6);
  QUILLMERE_RESERVED_SLOT(7);
  QUILLMERE_RESERVED_SLOT(8);
  QUILLMERE_RESERVED_SLOT(9);
  QUILLMERE_RESERVED_SLOT(10);
  QUILLMERE_RESERVED_SLOT(11);
  QUILLMERE_RESERVED_SLOT(12);
  QUILLMERE_RESERVED_SLOT(13);
  QUILLMERE_RESERVED_SLOT(14);
  QUILLMERE_RESERVED_SLOT(15);
  QUILLMERE_RESERVED_SLOT(16);
  QUILLMERE_RESERVED_SLOT(17);
  QUILLMERE_RESERVED_SLOT(18);
  QUILLMERE_RESERVED_SLOT(19);
  QUILLMERE_RESERVED_SLOT(20);
  QUILLMERE_RESERVED_SLOT(21);
  QUILLMERE_RESERVED_SLOT(22);
  QUILLMERE_RESERVED_SLOT(23);
  QUILLMERE_RESERVED_SLOT(24);
  QUILLMERE_RESERVED_SLOT(25);
  QUILLMERE_RESERVED_SLOT(26);
  // The text of a document of the repository as the session may see it (possibly empty);
  // mode is the repository's own ("X").
  virtual HRESULT STDMETHODCALLTYPE ReadDocument(BSTR path, BSTR mode, BSTR* text) = 0;
};

struct IRepository : public IUnknown {
  QUILLMERE_RESERVED_SLOT(3);
  QUILLMERE_RESERVED_SLOT(4);
  QUILLMERE_RESERVED_SLOT(5);
  QUILLMERE_RESERVED_SLOT(6);
  virtual HRESULT STDMETHODCALLTYPE GetSessionView(ISession* session, IRepositoryView** view) = 0;
};

#undef QUILLMERE_RESERVED_SLOT

}  // namespace quillmere
