// Reads any bytes as an Access database, in this process, the way the logger link does:
// the catalog, the table "Aconfig" and the home position of a log; the same for the
// table and columns of the Access-made seed. Every input must end in an answer: an error
// or, for a position, finite numbers. (The program reads in its Access reader, see
// TMdbLoggerDatabase; fuzzing in-process lets libFuzzer see into libmdb.)
//
// Seeds: datetest.mdb is tests/data/mdb/DateTestDatabase.mdb; aconfig.mdb and kinds.mdb
// were written by orvane-jetwrite from tab-separated rows:
//   aconfig.mdb: Aconfig LogName:text(50) Longitude:double Latitude:double with the rows
//     "Home station" -16.37 48.21, "HOME STATION  " 1 2, "Portable EA8" 16.25 28.47,
//     "Empty" \N 3
//   kinds.mdb: Aconfig LogName:text Longitude:decimal(18,4) Latitude:text(20) with the rows
//     "Other" 1 "x", "Home station" -16.37 " 48.21"
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/qt/mdbdatabase.h"

namespace {

void Check(const platform::TJetReply& Reply) {
  if (Reply.Ok && !Reply.Error.empty()) __builtin_trap();
  if (!Reply.Ok && (Reply.Error.empty() || Reply.Position)) __builtin_trap();
  if (Reply.Position &&
      (!std::isfinite(Reply.Position->Longitude) || !std::isfinite(Reply.Position->Latitude)))
    __builtin_trap();
}

platform::TJetRequest Request(const char* Table, const char* Column, const char* Value,
                              const char* First, const char* Second) {
  platform::TJetRequest R;
  R.Table = Table;
  R.Query = platform::TJetQuery{Table, Column, Value};
  R.LongitudeColumn = First;
  R.LatitudeColumn = Second;
  return R;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> Bytes(data, size);
  const platform::TJetReply Catalog = platform::ReadJetDatabase(Bytes, {});
  Check(Catalog);
  if (!Catalog.Ok) return 0;
  platform::TJetRequest Table;
  Table.Table = "Aconfig";
  Check(platform::ReadJetDatabase(Bytes, Table));
  Check(platform::ReadJetDatabase(
      Bytes, Request("Aconfig", "LogName", "Home station", "Longitude", "Latitude")));
  Check(platform::ReadJetDatabase(
      Bytes, Request("DateTest", "LongTextCol", "x", "IDCol", "ShortTextCol")));
  return 0;
}
