// Everything of the host's SOAP layer.
#pragma once

#include "host/common/xml_text.h"
#include "host/soap/envelope.h"
#include "host/soap/response_writer.h"
#include "host/soap/service_catalog.h"
#include "host/soap/soap_message.h"
#include "host/soap/soap_namespaces.h"
