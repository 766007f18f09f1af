// Reads any bytes as the logger's database file the way the program does: the header
// chooses the reader, and an Access file is read by libmdb in the Access reader program
// (orvane-mdbread of this build). Whatever libmdb does with the input (its corpus holds
// files it crashes on and one it allocates without end on), this process gets an answer: an
// error naming the file, or a position of finite numbers.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/qt/loggerdatabase.h"

namespace {

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
  static const TScratchFolder Scratch("orvane-mdb-guarded-fuzz-");
  const std::string File = (Scratch.Path / "logs.mdb").string();
  {
    std::ofstream Out(File, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  // A short limit: a reader that loops is stopped, not waited for.
  platform::TLoggerFileDatabase Db(std::chrono::seconds(5), ORVANE_MDBREAD_PATH);
  try {
    Db.Open(File);
    Db.CheckTable("Aconfig");
    const auto Position =
        Db.QueryPosition("SELECT * \nFROM Aconfig\nWHERE LogName = 'Home station'");
    if (Position && (!std::isfinite(Position->Longitude) || !std::isfinite(Position->Latitude)))
      __builtin_trap();
  } catch (const std::runtime_error& Error) {
    // A reader that cannot be started would leave the input unread.
    if (std::string(Error.what()).find("the Access reader \"") != std::string::npos)
      __builtin_trap();
    if (std::string(Error.what()).find(File) == std::string::npos &&
        std::string(Error.what()).find("not open") == std::string::npos)
      __builtin_trap();
  }
  return 0;
}
