#include "globe/formats/textreader.h"

#include <algorithm>
#include <cstring>

#include "globe/formats/memorymap.h"

namespace globe {

TGlobeTextReader::TGlobeTextReader(const std::string& FileName)
    : FDataStream(std::make_unique<TMemoryMapStream>(FileName)) {
  SetTextBufferSize(4096);
}

TGlobeTextReader::~TGlobeTextReader() = default;

std::int64_t TGlobeTextReader::Size() const noexcept { return FDataStream->Size(); }

void TGlobeTextReader::SetTextBufferSize(std::int32_t Value) {
  if (Value == FTextBufferSize) return;
  if (Value < 1) throw EGlobeException("Invalid text buffer size " + std::to_string(Value));
  // One byte more than a block, as the buffer has always had room for a terminator.
  TextBuffer.assign(static_cast<std::size_t>(Value) + 1, '\0');
  FTextBufferSize = Value;
  FBufferBlock = -1;
  SetPosition(0);
}

void TGlobeTextReader::LoadBlock(std::int64_t Block) {
  const auto memory = FDataStream->Memory();
  const std::int64_t size = static_cast<std::int64_t>(memory.size());
  const std::int64_t start = Block * FTextBufferSize;
  std::int64_t n = 0;
  if (start < size) n = std::min<std::int64_t>(FTextBufferSize, size - start);
  if (n > 0) {
    std::memcpy(TextBuffer.data(), memory.data() + start, static_cast<std::size_t>(n));
  }
  BufEnd = static_cast<std::int32_t>(n);
  FBufferBlock = Block;
  // The stream follows the blocks read, so that its position tells how far the text is read.
  FDataStream->SetPosition(start + n);
}

void TGlobeTextReader::SetPosition(std::int64_t Value) {
  Value = std::max<std::int64_t>(Value, 0);
  const std::int64_t block = Value / FTextBufferSize;
  if (block != FBufferBlock) LoadBlock(block);
  BufPos = static_cast<std::int32_t>(Value % FTextBufferSize);
  FbEOT = BufPos > BufEnd;
  FiPosition = Value;
}

void TGlobeTextReader::ReadLn(std::string& Line) {
  FiLineStartPosition = FiPosition;
  Line.clear();
  for (;;) {
    const std::int32_t start = BufPos;
    while (BufPos < BufEnd && TextBuffer[static_cast<std::size_t>(BufPos)] != '\r' &&
           TextBuffer[static_cast<std::size_t>(BufPos)] != '\n') {
      ++BufPos;
    }
    if (BufPos > start) {
      Line.append(TextBuffer.data() + start, static_cast<std::size_t>(BufPos - start));
      FiPosition += BufPos - start;
    }
    if (BufPos < BufEnd) {
      const char ending = TextBuffer[static_cast<std::size_t>(BufPos)];
      ++BufPos;
      ++FiPosition;
      if (ending == '\n') return;
      // A CR: an LF right after it belongs to the same line end, even when it opens the
      // next block. The end of the text found here is reported by the next ReadLn.
      if (BufPos >= BufEnd) {
        if (BufEnd < FTextBufferSize) return;  // the last block: nothing follows
        LoadBlock(FBufferBlock + 1);
        BufPos = 0;
      }
      if (BufPos < BufEnd && TextBuffer[static_cast<std::size_t>(BufPos)] == '\n') {
        ++BufPos;
        ++FiPosition;
      }
      return;
    }
    // The buffered bytes are used up: continue in the next block, if there is one.
    LoadBlock(FBufferBlock + 1);
    BufPos = 0;
    if (BufEnd == 0) {
      FbEOT = true;
      return;
    }
  }
}

}  // namespace globe
