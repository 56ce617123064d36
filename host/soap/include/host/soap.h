// Everything of the host's SOAP layer.
#pragma once

#include "host/common/xml_text.h"
#include "host/envelope.h"
#include "host/response_writer.h"
#include "host/service_catalog.h"
#include "host/soap_message.h"
#include "host/soap_namespaces.h"
