#include "message_properties.h"

#include <algorithm>

#include "property_set.h"

namespace mqrt {
namespace {

constexpr VARTYPE kBytes = VT_VECTOR | VT_UI1;

bool IsMessageProperty(PROPID id) {
  return id >= PROPID_M_CLASS && id <= PROPID_M_SOAP_BODY;
}

// A value the receiver asks for: of its type, or VT_NULL for the runtime to set it.
HRESULT CheckOutputType(const MQPROPVARIANT& value, VARTYPE type) {
  return value.vt == type || value.vt == VT_NULL ? MQ_OK : MQ_ERROR_ILLEGAL_PROPERTY_VT;
}

HRESULT CheckBodyBuffer(const MQPROPVARIANT& value) {
  if (value.vt != kBytes) return MQ_ERROR_ILLEGAL_PROPERTY_VT;
  return value.caub.pElems == nullptr && value.caub.cElems != 0 ? MQ_ERROR_ILLEGAL_PROPERTY_VALUE
                                                                : MQ_OK;
}

HRESULT ReadByte(const MQPROPVARIANT& value, UCHAR largest, UCHAR* out) {
  if (value.vt != VT_UI1) return MQ_ERROR_ILLEGAL_PROPERTY_VT;
  if (value.bVal > largest) return MQ_ERROR_ILLEGAL_PROPERTY_VALUE;
  *out = value.bVal;
  return MQ_OK;
}

// The value of the property with this id in the set, or null.
MQPROPVARIANT* Find(const MQMSGPROPS& properties, PROPID id) {
  for (DWORD i = 0; i < properties.cProp; ++i) {
    if (properties.aPropID[i] == id) return &properties.aPropVar[i];
  }
  return nullptr;
}

void SetUlong(MQPROPVARIANT* value, ULONG number) {
  if (value == nullptr) return;
  value->vt = VT_UI4;
  value->ulVal = number;
}

void SetByte(MQPROPVARIANT* value, UCHAR number) {
  if (value == nullptr) return;
  value->vt = VT_UI1;
  value->bVal = number;
}

}  // namespace

HRESULT ReadOutgoingMessage(const MQMSGPROPS& properties, MessageView* message) {
  return CheckEachProperty(properties, [&](PROPID id, const MQPROPVARIANT& value) -> HRESULT {
    switch (id) {
      case PROPID_M_BODY: {
        const HRESULT checked = CheckBodyBuffer(value);
        if (checked != MQ_OK) return checked;
        if (value.caub.cElems > kMaxBodyBytes) return MQ_ERROR_INSUFFICIENT_RESOURCES;
        message->body = std::span<const BYTE>(value.caub.pElems, value.caub.cElems);
        return MQ_OK;
      }
      case PROPID_M_LABEL:
        if (value.vt != VT_LPWSTR) return MQ_ERROR_ILLEGAL_PROPERTY_VT;
        if (value.pwszVal == nullptr) return MQ_ERROR_ILLEGAL_PROPERTY_VALUE;
        message->label = winport::WideView(value.pwszVal);
        return message->label.size() > MQ_MAX_MSG_LABEL_LEN ? MQ_ERROR_LABEL_TOO_LONG : MQ_OK;
      case PROPID_M_BODY_TYPE:
        if (value.vt != VT_UI4) return MQ_ERROR_ILLEGAL_PROPERTY_VT;
        message->body_type = value.ulVal;
        return MQ_OK;
      case PROPID_M_DELIVERY:
        return ReadByte(value, MQMSG_DELIVERY_RECOVERABLE, &message->delivery);
      case PROPID_M_PRIORITY:
        return ReadByte(value, MQ_MAX_PRIORITY, &message->priority);
      default:
        // The sizes are the receiver's to read; other properties are not carried.
        return IsMessageProperty(id) ? MQ_INFORMATION_PROPERTY_IGNORED : MQ_ERROR_ILLEGAL_PROPID;
    }
  });
}

HRESULT CheckIncomingProperties(const MQMSGPROPS& properties) {
  const HRESULT checked =
      CheckEachProperty(properties, [](PROPID id, const MQPROPVARIANT& value) -> HRESULT {
        switch (id) {
          case PROPID_M_BODY:
            return CheckBodyBuffer(value);
          case PROPID_M_LABEL:
            if (value.vt != VT_LPWSTR) return MQ_ERROR_ILLEGAL_PROPERTY_VT;
            return value.pwszVal == nullptr ? MQ_ERROR_ILLEGAL_PROPERTY_VALUE : MQ_OK;
          case PROPID_M_LABEL_LEN:
            // The label buffer's size in characters.
            return value.vt == VT_UI4 ? MQ_OK : MQ_ERROR_ILLEGAL_PROPERTY_VT;
          case PROPID_M_BODY_SIZE:
          case PROPID_M_BODY_TYPE:
            return CheckOutputType(value, VT_UI4);
          case PROPID_M_PRIORITY:
          case PROPID_M_DELIVERY:
            return CheckOutputType(value, VT_UI1);
          default:
            return IsMessageProperty(id) ? MQ_INFORMATION_UNSUPPORTED_PROPERTY
                                         : MQ_ERROR_ILLEGAL_PROPID;
        }
      });
  if (checked < 0) return checked;
  const bool label_without_size = Find(properties, PROPID_M_LABEL) != nullptr &&
                                  Find(properties, PROPID_M_LABEL_LEN) == nullptr;
  return label_without_size ? MQ_ERROR_INSUFFICIENT_PROPERTIES : checked;
}

HRESULT WriteIncomingMessage(const MQMSGPROPS& properties, const MessageView& message) {
  MQPROPVARIANT* body = Find(properties, PROPID_M_BODY);
  MQPROPVARIANT* label = Find(properties, PROPID_M_LABEL);
  MQPROPVARIANT* label_length = Find(properties, PROPID_M_LABEL_LEN);
  const auto body_size = static_cast<ULONG>(message.body.size());
  const auto label_size = static_cast<ULONG>(message.label.size() + 1);
  // The sizes first: they tell a receiver whose buffers are too small what it needs.
  SetUlong(Find(properties, PROPID_M_BODY_SIZE), body_size);
  const ULONG label_capacity = label_length != nullptr ? label_length->ulVal : 0;
  SetUlong(label_length, label_size);
  if (body != nullptr && body->caub.cElems < body_size) return MQ_ERROR_BUFFER_OVERFLOW;
  if (label != nullptr && label_capacity < label_size) return MQ_ERROR_LABEL_BUFFER_TOO_SMALL;

  if (body != nullptr) std::copy(message.body.begin(), message.body.end(), body->caub.pElems);
  if (label != nullptr) {
    std::copy(message.label.begin(), message.label.end(), label->pwszVal);
    label->pwszVal[message.label.size()] = u'\0';
  }
  SetUlong(Find(properties, PROPID_M_BODY_TYPE), message.body_type);
  SetByte(Find(properties, PROPID_M_PRIORITY), message.priority);
  SetByte(Find(properties, PROPID_M_DELIVERY), message.delivery);
  return MQ_OK;
}

}  // namespace mqrt
