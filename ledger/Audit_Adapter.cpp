// The only file of fare-ledger that includes the audit's and the
// settlement's headers, but for the platform layer (Os.h, Paths.h) and the
// staged output files with the stop on signals (Staged_File.h), which the
// ledger's files use directly.
#include "Audit_Adapter.h"

#include <memory>

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

// Why the day is not consistent, as fare-audit says it on standard error:
// the first problem of the payment files and how many there are, the
// outputs not there yet, or each output that differs.
std::vector<std::string> Problem_Lines(const Audit_Outcome& outcome) {
  std::vector<std::string> lines;
  const Scan_Result& scan = outcome.scan;
  if (outcome.Bad_Input()) {
    for (int i = 0; i < 6 && lines.empty(); ++i)
      if (!scan.problems[i].empty())
        lines.push_back(scan.problems[i].kept[0].Place(AUDITED_FILES[i]) +
                        ": " + scan.problems[i].kept[0].problem);
    if (lines.empty()) lines.push_back(scan.journey_problems.kept[0].problem);
    if (scan.Problem_Count() > 1)
      lines.push_back(std::to_string(scan.Problem_Count()) +
                      " problems in all (fare-audit lists them)");
    return lines;
  }
  if (outcome.Not_Settled()) {
    std::string names;
    for (const std::string& name : outcome.missing)
      names += (names.empty() ? "" : ", ") + name;
    lines.push_back("not settled yet (no " + names + ")");
  }
  for (const Difference& d : outcome.differences)
    lines.push_back(d.file + ": " + d.problem);
  return lines;
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
  Day_File digest;
  Sha256 hash;
  constexpr std::size_t BLOCK = 4 << 20;
  std::unique_ptr<char[]> block(new char[BLOCK]);
  while (std::size_t n = file.Read(block.get(), BLOCK)) {
    hash.Update(block.get(), n);
    digest.bytes += static_cast<std::int64_t>(n);
  }
  digest.sha256 = Hex_Digest(hash);
  return digest;
}

}  // namespace

bool Prepare_Audit_Process(int& argc, char**& argv) {
  return Os_Start_Process(argc, argv);
}

Day_Audit Audit_Settled_Day(const std::string& dir) {
  Day_Audit result;
  try {
    Audit_Outcome outcome = Audit_Day(dir, 1, nullptr, nullptr);
    result.problems = Problem_Lines(outcome);
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
