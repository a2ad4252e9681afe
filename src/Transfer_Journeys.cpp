// The transfer journeys between the separation and the apportionment, and
// the gathering of their records from the nodes they are spread over.
#include "Transfer_Journeys.h"

#include <algorithm>

#include "Calculating_System.h"
#include "Leg_Table.h"
#include "Memory.h"

Journey_Table Transfer_Journeys;

void Journey_Table::Create(std::size_t capacity) {
  Release();
  journeys_ = static_cast<Journey*>(Map_Memory(capacity * sizeof(Journey)));
  capacity_ = capacity;
}

void Journey_Table::Release() {
  credits_.clear();
  if (journeys_ != nullptr)
    Unmap_Memory(journeys_, capacity_ * sizeof(Journey));
  journeys_ = nullptr;
  capacity_ = size_ = 0;
}

namespace {

// Asks the cache for both lines a node may straddle: its links and record.
void Prefetch_Node(const History_Data* node) {
  if (node == nullptr) return;
  __builtin_prefetch(node);
  __builtin_prefetch(reinterpret_cast<const char*>(node + 1) - 1);
}

// How many journeys ahead of its turn each step of a journey's records is
// asked for: the trigger and the last member of each chain first, then the
// member before each (the last's next link, in the node asked for LAST_LEAD
// - SECOND_LEAD journeys before), then the one before that (through the
// second's links). Each step waits for the one before it to arrive, 32
// journeys' worth of work apart. Measured, and to be retuned, with the
// "separate transfers" stage of fare-bench.
constexpr std::size_t LAST_LEAD = 96;
constexpr std::size_t SECOND_LEAD = 64;
constexpr std::size_t THIRD_LEAD = 32;

// The member before member in its chain, none for none.
const History_Data* Before(const History_Data* member) {
  return member == nullptr ? nullptr : static_cast<History_Data*>(member->next);
}

// Asks for the records of journey g a few journeys before its turn: the
// trigger and the last members, then the members the chains lead to once
// their links are near. The loads of the links read nodes asked for by an
// earlier call (journey g + 32 was g' + 64 and g'' + 96 before), so they
// seldom miss; they only decide what to ask for next.
void Prefetch_Journey(const Journey_Table& journeys, std::size_t g,
                      std::size_t count) {
  if (g + LAST_LEAD < count) {
    const Journey_Table::Journey& journey = journeys[g + LAST_LEAD];
    Prefetch_Node(journey.trigger);
    for (const Node_Link& last : journey.chain) Prefetch_Node(last);
  }
  if (g + SECOND_LEAD < count)
    for (const Node_Link& last : journeys[g + SECOND_LEAD].chain)
      Prefetch_Node(Before(last));
  if (g + THIRD_LEAD < count)
    for (const Node_Link& last : journeys[g + THIRD_LEAD].chain)
      Prefetch_Node(Before(Before(last)));
}

// The error of a journey of more legs than one passenger taps in a day.
// Named by the bus file, where the journey's trigger stands.
std::string Journey_Too_Long(const Journey_Table::Journey& journey) {
  std::size_t legs = 1;
  for (const Node_Link& last : journey.chain)
    for (const History_Data* m = last; m != nullptr; m = m->next) ++legs;
  return Too_Many_Legs(PAYMENT_FILES[0].name,
                       journey.trigger->data.TerminalInfo, legs);
}

// Copies the members of journey's chains to records, the last found first
// (chain 1, then chain 0); false, copying at most MAX_JOURNEY_LEGS - 1, when
// the journey has more legs than that.
bool Copy_Members(const Journey_Table::Journey& journey,
                  std::vector<Line_Record>& records) {
  const History_Data* third_metro = M3_header;
  std::size_t room = records.size() + MAX_JOURNEY_LEGS - 1;
  for (int walk = 1; walk >= 0; --walk) {
    for (const History_Data* m = journey.chain[walk]; m; m = m->next) {
      if (records.size() == room) return false;
      records.push_back({m->data, m->prev == third_metro ? ' ' : ','});
    }
  }
  return true;
}

}  // namespace

void Gather_Journeys(const Journey_Table& journeys, std::size_t first,
                     std::size_t stop, std::size_t limit,
                     Gathered_Journeys& gathered,
                     Unsettled_Journeys* unsettled) {
  std::vector<Line_Record>& records = gathered.records;
  records.clear();
  gathered.starts.clear();
  for (std::size_t g = first; g < stop; ++g) {
    Prefetch_Journey(journeys, g, limit);
    const Journey_Table::Journey& journey = journeys[g];
    std::size_t start = records.size();
    records.push_back({journey.trigger->data, ','});
    if (!Copy_Members(journey, records)) {
      if (unsettled != nullptr) unsettled->Add(Journey_Too_Long(journey));
      records.resize(start);
      continue;
    }
    std::reverse(records.begin() + static_cast<std::ptrdiff_t>(start) + 1,
                 records.end());
    gathered.starts.push_back(start);
  }
  gathered.starts.push_back(records.size());
}
