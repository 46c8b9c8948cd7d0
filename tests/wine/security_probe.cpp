#include "security_probe.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>

#include "report.h"

namespace {

std::string SidString(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  std::string result = text;
  LocalFree(text);
  return result;
}

bool IsAdministratorsMember(HANDLE token) {
  // CheckTokenMembership wants an impersonation token.
  HANDLE impersonation = nullptr;
  if (!DuplicateToken(token, SecurityIdentification, &impersonation)) return false;
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  BOOL member = FALSE;
  if (AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                               DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
    if (!CheckTokenMembership(impersonation, administrators, &member)) member = FALSE;
    FreeSid(administrators);
  }
  CloseHandle(impersonation);
  return member != FALSE;
}

}  // namespace

void ReportProcessToken(HANDLE process) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE, &token)) {
    Report("token.error", static_cast<long long>(GetLastError()));
    return;
  }
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (GetTokenInformation(token, TokenUser, user, sizeof user, &size))
    Report("token.user", SidString(reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
  TOKEN_ELEVATION elevation = {};
  bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                  elevation.TokenIsElevated;
  Report("token.elevated", elevated || IsAdministratorsMember(token));
  CloseHandle(token);
}

void ReportDirectoryAcl(const std::string& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, &dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) {
    Report("workspace.dacl.error", static_cast<long long>(error));
    return;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  Report("workspace.dacl.protected", (control & SE_DACL_PROTECTED) != 0);
  Report("workspace.dacl.aces", dacl ? static_cast<long long>(dacl->AceCount) : -1);
  for (DWORD i = 0; dacl && i < dacl->AceCount; i++) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
    // Allowed and denied entries share their layout: header, mask, SID.
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    char value[160];
    snprintf(value, sizeof value, "%s:%s:%08lX:%02X",
             header->AceType == ACCESS_ALLOWED_ACE_TYPE ? "allow" : "other",
             SidString(&ace->SidStart).c_str(), static_cast<unsigned long>(ace->Mask),
             header->AceFlags);
    std::string key = "workspace.dacl.ace" + std::to_string(i);
    Report(key.c_str(), value);
  }
  LocalFree(descriptor);
}
