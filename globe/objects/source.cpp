#include "globe/objects/source.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>
#include <utility>

#include "globe/core/text.h"
#include "globe/formats/propertystream.h"
#include "globe/formats/stream.h"
#include "globe/objects/layer.h"
#include "globe/objects/presenter.h"
#include "globe/view/globe.h"
#include "platform/filesystem.h"

namespace globe {

namespace {

/// The entry as a loaded object, or null for a record or an empty entry.
TGlobeObject* AsObject(TGlobeObjectData* Entry) noexcept {
  return Entry != nullptr && Entry->FbIsObject ? static_cast<TGlobeObject*>(Entry) : nullptr;
}

std::int32_t SaturateToInt32(std::int64_t Value) noexcept {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      Value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::string TrimControl(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string WithoutFolder(const std::string& Name) {
  const std::size_t cut = Name.find_last_of("/\\");
  return cut == std::string::npos ? Name : Name.substr(cut + 1);
}

/// a × 100 / b rounded half to even; 0 for an empty stream.
std::int64_t Percent(std::int64_t Position, std::int64_t Size) noexcept {
  if (Size <= 0) return 0;
  const std::int64_t n = Position * 100;
  std::int64_t q = n / Size;
  const std::int64_t r = n % Size;
  if (2 * r > Size || (2 * r == Size && (q & 1) != 0)) ++q;
  return q;
}

// Smallest encoded sizes, for checking metadata counts against the data before allocating.
// A presenter: its class name's length byte, then at stream version 1029 Integer ID,
// Integer title offset, the name's length byte, the alignment byte and a font record
// (Integer colour, unit byte, two SmallInts, style byte, the font name's length byte).
constexpr std::int64_t MIN_PRESENTER_BYTES = 1 + 4 + 4 + 1 + 1 + (4 + 1 + 2 + 2 + 1 + 1);
// An entry: MER (4 Integers), Integer presenter ID, Boolean closed.
constexpr std::int64_t ENTRY_BYTES = 16 + 4 + 1;

// Whether Path is a metadata file this component wrote: a regular file that starts with the
// mark. Only such a file may be deleted or replaced.
bool IsOwnMetaDataFile(const std::filesystem::path& Path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(Path, ec)) return false;
  std::ifstream in(Path, std::ios::binary);
  unsigned char mark[2] = {};
  if (!in.read(reinterpret_cast<char*>(mark), 2)) return false;
  return (mark[0] | (mark[1] << 8)) == METADATA_MARK;
}

}  // namespace

// ---- Life cycle -------------------------------------------------------------------------

TGlobeObjectSource::TGlobeObjectSource(TGlobe4* ParentGlobe) : FGlobe(ParentGlobe) {
  if (ParentGlobe == nullptr) {
    throw EGlobeException("TGlobeObjectSource.Create passed nil Parent");
  }
  FPresenters = std::make_unique<TGlobePresenterStore>(ParentGlobe);
  try {
    FGlobe->Notify(gnObjectSourceCreate, this);
  } catch (...) {
    // The globe may have listed the source before its event handler failed; a source that
    // was never built must not stay on that list.
    FGlobe->Notify(gnObjectSourceFree, this);
    throw;
  }
}

TGlobeObjectSource::~TGlobeObjectSource() {
  // Nothing done while tearing down may free the source again.
  FbDestroying = true;
  // A destructor cannot report; each step is guarded so that the rest is still freed.
  try {
    FGlobe->Notify(gnObjectSourceFree, this);
  } catch (...) {
  }
  try {
    SetActive(false);
  } catch (...) {
  }
  try {
    if (FiCount > 0) SetCount(0);  // (an empty source would only grow its capacity)
  } catch (...) {
  }
  while (!FSubscribers.empty()) {
    TGlobeLayer* layer = FSubscribers.back();
    FSubscribers.pop_back();
    try {
      layer->SetObjects(nullptr);
    } catch (...) {
    }
  }
  FPresenters.reset();
}

void TGlobeObjectSource::Subscribe(TGlobeLayer* aLayer) {
  if (aLayer == nullptr) return;
  if (std::find(FSubscribers.begin(), FSubscribers.end(), aLayer) == FSubscribers.end()) {
    FSubscribers.push_back(aLayer);
  }
}

void TGlobeObjectSource::UnSubscribe(TGlobeLayer* aLayer) {
  const auto it = std::find(FSubscribers.begin(), FSubscribers.end(), aLayer);
  if (it == FSubscribers.end()) return;
  FSubscribers.erase(it);
  if (!FSubscribers.empty() || FbDestroying) return;
  // The subscription owns the source: the last layer to let go frees it. Nothing may touch
  // the source after this statement, and neither may the caller.
  delete this;
}

TGlobeLayer* TGlobeObjectSource::GetLayer(std::int32_t iIndex) const noexcept {
  if (iIndex < 0 || iIndex >= LayerCount()) return nullptr;
  return FSubscribers[static_cast<std::size_t>(iIndex)];
}

void TGlobeObjectSource::NotifyLayers(TObjectSourceNotification Notification, TGlobeObject* Obj) {
  // A layer's reaction may subscribe or unsubscribe layers; walk a copy and skip those that
  // have left in the meantime.
  const std::vector<TGlobeLayer*> layers = FSubscribers;
  for (TGlobeLayer* layer : layers) {
    if (std::find(FSubscribers.begin(), FSubscribers.end(), layer) == FSubscribers.end()) continue;
    layer->Notify(Notification, Obj);
  }
}

// ---- Opening ----------------------------------------------------------------------------

void TGlobeObjectSource::SetActive(bool Value) {
  if (Value == FActive) return;
  if (Value) {
    FActive = OpenSource();
  } else {
    FActive = !CloseSource();
  }
  FGlobe->Notify(gnObjectSourceActiveChange, this);
}

void TGlobeObjectSource::Open() {
  SetActive(true);
  FModified = false;
}

void TGlobeObjectSource::Close() { SetActive(false); }

bool TGlobeObjectSource::OpenSource() {
  NotifyLayers(osnRedraw, nullptr);
  return true;
}

bool TGlobeObjectSource::CloseSource() {
  NotifyLayers(osnRedraw, nullptr);
  return true;
}

std::unique_ptr<TGlobeObject> TGlobeObjectSource::LoadObject(std::int32_t iIndex, bool bNewObject) {
  (void)iIndex;
  (void)bNewObject;
  return nullptr;
}

// ---- Entries ----------------------------------------------------------------------------

void TGlobeObjectSource::SetCount(std::int32_t Value) {
  Value = std::max(Value, 0);
  while (FiCount > Value) {
    SetObjectData(FiCount - 1, nullptr);
    --FiCount;
  }
  if (Value >= FiCapacity) {
    SetCapacity(SaturateToInt32(std::int64_t{Value} + 255));
  }
  FiCount = Value;
}

void TGlobeObjectSource::SetCapacity(std::int32_t Value) {
  Value = std::max(Value, 0);
  while (FiCapacity > Value) {
    auto& entry = FObjectArray[static_cast<std::size_t>(FiCapacity - 1)];
    std::unique_ptr<TGlobeObjectData> old = std::move(entry);
    // Cut a loaded object loose first: its destructor would otherwise delete its entry.
    if (TGlobeObject* obj = AsObject(old.get())) obj->SetParent(nullptr);
    old.reset();
    --FiCapacity;
  }
  FObjectArray.resize(static_cast<std::size_t>(Value));
  FiCapacity = Value;
  FiCount = std::min(FiCount, Value);
}

TGlobeObjectData& TGlobeObjectSource::GetObjectData(std::int32_t iIndex) {
  if (iIndex < 0 || iIndex >= FiCount) {
    throw EGlobeException("GetObjectData: Invalid Index " + std::to_string(iIndex));
  }
  auto& entry = FObjectArray[static_cast<std::size_t>(iIndex)];
  if (!entry) {
    // A record made on demand holds nothing yet: all members zero and only osNew set.
    entry = std::make_unique<TGlobeObjectData>();
    entry->FiIndex = 0;
    entry->ObjectState = TGlobeObjectStateSet{osNew};
  }
  return *entry;
}

void TGlobeObjectSource::SetObjectData(std::int32_t iIndex, std::unique_ptr<TGlobeObjectData> Obj) {
  if (iIndex < 0 || iIndex >= FiCount) {
    throw EGlobeException("SetObjectData: Invalid Index " + std::to_string(iIndex));
  }
  std::unique_ptr<TGlobeObjectData> old =
      std::exchange(FObjectArray[static_cast<std::size_t>(iIndex)], std::move(Obj));
  // The entry no longer holds the old object, so the Delete its parent change triggers finds
  // nothing to remove; clearing the parent keeps its destruction from reaching the source.
  if (TGlobeObject* obj = AsObject(old.get())) obj->SetParent(nullptr);
}

TGlobeObject* TGlobeObjectSource::LoadedObject(std::int32_t iIndex) const noexcept {
  if (iIndex < 0 || iIndex >= FiCount) return nullptr;
  return AsObject(FObjectArray[static_cast<std::size_t>(iIndex)].get());
}

TGlobeObject& TGlobeObjectSource::GetObject(std::int32_t iIndex) {
  TGlobeObject* obj = AsObject(&GetObjectData(iIndex));
  if (obj == nullptr) {
    const bool bNewObject = GetObjectData(iIndex).ObjectState.Contains(osNew);
    std::unique_ptr<TGlobeObject> loaded;
    bLoadingObject = true;
    try {
      loaded = LoadObject(iIndex, bNewObject);
    } catch (...) {
      bLoadingObject = false;
      throw;
    }
    bLoadingObject = false;
    if (!loaded) throw EGlobeException("TGlobeReader returned nil object");

    // The reader may have changed the entries; look the record up again.
    TGlobeObjectData& record = GetObjectData(iIndex);
    if (!bNewObject) {
      loaded->ObjectState = record.ObjectState;
      loaded->ObjectFlags = record.ObjectFlags;
      loaded->FObjectMER = record.FObjectMER;
      loaded->FUserObject = record.FUserObject;
      loaded->FValue = record.FValue;
    }
    if (record.FPresenterID != 0) loaded->SetPresenterID(record.FPresenterID);

    // Not discardable until it is counted: the copied state of a discarded object says
    // discardable, and a load from the fix-up, the creation event or the counter's own
    // reduction must not discard the object being handed out.
    loaded->ObjectState.Exclude(osDiscardable);
    obj = loaded.get();
    SetObjectData(iIndex, std::move(loaded));
    obj->FiIndex = iIndex;
    obj->MRU = FGlobe->NextMRU();
    obj->FixupReferences();
    if (FGlobe->OnObjectCreate) FGlobe->OnObjectCreate(this, obj);

    if (!FNoCache) {
      FGlobe->CacheUsedDelta(SaturateToInt32(obj->ObjectInstanceSize()));
      obj->ObjectState.Include(osDiscardable);
    }
  }
  obj->MRU = FGlobe->NextMRU();
  return *obj;
}

TMER TGlobeObjectSource::GetMER(std::int32_t iIndex) {
  return GetObjectData(iIndex).GetObjectMER();
}

void TGlobeObjectSource::SetMER(std::int32_t iIndex, const TMER& Value) {
  GetObjectData(iIndex).FObjectMER = Value;
}

std::int32_t TGlobeObjectSource::GetPresenterID(std::int32_t iIndex) {
  return GetObjectData(iIndex).FPresenterID;
}

void TGlobeObjectSource::SetPresenterID(std::int32_t iIndex, std::int32_t Value) {
  GetObjectData(iIndex).SetPresenterID(Value);
}

TGlobeObjectStateSet TGlobeObjectSource::GetState(std::int32_t iIndex) {
  return GetObjectData(iIndex).ObjectState;
}

void TGlobeObjectSource::SetState(std::int32_t iIndex, TGlobeObjectStateSet Value) {
  GetObjectData(iIndex).ObjectState = Value;
}

TGlobeRoot* TGlobeObjectSource::GetUserObject(std::int32_t iIndex) {
  return GetObjectData(iIndex).FUserObject;
}

void TGlobeObjectSource::SetUserObject(std::int32_t iIndex, TGlobeRoot* Value) {
  GetObjectData(iIndex).FUserObject = Value;
}

double TGlobeObjectSource::GetValue(std::int32_t iIndex) { return GetObjectData(iIndex).FValue; }

void TGlobeObjectSource::SetValue(std::int32_t iIndex, double Value) {
  GetObjectData(iIndex).FValue = Value;
}

// ---- Adding, deleting, moving -----------------------------------------------------------

void TGlobeObjectSource::Add(TGlobeObject* Obj) {
  if (bLoadingObject || Obj == nullptr) return;
  const std::int32_t index = FiCount;
  SetCount(index + 1);
  FObjectArray[static_cast<std::size_t>(index)].reset(Obj);
  try {
    Obj->MRU = FGlobe->NextMRU();
    Obj->FiIndex = index;
    Obj->FixupReferences();
    Obj->ObjectState.Exclude(osValidMER);
    NotifyLayers(osnAdd, Obj);
  } catch (...) {
    // Hand the object back to the caller (often its constructor, which is unwinding).
    if (index < FiCount && FObjectArray[static_cast<std::size_t>(index)].get() == Obj) {
      (void)FObjectArray[static_cast<std::size_t>(index)].release();
      std::move(FObjectArray.begin() + index + 1, FObjectArray.begin() + FiCount,
                FObjectArray.begin() + index);
      --FiCount;
    }
    Obj->FiIndex = -1;
    throw;
  }
  FModified = true;
}

void TGlobeObjectSource::Delete(TGlobeObject* Obj) {
  if (Obj == nullptr || Obj->FiIndex < 0) return;
  // Only an object that its entry holds is ours to remove; anything else (an object cut
  // loose, one with a stale index) would make us remove another object's entry.
  const auto holds = [this, Obj] {
    const std::int32_t i = Obj->FiIndex;
    return i >= 0 && i < FiCount && FObjectArray[static_cast<std::size_t>(i)].get() == Obj;
  };
  if (!holds()) return;
  NotifyLayers(osnDelete, Obj);
  // The state goes first: an object that is no longer discardable cannot be discarded by
  // a cache reduction that the counter change may start.
  Obj->ObjectState = TGlobeObjectStateSet{osDeleted};
  FGlobe->CacheUsedDelta(SaturateToInt32(-Obj->ObjectInstanceSize()));
  if (!holds()) return;
  const std::int32_t index = Obj->FiIndex;
  (void)FObjectArray[static_cast<std::size_t>(index)].release();  // the caller keeps it
  std::move(FObjectArray.begin() + index + 1, FObjectArray.begin() + FiCount,
            FObjectArray.begin() + index);
  --FiCount;
  for (std::int32_t i = index; i < FiCount; ++i) {
    if (auto& entry = FObjectArray[static_cast<std::size_t>(i)]) entry->FiIndex = i;
  }
  Obj->FiIndex = -1;
  FModified = true;
}

void TGlobeObjectSource::Move(std::int32_t iFrom, std::int32_t iTo) {
  if (iFrom == iTo || iFrom < 0 || iTo < 0 || iFrom >= FiCount || iTo >= FiCount) return;
  const auto first = FObjectArray.begin();
  if (iFrom < iTo) {
    std::rotate(first + iFrom, first + iFrom + 1, first + iTo + 1);
  } else {
    std::rotate(first + iTo, first + iFrom, first + iFrom + 1);
  }
  for (std::int32_t i = 0; i < FiCount; ++i) GetObjectData(i).FiIndex = i;
  NotifyLayers(osnRedraw, nullptr);
  FModified = true;
}

// ---- Cache ------------------------------------------------------------------------------

std::int64_t TGlobeObjectSource::ObjectInstanceSize() const {
  std::int64_t total = 0;
  for (std::int32_t i = 0; i < FiCount; ++i) {
    if (const auto& entry = FObjectArray[static_cast<std::size_t>(i)]) {
      total += entry->ObjectInstanceSize();
    }
  }
  return total;
}

void TGlobeObjectSource::ListActiveObjects(std::vector<TGlobeObject*>& AList) const {
  for (std::int32_t i = 0; i < FiCount; ++i) {
    TGlobeObject* obj = AsObject(FObjectArray[static_cast<std::size_t>(i)].get());
    if (obj != nullptr && obj->ObjectState.Contains(osDiscardable)) AList.push_back(obj);
  }
}

void TGlobeObjectSource::DiscardObject(TGlobeObject& Obj) {
  const std::int32_t index = Obj.FiIndex;
  if (LoadedObject(index) != &Obj) return;
  auto record = std::make_unique<TGlobeObjectData>();
  record->Assign(Obj);
  SetObjectData(index, std::move(record));
}

void TGlobeObjectSource::UnloadObjects() {
  for (std::int32_t i = 0; i < FiCount; ++i) {
    TGlobeObject* obj = LoadedObject(i);
    if (obj == nullptr || !obj->ObjectState.Contains(osDiscardable)) continue;
    if (obj->Selected()) {
      obj->SetSelected(false);
      // Deselection reaches the layers, which may have changed the entries.
      obj = LoadedObject(i);
      if (obj == nullptr) continue;
    }
    DiscardObject(*obj);
  }
}

TMER TGlobeObjectSource::ObjectsMER() {
  if (FiCount == 0) return TMER{0, 0, 1, 1};
  // 64 bits: MERs restored from metadata files are outside data and may be extreme.
  std::int64_t minX = std::numeric_limits<std::int32_t>::max();
  std::int64_t minY = std::numeric_limits<std::int32_t>::max();
  std::int64_t maxX = -std::int64_t{std::numeric_limits<std::int32_t>::max()};
  std::int64_t maxY = -std::int64_t{std::numeric_limits<std::int32_t>::max()};
  for (std::int32_t i = 0; i < FiCount; ++i) {
    const TMER m = GetMER(i);
    if (m.iLongX < minX) minX = std::int64_t{m.iLongX} - 1;
    if (m.iLatY < minY) minY = std::int64_t{m.iLatY} - 1;
    maxX = std::max(maxX, std::int64_t{m.iLongX} + m.iWidthX);
    maxY = std::max(maxY, std::int64_t{m.iLatY} + m.iHeightY);
  }
  minX = std::max<std::int64_t>(minX, -GU_180_DEGREE);
  maxX = std::min<std::int64_t>(maxX, GU_180_DEGREE);
  return TMER{SaturateToInt32(minX), SaturateToInt32(minY), SaturateToInt32(maxX - minX),
              SaturateToInt32(maxY - minY)};
}

// ---- Metadata ---------------------------------------------------------------------------

std::string TGlobeObjectSource::MetaDataFilename(const std::string& sFilename) const {
  const std::string name = TrimControl(sFilename);
  if (name.empty()) return {};
  const std::string mdName = name + ".md";
  switch (FGlobe->SaveMetaDataLocation()) {
    case smdInDataDirectory:
      return FGlobe->DataDirectory() + WithoutFolder(mdName);
    case smdWithDataFile:
      return mdName;
    case smdWithExeFile:
      return platform::Utf8Path(platform::FsPath(platform::ProgramFolder()) /
                                platform::FsPath(WithoutFolder(mdName)));
    case smdDiscard:
      return {};
  }
  return {};
}

void TGlobeObjectSource::WriteMetaData(TGlobeStreamWriter& Writer) {
  SetGlobeStreamVersion(GLOBE_STREAM_VERSION_CURRENT);
  Writer.WriteInteger(FPresenters->Count());
  for (std::int32_t i = 0; i < FPresenters->Count(); ++i) {
    TGlobePresenter& presenter = FPresenters->GetPresenter(i);
    Writer.WriteShortString(presenter.ClassName());
    presenter.WriteProperties(Writer);
  }
  Writer.WriteInteger(FiCount);
  for (std::int32_t i = 0; i < FiCount; ++i) {
    Writer.WriteMER(GetMER(i));
    Writer.WriteInteger(GetPresenterID(i));
    Writer.WriteBoolean(GetState(i).Contains(osClosed));
  }
}

void TGlobeObjectSource::ReadMetaData(TGlobeStreamReader& Reader) {
  SetGlobeStreamVersion(GLOBE_STREAM_VERSION_CURRENT);
  const auto corrupt = [] { return EGlobeException("Corrupt metadata file"); };
  try {
    // The file describes every entry; nothing of an earlier state may mix with it.
    SetCount(0);
    const std::int32_t presenterCount = Reader.ReadInteger();
    if (Reader.Truncated() || presenterCount < 0 ||
        std::int64_t{presenterCount} * MIN_PRESENTER_BYTES > Reader.Remaining()) {
      throw corrupt();
    }
    for (std::int32_t i = 0; i < presenterCount; ++i) {
      const std::string className = Reader.ReadShortString();
      if (Reader.Truncated()) throw corrupt();
      const TGlobeClass* cls = FindGlobeClass(className);
      if (cls == nullptr || !cls->InheritsFrom(TGlobePresenter::StaticClass())) {
        throw EGlobeException("Corrupt metadata file: " + className + " is not a presenter class");
      }
      std::unique_ptr<TGlobePresenter> presenter =
          CreateGlobeObject<TGlobePresenter>(*cls, FGlobe, 0);
      presenter->ReadProperties(Reader);
      if (Reader.Truncated()) throw corrupt();
      FPresenters->Add(std::move(presenter));
    }
    const std::int32_t count = Reader.ReadInteger();
    if (Reader.Truncated() || count < 0 || std::int64_t{count} * ENTRY_BYTES > Reader.Remaining()) {
      throw corrupt();
    }
    SetCount(count);
    for (std::int32_t i = 0; i < count; ++i) {
      TGlobeObjectData& record = GetObjectData(i);
      record.FObjectMER = Reader.ReadMER();
      record.FPresenterID = Reader.ReadInteger();
      record.ObjectState = TGlobeObjectStateSet{osValidMER};
      if (Reader.ReadBoolean()) record.ObjectState.Include(osClosed);
    }
    if (Reader.Truncated()) throw corrupt();
  } catch (...) {
    // Leave nothing half-read behind: the reader maps the data file instead.
    SetCount(0);
    FPresenters->Clear();
    throw;
  }
}

// ---- Environment ------------------------------------------------------------------------

void TGlobeObjectSource::LoadEnvironment(const TGXML_Element* Element) { (void)Element; }

std::unique_ptr<TGXML_Element> TGlobeObjectSource::SaveEnvironment() {
  auto element = std::make_unique<TGXML_Element>();
  element->AddAttribute("Class", ClassName());
  return element;
}

// ---- File reader ------------------------------------------------------------------------

TGlobeFileReader::TGlobeFileReader(TGlobe4* ParentGlobe) : TGlobeObjectSource(ParentGlobe) {}

std::string TGlobeFileReader::CompanionFile(const std::string& FileName,
                                            std::string_view Extension) {
  namespace fs = std::filesystem;
  const fs::path file = platform::FsPath(FileName);
  const std::string stem = platform::Utf8Path(file.stem());
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::error_code ec;
  std::string upper(Extension);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  // Any other spelling of the extension is looked for in the folder; the first by name, so
  // that the choice does not depend on the order of the listing.
  for (const std::string& ext : {std::string(Extension), upper}) {
    const fs::path candidate = folder / platform::FsPath(stem + ext);
    if (fs::is_regular_file(candidate, ec)) return platform::Utf8Path(candidate);
  }
  std::string found;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = platform::Utf8Path(it->path().filename());
    if (name.size() != stem.size() + Extension.size() || name.compare(0, stem.size(), stem) != 0 ||
        !SameTextAscii(std::string_view(name).substr(stem.size()), Extension)) {
      continue;
    }
    std::error_code fileEc;
    if (!it->is_regular_file(fileEc)) continue;
    std::string path = platform::Utf8Path(it->path());
    if (found.empty() || path < found) found = std::move(path);
  }
  return found;
}

bool TGlobeFileReader::LoadMetaDataWith(const std::function<void(TGlobeStreamReader&)>& ReadTail) {
  std::vector<std::uint8_t> bytes;
  if (!ReadMetaDataFile(bytes)) return false;
  try {
    TGlobeMemoryView view(bytes);
    TGlobeStreamReader reader(view);
    (void)reader.ReadWord();  // the mark, checked already
    ReadMetaData(reader);
    ReadTail(reader);
    if (reader.Truncated()) throw EGlobeException("Truncated metadata");
    return true;
  } catch (const EGlobeException&) {
    // Like a file without the mark: forget it, so that the data file is indexed again.
    SetCount(0);
    Presenters().Clear();
    // Only while it still carries our mark: it may have been replaced since it was read.
    const std::filesystem::path mdPath = platform::FsPath(MetaDataFilename(FFileName));
    std::error_code ec;
    if (IsOwnMetaDataFile(mdPath)) std::filesystem::remove(mdPath, ec);
    return false;
  }
}

void TGlobeFileReader::SetFileName(const std::string& Value) {
  FFileName = FGlobe->ResolveFilename(Value);
}

void TGlobeFileReader::LoadEnvironment(const TGXML_Element* Element) {
  if (Element != nullptr) SetFileName(Element->AttributeByName("Filename", FFileName));
  TGlobeObjectSource::LoadEnvironment(Element);
}

std::unique_ptr<TGXML_Element> TGlobeFileReader::SaveEnvironment() {
  std::unique_ptr<TGXML_Element> element = TGlobeObjectSource::SaveEnvironment();
  std::string relative;
  if (!FFileName.empty()) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // An empty data directory stands for the working folder, where a bare name is found.
    const std::string& dir = FGlobe->DataDirectory();
    const fs::path base =
        (dir.empty() ? fs::current_path(ec) : fs::absolute(platform::FsPath(dir), ec))
            .lexically_normal();
    const fs::path file = fs::absolute(platform::FsPath(FFileName), ec).lexically_normal();
    const fs::path rel = file.lexically_relative(base);
    relative = platform::Utf8GenericPath(rel.empty() ? file : rel);
  }
  element->AddAttribute("Filename", relative);
  return element;
}

bool TGlobeFileReader::MapDataFile(TGlobeStream& Stream) {
  FGlobe->ProgressMessage(pmStart, "Mapping");
  const std::int64_t size = Stream.Size();
  Stream.SetPosition(0);
  SetCount(0);
  const bool result = ReadHeader(Stream);
  if (result) {
    while (MapNextObject(Stream, FiCount)) {
      SetCount(FiCount + 1);
      (void)GetObject(FiCount - 1);
      if (FiCount % 256 == 0) {
        FGlobe->ProgressMessage(pmPercent, std::to_string(Percent(Stream.Position(), size)));
      }
    }
  }
  FGlobe->ProgressMessage(pmEnd, "Finished");
  return result;
}

bool TGlobeFileReader::ReadHeader(TGlobeStream& Stream) {
  (void)Stream;
  return true;
}

bool TGlobeFileReader::MapNextObject(TGlobeStream& Stream, std::int32_t iIndex) {
  (void)Stream;
  (void)iIndex;
  return false;
}

bool TGlobeFileReader::ReadMetaDataFile(std::vector<std::uint8_t>& Bytes) {
  namespace fs = std::filesystem;
  Bytes.clear();
  const std::string mdName = MetaDataFilename(FFileName);
  if (mdName.empty()) return false;
  std::error_code ec;
  const fs::path mdPath = platform::FsPath(mdName);
  if (!fs::exists(mdPath, ec)) return false;  // no metadata file
  // The name may be taken by a file that is not ours, an operator's note say: say so and
  // work without an index rather than read, replace or delete it.
  if (!IsOwnMetaDataFile(mdPath)) {
    FGlobe->ProgressMessage(pmMessage, mdName + " is not a metadata file; left alone, the layer "
                                                "opens without an index");
    return false;
  }
  const fs::file_time_type mdTime = fs::last_write_time(mdPath, ec);
  if (ec) return false;
  const fs::file_time_type dataTime = fs::last_write_time(platform::FsPath(FFileName), ec);
  if (ec || mdTime < dataTime) return false;  // stale: the data changed after it was written

  std::ifstream in(mdPath, std::ios::binary);
  if (!in) return false;
  Bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    Bytes.clear();
    return false;
  }
  const bool marked = Bytes.size() >= 2 && (Bytes[0] | (Bytes[1] << 8)) == METADATA_MARK;
  if (!marked) Bytes.clear();  // changed since the look at its mark: no longer ours to use
  return marked;
}

void TGlobeFileReader::WriteMetaDataFile(const std::vector<std::uint8_t>& Bytes) {
  const std::string mdName = MetaDataFilename(FFileName);
  if (mdName.empty()) return;
  // A foreign file of that name stays; reading it has said so already.
  std::error_code ec;
  if (std::filesystem::exists(platform::FsPath(mdName), ec) &&
      !IsOwnMetaDataFile(platform::FsPath(mdName))) {
    return;
  }
  try {
    WriteFileAtomically(mdName, Bytes);
  } catch (const EGlobeException& e) {
    // Metadata only saves the next opening a pass over the data: a folder that cannot be
    // written (the program's, say) must not make opening the data file fail.
    FGlobe->ProgressMessage(pmError, e.what());
  }
}

}  // namespace globe
