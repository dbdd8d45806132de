// Stand-in <sddl.h>: security descriptors from their string form.
#pragma once

#include <windows.h>

#define SDDL_REVISION_1 1

BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR stringSecurityDescriptor,
                                                                 DWORD stringSDRevision,
                                                                 PSECURITY_DESCRIPTOR *securityDescriptor,
                                                                 PULONG securityDescriptorSize);
BOOL WINAPI ConvertSecurityDescriptorToStringSecurityDescriptorA(PSECURITY_DESCRIPTOR securityDescriptor,
                                                                 DWORD requestedStringSDRevision,
                                                                 SECURITY_INFORMATION securityInformation,
                                                                 LPSTR *stringSecurityDescriptor, PULONG stringLength);
