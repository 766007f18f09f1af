// Line-by-line reading of 8-bit text files (MIF and MID) through a memory-mapped file, a
// block at a time, with the file offset of every line start so that a reader can return to
// any line it has seen. Lines end with CR, LF or CR LF; the text is not converted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "globe/core/classes.h"

namespace globe {

class TMemoryMapStream;

class TGlobeTextReader : public TGlobeRoot {
  GLOBE_CLASS(TGlobeTextReader, TGlobeRoot)
 public:
  /// Maps the file (the errors of TMemoryMapStream pass on, among them the one for an empty
  /// file); block size 4096, position 0.
  explicit TGlobeTextReader(const std::string& FileName);
  ~TGlobeTextReader() override;

  /// True once a ReadLn found no more bytes, or after a jump beyond the end of the text.
  [[nodiscard]] bool EOT() const noexcept { return FbEOT; }
  [[nodiscard]] std::int32_t TextBufferSize() const noexcept { return FTextBufferSize; }
  /// A new block size (at least 1; smaller values throw EGlobeException "Invalid text buffer
  /// size <n>") empties the buffer and returns to position 0. Nothing when unchanged.
  void SetTextBufferSize(std::int32_t Value);
  [[nodiscard]] TMemoryMapStream& DataStream() const noexcept { return *FDataStream; }
  /// The file offset of the next byte to read.
  [[nodiscard]] std::int64_t Position() const noexcept { return FiPosition; }
  /// Moves to a file offset (a negative one counts as 0). EOT tells afterwards whether the
  /// offset lies beyond the end of the text.
  void SetPosition(std::int64_t Value);
  /// The file offset at which the last ReadLn began.
  [[nodiscard]] std::int64_t LineStartPosition() const noexcept { return FiLineStartPosition; }
  [[nodiscard]] std::int64_t Size() const noexcept;

  /// Reads the line from Position up to its end (CR, LF or CR LF, also across a block
  /// boundary), which is consumed but not returned. At the end of the text the line read
  /// so far is returned and EOT set; a last line without a line end is thus returned once.
  void ReadLn(std::string& Line);

 private:
  /// Reads block Block into the buffer.
  void LoadBlock(std::int64_t Block);

  bool FbEOT = false;
  std::int32_t FTextBufferSize = 0;
  std::unique_ptr<TMemoryMapStream> FDataStream;
  std::int32_t BufEnd = 0;
  std::int32_t BufPos = 0;
  std::int64_t FiPosition = 0;
  std::int64_t FiLineStartPosition = 0;
  // The block the buffer holds. Kept apart from the position's block: at the end of the
  // text the buffer holds the empty block after it, and a jump back must reload.
  std::int64_t FBufferBlock = -1;
  std::vector<char> TextBuffer;
};

}  // namespace globe
