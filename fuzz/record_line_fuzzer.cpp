// Fuzzes the conversion of one record line. Invariants: no crash and no
// sanitizer report; the program and the plain model agree on whether the
// line is a record, blank or bad, and on every field of a record; and a
// record written as a transfer history line reads back as the same record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "Calculating_System.h"
#include "Record_Line.h"
#include "model/settlement_model.h"

namespace {

enum class Result { record, blank, bad };

Result Program_Read(std::string_view line, Data& record) {
  try {
    return Fill_Data(record, line, "fuzz", 1) ? Result::record : Result::blank;
  } catch (const Settlement_Error&) {
    return Result::bad;
  }
}

bool Same(const Data& a, const Data& b) {
  return a.LastTime == b.LastTime && a.Mot == b.Mot && a.InOut == b.InOut &&
         a.Balance == b.Balance &&
         std::strcmp(a.TerminalInfo, b.TerminalInfo) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  std::string text(reinterpret_cast<const char*>(bytes), size);
  // A line never holds its own '\n': the reader splits there.
  std::string line = text.substr(0, text.find('\n'));
  Data record{};
  Result got = Program_Read(line, record);

  model::Record want;
  model::Line_Kind kind = model::Read_Line(line, want);
  Result expected = kind == model::Line_Kind::record  ? Result::record
                    : kind == model::Line_Kind::blank ? Result::blank
                                                      : Result::bad;
  if (got != expected) __builtin_trap();
  if (got != Result::record) return 0;
  if (record.LastTime != want.time || record.Mot != want.mot ||
      record.InOut != want.inout || record.Balance != want.balance ||
      want.term != record.TerminalInfo)
    __builtin_trap();

  for (char separator : {',', ' '}) {
    char written[RECORD_LINE_MAX];
    std::string history(written,
                        Format_Record_Line(written, record, separator));
    history.pop_back();
    Data again{};
    if (Program_Read(history, again) != Result::record || !Same(record, again))
      __builtin_trap();
  }
  return 0;
}
