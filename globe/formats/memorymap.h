// A read-only stream over a whole file mapped into memory: opening a large layer costs no
// copy, and records are read in place.
#pragma once

#include <cstddef>
#include <string>

#include "globe/formats/stream.h"

namespace globe {

class TMemoryMapStream : public TGlobeMemoryView {
  GLOBE_CLASS(TMemoryMapStream, TGlobeMemoryView)
 public:
  /// Maps FileName read-only. Throws EGlobeException "Unable to open file <FileName>" when
  /// it cannot be opened, "Unable to create file mapping" for a file that cannot be mapped
  /// (an empty file among them) and "Unable to map view of file" when mapping fails.
  /// Write and SetSize throw "TMemoryMapStream.Write: Not supported" and
  /// "TMemoryMapStream.SetSize: Not supported".
  explicit TMemoryMapStream(const std::string& FileName);
  ~TMemoryMapStream() override;

 private:
#ifndef _WIN32
  int FileHandle = -1;
#endif
  void* MappingHandle = nullptr;  // the mapped view
  std::size_t FMappedSize = 0;
};

}  // namespace globe
