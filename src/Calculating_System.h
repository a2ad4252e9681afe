// Shared declarations of the fare-settlement program: the tap record, the
// record lists, the settlement state and the stages that work on them.
//
// A record list is a doubly linked list of History_Data nodes closed by two
// sentinels: header->next is the first record, tailer->prev the last, and an
// empty list has header->next == tailer and tailer->prev == header. The
// sentinels' outer links (header->prev, tailer->next) are never used.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "File_IO.h"

// Values of Mot.
constexpr int BUS = 1;
constexpr int METRO = 0;

using Boolean = char;
constexpr Boolean TRUE = 1;
constexpr Boolean FALSE = 0;

// Widest text of each field of a record line, in bytes.
constexpr std::size_t LASTTIME_WIDTH = 12;
constexpr std::size_t MOT_WIDTH = 1;
constexpr std::size_t INOUT_WIDTH = 1;
constexpr std::size_t BALANCE_WIDTH = 4;
constexpr std::size_t TERMINALINFO_WIDTH = 9;

// A bus tap charged less than this many won marks a transfer journey.
constexpr int TRANSFER_THRESHOLD = 1050;

// One tap record. TerminalInfo is NUL-terminated (records filled from a line
// are zero after the text); taps with equal TerminalInfo belong to one
// journey. Packed to 20 bytes: without it two bytes of padding after InOut
// would make every node 32 bytes instead of 28. Every field stays 2-byte
// aligned, which this processor reads at full speed; a packed field cannot be
// bound to a reference, so code copies the values it needs.
struct __attribute__((packed, aligned(2))) data {
  std::int32_t LastTime;
  signed char Mot;
  signed char InOut;
  std::int32_t Balance;
  char TerminalInfo[TERMINALINFO_WIDTH + 1];
};
using Data = data;

struct history_data;
using History_Data = history_data;

// The first node of the record arena, where every list node of the process
// lives (see Node_Arena); node number n is Node_Arena_Base + n.
extern History_Data* Node_Arena_Base;

// A link between list nodes: the node's number in the record arena, 0 for no
// node. It converts to and from History_Data* and reads like one
// (node->next->data, link == nullptr), but takes 4 bytes instead of 8, and a
// day's two links per record are a third of its memory.
class Node_Link {
 public:
  Node_Link() = default;
  Node_Link(std::nullptr_t) {}
  Node_Link(History_Data* node);
  operator History_Data*() const;
  History_Data* operator->() const;

 private:
  std::uint32_t number_ = 0;
};

struct history_data {
  Node_Link next;
  Node_Link prev;
  Data data;
};
static_assert(sizeof(Data) == 20 && sizeof(History_Data) == 28,
              "the node layout the arena's size figures assume");

inline Node_Link::Node_Link(History_Data* node)
    : number_(node == nullptr
                  ? 0
                  : static_cast<std::uint32_t>(node - Node_Arena_Base)) {}
inline Node_Link::operator History_Data*() const {
  return number_ == 0 ? nullptr : Node_Arena_Base + number_;
}
inline History_Data* Node_Link::operator->() const {
  return Node_Arena_Base + number_;
}

// The record arena: one range of address space reserved for the nodes of a
// whole process, so that a node is named by a 32-bit number. Node 0 is never
// handed out (its number means no node). Only address space is reserved up
// front; Take makes memory usable as nodes are taken, and the system backs a
// page when it is first touched. Nodes are never returned one by one.
class Node_Arena {
 public:
  // The most nodes one arena can number.
  static constexpr std::uint64_t MAX_NODES = UINT32_MAX;

  // Reserves room for capacity nodes (at most MAX_NODES, node 0 included);
  // throws std::bad_alloc when the system refuses the address space.
  explicit Node_Arena(std::uint64_t capacity);
  ~Node_Arena();
  Node_Arena(const Node_Arena&) = delete;
  Node_Arena& operator=(const Node_Arena&) = delete;

  History_Data* Base() const { return base_; }
  std::uint64_t Capacity() const { return capacity_; }
  // Takes up to count further nodes, zeroed and usable, and returns the number
  // of the first; taken tells how many. Throws Arena_Full when none is left:
  // a number past the capacity is never handed out, so links cannot wrap.
  std::uint32_t Take(std::uint32_t count, std::uint32_t& taken);

 private:
  History_Data* base_;
  std::uint64_t capacity_;
  std::uint64_t used_ = 1;          // nodes handed out, node 0 included
  std::uint64_t usable_bytes_ = 0;  // from the start of the range
};

// Thrown by Node_Arena::Take when the arena has no node left.
class Arena_Full : public Settlement_Error {
 public:
  using Settlement_Error::Settlement_Error;
};

// The six program-wide record lists: bus, then metro 1 to 5.
extern History_Data *B_header, *B_tailer;
extern History_Data *M1_header, *M1_tailer;
extern History_Data *M2_header, *M2_tailer;
extern History_Data *M3_header, *M3_tailer;
extern History_Data *M4_header, *M4_tailer;
extern History_Data *M5_header, *M5_tailer;

// Settlement state (defined with the run control). The totals are 64-bit so
// that a large day stays exact.
extern std::int64_t Total_bus_fee;
extern std::int64_t Total_metro_fee;
extern std::int32_t bus_LastTag;
extern std::int32_t metro_LastTag;

// File names, fixed.
inline constexpr const char* FLAG_FILE = "enable.txt";
inline constexpr const char* HISTORY_FILE = "trans_history.txt";
inline constexpr const char* BUS_SUMMARY_FILE = "Total_Bus_Data.txt";
inline constexpr const char* METRO_SUMMARY_FILE = "Total_Metro_Data.txt";
// --- Record lists -----------------------------------------------------------

// Makes header and tailer a new empty list.
void Create_List(History_Data*& header, History_Data*& tailer);
// Links a new node between last and tailer and returns it. Nodes are never
// freed one by one: their memory is returned when the program exits.
History_Data* Append(History_Data* last, History_Data* tailer);
// Unlinks a record node and returns the node that followed it. The unlinked
// node's memory stays valid until the program exits. Inline: the separation
// unlinks every transfer record.
inline History_Data* Del(History_Data* data) {
  History_Data* before = data->prev;
  History_Data* after = data->next;
  before->next = after;
  after->prev = before;
  return after;
}
// Creates the six program-wide lists empty and zeroes the settlement state.
void Create_Settlement_State();

// A list named by its two sentinels.
struct Record_List {
  History_Data* header;
  History_Data* tailer;
};

// One payment file: its name, the side its taps are on (BUS or METRO), what
// reports call it, and the program-wide list its records are loaded into.
struct Payment_File {
  const char* name;
  int side;
  const char* label;
  History_Data** header;
  History_Data** tailer;
  Record_List List() const { return {*header, *tailer}; }
};
// The six payment files in their fixed order: bus, then metro 1 to 5.
inline constexpr Payment_File PAYMENT_FILES[6] = {
    {"paymentData_5001.txt", BUS, "bus", &B_header, &B_tailer},
    {"paymentData_7001.txt", METRO, "metro 1", &M1_header, &M1_tailer},
    {"paymentData_7002.txt", METRO, "metro 2", &M2_header, &M2_tailer},
    {"paymentData_7003.txt", METRO, "metro 3", &M3_header, &M3_tailer},
    {"paymentData_7004.txt", METRO, "metro 4", &M4_header, &M4_tailer},
    {"paymentData_7005.txt", METRO, "metro 5", &M5_header, &M5_tailer}};
// The five metro lists, first to fifth.
struct Metro_List_Set {
  Record_List list[5];
};
Metro_List_Set Metro_Lists();

// --- Record lines -----------------------------------------------------------

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
// Splits the first five fields off line at runs of separators (space, comma,
// tab); returns how many it found.
int Split_Fields(std::string_view line, std::string_view fields[5]);
// atoi-style conversion: leading white space, optional sign, digits up to the
// first non-digit; no digits gives 0. The token holds at most 12 characters.
std::int64_t Convert_Decimal(std::string_view token);
// Appends the line of record to out as the transfer history file holds it;
// the third metro list's records have a space before TerminalInfo.
void Append_Record_Line(std::string& out, const Data& record,
                        char terminal_separator);
// The longest line Format_Record_Line writes.
constexpr std::size_t RECORD_LINE_MAX = 64;
// Writes the line of Append_Record_Line at out (at most RECORD_LINE_MAX
// bytes) and returns the end of what it wrote.
char* Format_Record_Line(char* out, const Data& record,
                         char terminal_separator);
// True when two records carry the same TerminalInfo text.
bool Same_Terminal(const Data& a, const Data& b);

// --- Money ------------------------------------------------------------------

// Adds amount to total; throws if the sum leaves the 64-bit range. what names
// the total in the error ("bus total").
void Add_Won(std::int64_t* total, std::int64_t amount, const char* what);
// One leg's share, total x running / (total + 1050) truncated toward zero,
// exact for any 64-bit total and running amount; a zero divisor, or a share
// outside 64 bits, throws naming the journey terminal.
std::int64_t Leg_Share(std::int64_t total, std::int64_t running,
                       std::string_view terminal);

// --- Stages -----------------------------------------------------------------

void Initiation_Control();
void StandBy();
// The wait of StandBy with its sleep and poll limit supplied: prints "wait",
// polls FLAG_FILE up to max_polls times, raises the flag. Returns polls made.
// Throws, before raising it, when the flag or an output leads to a payment
// file or to another of them (a link, a hard link).
int Wait_For_Flag(int max_polls, void (*sleep_one_second)());
// Reads the first decimal integer of FLAG_FILE; previous when there is none
// or the file cannot be read.
int Read_Flag(int previous);
// Replaces FLAG_FILE with the single character value.
void Write_Flag(char value);
void StartProcess();

void HistoryData_Reader_Interface();
// Runs job(file) for each of the six payment files (indices of
// PAYMENT_FILES) on two threads, larger files first. Every failure is kept
// and the one of the file first in reading order is rethrown, as reading one
// file after the other would have stopped there.
void For_Each_Payment_File(const std::function<void(int)>& job);
// Loads one payment file into the list header..tailer; records in file order.
void Load_Payment_File(const char* file, History_Data* header,
                       History_Data* tailer);

// Separates the transfer journeys into the staged transfer history file,
// complete but not yet published.
Staged_File HistoryData_Reader_Manager();
// The most legs a journey may have. More means unrelated taps share one
// TerminalInfo; their exchange sort alone would take minutes.
constexpr std::size_t MAX_JOURNEY_LEGS = 10000;
// The journeys a stage could not settle, each by the error that would have
// stopped the settlement there, in journey order: all counted, the first
// `keep` kept, so that a day of countless such journeys costs no memory for
// them. A stage given such a list leaves those journeys out and goes on.
struct Unsettled_Journeys {
  std::size_t keep = SIZE_MAX;
  std::int64_t count = 0;
  std::vector<std::string> first;  // at most keep

  void Add(std::string problem) {
    ++count;
    if (first.size() < keep) first.push_back(std::move(problem));
  }
  // Adds the journeys of other, which come after these.
  void Add_All(const Unsettled_Journeys& other) {
    for (const std::string& problem : other.first) Add(problem);
    count += other.count - static_cast<std::int64_t>(other.first.size());
  }
};
// Takes every transfer journey out of the lists and appends its lines to
// history, followed by "END": the bytes of the transfer history file.
// Without unsettled, a journey of too many legs throws.
void Separate_Transfers(std::string& history,
                        Unsettled_Journeys* unsettled = nullptr);

void Normal_Bus_Process(std::int64_t* bus_fee);
void Normal_Metro_Process(std::int64_t* metro_fee);

// One row of the leg table: a leg's time, mode and amount.
struct Leg {
  std::int32_t LastTime;
  std::int32_t Mot;
  std::int32_t Balance;
};
// The legs of one journey; any number of legs.
using Leg_Table = std::vector<Leg>;

// One transfer journey as the transfer stage settles it: its legs in time
// order, each with its share, credited to the leg's side (Mot).
struct Settled_Journey {
  std::string_view terminal;
  std::span<const Leg> legs;
  std::span<const std::int64_t> shares;  // one per leg
  std::int64_t collected = 0;            // sum of the legs' amounts
  std::int64_t bus_credit = 0;           // shares of the bus legs
  std::int64_t metro_credit = 0;
  std::int64_t Residue() const { return bus_credit + metro_credit - collected; }
};
// Told of every transfer journey, in the order of the transfer history.
class Journey_Observer {
 public:
  virtual ~Journey_Observer() = default;
  virtual void Settled(const Settled_Journey& journey) = 0;
};

// Apportions the transfer history in the file at path (HISTORY_FILE by
// default) onto Total_bus_fee and Total_metro_fee; messages name
// HISTORY_FILE.
void Transfer_Process(const std::string& path = HISTORY_FILE);
// The same for the history bytes Separate_Transfers wrote, telling observer
// of each journey as it is settled. Without unsettled, a journey that cannot
// be apportioned throws; with it, it is listed there and adds nothing.
void Transfer_Process(std::string_view history, Journey_Observer& observer,
                      Unsettled_Journeys* unsettled = nullptr);
void reset_Arr(Leg_Table& arr);
// Exchange sort by time: a row moves before an earlier one only when its time
// is strictly smaller, so rows with equal times are never swapped.
void Sort_Legs(Leg_Table& arr);
// Credits each leg's share of the journey's fare (Leg_Share of the journey's
// total and the running sum up to that leg, legs in the order given) to
// *bus_fee for a bus leg and *metro_fee for a metro leg, each addition
// checked; terminal names the journey in the errors. At most
// MAX_JOURNEY_LEGS legs.
void calculate(const Leg_Table& arr, std::int64_t* bus_fee,
               std::int64_t* metro_fee, std::string_view terminal);

// Summary files are staged complete on disk, then published with history;
// the flag is lowered right after the renames.
void End_Process(Staged_File& history);
// The content of a summary file, "TAG,MODE,TOTAL" without a newline.
std::string Summary_Line(std::int32_t tag, int mode, std::int64_t total);
// The report the run prints on standard output once the day is settled.
std::string Report_Text(std::int64_t bus_fee, std::int64_t metro_fee);
Staged_File Bus_Company_Interface();
Staged_File Metro_Company_Interface();
void Terminal_Interface();
void Display_Interface();
