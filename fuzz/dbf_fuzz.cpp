// Reads any bytes as a dBase table: every record in turn, then records by number (also far
// beyond the table), every field of each as text. A bad table must end in EGlobeException,
// never in a crash or a read outside its record.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "globe/readers/dbf.h"

namespace {

// A folder of this process for the input files, removed again when the process ends.
struct TScratchFolder {
  explicit TScratchFolder(const std::string& Name)
      : Path(std::filesystem::temp_directory_path() / (Name + std::to_string(::getpid()))) {
    std::filesystem::create_directories(Path);
  }
  ~TScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  std::filesystem::path Path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TScratchFolder Scratch("orvane-dbf-fuzz-");
  const std::filesystem::path File = Scratch.Path / "input.dbf";
  {
    std::ofstream out(File, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    globe::TGlobeDBFReader dbf(File.string());
    std::size_t text = 0;
    auto readFields = [&] {
      for (std::int32_t i = -1; i <= dbf.FieldCount(); ++i) {
        text += dbf.GetString(i).size();
        (void)dbf.FieldName(i);
        (void)dbf.FieldType(i);
        (void)dbf.FieldLength(i);
      }
    };
    // Each record read takes a record's bytes of the file, so the loop ends.
    while (dbf.Next()) readFields();
    const std::int32_t count = dbf.RecordCount();  // at most 0x7FFFFFFF
    for (std::int32_t id : {1, 2, count, count < 0x7FFFFFFF ? count + 1 : 0, 0x7FFFFFFF, -1}) {
      dbf.SetRecordID(id);
      (void)dbf.Deleted();
      readFields();
    }
    // Field text comes only from records in the file (a byte of code page 1252 is at most
    // three bytes of UTF-8); the six jumps read a record of at most 65,535 bytes each.
    if (text > 3 * (size + 6 * 65535)) __builtin_trap();
  } catch (const globe::EGlobeException&) {
  }
  return 0;
}
