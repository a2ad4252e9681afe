// The record line: the five-field text line of the payment files and the
// transfer history file, read and written; the payment files read.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "Calculating_System.h"

// Widest text of the other fields of a record line, in bytes.
constexpr std::size_t LASTTIME_WIDTH = 12;
constexpr std::size_t MOT_WIDTH = 1;
constexpr std::size_t INOUT_WIDTH = 1;
constexpr std::size_t BALANCE_WIDTH = 4;

// Fills record from one line (without its '\n'). Returns FALSE for a blank
// line, which makes no record; throws for a line that is not a record line.
Boolean Fill_Data(Data& record, std::string_view line, std::string_view file,
                  long line_number);
// The same for the line form the programs that write these files use,
// digits,digit,digit,digits(, or space)text with nothing else; returns FALSE,
// leaving record unspecified, for any other line. Any line it accepts gives
// the record Fill_Data_General gives.
Boolean Fill_Simple_Record(Data& record, std::string_view line);
// Fill_Data for every line: splits fields at any run of separators.
Boolean Fill_Data_General(Data& record, std::string_view line,
                          std::string_view file, long line_number);
// What one line is: a record, a blank line, or a line that is no record.
enum class Line_Kind { RECORD, BLANK, BAD };
// Fill_Data_General without throwing: for a bad line, problem gets what is
// wrong with it, in the words of the error Fill_Data_General throws.
Line_Kind Read_Record_Line(Data& record, std::string_view line,
                           std::string& problem);
// The problem of a payment file saved as UTF-16, named at its first line.
inline constexpr const char* UTF16_PROBLEM =
    "UTF-16 text (save the file as ASCII or as UTF-8 without a byte-order "
    "mark)";
// True when line, the first line of a file, is UTF-16 text that no record
// line can be: a UTF-16 byte-order mark with nothing after it or a NUL byte
// somewhere after it, or a NUL byte at every other byte and nowhere else, as
// ASCII text saved as UTF-16 has. Such a line always holds a NUL byte or too
// few fields.
bool Is_Utf16_Start(std::string_view line);
// Splits the first five fields off line at runs of separators (space, comma,
// tab); returns how many it found.
int Split_Fields(std::string_view line, std::string_view fields[5]);

// The longest line Format_Record_Line writes.
constexpr std::size_t RECORD_LINE_MAX = 64;
// Writes the line of record at out as the transfer history file holds it
// (at most RECORD_LINE_MAX bytes; the third metro list's records have a
// space before TerminalInfo) and returns the end of what it wrote.
char* Format_Record_Line(char* out, const Data& record,
                         char terminal_separator);

// Loads the payment file named file in directory dir onto the end of the
// list header..tailer, records in file order, every record listed; messages
// name the file alone.
void Load_Payment_File(const std::string& dir, const char* file,
                       History_Data* header, History_Data* tailer);
