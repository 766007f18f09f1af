// orvane-jetwrite: writes a JET4 (Access 2000) database with one table, its rows read from
// standard input.
//
//   orvane-jetwrite OUT.mdb TABLE COLUMN:KIND [COLUMN:KIND ...] < ROWS
//
// KIND is text, text(N) (at most N characters, 1..255, default 255), byte, integer, long,
// currency, single, double or decimal(P,S). Each input line is a row: its values in column
// order, separated by tabs; \N is an empty (NULL) value. Empty lines and lines starting
// with # are skipped. Numbers are written with a decimal point.
#include <charconv>
#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/jetwriter/jetwriter.h"

namespace {

using orvane::jet::TColumn;
using orvane::jet::TType;
using orvane::jet::TValue;

struct EUsage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

int Number(std::string_view Text, const std::string& Declaration) {
  int Value = 0;
  const auto [End, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Ec != std::errc() || End != Text.data() + Text.size())
    throw EUsage("bad column kind in '" + Declaration + "'");
  return Value;
}

TColumn ParseColumn(const std::string& Declaration) {
  const std::size_t Colon = Declaration.rfind(':');
  if (Colon == std::string::npos || Colon == 0)
    throw EUsage("expected COLUMN:KIND, got '" + Declaration + "'");
  TColumn Column;
  Column.Name = Declaration.substr(0, Colon);
  std::string_view Kind = std::string_view(Declaration).substr(Colon + 1);
  std::string_view Arguments;
  if (const std::size_t Open = Kind.find('('); Open != std::string_view::npos) {
    if (Kind.back() != ')') throw EUsage("bad column kind in '" + Declaration + "'");
    Arguments = Kind.substr(Open + 1, Kind.size() - Open - 2);
    Kind = Kind.substr(0, Open);
  }
  struct TName {
    std::string_view Name;
    TType Type;
  };
  static constexpr TName kKinds[] = {{"text", TType::Text},         {"byte", TType::Byte},
                                     {"integer", TType::Integer},   {"long", TType::Long},
                                     {"currency", TType::Currency}, {"single", TType::Single},
                                     {"double", TType::Double},     {"decimal", TType::Decimal}};
  bool Known = false;
  for (const auto& K : kKinds) {
    if (K.Name == Kind) {
      Column.Type = K.Type;
      Known = true;
    }
  }
  if (!Known) throw EUsage("unknown column kind in '" + Declaration + "'");
  if (Column.Type == TType::Text && !Arguments.empty()) {
    Column.Length = Number(Arguments, Declaration);
  } else if (Column.Type == TType::Decimal) {
    const std::size_t Comma = Arguments.find(',');
    if (Comma == std::string_view::npos) throw EUsage("decimal needs (P,S) in '" + Declaration + "'");
    Column.Precision = Number(Arguments.substr(0, Comma), Declaration);
    Column.Scale = Number(Arguments.substr(Comma + 1), Declaration);
  } else if (!Arguments.empty()) {
    throw EUsage("bad column kind in '" + Declaration + "'");
  }
  return Column;
}

std::vector<TValue> ParseRow(const std::string& Line, const std::vector<TColumn>& Columns,
                             std::size_t LineNumber) {
  std::vector<TValue> Values;
  std::size_t Start = 0;
  for (std::size_t i = 0; i < Columns.size(); ++i) {
    const std::size_t Tab = Line.find('\t', Start);
    const bool Last = i + 1 == Columns.size();
    if (Last != (Tab == std::string::npos))
      throw std::invalid_argument("line " + std::to_string(LineNumber) + " needs " +
                                  std::to_string(Columns.size()) + " tab-separated values");
    const std::string Field = Line.substr(Start, Last ? std::string::npos : Tab - Start);
    Start = Tab + 1;
    if (Field == "\\N") {
      Values.emplace_back(std::monostate());
    } else if (Columns[i].Type == TType::Text) {
      Values.emplace_back(Field);
    } else {
      double Value = 0;
      const std::string_view Text = Field[0] == '+' ? std::string_view(Field).substr(1) : Field;
      const auto [End, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
      if (Text.empty() || Ec != std::errc() || End != Text.data() + Text.size())
        throw std::invalid_argument("line " + std::to_string(LineNumber) + ": '" + Field +
                                    "' is no number");
      Values.emplace_back(Value);
    }
  }
  return Values;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
      std::cout << "usage: orvane-jetwrite OUT.mdb TABLE COLUMN:KIND [COLUMN:KIND ...] < ROWS\n"
                   "KIND: text[(N)] byte integer long currency single double decimal(P,S)\n"
                   "ROWS: one a line, values separated by tabs, \\N for NULL\n";
      return 0;
    }
    if (argc < 4) throw EUsage("expected OUT.mdb TABLE COLUMN:KIND...");
    std::vector<TColumn> Columns;
    for (int i = 3; i < argc; ++i) Columns.push_back(ParseColumn(argv[i]));
    orvane::jet::TJet4Writer Writer;
    const std::size_t Table = Writer.AddTable(argv[2], Columns);
    std::string Line;
    for (std::size_t Number = 1; std::getline(std::cin, Line); ++Number) {
      if (!Line.empty() && Line.back() == '\r') Line.pop_back();
      if (Line.empty() || Line[0] == '#') continue;
      Writer.AddRow(Table, ParseRow(Line, Columns, Number));
    }
    Writer.Save(argv[1]);
    return 0;
  } catch (const EUsage& e) {
    std::cerr << "orvane-jetwrite: " << e.what() << " (see --help)\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "orvane-jetwrite: " << e.what() << "\n";
    return 1;
  }
}
