// Drives the property reader over arbitrary bytes with a sequence of reads that the bytes
// themselves choose: each step reads one ShortInt whose value picks the next primitive (and
// its flags or size). Every value read is written back, and the fuzzer checks that
//  - the reader never leaves the data and accounts for every byte it did not get;
//  - written back, a value reproduces the bytes it came from, with zeros for the part
//    that was missing (booleans and points, whose reading is not one to one, are checked
//    by reading back what was written instead).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "globe/core/types.h"
#include "globe/formats/propertystream.h"
#include "globe/formats/stream.h"

namespace {

using globe::TGlobeMemoryStream;
using globe::TGlobeMemoryView;
using globe::TGlobeStreamReader;
using globe::TGlobeStreamWriter;

#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

// Enough steps to cover every kind many times over; bounds the time per input.
constexpr int kMaxSteps = 4096;

enum class Kind { Exact, Boolean, Point };

struct Step {
  std::size_t size;  // encoded size of the value
  Kind kind = Kind::Exact;
  bool value = false;     // Boolean
  globe::TPointLL point;  // Point
  bool bHeight = false, b16Bit = false;
};

// Reads the primitive chosen by op, writes it back and returns what it was.
Step ReadAndWriteBack(std::uint8_t op, TGlobeStreamReader& r, TGlobeStreamWriter& w) {
  Step s{};
  switch (op % 12) {
    case 0:
      s.kind = Kind::Boolean;
      s.size = 1;
      s.value = r.ReadBoolean();
      w.WriteBoolean(s.value);
      break;
    case 1:
      s.size = 8;
      w.WriteDouble(r.ReadDouble());
      break;
    case 2:
      s.size = 2;
      w.WriteWord(r.ReadWord());
      break;
    case 3:
      s.size = 1;
      w.WriteShortInt(r.ReadShortInt());
      break;
    case 4:
      s.size = 2;
      w.WriteSmallInt(r.ReadSmallInt());
      break;
    case 5:
      s.size = 4;
      w.WriteInteger(r.ReadInteger());
      break;
    case 6: {
      const std::string text = r.ReadShortString();
      s.size = 1 + text.size();
      w.WriteShortString(text);
      break;
    }
    case 7: {
      // Every code-page byte survives the trip through UTF-8, so this is exact too.
      const std::string text = r.ReadShortText();
      w.WriteShortText(text);
      s.size = 0;  // known only from the bytes; filled in by the caller
      break;
    }
    case 8:
      s.size = 16;
      w.WriteRect(r.ReadRect());
      break;
    case 9:
      s.size = 16;
      w.WriteMER(r.ReadMER());
      break;
    case 10:
      s.kind = Kind::Point;
      s.bHeight = (op & 0x10) != 0;
      s.b16Bit = (op & 0x20) != 0;
      s.size = (s.b16Bit ? 2 : 4) * (s.bHeight ? 3 : 2);
      s.point = r.ReadPointLL(s.bHeight, s.b16Bit);
      w.WritePointLL(s.point, s.bHeight, s.b16Bit);
      break;
    default: {
      s.size = (op >> 4) * 5u;  // 0 to 75 bytes
      std::vector<std::uint8_t> buf(s.size + 1, 0xAA);
      r.ReadBuffer(buf.data(), s.size);
      FUZZ_CHECK(buf[s.size] == 0xAA);  // nothing written past the requested size
      w.WriteBuffer(buf.data(), s.size);
      break;
    }
  }
  return s;
}

globe::TPointLL ReadPoint(std::span<const std::uint8_t> bytes, const Step& step) {
  TGlobeMemoryView view(bytes);
  TGlobeStreamReader reader(view);
  const globe::TPointLL pt = reader.ReadPointLL(step.bHeight, step.b16Bit);
  FUZZ_CHECK(!reader.Truncated() && reader.Remaining() == 0);
  return pt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  TGlobeMemoryView view(input);
  TGlobeStreamReader reader(view);
  auto owned = std::make_unique<TGlobeMemoryStream>();
  TGlobeMemoryStream& out = *owned;
  TGlobeStreamWriter writer(std::move(owned));

  for (int i = 0; i < kMaxSteps && reader.Remaining() > 0; ++i) {
    const auto start = static_cast<std::size_t>(view.Position());
    const std::uint64_t shortBefore = reader.ShortCount();
    const auto op = static_cast<std::uint8_t>(reader.ReadShortInt());
    const auto valueStart = static_cast<std::size_t>(out.Position());
    Step step = ReadAndWriteBack(op, reader, writer);
    const std::span<const std::uint8_t> written =
        std::span(out.Bytes()).subspan(valueStart, out.Bytes().size() - valueStart);
    if (op % 12 == 7) step.size = written.size();

    // Every byte asked for was either delivered or counted as missing, and none beyond the
    // data was touched.
    const auto end = static_cast<std::size_t>(view.Position());
    const std::uint64_t missing = reader.ShortCount() - shortBefore;
    FUZZ_CHECK(end <= size);
    FUZZ_CHECK((end - start) + missing == 1 + step.size);
    FUZZ_CHECK(missing == 0 || end == size);
    FUZZ_CHECK(reader.Truncated() == (reader.ShortCount() != 0));
    FUZZ_CHECK(written.size() == step.size);

    const std::size_t delivered = end - start - 1;  // the op byte is always there
    const std::uint8_t* got = data + start + 1;
    switch (step.kind) {
      case Kind::Exact:
        FUZZ_CHECK(delivered == 0 || std::memcmp(written.data(), got, delivered) == 0);
        for (std::size_t k = delivered; k < step.size; ++k) FUZZ_CHECK(written[k] == 0);
        break;
      case Kind::Boolean:
        FUZZ_CHECK(step.value == (delivered == 1 && got[0] == 0x54));
        FUZZ_CHECK(written[0] == (step.value ? 0x54 : 0x46));
        break;
      case Kind::Point: {
        FUZZ_CHECK(step.point.iLongX >= -globe::GU_180_DEGREE - 1 &&
                   step.point.iLongX <= globe::GU_180_DEGREE + 1);
        if (!step.bHeight) FUZZ_CHECK(step.point.iHeightZ == 0);
        // Short-form values beyond ±23,860 minutes overflow 32 bits when read and cannot be
        // written again; all others must read back unchanged.
        bool representable = true;
        if (step.b16Bit) {
          for (std::size_t k = 0; k + 1 < step.size; k += 2) {
            const std::uint8_t lo = k < delivered ? got[k] : 0;
            const std::uint8_t hi = k + 1 < delivered ? got[k + 1] : 0;
            const auto stored = static_cast<std::int16_t>(lo | hi << 8);
            if (stored > 23860 || stored < -23860) representable = false;
          }
        }
        const globe::TPointLL back = ReadPoint(written, step);
        if (representable) FUZZ_CHECK(back == step.point);
        // What has been through the writer once is stable.
        TGlobeStreamWriter again(std::make_unique<TGlobeMemoryStream>());
        again.WritePointLL(back, step.bHeight, step.b16Bit);
        const auto& bytes = static_cast<TGlobeMemoryStream&>(again.DataStream()).Bytes();
        FUZZ_CHECK(ReadPoint(bytes, step) == back);
        break;
      }
    }
  }
  return 0;
}
