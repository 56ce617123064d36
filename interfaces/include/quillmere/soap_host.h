// The SOAP service host as the module sees it: the service that loads the objects, the
// messages it hands them and the fault of a response. Slot order is the host's.
#pragma once

#include <winport/windows.h>

#include "quillmere/guids.h"

namespace quillmere {

enum class FaultCode : LONG {
  Client = 0,
  Server = 1,
  MustUnderstand = 2,
  VersionMismatch = 3,
  Auth = 401,
};

struct ISOAPFault : public IUnknown {
  // Turns the response into a fault with this text and code.
  virtual HRESULT STDMETHODCALLTYPE setSpecificFault(BSTR text, FaultCode code) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_faultDetail(BSTR detail) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FaultCode(FaultCode code) = 0;
};

struct ISOAPMessage : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE methodName(BSTR* name) = 0;
  // The response becomes the method's response envelope, without parameters.
  virtual HRESULT STDMETHODCALLTYPE CopyStructure(ISOAPMessage* request) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyVariablesBlock(ISOAPMessage* request) = 0;
  // A failure means the parameter is absent.
  virtual HRESULT STDMETHODCALLTYPE getStringParameterByAccessor(BSTR accessor, BSTR* value) = 0;
  // bXML true inserts the value as XML, false as text.
  virtual HRESULT STDMETHODCALLTYPE addResponseParameter(BSTR accessor, BSTR value,
                                                         VARIANT_BOOL bXML) = 0;
  virtual HRESULT STDMETHODCALLTYPE getSOAPFault(ISOAPFault** fault) = 0;
  // S_FALSE when there is no OnSuccess request; S_OK with the next request and the name
  // of the object that is to run it.
  virtual HRESULT STDMETHODCALLTYPE GetOnSuccessNext(ISOAPMessage** next, BSTR* objectName) = 0;
  // S_OK when the message may be processed.
  virtual HRESULT STDMETHODCALLTYPE mustIUnderstand() = 0;
  virtual HRESULT STDMETHODCALLTYPE ArguementCount(LONG* count) = 0;
  // The method element's child elements as XML text.
  virtual HRESULT STDMETHODCALLTYPE getDictionaryInformation(BSTR* text) = 0;
};

struct ISoapService : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Register(_ISoapObject* object, BSTR nameSpace) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unregister(_ISoapObject* object, BSTR nameSpace) = 0;
  // "Session", "Repository", "Extension": an object to be queried for what the caller needs.
  virtual HRESULT STDMETHODCALLTYPE NamedObject(BSTR name, IUnknown** object) = 0;
  // Runs the named SOAP object on request and fills the response slot.
  virtual HRESULT STDMETHODCALLTYPE DispatchSOAP(BSTR objectName, ISOAPMessage* request,
                                                 ISOAPMessage** response) = 0;
  virtual HRESULT STDMETHODCALLTYPE setReportingLevel(LONG level) = 0;
  virtual HRESULT STDMETHODCALLTYPE setThreadCount(LONG count) = 0;
};

}  // namespace quillmere
