// The only file of fare-ledger that includes the audit's and the
// settlement's headers, but for the platform layer (Os.h, Paths.h), the
// staged output files (Staged_File.h), the stop on signals (Stop_Signals.h),
// the checked sums of won (Money.h) and the programs' one main shape
// (Program_Main.h), which the ledger's files use directly.
#include "Audit_Adapter.h"

#include "Audit_Csv.h"
#include "Audit_Day.h"
#include "Audit_Html.h"
#include "Audit_Json.h"
#include "Audit_Options.h"
#include "Audit_Text.h"
#include "Input_Digest.h"
#include "Ledger_Error.h"
#include "Line_Reader.h"
#include "Os.h"
#include "Problem_Lines.h"
#include "Settlement_Error.h"

namespace {

Day_File Ledger_File(const File_Digest& digest) {
  return {digest.name, static_cast<std::int64_t>(digest.size),
          Hex(digest.sha256)};
}

Day_Figures Ledger_Figures(const Audit_Outcome& outcome) {
  const Audit_Figures& audit = outcome.figures;
  Day_Figures figures;
  for (std::size_t i = 0; i < DAY_FILES; ++i)
    figures.files[i] = Ledger_File(outcome.inputs.at(i));
  figures.bus_total = audit.bus_total;
  figures.metro_total = audit.metro_total;
  figures.bus_last_tag = audit.bus_tag;
  figures.metro_last_tag = audit.metro_tag;
  for (std::size_t i = 0; i < PAYMENT_FILE_COUNT; ++i)
    figures.taps[i] = audit.taps[i];
  figures.journeys = audit.journeys;
  figures.legs = audit.legs;
  figures.collected = audit.collected;
  figures.bus_credit = audit.bus_credit;
  figures.metro_credit = audit.metro_credit;
  figures.residue = audit.Residue();
  return figures;
}

// The hexadecimal digest of what hash was given; fails the command when
// the library refused.
std::string Hex_Digest(Sha256& hash) {
  Sha256_Digest digest = hash.Finish();
  if (!hash.Failure().empty()) Fail_Ledger("SHA-256: " + hash.Failure());
  return Hex(digest);
}

// The size and SHA-256 of the file at path.
Day_File Digest_File(const std::string& path) {
  Input_File file(path);
  return Ledger_File(Digest_Input(file, ""));
}

}  // namespace

Day_Audit Audit_Settled_Day(const std::string& dir) {
  Day_Audit result;
  try {
    Audit_Outcome outcome = Audit_Day(dir, 1, nullptr, nullptr);
    result.problems =
        Problem_Lines(outcome, "problems in all (fare-audit lists them)");
    if (outcome.Consistent()) result.figures = Ledger_Figures(outcome);
  } catch (const Settlement_Error& error) {
    result.problems.push_back(error.what());
  }
  return result;
}

std::vector<File_Now> Digest_Day_Files(const std::string& dir) {
  std::vector<File_Now> files;
  for (const char* name : AUDITED_FILES) {
    File_Now now;
    try {
      now.file = Digest_File(dir + "/" + name);
    } catch (const Settlement_Error& error) {
      now.problem = error.what();
    }
    now.file.name = name;
    files.push_back(std::move(now));
  }
  return files;
}

std::string Sha256_Hex(std::string_view bytes) {
  Sha256 hash;
  hash.Update(bytes);
  return Hex_Digest(hash);
}

std::string Grouped_Number(std::int64_t value) { return Grouped(value); }

std::string Signed_Grouped_Number(std::int64_t value) {
  return Signed_Grouped(value);
}

std::string Quoted_Text(std::string_view text) { return Quoted(text); }

std::string Json_Text(std::string_view text) { return Json_String(text); }

std::string Csv_Text(std::string_view text) { return Csv_Field(text); }

std::string Html_Text(std::string_view text) { return Shown(text); }

const char* Settlement_Version() { return Version(); }
