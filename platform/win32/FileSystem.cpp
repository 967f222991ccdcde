#include "platform/FileSystem.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/win32/Wide.h"

namespace platform {
namespace {

// A path with an embedded zero would name a different file once handed to the system, so it
// names none.
std::optional<std::wstring> NativePath(std::u16string_view path) {
  if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  return win32::WideText(path);
}

uint64_t Combine(DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; }

FileAttributes FromSystem(DWORD attributes, uint64_t size, FILETIME lastWrite) {
  FileAttributes result;
  result.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  result.isRegularFile = !result.isDirectory && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
  result.size = result.isDirectory ? 0 : size;
  result.lastWriteTime = Combine(lastWrite.dwHighDateTime, lastWrite.dwLowDateTime);
  return result;
}

// A symbolic link or junction is looked at through a handle, which follows it to its target as
// the other platforms do.
std::optional<FileAttributes> QueryThroughHandle(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = GetFileInformationByHandle(file, &information) != 0;
  CloseHandle(file);
  if (!known) return std::nullopt;
  return FromSystem(information.dwFileAttributes,
                    Combine(information.nFileSizeHigh, information.nFileSizeLow),
                    information.ftLastWriteTime);
}

// A name beside `target` that no other copy of this or another process uses at the same time.
std::wstring TemporaryNameBeside(const std::wstring& target) {
  static std::atomic<uint32_t> counter{0};
  return target + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter.fetch_add(1));
}

}  // namespace

std::optional<FileAttributes> QueryFileAttributes(std::u16string_view path) {
  const auto native = NativePath(path);
  if (!native) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(native->c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return QueryThroughHandle(*native);
  return FromSystem(data.dwFileAttributes, Combine(data.nFileSizeHigh, data.nFileSizeLow),
                    data.ftLastWriteTime);
}

bool CopyFileReplacing(std::u16string_view from, std::u16string_view to) {
  const auto source = NativePath(from);
  const auto target = NativePath(to);
  if (!source || !target) return false;
  // The copy is made under a temporary name beside the target and moved over it only when
  // complete, so that a failed copy leaves the old target (or none) and never a partial file.
  // CopyFileW keeps the source's attributes and last-write time, and refuses a directory.
  const std::wstring temporary = TemporaryNameBeside(*target);
  if (!CopyFileW(source->c_str(), temporary.c_str(), TRUE)) {
    DeleteFileW(temporary.c_str());
    return false;
  }
  if (MoveFileExW(temporary.c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

bool MakeDirectory(std::u16string_view path) {
  const auto native = NativePath(path);
  if (!native) return false;
  if (CreateDirectoryW(native->c_str(), nullptr)) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  const auto existing = QueryFileAttributes(path);
  return existing && existing->isDirectory;
}

bool RemoveFile(std::u16string_view path) {
  const auto native = NativePath(path);
  return native && DeleteFileW(native->c_str()) != 0;
}

bool RemoveEmptyDirectory(std::u16string_view path) {
  const auto native = NativePath(path);
  return native && RemoveDirectoryW(native->c_str()) != 0;
}

std::FILE* OpenFile(std::u16string_view path, FileOpenMode mode) {
  const auto native = NativePath(path);
  if (!native) return nullptr;
  // "N": the handle is not inherited by the programs the plug-in starts.
  const wchar_t* const modes[] = {L"rbN", L"wbN", L"abN"};
  return _wfopen(native->c_str(), modes[static_cast<int>(mode)]);
}

}  // namespace platform
