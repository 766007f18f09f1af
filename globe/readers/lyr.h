// LYR layer files, the globe's own layer format: a version, a rectangle, groups of
// presenter records, groups of object records, and an Integer 0 at the end. A group is a
// count, a class name and that many records of the class.
//
// TGlobeLYRStreamReader reads from a stream its caller keeps open; TGlobeLYRReader maps the
// file named by FileName itself. Both write a metadata file after indexing a file, so that
// the next opening restores the index without parsing a record. WriteLYR writes the layout.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "globe/objects/source.h"

namespace globe {

class TGlobeClass;
class TGlobePresenter;
class TMemoryMapStream;

class TGlobeLYRStreamReader : public TGlobeFileReader {
  GLOBE_CLASS(TGlobeLYRStreamReader, TGlobeFileReader)
 public:
  explicit TGlobeLYRStreamReader(TGlobe4* ParentGlobe);
  ~TGlobeLYRStreamReader() override;

  /// The stream read from; not owned, must outlive its use. Setting it drops the reader.
  [[nodiscard]] TGlobeStream* LYRStream() const noexcept { return FLYRStream; }
  void SetLYRStream(TGlobeStream* Value);

  /// Nothing with NoCache or without a metadata file name; else the whole file is built in
  /// memory and written atomically.
  void SaveMetaData() override;
  /// Restores presenters, records, classes and items from a current metadata file. A file
  /// whose contents do not fit (bad counts, unknown classes, items past the data) throws
  /// EGlobeException naming the file, with the source left as before opening (no entries,
  /// presenters, classes or items).
  void LoadMetaData() override;

 protected:
  /// False without a stream. A metadata file that LoadMetaData refuses counts as missing:
  /// the stream is mapped again and the metadata file rewritten, so a damaged cache never
  /// keeps a good layer closed. Errors of the data itself propagate, the source left empty.
  bool OpenSource() override;
  bool CloseSource() override;
  /// Throws EGlobeException "Invalid File Version <hex> in <FileName>" below 0x0300, and
  /// names the file for truncated data, unknown classes and counts the data cannot hold.
  bool ReadHeader(TGlobeStream& Stream) override;
  /// Data that ends where a group count would stand ends the objects as the end mark does.
  /// Throws EGlobeException naming the file for a negative count, a count of more records
  /// than the data holds (at 4 bytes each), a class that is no object class or a cut group.
  bool MapNextObject(TGlobeStream& Stream, std::int32_t iIndex) override;
  /// Throws EGlobeException "Truncated record <iIndex> in <file>" for a record that runs
  /// past the end of the data.
  std::unique_ptr<TGlobeObject> LoadObject(std::int32_t iIndex, bool bNewObject) override;

  /// The file name for messages; streams without one are called "LYR stream".
  [[nodiscard]] std::string FileLabel() const;
  /// Count 0, no items, classes or presenters: the state before opening.
  void DropIndex();
  /// A group count; 0 when the data ends where it would stand. Throws on a partial count.
  std::int32_t ReadGroupCount();

  struct TDataItem {
    std::int32_t ClassIndex = 0;
    std::int32_t Position = 0;
  };
  std::vector<TDataItem> FDataItems;
  TGlobeStream* FLYRStream = nullptr;
  /// The distinct object classes of the file in order of first appearance.
  std::vector<const TGlobeClass*> FObjectClasses;
  std::int32_t iObjCount = 0;
  std::int32_t iObjClassIndex = 0;
  std::unique_ptr<TGlobeStreamReader> Reader;
};

class TGlobeLYRReader : public TGlobeLYRStreamReader {
  GLOBE_CLASS(TGlobeLYRReader, TGlobeLYRStreamReader)
 public:
  explicit TGlobeLYRReader(TGlobe4* ParentGlobe);
  ~TGlobeLYRReader() override;

 protected:
  /// False when no file exists under FileName; otherwise maps it and opens it as a stream.
  bool OpenSource() override;
  bool CloseSource() override;

 private:
  std::unique_ptr<TMemoryMapStream> FMapped;
};

/// Writes a LYR file of version 0x0405: the presenters (grouped by consecutive class), the
/// objects (grouped likewise) and the end mark. Objects are written through their own
/// WriteProperties, which may clean their chains. Throws EGlobeException when the file
/// cannot be written; the file is written through a temporary file and a rename.
void WriteLYR(const std::string& FileName, std::span<TGlobePresenter* const> Presenters,
              std::span<TGlobeObject* const> Objects);
/// WriteLYR of a source's presenters and of all its objects (loading each).
void WriteLYR(const std::string& FileName, TGlobeObjectSource& Source);

/// Registers TGlobeLYRStreamReader and TGlobeLYRReader by class name. Idempotent.
void RegisterLYRReaders();

}  // namespace globe
