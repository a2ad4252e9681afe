#include "Audit_Csv.h"

#include <charconv>

#include "Audit_Text.h"
#include "Calculating_System.h"
#include "Journey_Observer.h"
#include "Leg_Table.h"
#include "Settlement_Error.h"

const char* const CSV_HEADER =
    "terminal,legs,legs_in_time_order,collected,bus_credit,metro_credit,"
    "residue\r\n";

namespace {

void Append_Number(std::string& out, std::int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

}  // namespace

// Legs as "time mode amount share", separated by ';': for example
// "150 metro 1050 548;200 bus 0 548". The mode is the side the leg's share
// is credited to.
void Append_Csv_Row(std::string& out, const Settled_Journey& journey) {
  out += Csv_Field(journey.terminal);
  out += ',';
  Append_Number(out, static_cast<std::int64_t>(journey.legs.size()));
  out += ',';
  for (std::size_t i = 0; i < journey.legs.size(); ++i) {
    const Leg& leg = journey.legs[i];
    if (i > 0) out += ';';
    Append_Number(out, leg.LastTime);
    out += leg.Mot == BUS ? " bus " : " metro ";
    Append_Number(out, leg.Balance);
    out += ' ';
    Append_Number(out, journey.shares[i]);
  }
  for (std::int64_t value : {journey.collected, journey.bus_credit,
                             journey.metro_credit, journey.Residue()}) {
    out += ',';
    Append_Number(out, value);
  }
  out += "\r\n";
}

Csv_Journeys::Csv_Journeys(const std::string& path) : file_(path, true) {
  file_.Write(CSV_HEADER);
}

void Csv_Journeys::Settled(const Settled_Journey& journey) {
  if (!failure_.empty()) return;
  row_.clear();
  Append_Csv_Row(row_, journey);
  try {
    file_.Write(row_);
  } catch (const Settlement_Error& error) {
    failure_ = error.what();
  }
}

void Csv_Journeys::Publish(Output_Errors& errors) {
  if (!failure_.empty()) return errors.Add(failure_);
  errors.Try([this] {
    file_.Finish(false);
    file_.Publish();
  });
}
