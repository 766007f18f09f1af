#include "globe/formats/memorymap.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <span>

namespace globe {

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

}  // namespace globe
