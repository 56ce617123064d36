// Every interface and class id of the SOAP object runtime, in one place. The values are
// ours; once published they never change, because hosts and type libraries record them.
#pragma once

#include <winport/windows.h>

namespace quillmere {

// The host's side (soap_host.h).
struct ISoapService;
struct ISOAPMessage;
struct ISOAPFault;
enum class FaultCode : LONG;
struct SoapMessage;  // the host's message class, created for every response

// What the SOAP objects offer the host (soap_object_interfaces.h).
struct _ISoapObject;
struct ISetting;

// The host's session manager, the named object "Session" (session_manager.h).
struct ISessionManagerReconnect;
struct ISessionManagerEnumeration;
struct ISessionEnumerator;
struct ISession;
struct ISessionRecord;
struct IUserAdministration;
struct IExtensionObject;

// The host's document repository, the named object "Repository" (repository.h).
struct IRepository;
struct IRepositoryView;

// The outside job component (job_source.h).
struct IJobSource;
struct IJobEnumerator;
struct IJobRecord;
struct JobSource;  // its class

}  // namespace quillmere

WINPORT_DEFINE_UUID(quillmere::ISoapService, 0xe95029cc, 0xd825, 0x4510, 0xba, 0x12, 0x10, 0x46,
                    0xba, 0xfb, 0x9c, 0xab);  // {E95029CC-D825-4510-BA12-1046BAFB9CAB}
WINPORT_DEFINE_UUID(quillmere::ISOAPMessage, 0xde7f22f8, 0xb571, 0x4622, 0x98, 0x4f, 0xcf, 0x01,
                    0x93, 0x0c, 0x45, 0xaa);  // {DE7F22F8-B571-4622-984F-CF01930C45AA}
WINPORT_DEFINE_UUID(quillmere::ISOAPFault, 0x7e1d8764, 0xb4f7, 0x46fd, 0xa3, 0x02, 0xf3, 0x14, 0x22,
                    0x61, 0xd0, 0xb9);  // {7E1D8764-B4F7-46FD-A302-F3142261D0B9}
WINPORT_DEFINE_UUID(quillmere::FaultCode, 0x5b26d93f, 0xf049, 0x40ba, 0xbe, 0xba, 0x79, 0x59, 0xe4,
                    0x5b, 0xa3, 0xf8);  // {5B26D93F-F049-40BA-BEBA-7959E45BA3F8}
WINPORT_DEFINE_UUID(quillmere::_ISoapObject, 0x62c76ad2, 0x341a, 0x4172, 0x8c, 0x24, 0xbc, 0xd5,
                    0xf4, 0xf2, 0x7b, 0xbf);  // {62C76AD2-341A-4172-8C24-BCD5F4F27BBF}
WINPORT_DEFINE_UUID(quillmere::ISetting, 0x444b10b5, 0x34c4, 0x47c3, 0xaf, 0xac, 0x36, 0xb1, 0xd9,
                    0x96, 0x79, 0x94);  // {444B10B5-34C4-47C3-AFAC-36B1D9967994}
WINPORT_DEFINE_UUID(quillmere::ISessionManagerReconnect, 0xf8035663, 0x4336, 0x4e1f, 0x8f, 0x84,
                    0x75, 0xb1, 0xc7, 0x92, 0xfb, 0x32);  // {F8035663-4336-4E1F-8F84-75B1C792FB32}
WINPORT_DEFINE_UUID(quillmere::ISessionManagerEnumeration, 0x85bcdda6, 0x3ad1, 0x4a4d, 0xbb, 0x5f,
                    0x8f, 0xe8, 0xc6, 0x05, 0xd7, 0x1a);  // {85BCDDA6-3AD1-4A4D-BB5F-8FE8C605D71A}
WINPORT_DEFINE_UUID(quillmere::ISessionEnumerator, 0xd65c0da6, 0x41a2, 0x45a2, 0xb9, 0x88, 0x42,
                    0x60, 0xfa, 0xc3, 0x4d, 0x13);  // {D65C0DA6-41A2-45A2-B988-4260FAC34D13}
WINPORT_DEFINE_UUID(quillmere::ISession, 0x782d7322, 0x05f2, 0x41a2, 0xb3, 0x5e, 0xa1, 0x8a, 0xaf,
                    0xc2, 0xec, 0x0f);  // {782D7322-05F2-41A2-B35E-A18AAFC2EC0F}
WINPORT_DEFINE_UUID(quillmere::ISessionRecord, 0x9c63b6fe, 0x9ef0, 0x4e2f, 0x9c, 0xd2, 0x52, 0xd1,
                    0x7e, 0x8a, 0xa9, 0x9c);  // {9C63B6FE-9EF0-4E2F-9CD2-52D17E8AA99C}
WINPORT_DEFINE_UUID(quillmere::IUserAdministration, 0x2096037a, 0x7eb5, 0x42d4, 0xa4, 0x77, 0x09,
                    0x38, 0xdb, 0xbc, 0x9c, 0xff);  // {2096037A-7EB5-42D4-A477-0938DBBC9CFF}
WINPORT_DEFINE_UUID(quillmere::IExtensionObject, 0x67a89082, 0x530e, 0x4153, 0x9d, 0x24, 0xc0, 0xb3,
                    0xb2, 0x0f, 0x1f, 0xfc);  // {67A89082-530E-4153-9D24-C0B3B20F1FFC}
WINPORT_DEFINE_UUID(quillmere::SoapMessage, 0x51d00237, 0x9dea, 0x4779, 0xb2, 0xef, 0xbf, 0xeb,
                    0xc8, 0x85, 0xe5, 0xe5);  // {51D00237-9DEA-4779-B2EF-BFEBC885E5E5}
WINPORT_DEFINE_UUID(quillmere::IJobSource, 0x0db85aa7, 0x4a7d, 0x4234, 0x92, 0x8e, 0x76, 0x5c, 0x4f,
                    0xc9, 0x8b, 0xd8);  // {0DB85AA7-4A7D-4234-928E-765C4FC98BD8}
WINPORT_DEFINE_UUID(quillmere::IJobEnumerator, 0xf8d237b5, 0x9783, 0x46da, 0xab, 0xaa, 0x55, 0xd7,
                    0x76, 0x53, 0x69, 0x91);  // {F8D237B5-9783-46DA-ABAA-55D776536991}
WINPORT_DEFINE_UUID(quillmere::IJobRecord, 0x56c1abc8, 0xb6c8, 0x47ca, 0xa8, 0xf6, 0x1b, 0x10, 0x90,
                    0x82, 0x15, 0x37);  // {56C1ABC8-B6C8-47CA-A8F6-1B1090821537}
WINPORT_DEFINE_UUID(quillmere::JobSource, 0x38c3e7e6, 0xd227, 0x41a1, 0x98, 0xed, 0x84, 0x7a, 0x03,
                    0x94, 0xd5, 0xbf);  // {38C3E7E6-D227-41A1-98ED-847A0394D5BF}
WINPORT_DEFINE_UUID(quillmere::IRepository, 0xb7b8a93e, 0x6102, 0x4618, 0xab, 0x3b, 0x0e, 0x30,
                    0xc1, 0x8c, 0x54, 0xd5);  // {B7B8A93E-6102-4618-AB3B-0E30C18C54D5}
WINPORT_DEFINE_UUID(quillmere::IRepositoryView, 0x505f4edf, 0x075c, 0x4968, 0xa4, 0x14, 0x74, 0xb8,
                    0xbe, 0x36, 0x87, 0xc8);  // {505F4EDF-075C-4968-A414-74B8BE3687C8}
