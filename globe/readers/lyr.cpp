#include "globe/readers/lyr.h"

#include <cstdio>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>
#include <utility>

#include "globe/formats/memorymap.h"
#include "globe/formats/propertystream.h"
#include "globe/objects/presenter.h"
#include "globe/view/globe.h"
#include "platform/filesystem.h"

// Every count, class name and position in a LYR or metadata file is checked before it is
// used: a file is outside data, and a bad one raises EGlobeException naming the file instead
// of crashing, hanging or allocating what its size cannot justify.

namespace globe {

namespace {

/// The smallest object record (flags word and presenter ID): a group count above a quarter
/// of the bytes left cannot be right.
constexpr std::int64_t MIN_OBJECT_RECORD = 4;
/// A metadata item: ShortInt class index and Integer position.
constexpr std::int64_t METADATA_ITEM_SIZE = 5;
/// Class indexes are stored in a ShortInt in metadata files.
constexpr std::size_t MAX_METADATA_CLASSES = 128;

/// Class names are identifiers; other bytes where one should stand (a picture or a text
/// renamed, a damaged file) are not shown to the user.
bool IsClassName(std::string_view Name) {
  auto letter = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  };
  if (Name.empty() || !letter(Name.front())) return false;
  for (char c : Name) {
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

const TGlobeClass& RegisteredClass(const std::string& Name, const std::string& File,
                                   std::int64_t Offset) {
  if (!IsClassName(Name)) {
    throw EGlobeException(File + " is not a layer file (no class name at offset " +
                          std::to_string(Offset) + ")");
  }
  const TGlobeClass* found = FindGlobeClass(Name);
  if (found == nullptr) throw EGlobeException("Class " + Name + " not found in " + File);
  return *found;
}

/// Writes groups of consecutive records of one class. The count is known only when the
/// group ends, so a placeholder is written first and filled in when the group closes.
class TGroupWriter {
 public:
  explicit TGroupWriter(TGlobeStreamWriter& Writer) : writer_(Writer) {}

  /// Starts a new group unless the record continues the current one.
  void Next(const TGlobeClass& Class) {
    if (&Class != class_ || count_ == std::numeric_limits<std::int32_t>::max()) {
      Close();
      start_ = writer_.DataStream().Position();
      writer_.WriteInteger(0);
      writer_.WriteShortString(Class.ClassName());
      class_ = &Class;
    }
    ++count_;
  }

  /// Closes the last group and writes the Integer 0 that ends the section.
  void EndSection() {
    Close();
    writer_.WriteInteger(0);
  }

 private:
  void Close() {
    if (class_ != nullptr) {
      TGlobeStream& stream = writer_.DataStream();
      const std::int64_t end = stream.Position();
      stream.SetPosition(start_);
      writer_.WriteInteger(count_);
      stream.SetPosition(end);
    }
    class_ = nullptr;
    count_ = 0;
  }

  TGlobeStreamWriter& writer_;
  const TGlobeClass* class_ = nullptr;
  std::int32_t count_ = 0;
  std::int64_t start_ = 0;
};

/// Writes the layout with the objects that ForEachObject hands to its callback one at a
/// time (a source may discard an object once the next one is loaded).
template <class ForEachObject>
void WriteLYRFile(const std::string& FileName, std::span<TGlobePresenter* const> Presenters,
                  ForEachObject&& ForEach) {
  TGlobeStreamWriter writer(std::make_unique<TGlobeMemoryStream>());
  writer.WriteSmallInt(static_cast<std::int16_t>(GLOBE_STREAM_VERSION_CURRENT));
  writer.WriteRect(TRect{});
  TGroupWriter groups(writer);
  for (TGlobePresenter* presenter : Presenters) {
    if (presenter == nullptr) continue;
    groups.Next(presenter->ClassType());
    presenter->WriteProperties(writer);
  }
  groups.EndSection();
  ForEach([&](TGlobeObject& Obj) {
    groups.Next(Obj.ClassType());
    Obj.WriteProperties(writer);
  });
  groups.EndSection();
  WriteFileAtomically(FileName,
                      static_cast<const TGlobeMemoryStream&>(writer.DataStream()).Bytes());
}

}  // namespace

// ---- TGlobeLYRStreamReader ----------------------------------------------------------------

TGlobeLYRStreamReader::TGlobeLYRStreamReader(TGlobe4* ParentGlobe)
    : TGlobeFileReader(ParentGlobe) {}

TGlobeLYRStreamReader::~TGlobeLYRStreamReader() = default;

void TGlobeLYRStreamReader::SetLYRStream(TGlobeStream* Value) {
  Reader.reset();
  FLYRStream = Value;
}

std::string TGlobeLYRStreamReader::FileLabel() const {
  return FileName().empty() ? std::string("LYR stream") : FileName();
}

void TGlobeLYRStreamReader::DropIndex() {
  SetCount(0);
  FDataItems.clear();
  FObjectClasses.clear();
  Presenters().Clear();
  iObjCount = 0;
  iObjClassIndex = 0;
}

bool TGlobeLYRStreamReader::OpenSource() {
  if (FLYRStream == nullptr) return false;
  try {
    LoadMetaData();
  } catch (const EGlobeException& e) {
    // A corrupt metadata file is only a lost shortcut: say so, map the data file again and
    // rewrite the metadata file below.
    DropIndex();
    Globe().ProgressMessage(pmError, e.what());
  }
  Reader = std::make_unique<TGlobeStreamReader>(*FLYRStream);
  if (FDataItems.empty()) {
    // Presenters restored for a file without objects would come again from the header.
    DropIndex();
    try {
      MapDataFile(*FLYRStream);
    } catch (...) {
      DropIndex();
      Reader.reset();
      throw;
    }
    if (Globe().SaveMetaDataLocation() != smdDiscard) {
      try {
        SaveMetaData();
      } catch (const EGlobeException& e) {
        // The metadata file only speeds up the next opening; failing to write it must not
        // keep the layer from opening.
        Globe().ProgressMessage(pmError, e.what());
      }
    }
  }
  return inherited::OpenSource();
}

bool TGlobeLYRStreamReader::CloseSource() {
  DropIndex();
  SetLYRStream(nullptr);
  return inherited::CloseSource();
}

std::int32_t TGlobeLYRStreamReader::ReadGroupCount() {
  // Data that ends where a count would stand ends the section as the end mark would.
  if (Reader->Remaining() == 0) return 0;
  const std::int32_t count = Reader->ReadInteger();
  if (Reader->Truncated()) throw EGlobeException("Truncated group count in " + FileLabel());
  return count;
}

bool TGlobeLYRStreamReader::ReadHeader(TGlobeStream& Stream) {
  if (!Reader || &Reader->DataStream() != &Stream) {
    Reader = std::make_unique<TGlobeStreamReader>(Stream);
  }
  Reader->ClearShortCount();
  const std::uint16_t version = Reader->ReadWord();
  if (version < GLOBE_STREAM_VERSION_OLDEST) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(version));
    throw EGlobeException("Invalid File Version " + std::string(hex) + " in " + FileName());
  }
  SetGlobeStreamVersion(version);
  FDataItems.clear();
  FObjectClasses.clear();
  iObjCount = 0;
  (void)Reader->ReadRect();
  if (Reader->Truncated()) throw EGlobeException("Truncated header in " + FileLabel());

  std::int64_t groupStart = Stream.Position();
  std::int32_t count = ReadGroupCount();
  while (count > 0) {
    if (Reader->Remaining() == 0) {
      throw EGlobeException("Truncated group at offset " + std::to_string(groupStart) + " in " +
                            FileLabel());
    }
    const std::string name = Reader->ReadShortString();
    if (Reader->Truncated()) {
      throw EGlobeException("Truncated group at offset " + std::to_string(groupStart) + " in " +
                            FileLabel());
    }
    const TGlobeClass& cls = RegisteredClass(name, FileLabel(), groupStart + 4);
    if (cls.InheritsFrom(TGlobeObject::StaticClass())) {
      // The object section begins with this group; MapNextObject reads its count again.
      Stream.SetPosition(groupStart);
      break;
    }
    if (!cls.InheritsFrom(TGlobePresenter::StaticClass())) {
      throw EGlobeException(name + " is neither a presenter nor an object class in " +
                            FileLabel());
    }
    // Each record takes at least a byte; more records than bytes cannot be right.
    if (count > Reader->Remaining()) {
      throw EGlobeException("Invalid presenter count " + std::to_string(count) + " in " +
                            FileLabel());
    }
    for (std::int32_t i = 0; i < count; ++i) {
      std::unique_ptr<TGlobePresenter> presenter =
          CreateGlobeObject<TGlobePresenter>(cls, &Globe(), std::int32_t{0});
      try {
        presenter->ReadProperties(*Reader);
      } catch (const EGlobeException& e) {
        throw EGlobeException(std::string(e.what()) + " in presenter record " +
                              std::to_string(Presenters().Count()) + " of " + FileLabel());
      }
      if (Reader->Truncated()) {
        throw EGlobeException("Truncated presenter record " +
                              std::to_string(Presenters().Count()) + " in " + FileLabel());
      }
      Presenters().Add(std::move(presenter));
    }
    groupStart = Stream.Position();
    count = ReadGroupCount();
  }
  iObjCount = 0;
  return true;
}

bool TGlobeLYRStreamReader::MapNextObject(TGlobeStream& Stream, std::int32_t iIndex) {
  if (iIndex < 0) throw EGlobeException("MapNextObject: Invalid Index " + std::to_string(iIndex));
  if (iObjCount <= 0) {
    const std::int64_t groupStart = Stream.Position();
    const std::int32_t count = ReadGroupCount();
    if (count == 0) return false;
    if (count < 0) {
      throw EGlobeException("Invalid object count " + std::to_string(count) + " in " +
                            FileLabel());
    }
    const std::string name = Reader->ReadShortString();
    if (Reader->Truncated()) {
      throw EGlobeException("Truncated group at offset " + std::to_string(groupStart) + " in " +
                            FileLabel());
    }
    const TGlobeClass& cls = RegisteredClass(name, FileLabel(), groupStart + 4);
    if (!cls.InheritsFrom(TGlobeObject::StaticClass())) {
      throw EGlobeException(name + " is not an object class in " + FileLabel());
    }
    // 64-bit sums: neither the record bytes nor the new item count may overflow.
    const std::int64_t total = std::int64_t{iIndex} + count;
    if (count > Reader->Remaining() / MIN_OBJECT_RECORD ||
        total > std::numeric_limits<std::int32_t>::max()) {
      throw EGlobeException("Invalid object count " + std::to_string(count) + " in " +
                            FileLabel());
    }
    // The registry ignores letter case, so equal classes are the same descriptor.
    std::size_t index = 0;
    while (index < FObjectClasses.size() && FObjectClasses[index] != &cls) ++index;
    if (index == FObjectClasses.size()) FObjectClasses.push_back(&cls);
    iObjClassIndex = static_cast<std::int32_t>(index);
    iObjCount = count;
    if (FDataItems.size() < static_cast<std::size_t>(total)) {
      FDataItems.resize(static_cast<std::size_t>(total));
    }
  }
  if (static_cast<std::size_t>(iIndex) >= FDataItems.size()) {
    FDataItems.resize(static_cast<std::size_t>(iIndex) + 1);
  }
  const std::int64_t position = Stream.Position();
  if (position > std::numeric_limits<std::int32_t>::max()) {
    // Positions are Integers in the metadata file.
    throw EGlobeException("Record " + std::to_string(iIndex) + " lies beyond 2 GB in " +
                          FileLabel());
  }
  FDataItems[static_cast<std::size_t>(iIndex)] = {iObjClassIndex,
                                                  static_cast<std::int32_t>(position)};
  --iObjCount;
  return true;
}

std::unique_ptr<TGlobeObject> TGlobeLYRStreamReader::LoadObject(std::int32_t iIndex,
                                                                bool /*bNewObject*/) {
  if (!Reader || iIndex < 0 || static_cast<std::size_t>(iIndex) >= FDataItems.size()) {
    throw EGlobeException("No record " + std::to_string(iIndex) + " in " + FileLabel());
  }
  const TDataItem item = FDataItems[static_cast<std::size_t>(iIndex)];
  if (item.ClassIndex < 0 || static_cast<std::size_t>(item.ClassIndex) >= FObjectClasses.size()) {
    throw EGlobeException("Invalid class index " + std::to_string(item.ClassIndex) +
                          " of record " + std::to_string(iIndex) + " in " + FileLabel());
  }
  Reader->DataStream().SetPosition(item.Position);
  Reader->ClearShortCount();
  // The source ignores the object's Add while it is loading; the entry takes it from us.
  std::unique_ptr<TGlobeObject> obj = CreateGlobeObject<TGlobeObject>(
      *FObjectClasses[static_cast<std::size_t>(item.ClassIndex)],
      static_cast<TGlobeObjectSource*>(this));
  try {
    obj->ReadProperties(*Reader);
  } catch (const EGlobeException& e) {
    throw EGlobeException(std::string(e.what()) + " in record " + std::to_string(iIndex) +
                          " of " + FileLabel());
  }
  if (Reader->Truncated()) {
    throw EGlobeException("Truncated record " + std::to_string(iIndex) + " in " + FileLabel());
  }
  return obj;
}

void TGlobeLYRStreamReader::SaveMetaData() {
  if (NoCache()) return;
  const std::string name = MetaDataFilename(FileName());
  if (name.empty()) return;
  // A class index beyond a ShortInt would come back as another class.
  if (FObjectClasses.size() > MAX_METADATA_CLASSES) return;

  TGlobeStreamWriter writer(std::make_unique<TGlobeMemoryStream>());
  writer.WriteWord(METADATA_MARK);
  WriteMetaData(writer);
  writer.WriteInteger(static_cast<std::int32_t>(FObjectClasses.size()));
  for (const TGlobeClass* cls : FObjectClasses) writer.WriteShortString(cls->ClassName());
  writer.WriteInteger(static_cast<std::int32_t>(FDataItems.size()));
  for (const TDataItem& item : FDataItems) {
    writer.WriteShortInt(static_cast<std::int8_t>(item.ClassIndex));
    writer.WriteInteger(item.Position);
  }
  WriteMetaDataFile(static_cast<const TGlobeMemoryStream&>(writer.DataStream()).Bytes());
}

void TGlobeLYRStreamReader::LoadMetaData() {
  if (NoCache()) return;
  std::vector<std::uint8_t> bytes;
  if (!ReadMetaDataFile(bytes)) return;
  const std::string mdName = MetaDataFilename(FileName());
  try {
    TGlobeMemoryView view(bytes);
    TGlobeStreamReader r(view);
    if (r.ReadWord() != METADATA_MARK) throw EGlobeException("Corrupt metadata file");
    ReadMetaData(r);
    FDataItems.clear();
    FObjectClasses.clear();

    const std::int32_t classCount = r.ReadInteger();
    // Each name takes at least its length byte.
    if (r.Truncated() || classCount < 0 || classCount > r.Remaining()) {
      throw EGlobeException("Invalid class count " + std::to_string(classCount));
    }
    for (std::int32_t i = 0; i < classCount; ++i) {
      const std::string name = r.ReadShortString();
      if (r.Truncated()) throw EGlobeException("Corrupt metadata file");
      const TGlobeClass* cls = FindGlobeClass(name);
      if (cls == nullptr) throw EGlobeException("Class " + name + " not found");
      if (!cls->InheritsFrom(TGlobeObject::StaticClass())) {
        throw EGlobeException(name + " is not an object class");
      }
      FObjectClasses.push_back(cls);
    }

    const std::int32_t itemCount = r.ReadInteger();
    if (r.Truncated()) throw EGlobeException("Corrupt metadata file");
    if (itemCount != Count()) {
      throw EGlobeException("Item count " + std::to_string(itemCount) +
                            " does not match object count " + std::to_string(Count()));
    }
    if (itemCount > r.Remaining() / METADATA_ITEM_SIZE) {
      throw EGlobeException("Corrupt metadata file");
    }
    // Records cannot begin beyond the data they were found in.
    const std::int64_t dataSize =
        FLYRStream != nullptr ? FLYRStream->Size() : std::numeric_limits<std::int64_t>::max();
    FDataItems.resize(static_cast<std::size_t>(itemCount));
    for (std::int32_t i = 0; i < itemCount; ++i) {
      TDataItem& item = FDataItems[static_cast<std::size_t>(i)];
      item.ClassIndex = r.ReadShortInt();
      item.Position = r.ReadInteger();
      if (item.ClassIndex < 0 || item.ClassIndex >= classCount) {
        throw EGlobeException("Invalid class index " + std::to_string(item.ClassIndex) +
                              " of item " + std::to_string(i));
      }
      if (item.Position < 0 || item.Position >= dataSize) {
        throw EGlobeException("Invalid position " + std::to_string(item.Position) +
                              " of item " + std::to_string(i));
      }
    }
    if (r.Truncated()) throw EGlobeException("Corrupt metadata file");
  } catch (const EGlobeException& e) {
    DropIndex();
    const std::string detail = e.what();
    if (detail == "Corrupt metadata file") throw EGlobeException(detail + " " + mdName);
    throw EGlobeException("Corrupt metadata file " + mdName + ": " + detail);
  }
}

// ---- TGlobeLYRReader --------------------------------------------------------------------

TGlobeLYRReader::TGlobeLYRReader(TGlobe4* ParentGlobe) : TGlobeLYRStreamReader(ParentGlobe) {}

TGlobeLYRReader::~TGlobeLYRReader() {
  // The reader must not outlive the mapped view it reads.
  SetLYRStream(nullptr);
}

bool TGlobeLYRReader::OpenSource() {
  std::error_code ec;
  if (FileName().empty() || !std::filesystem::exists(platform::FsPath(FileName()), ec)) {
    return false;
  }
  SetName(platform::Utf8Path(platform::FsPath(FileName()).filename()));
  try {
    FMapped = std::make_unique<TMemoryMapStream>(FileName());
  } catch (const EGlobeException& e) {
    const std::string message = e.what();
    // The mapping errors do not say which file could not be mapped.
    if (message.find(FileName()) != std::string::npos) throw;
    throw EGlobeException(message + " for " + FileName());
  }
  SetLYRStream(FMapped.get());
  try {
    return inherited::OpenSource();
  } catch (...) {
    SetLYRStream(nullptr);
    FMapped.reset();
    throw;
  }
}

bool TGlobeLYRReader::CloseSource() {
  SetLYRStream(nullptr);
  FMapped.reset();
  return inherited::CloseSource();
}

// ---- Writing ------------------------------------------------------------------------------

void WriteLYR(const std::string& FileName, std::span<TGlobePresenter* const> Presenters,
              std::span<TGlobeObject* const> Objects) {
  WriteLYRFile(FileName, Presenters, [&](auto&& Write) {
    for (TGlobeObject* obj : Objects) {
      if (obj != nullptr) Write(*obj);
    }
  });
}

void WriteLYR(const std::string& FileName, TGlobeObjectSource& Source) {
  std::vector<TGlobePresenter*> presenters;
  const TGlobePresenterStore& store = Source.Presenters();
  for (std::int32_t i = 0; i < store.Count(); ++i) presenters.push_back(&store.GetPresenter(i));
  WriteLYRFile(FileName, presenters, [&](auto&& Write) {
    // Each object is written as soon as it is loaded: loading the next may discard it.
    for (std::int32_t i = 0; i < Source.Count(); ++i) Write(Source.GetObject(i));
  });
}

void RegisterLYRReaders() {
  RegisterGlobeClass<TGlobeLYRStreamReader>();
  RegisterGlobeClass<TGlobeLYRReader>();
}

}  // namespace globe
