#include "tests/support/MappingCensus.h"

#include <windows.h>
#include <winternl.h>

#include <string>

#include "platform/TextConversion.h"

// Named sections live in the object directory of the session's named objects, which ntdll alone
// lists; a section of a name exists as long as some process has a handle to it.
namespace {

struct DirectoryEntry {
  UNICODE_STRING name;
  UNICODE_STRING typeName;
};

using OpenDirectoryFunction = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*);
using QueryDirectoryFunction = NTSTATUS(NTAPI*)(HANDLE, void*, ULONG, BOOLEAN, BOOLEAN, ULONG*, ULONG*);

constexpr ACCESS_MASK kDirectoryQuery = 0x0001;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// The names of every section in this session's named objects.
std::vector<std::wstring> SectionNames() {
  std::vector<std::wstring> names;
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto open = reinterpret_cast<OpenDirectoryFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtOpenDirectoryObject")));
  const auto query = reinterpret_cast<QueryDirectoryFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryDirectoryObject")));
  DWORD session = 0;
  if (!open || !query || !ProcessIdToSessionId(GetCurrentProcessId(), &session)) return names;
  std::wstring path = L"\\Sessions\\" + std::to_wstring(session) + L"\\BaseNamedObjects";
  UNICODE_STRING pathString{static_cast<USHORT>(path.size() * 2), static_cast<USHORT>(path.size() * 2), path.data()};
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &pathString, 0, nullptr, nullptr);
  HANDLE directory = nullptr;
  if (open(&directory, kDirectoryQuery, &attributes) != 0) return names;
  alignas(8) unsigned char buffer[4096];
  ULONG context = 0, length = 0;
  for (BOOLEAN restart = TRUE; query(directory, buffer, sizeof(buffer), TRUE, restart, &context, &length) == 0;
       restart = FALSE) {
    const auto* entry = reinterpret_cast<const DirectoryEntry*>(buffer);
    const std::wstring type(entry->typeName.Buffer, entry->typeName.Length / 2);
    if (type == L"Section") names.emplace_back(entry->name.Buffer, entry->name.Length / 2);
  }
  CloseHandle(directory);
  return names;
}

}  // namespace

bool MappingObjectExists(std::u16string_view name) {
  const HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, Wide(name).c_str());
  if (!mapping) return false;
  CloseHandle(mapping);
  return true;
}

std::vector<std::string> MappingObjectsContaining(std::u16string_view part) {
  std::vector<std::string> found;
  const std::wstring wanted = Wide(part);
  for (const std::wstring& name : SectionNames()) {
    if (name.find(wanted) != std::wstring::npos) {
      found.push_back(platform::Utf8FromUtf16(std::u16string(name.begin(), name.end())));
    }
  }
  return found;
}

size_t SweepAbandonedMappings() { return 0; }

bool EndedCreatorsLeaveMappings() { return false; }
