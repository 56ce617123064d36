// The host's document repository (its named object "Repository"): one view per session,
// each reading the main menu. Its log keeps "GetSessionView" and "ReadDocument <path> <mode>".
#pragma once

#include <string>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "fakes/call_log.h"
#include "quillmere/repository.h"

namespace fakes {

#define FAKE_RESERVED_SLOT(n)                        \
  HRESULT STDMETHODCALLTYPE Reserved##n() override { \
    return E_NOTIMPL;                                \
  }

class FakeRepository
    : public winport::ComObject<quillmere::IRepository, quillmere::IRepositoryView> {
 public:
  std::string mainMenu;
  CallLog log;

  HRESULT STDMETHODCALLTYPE GetSessionView(quillmere::ISession*,
                                           quillmere::IRepositoryView** view) override {
    *view = nullptr;
    FAKE_ENTER(log, "GetSessionView");
    HandOut(static_cast<quillmere::IRepositoryView*>(this), view);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReadDocument(BSTR path, BSTR mode, BSTR* text) override {
    *text = nullptr;
    FAKE_ENTER(log, "ReadDocument", Utf8(path) + " " + Utf8(mode));
    *text = mainMenu.empty() ? nullptr : NewBstr(mainMenu);
    return S_OK;
  }

  FAKE_RESERVED_SLOT(3)
  FAKE_RESERVED_SLOT(4)
  FAKE_RESERVED_SLOT(5)
  FAKE_RESERVED_SLOT(6)
  FAKE_RESERVED_SLOT(7)
  FAKE_RESERVED_SLOT(8)
  FAKE_RESERVED_SLOT(9)
  FAKE_RESERVED_SLOT(10)
  FAKE_RESERVED_SLOT(11)
  FAKE_RESERVED_SLOT(12)
  FAKE_RESERVED_SLOT(13)
  FAKE_RESERVED_SLOT(14)
  FAKE_RESERVED_SLOT(15)
  FAKE_RESERVED_SLOT(16)
  FAKE_RESERVED_SLOT(17)
  FAKE_RESERVED_SLOT(18)
  FAKE_RESERVED_SLOT(19)
  FAKE_RESERVED_SLOT(20)
  FAKE_RESERVED_SLOT(21)
  FAKE_RESERVED_SLOT(22)
  FAKE_RESERVED_SLOT(23)
  FAKE_RESERVED_SLOT(24)
  FAKE_RESERVED_SLOT(25)
  FAKE_RESERVED_SLOT(26)
};

#undef FAKE_RESERVED_SLOT

}  // namespace fakes
