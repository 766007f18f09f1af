// Parses any text as an environment document, writes it and parses the writing again: the
// second tree must be the first one, entry by entry, and the writing stable. Then runs the
// lookups over the tree.
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

std::size_t Depth(const TGXML_Element& root) {
  std::size_t deepest = 0;
  std::vector<std::pair<const TGXML_Element*, std::size_t>> stack{{&root, 0}};
  while (!stack.empty()) {
    const auto [e, depth] = stack.back();
    stack.pop_back();
    deepest = std::max(deepest, depth);
    for (std::size_t i = 0; i < e->Count(); ++i) {
      if (e->Kind(i) == TGXML_EntryKind::ekElement) stack.emplace_back(e->Child(i), depth + 1);
    }
  }
  return deepest;
}

// The same entries (kind and text) in the same order, all the way down.
bool SameTree(const TGXML_Element& a, const TGXML_Element& b) {
  std::vector<std::pair<const TGXML_Element*, const TGXML_Element*>> stack{{&a, &b}};
  while (!stack.empty()) {
    const auto [x, y] = stack.back();
    stack.pop_back();
    if (x->Count() != y->Count()) return false;
    for (std::size_t i = 0; i < x->Count(); ++i) {
      if (x->Kind(i) != y->Kind(i) || x->Text(i) != y->Text(i)) return false;
      if (x->Kind(i) == TGXML_EntryKind::ekElement) stack.emplace_back(x->Child(i), y->Child(i));
    }
  }
  return true;
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
  Lookups(*first.Document(), size);

  // The written text grows with the square of the depth; keep each run quick.
  if (Depth(*first.Document()) > 2000) return 0;
  const std::string written = first.AsString();
  TGXML_Document second;
  second.SetAsString(written);
  const std::string rewritten = second.AsString();
  if (!SameTree(*first.Document(), *second.Document())) {
    Fail("the tree changed when saved and read back", written, rewritten);
  }
  if (rewritten != written) Fail("not stable", written, rewritten);
  return 0;
}
