// MIF/MID files as an object source. The ".mif" text holds a header (version, delimiter,
// coordinate system, columns) and the graphic objects with their drawing clauses; the
// ".mid" text beside it, when there is one, one attribute row per object. Points, regions,
// lines, polylines and texts become TGeoDataObjects; pen, brush and font clauses become
// presenters, one shared by all objects drawn alike; a text is drawn as its title alone.
// Only longitude/latitude files are read (a file without a coordinate system is one).
//
// Each object is found again by the offsets of its first MIF line and its MID row, which the
// metadata file keeps between openings. Objects of other kinds (none, arcs, ellipses,
// rectangles, multipoints, collections) are passed over, their MID rows with them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "globe/objects/source.h"

namespace globe {

class TGlobeBrush;
class TGlobeFont;
class TGlobePen;
class TGlobeTextReader;
class TGeoDataObject;
class TChainStore;

class TGlobeMIFReader : public TGlobeFileReader {
  GLOBE_CLASS(TGlobeMIFReader, TGlobeFileReader)
 public:
  /// TitleColumn 0, no coordinate system or delimiter yet.
  explicit TGlobeMIFReader(TGlobe4* ParentGlobe);
  ~TGlobeMIFReader() override;

  /// The MID field (from 0) that titles the objects; a negative value takes the whole row.
  [[nodiscard]] std::int32_t TitleColumn() const noexcept { return FTitleColumn; }
  /// A change unloads the loaded objects, so that they take their new titles when next
  /// loaded.
  void SetTitleColumn(std::int32_t Value);
  /// The header's whole "CoordSys" line.
  [[nodiscard]] const std::string& MIFCoordSys() const noexcept { return FMIFCoordSys; }
  void SetMIFCoordSys(std::string Value) { FMIFCoordSys = std::move(Value); }
  /// The MID field separator: a tab unless the header's "Delimiter" clause names another.
  [[nodiscard]] const std::string& MIDDelimiter() const noexcept { return FMIDDelimiter; }
  void SetMIDDelimiter(std::string Value) { FMIDDelimiter = std::move(Value); }
  /// One "name=type" entry per column of the header's "Columns" section.
  [[nodiscard]] const std::vector<std::string>& MIDColumnNames() const noexcept {
    return FMIDColumnNames;
  }
  [[nodiscard]] std::int32_t MIFVersion() const noexcept { return iMIFVersion; }
  /// The name in the header's "Charset" line; "" without one. The Windows code pages
  /// ("WindowsLatin1", "WindowsCyrillic", ...) decode the text of both files; with any other
  /// name, or none, text that is valid UTF-8 is taken as such and the rest as Windows-1252.
  [[nodiscard]] const std::string& MIFCharset() const noexcept { return FMIFCharset; }

  /// Field Column (from 0) of a MID row split at Delimiter: quoted fields may hold the
  /// delimiter, and a doubled quote inside them stands for one; unquoted fields are trimmed.
  /// A negative Column gives the whole row; a missing field "". No code page conversion.
  [[nodiscard]] static std::string MIDField(std::string_view Row, char Delimiter,
                                            std::int32_t Column);

  /// Writes the metadata file unless it has no name or a file of that name exists already.
  void SaveMetaData() override;
  /// Restores presenters, records, header values and item offsets from a current metadata
  /// file. A file whose contents do not fit is deleted and ignored.
  void LoadMetaData() override;

  void LoadEnvironment(const TGXML_Element* Element) override;
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

 protected:
  bool OpenSource() override;
  bool CloseSource() override;
  /// Throws EGlobeException "MIF Import only supports Lat/Long tables." when the header names
  /// another coordinate system, and an EGlobeException naming the file when the text ends
  /// before the header's "Data" line.
  bool ReadHeader(TGlobeStream& Stream) override;
  bool MapNextObject(TGlobeStream& Stream, std::int32_t iIndex) override;
  /// Errors name the file and the line's offset: malformed numbers, clauses with too few
  /// arguments, counts that the rest of the file cannot hold, a file that ends inside an
  /// object.
  std::unique_ptr<TGlobeObject> LoadObject(std::int32_t iIndex, bool bNewObject) override;

 private:
  struct TDataItem {
    std::int32_t MIDPosition = 0;  // of the object's row in the MID file
    std::int32_t MIFPosition = 0;  // of the object's keyword line in the MIF file
  };

  void ReleaseFiles();
  /// Takes the code page from a "Charset" line.
  void SetCharset(std::string_view Line);
  /// Reads the header for its "Charset" line alone, when the rest came from the metadata file.
  void ReadCharset();
  /// MIF or MID text in the file's code page, as UTF-8.
  [[nodiscard]] std::string DecodeText(std::string_view Text) const;
  /// Reads the next line that holds a word into CurrentMIFLine; false at the end of the text.
  bool NextMIFLine();
  /// As NextMIFLine, but the end of the text inside an object is an error.
  void RequireMIFLine();
  [[nodiscard]] std::string_view Word(std::size_t i) const;
  [[nodiscard]] bool WordIs(std::size_t i, std::string_view Keyword) const;
  [[nodiscard]] std::int32_t WordInt(std::size_t i) const;
  [[nodiscard]] TPointLL WordPosition(std::size_t iLong, std::size_t iLat) const;
  /// A coordinate in degrees, not wrapped.
  [[nodiscard]] Extended WordDegrees(std::size_t i) const;
  /// A count read from the file that the rest of the MIF file must be able to hold, at
  /// BytesEach bytes per counted item.
  [[nodiscard]] std::int32_t CheckedCount(std::int32_t Count, std::int32_t BytesEach) const;
  /// Reads Count point lines into a new last chain of Chains.
  void ReadChainPoints(TChainStore& Chains, std::int32_t Count);
  void ReadRegion(TChainStore& Chains);
  void ReadPline(TChainStore& Chains);
  /// Passes over an object of a kind that is not read, so that its lines are not taken for
  /// objects (the parts of a collection).
  void SkipObject();

  void ParsePen();
  void ParseBrush();
  void ParseFont();
  [[nodiscard]] std::vector<std::string> ClauseArguments() const;

  [[nodiscard]] std::int32_t PointPresenterID();
  [[nodiscard]] std::int32_t TextPresenterID();
  [[nodiscard]] std::int32_t PolyPresenterID(bool bPolygon);

  std::unique_ptr<TGlobeTextReader> FMIFReader;
  std::unique_ptr<TGlobeTextReader> FMIDReader;
  std::vector<TDataItem> FDataItems;
  std::int32_t FTitleColumn = 0;
  std::string FMIFCoordSys;
  std::string FMIDDelimiter;
  std::vector<std::string> FMIDColumnNames;
  std::int32_t iMIFVersion = 0;
  std::string FMIFCharset;
  int FCodePage = 0;  // 0: UTF-8 when valid, else Windows-1252
  std::string CurrentMIFLine;
  std::string CurrentMIDLine;
  // CurrentMIFLine holds a line that has not been examined yet; false once the text ended.
  bool FbMIFLine = false;
  std::unique_ptr<TGlobePen> aPen;
  std::unique_ptr<TGlobeBrush> aBrush;
  std::unique_ptr<TGlobeFont> aFont;
  std::unique_ptr<TGlobeFont> aTitleFont;
};

/// Registers TGlobeMIFReader by class name. Idempotent.
void RegisterMIFReader();

}  // namespace globe
