// Parses any text as an environment document, writes it, parses the writing again and checks
// that the writing is stable, then runs the lookups over the tree.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "globe/core/numeric.h"
#include "globe/formats/xml.h"

namespace {

using globe::TGXML_Document;
using globe::TGXML_Element;
using globe::TGXML_EntryKind;

[[noreturn]] void Fail(const char* what, const std::string& a, const std::string& b) {
  std::fprintf(stderr, "%s\n--- first ---\n%s\n--- second ---\n%s\n", what, a.c_str(), b.c_str());
  std::abort();
}

struct TreeFacts {
  std::size_t depth = 0;
  std::size_t elements = 0;
  // A name the writer cannot give back: trimming a leading control character left it
  // empty or starting with "/", and its tag then reads as a closing tag.
  bool unwritableName = false;
};

TreeFacts Survey(const TGXML_Element& root) {
  TreeFacts facts;
  std::vector<std::pair<const TGXML_Element*, std::size_t>> stack{{&root, 0}};
  while (!stack.empty()) {
    const auto [e, depth] = stack.back();
    stack.pop_back();
    facts.depth = std::max(facts.depth, depth);
    for (std::size_t i = 0; i < e->Count(); ++i) {
      if (e->Kind(i) != TGXML_EntryKind::ekElement) continue;
      ++facts.elements;
      const std::string& name = e->Text(i);
      if (name.empty() || name.front() == '/') facts.unwritableName = true;
      stack.emplace_back(e->Child(i), depth + 1);
    }
  }
  return facts;
}

void Lookups(const TGXML_Element& root, std::size_t inputSize) {
  // Longer than any value the input can hold, so it can only come back as the default.
  const std::string missing(inputSize + 8, '\x01');
  std::vector<const TGXML_Element*> stack{&root};
  unsigned char buffer[16];
  for (int visited = 0; !stack.empty() && visited < 256; ++visited) {
    const TGXML_Element* e = stack.back();
    stack.pop_back();
    for (int i = 0; i < 3; ++i) {
      const std::string name = e->GetAttributeNames(i);
      if (name.empty()) continue;
      if (e->AttributeByName(name, missing) == missing) std::abort();  // listed, not found
      (void)e->BoolAttributeByName(name, true);
      try {
        (void)e->IntAttributeByName(name, 0);
      } catch (const globe::EConvertError&) {
      }
      try {
        (void)e->FloatAttributeByName(name, 0);
      } catch (const globe::EConvertError&) {
      }
    }
    (void)e->AsBinary(buffer, static_cast<std::int32_t>(sizeof buffer));
    for (std::size_t i = 0; i < e->Count(); ++i) {
      if (e->Kind(i) != TGXML_EntryKind::ekElement) continue;
      const TGXML_Element* child = e->ElementByName(e->Text(i));
      if (child == nullptr) std::abort();
      stack.push_back(e->Child(i));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TGXML_Document first;
  first.SetAsString(text);
  const TreeFacts facts = Survey(*first.Document());
  Lookups(*first.Document(), size);

  // The written text grows with the square of the depth; keep each run quick.
  if (facts.depth > 2000) return 0;
  const std::string written = first.AsString();
  TGXML_Document second;
  second.SetAsString(written);
  const std::string rewritten = second.AsString();
  if (!facts.unwritableName && rewritten != written) Fail("not stable", written, rewritten);
  // A parsed writing never holds such names, so one more cycle is always stable.
  if (Survey(*second.Document()).unwritableName) Fail("bad name after a cycle", written, rewritten);
  TGXML_Document third;
  third.SetAsString(rewritten);
  if (third.AsString() != rewritten) Fail("not stable after a cycle", rewritten, third.AsString());
  return 0;
}
