// What the client tells about the machine: the physical default gateway and
// a short operating-system description.
#ifndef CLIENT_SYSTEM_OS_INFO_H_
#define CLIENT_SYSTEM_OS_INFO_H_

#include <string>

// The first gateway of the first adapter that is neither the tunnel adapter
// nor without a gateway ("0.0.0.0"); empty when there is none.
std::string GetDefaultGateway();

// "windows" + the first two parts of the Windows Desktop Search version +
// "x64" or "x32", in the ANSI code page, e.g. "windows10.0x64".
std::string GetOsDescription();

// The description for a given version text and bitness.
std::string FormatOsDescription(const std::wstring& version, bool wow64);

#endif  // CLIENT_SYSTEM_OS_INFO_H_
