#include "Ledger_Store.h"

#include <map>

#include "Audit_Adapter.h"

namespace {

constexpr const char* VERSION_COLUMNS =
    "entry, day, version, recorded_at, program_version, reason, bus_total, "
    "metro_total, bus_last_tag, metro_last_tag, taps_5001, taps_7001, "
    "taps_7002, taps_7003, taps_7004, taps_7005, journeys, legs, collected, "
    "bus_credit, metro_credit, residue, bus_adjustment, metro_adjustment, "
    "carried_to, entry_hash";
constexpr int VERSION_COLUMN_COUNT = 26;

// The figures' integer columns, in VERSION_COLUMNS order from bus_total.
std::vector<std::int64_t*> Figure_Fields(Day_Figures& f) {
  std::vector<std::int64_t*> fields = {&f.bus_total, &f.metro_total,
                                       &f.bus_last_tag, &f.metro_last_tag};
  for (std::int64_t& taps : f.taps) fields.push_back(&taps);
  for (std::int64_t* field : {&f.journeys, &f.legs, &f.collected, &f.bus_credit,
                              &f.metro_credit, &f.residue})
    fields.push_back(field);
  return fields;
}

std::optional<std::string> Optional_Text(const Statement& s, int column) {
  if (s.Is_Null(column)) return std::nullopt;
  return s.Text(column);
}

Version_Row Read_Version(const Statement& s) {
  Version_Row row;
  row.entry = s.Integer(0);
  row.day = s.Text(1);
  row.version = s.Integer(2);
  row.recorded_at = s.Text(3);
  row.program_version = s.Text(4);
  row.reason = Optional_Text(s, 5);
  int column = 6;
  for (std::int64_t* field : Figure_Fields(row.figures))
    *field = s.Integer(column++);
  row.bus_adjustment = s.Integer(column++);
  row.metro_adjustment = s.Integer(column++);
  row.carried_to = Optional_Text(s, column++);
  row.entry_hash = s.Text(column);
  return row;
}

// Versions selected by the condition where, with text parameters in order.
std::vector<Version_Row> Select_Versions(
    Database& db, const std::string& where,
    const std::vector<std::string>& parameters) {
  Statement s(db, std::string("SELECT ") + VERSION_COLUMNS +
                      " FROM day_version " + where + " ORDER BY entry");
  for (std::size_t i = 0; i < parameters.size(); ++i)
    s.Bind(static_cast<int>(i + 1), std::string_view(parameters[i]));
  std::vector<Version_Row> rows;
  while (s.Step()) rows.push_back(Read_Version(s));
  return rows;
}

}  // namespace

std::vector<Version_Row> Versions_Between(Database& db,
                                          const std::string& first,
                                          const std::string& last) {
  return Select_Versions(db, "WHERE day BETWEEN ?1 AND ?2", {first, last});
}

std::vector<Version_Row> All_Versions(Database& db) {
  return Select_Versions(db, "", {});
}

std::vector<Version_Row> Versions_Carried_Into(Database& db,
                                               const std::string& month) {
  return Select_Versions(db, "WHERE carried_to = ?1", {month});
}

void Load_Files(Database& db, Version_Row& row) {
  Statement s(db,
              "SELECT position, name, bytes, sha256 FROM day_file "
              "WHERE entry = ?1 ORDER BY position");
  s.Bind(1, row.entry);
  while (s.Step()) {
    std::int64_t position = s.Integer(0);
    if (position < 1 || position > static_cast<std::int64_t>(DAY_FILES))
      continue;  // refused by the schema's CHECK; check reports a gap
    row.figures.files[static_cast<std::size_t>(position - 1)] = {
        s.Text(1), s.Integer(2), s.Text(3)};
  }
}

// Every entry, versions and closes alike, by number.
constexpr const char* ENTRIES =
    "(SELECT entry, entry_hash FROM day_version UNION ALL "
    "SELECT entry, entry_hash FROM month_close)";

std::string Last_Entry_Hash(Database& db) {
  Statement s(db, std::string("SELECT entry_hash FROM ") + ENTRIES +
                      " ORDER BY entry DESC LIMIT 1");
  return s.Step() ? s.Text(0) : "";
}

std::int64_t Last_Entry(Database& db) {
  Statement s(db,
              std::string("SELECT coalesce(max(entry), 0) FROM ") + ENTRIES);
  s.Step();
  return s.Integer(0);
}

std::string Entry_Hash(const Version_Row& row, const std::string& previous) {
  std::string text = previous + "\n" + std::to_string(row.entry) + "\n" +
                     row.day + "\n" + std::to_string(row.version) + "\n" +
                     row.recorded_at + "\n" + row.program_version + "\n" +
                     (row.reason ? "+" + *row.reason : "-") + "\n";
  Day_Figures figures = row.figures;
  for (std::int64_t* field : Figure_Fields(figures))
    text += std::to_string(*field) + "\n";
  text += std::to_string(row.bus_adjustment) + "\n" +
          std::to_string(row.metro_adjustment) + "\n" +
          (row.carried_to ? "+" + *row.carried_to : "-") + "\n";
  for (const Day_File& file : row.figures.files)
    text += file.name + "\n" + std::to_string(file.bytes) + "\n" + file.sha256 +
            "\n";
  return Sha256_Hex(text);
}

void Insert_Version(Database& db, const Version_Row& row) {
  Statement s(
      db, std::string("INSERT INTO day_version (") + VERSION_COLUMNS +
              ") VALUES (" +
              [] {
                std::string marks = "?1";
                for (int i = 2; i <= VERSION_COLUMN_COUNT; ++i)
                  marks += ", ?" + std::to_string(i);
                return marks;
              }() +
              ")");
  s.Bind(1, row.entry).Bind(2, row.day).Bind(3, row.version);
  s.Bind(4, row.recorded_at).Bind(5, row.program_version).Bind(6, row.reason);
  int column = 7;
  Day_Figures figures = row.figures;
  for (std::int64_t* field : Figure_Fields(figures)) s.Bind(column++, *field);
  s.Bind(column, row.bus_adjustment).Bind(column + 1, row.metro_adjustment);
  s.Bind(column + 2, row.carried_to).Bind(column + 3, row.entry_hash);
  s.Run();
  Statement file(db,
                 "INSERT INTO day_file (entry, position, name, bytes, sha256) "
                 "VALUES (?1, ?2, ?3, ?4, ?5)");
  for (std::size_t i = 0; i < DAY_FILES; ++i) {
    const Day_File& f = row.figures.files[i];
    file.Bind(1, row.entry).Bind(2, static_cast<std::int64_t>(i + 1));
    file.Bind(3, f.name).Bind(4, f.bytes).Bind(5, f.sha256);
    file.Run();
  }
}

namespace {

Month_Close Read_Close(const Statement& s) {
  return {s.Integer(0), s.Text(1),    s.Text(2),    s.Integer(3), s.Integer(4),
          s.Integer(5), s.Integer(6), s.Integer(7), s.Integer(8), s.Text(9)};
}

constexpr const char* CLOSE_COLUMNS =
    "SELECT entry, month, closed_at, last_entry, missing_days, bus_days, "
    "metro_days, bus_prior, metro_prior, entry_hash FROM month_close ";

}  // namespace

std::optional<Month_Close> Find_Close(Database& db, const std::string& month) {
  Statement s(db, std::string(CLOSE_COLUMNS) + "WHERE month = ?1");
  s.Bind(1, month);
  if (!s.Step()) return std::nullopt;
  return Read_Close(s);
}

std::vector<Month_Close> All_Closes(Database& db) {
  Statement s(db, std::string(CLOSE_COLUMNS) + "ORDER BY month");
  std::vector<Month_Close> closes;
  while (s.Step()) closes.push_back(Read_Close(s));
  return closes;
}

std::string Close_Hash(const Month_Close& close, const std::string& previous) {
  std::string text = previous + "\n" + std::to_string(close.entry) +
                     "\nclose\n" + close.month + "\n" + close.closed_at + "\n";
  for (std::int64_t figure :
       {close.last_entry, close.missing_days, close.bus_days, close.metro_days,
        close.bus_prior, close.metro_prior})
    text += std::to_string(figure) + "\n";
  return Sha256_Hex(text);
}

void Insert_Close(Database& db, const Month_Close& close) {
  Statement s(db,
              "INSERT INTO month_close (entry, month, closed_at, last_entry, "
              "missing_days, bus_days, metro_days, bus_prior, metro_prior, "
              "entry_hash) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
  s.Bind(1, close.entry).Bind(2, close.month).Bind(3, close.closed_at);
  s.Bind(4, close.last_entry).Bind(5, close.missing_days);
  s.Bind(6, close.bus_days).Bind(7, close.metro_days);
  s.Bind(8, close.bus_prior).Bind(9, close.metro_prior);
  s.Bind(10, close.entry_hash).Run();
}

void Append_Close(Database& db, Month_Close& close) {
  close.entry = Last_Entry(db) + 1;
  close.entry_hash = Close_Hash(close, Last_Entry_Hash(db));
  Insert_Close(db, close);
}

std::vector<Version_Row> Versions_With_Payment_Files(Database& db,
                                                     const std::string& day,
                                                     const Day_Figures& files) {
  const Day_File& first = files.files[0];
  Statement s(db, std::string("SELECT ") + VERSION_COLUMNS +
                      " FROM day_version WHERE day <> ?1 AND entry IN (SELECT "
                      "entry FROM day_file WHERE position = 1 AND sha256 = ?2 "
                      "AND bytes = ?3) ORDER BY entry");
  s.Bind(1, day).Bind(2, first.sha256).Bind(3, first.bytes);
  std::vector<Version_Row> same;
  while (s.Step()) {
    Version_Row row = Read_Version(s);
    Load_Files(db, row);
    bool all_six = true;
    for (std::size_t i = 0; i < PAYMENT_FILE_COUNT; ++i)
      all_six = all_six && row.figures.files[i].bytes == files.files[i].bytes &&
                row.figures.files[i].sha256 == files.files[i].sha256;
    if (all_six) same.push_back(std::move(row));
  }
  return same;
}

void Load_All_Files(Database& db, std::vector<Version_Row>& rows) {
  std::map<std::int64_t, Version_Row*> by_entry;
  for (Version_Row& row : rows) by_entry[row.entry] = &row;
  Statement s(db,
              "SELECT entry, position, name, bytes, sha256 FROM day_file "
              "ORDER BY entry, position");
  while (s.Step()) {
    auto found = by_entry.find(s.Integer(0));
    std::int64_t position = s.Integer(1);
    if (found == by_entry.end() || position < 1 ||
        position > static_cast<std::int64_t>(DAY_FILES))
      continue;  // refused by the schema; check reports the gap it leaves
    found->second->figures.files[static_cast<std::size_t>(position - 1)] = {
        s.Text(2), s.Integer(3), s.Text(4)};
  }
}
