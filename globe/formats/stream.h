// Seekable byte streams under the property readers and writers: an owned, growable memory
// buffer and a read-only view over bytes that someone else owns (a mapped file, a fuzz input).
//
// Positions and sizes are byte counts held in 64 bits. A position may lie beyond the end of
// the data; reading there delivers nothing, writing there (where allowed) fills the gap with
// zero bytes first. Negative positions are refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "globe/core/classes.h"

namespace globe {

/// A seekable sequence of bytes with a current position.
class TGlobeStream : public TGlobeRoot {
  GLOBE_CLASS(TGlobeStream, TGlobeRoot)
 public:
  /// Copies up to Count bytes from the current position into Buffer and advances the
  /// position by the number copied, which is returned. Fewer than Count only at the end of
  /// the data; 0 at or beyond it. Never throws for lack of data.
  virtual std::size_t Read(void* Buffer, std::size_t Count) = 0;
  /// Stores Count bytes at the current position and advances past them; returns the number
  /// stored. A stream that cannot store them throws instead of storing fewer.
  virtual std::size_t Write(const void* Buffer, std::size_t Count) = 0;

  [[nodiscard]] virtual std::int64_t Position() const noexcept = 0;
  /// Any position from 0 up is accepted; a negative one throws EGlobeException
  /// "<ClassName>.SetPosition: Invalid position <n>".
  virtual void SetPosition(std::int64_t NewPosition) = 0;
  [[nodiscard]] virtual std::int64_t Size() const noexcept = 0;
  /// Changes the length of the data; the position is kept unless it would lie beyond the new
  /// end, where it then stands.
  virtual void SetSize(std::int64_t NewSize) = 0;

  /// Bytes between the position and the end of the data; 0 when the position is beyond it.
  [[nodiscard]] std::int64_t Remaining() const noexcept {
    const std::int64_t left = Size() - Position();
    return left > 0 ? left : 0;
  }
};

/// Read-only stream over a block of memory owned elsewhere, which must outlive the view and
/// not change size under it. Write and SetSize throw EGlobeException
/// "<ClassName>.Write: Not supported" and "<ClassName>.SetSize: Not supported".
class TGlobeMemoryView : public TGlobeStream {
  GLOBE_CLASS(TGlobeMemoryView, TGlobeStream)
 public:
  TGlobeMemoryView() noexcept = default;
  explicit TGlobeMemoryView(std::span<const std::uint8_t> Block) noexcept { SetBlock(Block); }

  std::size_t Read(void* Buffer, std::size_t Count) override;
  std::size_t Write(const void* Buffer, std::size_t Count) override;
  [[nodiscard]] std::int64_t Position() const noexcept override { return position_; }
  void SetPosition(std::int64_t NewPosition) override;
  [[nodiscard]] std::int64_t Size() const noexcept override {
    return static_cast<std::int64_t>(block_.size());
  }
  void SetSize(std::int64_t NewSize) override;

  /// The whole block, for readers that look at the bytes in place.
  [[nodiscard]] std::span<const std::uint8_t> Memory() const noexcept { return block_; }

 protected:
  /// Replaces the block; the position is kept.
  void SetBlock(std::span<const std::uint8_t> Block) noexcept { block_ = Block; }

 private:
  std::span<const std::uint8_t> block_;
  std::int64_t position_ = 0;
};

/// Growable stream over memory it owns, starting empty. Writing past the end enlarges it.
/// Running out of memory throws std::bad_alloc (or std::length_error); a position so large
/// that the end of a write would pass the 64-bit range throws EGlobeException
/// "TGlobeMemoryStream.Write: Size overflow".
class TGlobeMemoryStream : public TGlobeMemoryView {
  GLOBE_CLASS(TGlobeMemoryStream, TGlobeMemoryView)
 public:
  TGlobeMemoryStream() noexcept = default;
  /// Starts with a copy of Bytes, positioned at 0.
  explicit TGlobeMemoryStream(std::span<const std::uint8_t> Bytes);

  std::size_t Write(const void* Buffer, std::size_t Count) override;
  void SetSize(std::int64_t NewSize) override;

  /// The bytes written so far.
  [[nodiscard]] const std::vector<std::uint8_t>& Bytes() const noexcept { return data_; }

  /// Writes the whole data to FileName, replacing a file of that name. Throws
  /// EGlobeException "Unable to write file <FileName>" when the file cannot be written.
  void SaveToFile(const std::string& FileName) const;
  /// Replaces the data with the contents of FileName and moves to position 0. Throws
  /// EGlobeException "Unable to read file <FileName>" when the file cannot be read.
  void LoadFromFile(const std::string& FileName);

 private:
  void Resize(std::size_t NewSize);

  std::vector<std::uint8_t> data_;
};

/// Writes Bytes to FileName through a temporary file in the same folder and a rename, so
/// that readers never see a half-written file and a crash leaves the old one (or none).
/// Throws EGlobeException "Unable to write file <FileName>" on failure, removing the
/// temporary file.
void WriteFileAtomically(const std::string& FileName, std::span<const std::uint8_t> Bytes);

}  // namespace globe
