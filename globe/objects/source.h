// Object sources hold the objects of one layer (or of several that share it). For every
// object a source keeps a small record (TGlobeObjectData) and the full object only while it
// is needed: readers load objects on demand, the globe's cache budget turns them back into
// records, and metadata files (".md") restore the records of a data file without reading it.
//
// Lifetime: a source belongs to its globe. It frees itself when its last subscribed layer
// lets go of it; a source no layer ever subscribed is freed with the globe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "globe/core/classes.h"
#include "globe/core/types.h"
#include "globe/formats/xml.h"
#include "globe/objects/object.h"

namespace globe {

class TGlobe4;
class TGlobeLayer;
class TGlobePresenterStore;
class TGlobeStream;
class TGlobeStreamReader;
class TGlobeStreamWriter;

class TGlobeObjectSource : public TGlobeENVPersistent {
  GLOBE_CLASS(TGlobeObjectSource, TGlobeENVPersistent)
 public:
  using TCreatable = TGlobeObjectSource;
  using TConstructor = std::unique_ptr<TGlobeObjectSource> (*)(TGlobe4* ParentGlobe);

  /// Registers the source with the globe (gnObjectSourceCreate). Throws EGlobeException
  /// "TGlobeObjectSource.Create passed nil Parent" without a globe.
  explicit TGlobeObjectSource(TGlobe4* ParentGlobe);
  /// Tells the globe (gnObjectSourceFree), closes, frees every entry, detaches the layers
  /// still subscribed (last first) and frees the presenters.
  ~TGlobeObjectSource() override;

  [[nodiscard]] TGlobe4& Globe() const noexcept { return *FGlobe; }
  [[nodiscard]] TGlobePresenterStore& Presenters() const noexcept { return *FPresenters; }
  /// The data file's name without its folder.
  [[nodiscard]] const std::string& Name() const noexcept { return FSourceName; }
  void SetName(std::string Value) { FSourceName = std::move(Value); }
  [[nodiscard]] bool Modified() const noexcept { return FModified; }
  void SetModified(bool Value) noexcept { FModified = Value; }
  /// Loaded objects are left out of the cache accounting (and never discarded).
  [[nodiscard]] bool NoCache() const noexcept { return FNoCache; }
  void SetNoCache(bool Value) noexcept { FNoCache = Value; }

  // ---- Opening -------------------------------------------------------------------------
  [[nodiscard]] bool Active() const noexcept { return FActive; }
  /// true: OpenSource; false: !CloseSource; then gnObjectSourceActiveChange. Nothing when
  /// unchanged. Errors of the reader propagate with the source left inactive.
  void SetActive(bool Value);
  void Open();
  void Close();

  // ---- Entries -------------------------------------------------------------------------
  [[nodiscard]] std::int32_t Count() const noexcept { return FiCount; }
  void SetCount(std::int32_t Value);
  [[nodiscard]] std::int32_t Capacity() const noexcept { return FiCapacity; }
  void SetCapacity(std::int32_t Value);
  /// The record or loaded object at iIndex (an empty entry gets a record [osNew]). Throws
  /// EGlobeException "GetObjectData: Invalid Index <i>" outside 0 to Count − 1.
  TGlobeObjectData& GetObjectData(std::int32_t iIndex);
  /// Puts Obj (record, object or null) into the entry, freeing the previous occupant.
  /// Throws EGlobeException "SetObjectData: Invalid Index <i>" outside 0 to Count − 1.
  void SetObjectData(std::int32_t iIndex, std::unique_ptr<TGlobeObjectData> Obj);
  /// The object at iIndex, loaded on demand and stamped with the globe's next MRU. Throws
  /// EGlobeException "TGlobeReader returned nil object" when the reader gives none. The
  /// reference stays valid until the next load from any source (which may discard it).
  TGlobeObject& GetObject(std::int32_t iIndex);
  /// The loaded object at iIndex, or null when the entry holds a record or nothing.
  [[nodiscard]] TGlobeObject* LoadedObject(std::int32_t iIndex) const noexcept;

  [[nodiscard]] TMER GetMER(std::int32_t iIndex);
  void SetMER(std::int32_t iIndex, const TMER& Value);
  [[nodiscard]] std::int32_t GetPresenterID(std::int32_t iIndex);
  void SetPresenterID(std::int32_t iIndex, std::int32_t Value);
  [[nodiscard]] TGlobeObjectStateSet GetState(std::int32_t iIndex);
  void SetState(std::int32_t iIndex, TGlobeObjectStateSet Value);
  [[nodiscard]] TGlobeRoot* GetUserObject(std::int32_t iIndex);
  void SetUserObject(std::int32_t iIndex, TGlobeRoot* Value);
  [[nodiscard]] double GetValue(std::int32_t iIndex);
  void SetValue(std::int32_t iIndex, double Value);

  /// Takes ownership of Obj into a new last entry (ignored while loading, when the entry
  /// being loaded will hold it). Layers get osnAdd.
  void Add(TGlobeObject* Obj);
  /// Removes Obj's entry without freeing the object (its destructor calls this); layers get
  /// osnDelete first. Nothing for null or an object with index < 0.
  void Delete(TGlobeObject* Obj);
  void Move(std::int32_t iFrom, std::int32_t iTo);

  // ---- Layers --------------------------------------------------------------------------
  void Subscribe(TGlobeLayer* aLayer);
  /// Removes the layer; when that was the last one the source frees itself (do not touch it
  /// after). A layer that is not subscribed changes nothing.
  void UnSubscribe(TGlobeLayer* aLayer);
  [[nodiscard]] std::int32_t LayerCount() const noexcept {
    return static_cast<std::int32_t>(FSubscribers.size());
  }
  /// The subscriber at iIndex, or null.
  [[nodiscard]] TGlobeLayer* GetLayer(std::int32_t iIndex) const noexcept;
  void NotifyLayers(TObjectSourceNotification Notification, TGlobeObject* Obj);

  // ---- Cache ---------------------------------------------------------------------------
  /// Bytes of all non-empty entries, records and loaded objects alike.
  [[nodiscard]] std::int64_t ObjectInstanceSize() const;
  /// Appends every loaded object with osDiscardable.
  void ListActiveObjects(std::vector<TGlobeObject*>& AList) const;
  /// Replaces the loaded object by a record copy of it (the cache's discard); no cache
  /// counter change. Nothing when Obj is not loaded in this source.
  void DiscardObject(TGlobeObject& Obj);
  /// Turns every discardable loaded object back into a record (deselecting it first).
  void UnloadObjects();
  /// The MER over all objects; (0, 0, 1, 1) when there are none.
  [[nodiscard]] TMER ObjectsMER();

  // ---- Metadata ------------------------------------------------------------------------
  /// sFilename + ".md" in the folder SaveMetaDataLocation says; "" for none.
  [[nodiscard]] std::string MetaDataFilename(const std::string& sFilename) const;
  /// The common part: presenters (class name and record) and per-object MER, presenter ID
  /// and closed flag. Sets the stream version to 1029 first.
  void WriteMetaData(TGlobeStreamWriter& Writer);
  /// Reads the common part in place of the entries. Throws EGlobeException "Corrupt metadata
  /// file" (with the class name when a class is no presenter) when the counts do not fit the
  /// remaining data, the data ends early or a class is unknown; the source is then left
  /// without entries and presenters.
  void ReadMetaData(TGlobeStreamReader& Reader);
  virtual void SaveMetaData() {}
  virtual void LoadMetaData() {}

  void LoadEnvironment(const TGXML_Element* Element) override;
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

 protected:
  virtual bool OpenSource();
  virtual bool CloseSource();
  /// Creates object iIndex; null here. bNewObject: the record holds nothing yet.
  virtual std::unique_ptr<TGlobeObject> LoadObject(std::int32_t iIndex, bool bNewObject);

  bool FActive = false;
  bool FNoCache = false;
  TGlobe4* FGlobe;
  std::int32_t FiCount = 0;
  std::int32_t FiCapacity = 0;
  std::vector<std::unique_ptr<TGlobeObjectData>> FObjectArray;
  std::vector<TGlobeLayer*> FSubscribers;
  std::string FSourceName;
  std::unique_ptr<TGlobePresenterStore> FPresenters;
  bool FModified = false;
  bool bLoadingObject = false;

 private:
  // Set while the destructor detaches layers, so that their unsubscription does not free
  // the source a second time.
  bool FbDestroying = false;
};

/// A source that reads a data file; the readers of LYR, shapefile and MIF files derive from it.
class TGlobeFileReader : public TGlobeObjectSource {
  GLOBE_CLASS(TGlobeFileReader, TGlobeObjectSource)
 public:
  explicit TGlobeFileReader(TGlobe4* ParentGlobe);

  [[nodiscard]] const std::string& FileName() const noexcept { return FFileName; }
  /// The file beside FileName with the same name and the extension Extension (".dbf") in
  /// any letter case; "" when there is none.
  [[nodiscard]] static std::string CompanionFile(const std::string& FileName,
                                                 std::string_view Extension);
  /// Stores the name resolved by the globe ("" when it resolves to nothing).
  void SetFileName(const std::string& Value);

  void LoadEnvironment(const TGXML_Element* Element) override;
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

 protected:
  /// The indexing pass: progress "Mapping", ReadHeader, MapNextObject and GetObject for
  /// every object (percent every 256), "Finished". Returns ReadHeader's result.
  bool MapDataFile(TGlobeStream& Stream);
  virtual bool ReadHeader(TGlobeStream& Stream);
  /// Records where object iIndex starts; false at the end of the data.
  virtual bool MapNextObject(TGlobeStream& Stream, std::int32_t iIndex);

  /// Reads the metadata file of FileName into Bytes (the mark included) when it exists and
  /// is not older than the data file. A file of that name without the mark 259 is not ours:
  /// it is left as it is, reported to the globe as a pmMessage progress message and false
  /// returned. False when there is no usable file.
  [[nodiscard]] bool ReadMetaDataFile(std::vector<std::uint8_t>& Bytes);
  /// Reads a current metadata file: the common part, then the reader's tail with ReadTail,
  /// which throws EGlobeException when the tail does not fit. A file that does not fit is
  /// deleted (while it still carries the mark) and the source left empty, and false returned;
  /// false also when there is no usable file.
  bool LoadMetaDataWith(const std::function<void(TGlobeStreamReader&)>& ReadTail);
  /// Writes Bytes (mark included) to the metadata file through a temporary file and a
  /// rename, so that a crash never leaves a half-written file behind. Nothing without a
  /// metadata file name, nor over a file of that name without the mark. A file that cannot
  /// be written is reported to the globe as a pmError progress message ("Unable to write
  /// file <name>") and otherwise ignored.
  void WriteMetaDataFile(const std::vector<std::uint8_t>& Bytes);

  std::string FFileName;
};

/// The mark at the start of every metadata file.
inline constexpr std::uint16_t METADATA_MARK = 259;

}  // namespace globe
