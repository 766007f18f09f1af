#include "globe/formats/memorymap.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/utf.h"
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <cstdint>
#include <limits>
#include <span>

namespace globe {

#ifdef _WIN32

namespace {

/// Closes a Win32 handle at the end of the scope: the view keeps the mapping alive by itself.
struct TCloseHandle {
  HANDLE Handle;
  ~TCloseHandle() {
    if (Handle != nullptr && Handle != INVALID_HANDLE_VALUE) ::CloseHandle(Handle);
  }
};

}  // namespace

TMemoryMapStream::TMemoryMapStream(const std::string& FileName) {
  // Others may read, write, rename or delete the file meanwhile, as with an open file
  // elsewhere; BACKUP_SEMANTICS lets a folder open, so that it fails like an empty file.
  const TCloseHandle file{::CreateFileW(platform::Utf16(FileName).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr)};
  if (file.Handle == INVALID_HANDLE_VALUE) {
    throw EGlobeException("Unable to open file " + FileName);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  // A zero-length mapping is refused by the system, so an empty file is a mapping failure,
  // and so is anything that is not a regular file.
  if (::GetFileType(file.Handle) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(file.Handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw EGlobeException("Unable to create file mapping");
  }
  const std::uint64_t bytes =
      (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (bytes == 0 || bytes > std::numeric_limits<std::size_t>::max()) {
    throw EGlobeException("Unable to create file mapping");
  }
  const TCloseHandle mapping{
      ::CreateFileMappingW(file.Handle, nullptr, PAGE_READONLY, 0, 0, nullptr)};
  if (mapping.Handle == nullptr) throw EGlobeException("Unable to create file mapping");
  void* view = ::MapViewOfFile(mapping.Handle, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) throw EGlobeException("Unable to map view of file");
  const auto size = static_cast<std::size_t>(bytes);
  MappingHandle = view;
  FMappedSize = size;
  SetBlock(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(view), size));
}

TMemoryMapStream::~TMemoryMapStream() {
  SetBlock({});
  if (MappingHandle != nullptr) ::UnmapViewOfFile(MappingHandle);
}

#else

TMemoryMapStream::TMemoryMapStream(const std::string& FileName) {
  do {
    FileHandle = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  } while (FileHandle < 0 && errno == EINTR);
  if (FileHandle < 0) throw EGlobeException("Unable to open file " + FileName);

  struct stat info {};
  // A zero-length mapping is refused by the system, so an empty file is a mapping failure,
  // and so is anything that is not a regular file (a folder opens fine but has no bytes).
  if (::fstat(FileHandle, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
      static_cast<std::uintmax_t>(info.st_size) > std::numeric_limits<std::size_t>::max()) {
    ::close(FileHandle);
    FileHandle = -1;
    throw EGlobeException("Unable to create file mapping");
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, FileHandle, 0);
  if (view == MAP_FAILED) {
    ::close(FileHandle);
    FileHandle = -1;
    throw EGlobeException("Unable to map view of file");
  }
  MappingHandle = view;
  FMappedSize = size;
  SetBlock(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(view), size));
}

TMemoryMapStream::~TMemoryMapStream() {
  SetBlock({});
  if (MappingHandle != nullptr) ::munmap(MappingHandle, FMappedSize);
  if (FileHandle >= 0) ::close(FileHandle);
}

#endif

}  // namespace globe
