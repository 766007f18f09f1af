// Shapefiles as an object source: one TGeoDataObject per shape record, read in place from
// the memory-mapped file. Points give single-point objects, polylines and polygons one
// chain per part (polygons closed), multipoints one chain of all their points; the Z and M
// variants are read as their 2-D shapes. A null shape gives an object without geometry
// that draws nothing, so that object indexes stay aligned with the record numbers.
//
// A dBase table with the shapefile's name and the extension ".dbf" (in any letter case)
// gives each object its ID (the record number, from 1) and its title (a column of the
// table, or "New Object").
//
// Coordinates: longitude = X / LongXDivisor + LongXShift and latitude = Y / LatYDivisor +
// LatYShift, in degrees; the longitude is wrapped into ±180°.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "globe/objects/source.h"

namespace globe {

class TGlobeDBFReader;
class TMemoryMapStream;

class TGlobeSHPReader : public TGlobeFileReader {
  GLOBE_CLASS(TGlobeSHPReader, TGlobeFileReader)
 public:
  /// TitleColumn −1, divisors 1, shifts 0.
  explicit TGlobeSHPReader(TGlobe4* ParentGlobe);
  ~TGlobeSHPReader() override;

  [[nodiscard]] double LongXDivisor() const noexcept { return FLongXDivisor; }
  void SetLongXDivisor(double Value) noexcept { FLongXDivisor = Value; }
  [[nodiscard]] double LatYDivisor() const noexcept { return FLatYDivisor; }
  void SetLatYDivisor(double Value) noexcept { FLatYDivisor = Value; }
  [[nodiscard]] double LongXShift() const noexcept { return FLongXShift; }
  void SetLongXShift(double Value) noexcept { FLongXShift = Value; }
  [[nodiscard]] double LatYShift() const noexcept { return FLatYShift; }
  void SetLatYShift(double Value) noexcept { FLatYShift = Value; }
  /// The table column (from 0) that titles the objects; −1: every object is "New Object".
  [[nodiscard]] std::int32_t TitleColumn() const noexcept { return FTitleColumn; }
  /// A change unloads the loaded objects, so that they take their new titles when next
  /// loaded.
  void SetTitleColumn(std::int32_t Value);

  /// The companion table while the source is open and has one; null otherwise.
  [[nodiscard]] TGlobeDBFReader* DBF() const noexcept { return FDBF.get(); }
  /// The companion table of a shapefile: the file in the same folder whose name is the
  /// shapefile's stem followed by ".dbf" in any letter case; "" when there is none.
  [[nodiscard]] static std::string CompanionTable(const std::string& SHPFileName);

  /// Writes the metadata file unless it has no name or a file of that name exists already
  /// (an existing one is never replaced).
  void SaveMetaData() override;
  /// Restores presenters, records, divisors and shifts, the title column (only while
  /// TitleColumn is −1) and the record positions from a current metadata file. A file
  /// whose contents do not fit is deleted and ignored, so that the data file is mapped.
  void LoadMetaData() override;

  void LoadEnvironment(const TGXML_Element* Element) override;
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

 protected:
  /// False when no file exists under FileName. Errors of the mapped file, the table and the
  /// mapping pass propagate, with the source left closed.
  bool OpenSource() override;
  bool CloseSource() override;
  /// Throws EGlobeException "Invalid SHP file <FileName>" for a wrong file code and
  /// "Invalid SHP file version <FileName>" for a version other than 1000.
  bool ReadHeader(TGlobeStream& Stream) override;
  bool MapNextObject(TGlobeStream& Stream, std::int32_t iIndex) override;
  /// Throws EGlobeException naming the file and the record when the record does not fit
  /// the file (lengths, counts, part indexes) or holds a coordinate that is not a number,
  /// and "TGlobeReader returned nil object: ..." for a shape type it cannot read.
  std::unique_ptr<TGlobeObject> LoadObject(std::int32_t iIndex, bool bNewObject) override;

 private:
  struct TDataItem {
    std::int32_t Position = 0;  // of the record header in the file
    std::int32_t RecordNo = 0;  // in the table, from 1; 0 without a table
  };

  /// Drops the items, the table and the mapped file, and empties the entries.
  void ReleaseFile();
  [[nodiscard]] TPointLL ShapePoint(double X, double Y, std::int32_t iRecord) const;

  double FLongXDivisor = 1.0;
  double FLatYDivisor = 1.0;
  double FLongXShift = 0.0;
  double FLatYShift = 0.0;
  std::int32_t FTitleColumn = -1;
  std::vector<TDataItem> FDataItems;
  std::unique_ptr<TGlobeDBFReader> FDBF;
  std::unique_ptr<TMemoryMapStream> SHPStream;
};

/// Registers TGlobeSHPReader by class name. Idempotent.
void RegisterSHPReader();

}  // namespace globe
