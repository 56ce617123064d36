// Message properties: what a sender's set says, and a received message written into a
// receiver's set. Bodies are at most 4 MB (kMaxBodyBytes), as on Windows.
#pragma once

#include "queue_store.h"

namespace mqrt {

inline constexpr ULONG kMaxBodyBytes = 4 * 1024 * 1024;

// The message a sender's properties describe (viewing the caller's memory): body, label,
// body type, delivery and priority; properties only a receiver reads are ignored.
HRESULT ReadOutgoingMessage(const MQMSGPROPS& properties, MessageView* message);

// Whether a receiver's properties can take a message, checked before any is taken.
HRESULT CheckIncomingProperties(const MQMSGPROPS& properties);

// Writes the message into the receiver's properties; MQ_ERROR_BUFFER_OVERFLOW or
// MQ_ERROR_LABEL_BUFFER_TOO_SMALL, with the sizes needed, when it does not fit.
HRESULT WriteIncomingMessage(const MQMSGPROPS& properties, const MessageView& message);

}  // namespace mqrt
