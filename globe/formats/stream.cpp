#include "globe/formats/stream.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/utf.h"
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>
#include <utility>

#include "platform/filesystem.h"

namespace globe {

namespace {

unsigned long ProcessId() noexcept {
#ifdef _WIN32
  return ::GetCurrentProcessId();
#else
  return static_cast<unsigned long>(::getpid());
#endif
}

/// Puts Temporary in the place of Target in one step: readers see the old or the new file.
bool ReplaceFile(const std::string& Temporary, const std::string& Target) {
#ifdef _WIN32
  const std::wstring from = platform::Utf16(Temporary);
  const std::wstring to = platform::Utf16(Target);
  // Written through, so that the new name is on disk when the call returns, as a rename
  // on the same file system is.
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  const DWORD error = ::GetLastError();
  if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
      error != ERROR_USER_MAPPED_FILE) {
    return false;
  }
  // A file that a reader has mapped cannot be replaced, but it can be renamed: it goes
  // aside, the reader keeps its view, and the aside file goes once nothing maps it (at once
  // where the system allows; otherwise it stays under the temporary's unique name).
  const std::wstring aside = from + L".old";
  if (!::MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return false;
  if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
    ::MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
    return false;
  }
  ::DeleteFileW(aside.c_str());
  return true;
#else
  std::error_code ec;
  std::filesystem::rename(platform::FsPath(Temporary), platform::FsPath(Target), ec);
  return !ec;
#endif
}

[[noreturn]] void NotSupported(const TGlobeStream& Stream, const char* Operation) {
  throw EGlobeException(std::string(Stream.ClassName()) + "." + Operation + ": Not supported");
}

}  // namespace

// ---- TGlobeMemoryView -------------------------------------------------------------------

std::size_t TGlobeMemoryView::Read(void* Buffer, std::size_t Count) {
  const std::int64_t left = Remaining();
  if (left == 0 || Count == 0) return 0;
  // left fits size_t: it is bounded by the block's size.
  const std::size_t n = std::min(Count, static_cast<std::size_t>(left));
  std::memcpy(Buffer, block_.data() + position_, n);
  position_ += static_cast<std::int64_t>(n);
  return n;
}

std::size_t TGlobeMemoryView::Write(const void*, std::size_t) { NotSupported(*this, "Write"); }

void TGlobeMemoryView::SetPosition(std::int64_t NewPosition) {
  if (NewPosition < 0) {
    throw EGlobeException(std::string(ClassName()) + ".SetPosition: Invalid position " +
                          std::to_string(NewPosition));
  }
  position_ = NewPosition;
}

void TGlobeMemoryView::SetSize(std::int64_t) { NotSupported(*this, "SetSize"); }

// ---- TGlobeMemoryStream -----------------------------------------------------------------

TGlobeMemoryStream::TGlobeMemoryStream(std::span<const std::uint8_t> Bytes)
    : data_(Bytes.begin(), Bytes.end()) {
  SetBlock(data_);
}

void TGlobeMemoryStream::Resize(std::size_t NewSize) {
  data_.resize(NewSize);
  SetBlock(data_);
}

std::size_t TGlobeMemoryStream::Write(const void* Buffer, std::size_t Count) {
  if (Count == 0) return 0;
  const std::int64_t start = Position();
  // The end must be representable both as a position and as a vector size.
  const std::uint64_t limit =
      std::min<std::uint64_t>(std::numeric_limits<std::int64_t>::max(), data_.max_size());
  if (static_cast<std::uint64_t>(start) > limit ||
      Count > limit - static_cast<std::uint64_t>(start)) {
    throw EGlobeException("TGlobeMemoryStream.Write: Size overflow");
  }
  const std::size_t begin = static_cast<std::size_t>(start);
  const std::size_t end = begin + Count;
  if (end > data_.size()) Resize(end);  // zero-fills a gap before begin, too
  std::memcpy(data_.data() + begin, Buffer, Count);
  SetPosition(static_cast<std::int64_t>(end));
  return Count;
}

void TGlobeMemoryStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0 || static_cast<std::uint64_t>(NewSize) > data_.max_size()) {
    throw EGlobeException("TGlobeMemoryStream.SetSize: Invalid size " + std::to_string(NewSize));
  }
  Resize(static_cast<std::size_t>(NewSize));
  if (Position() > NewSize) SetPosition(NewSize);
}

void WriteFileAtomically(const std::string& FileName, std::span<const std::uint8_t> Bytes) {
  // A unique name per call: two globes (or processes) may save the same file at once.
  static std::atomic<unsigned> serial{0};
  const std::string temporary =
      FileName + ".tmp" + std::to_string(ProcessId()) + "-" + std::to_string(serial.fetch_add(1));
  bool written = false;
  {
    std::ofstream out(platform::FsPath(temporary), std::ios::binary | std::ios::trunc);
    if (out) {
      out.write(reinterpret_cast<const char*>(Bytes.data()),
                static_cast<std::streamsize>(Bytes.size()));
      out.close();
      written = static_cast<bool>(out);
    }
  }
  if (!written || !ReplaceFile(temporary, FileName)) {
    std::error_code ec;
    std::filesystem::remove(platform::FsPath(temporary), ec);
    throw EGlobeException("Unable to write file " + FileName);
  }
}

void TGlobeMemoryStream::SaveToFile(const std::string& FileName) const {
  std::ofstream out(platform::FsPath(FileName), std::ios::binary | std::ios::trunc);
  if (out) {
    out.write(reinterpret_cast<const char*>(data_.data()),
              static_cast<std::streamsize>(data_.size()));
    out.close();
  }
  if (!out) throw EGlobeException("Unable to write file " + FileName);
}

void TGlobeMemoryStream::LoadFromFile(const std::string& FileName) {
  const std::filesystem::path path = platform::FsPath(FileName);
  std::error_code ec;
  const bool regular = std::filesystem::is_regular_file(path, ec);
  const std::uintmax_t size = regular ? std::filesystem::file_size(path, ec) : 0;
  std::ifstream in;
  if (regular && !ec && size <= data_.max_size()) in.open(path, std::ios::binary);
  if (!in.is_open()) throw EGlobeException("Unable to read file " + FileName);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  // A file that shrank since its size was taken is a failed read, not a shorter buffer.
  if (static_cast<std::uintmax_t>(in.gcount()) != size) {
    throw EGlobeException("Unable to read file " + FileName);
  }
  data_ = std::move(bytes);
  SetBlock(data_);
  SetPosition(0);
}

}  // namespace globe
