// The journeys the stages cannot settle, and the stages as the audit runs
// them: the separation into history bytes, and the apportionment of those
// bytes with an observer told of every journey.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Leg_Table.h"
#include "Settlement_Error.h"

// The journeys a stage could not settle, each by the error that stops the
// settlement there, in journey order: all counted, the first `keep` kept, so
// that a day of countless such journeys costs no memory for them. The stages
// always list them and go on; the settlement's stages then raise the first,
// the audit shows them all.
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
  // Throws the first as a Settlement_Error, if there is one.
  void Raise_First() const {
    if (count > 0) throw Settlement_Error(first.front());
  }
};

struct Told_Early;

// The number of index slots (one and a half per bus tap below 1050 won)
// from which the separation finds the triggers in batches on two threads
// instead of in one walk of the bus list: the outputs are the same. Tests
// lower it to run both ways on small days.
extern std::size_t Batched_Trigger_Walk_From;

// Takes every transfer journey out of the lists and appends its lines to
// history, followed by "END": the bytes of the transfer history file. A
// journey of too many legs is listed in unsettled and left out.
void Separate_Transfers(std::string& history, Unsettled_Journeys& unsettled);
// The same, handing the history bytes to write in order instead, each piece
// whole lines but for the closing "END", which comes last; telling early (if
// not null) of the journeys as they are written (Told_Early).
void Separate_Transfers(const std::function<void(std::string_view)>& write,
                        Unsettled_Journeys& unsettled,
                        Told_Early* early = nullptr);

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

// Transfer_Process for the history bytes Separate_Transfers wrote, telling
// observer of each journey as it is settled. A journey that cannot be
// apportioned is listed in unsettled and adds nothing.
void Transfer_Process(std::string_view history, Journey_Observer& observer,
                      Unsettled_Journeys& unsettled);
class Journey_Table;
// The same for the journeys Separate_Transfers has just written to the
// history, read from their records instead of its lines: chunks of journeys
// are worked out on two threads, and credited and told in journey order.
// With early, the chunks it told are credited as it says and not told again.
void Transfer_Process(const Journey_Table& journeys, Journey_Observer& observer,
                      Unsettled_Journeys& unsettled,
                      const Told_Early* early = nullptr);
