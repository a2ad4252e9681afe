// The transfer journeys between the separation and the apportionment, and
// the gathering of their records from the walks' blocks and the triggers.
#include "Transfer_Journeys.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>

#include "Calculating_System.h"
#include "Leg_Table.h"
#include "Memory.h"

Journey_Table Transfer_Journeys;

void Journey_Table::Create(std::size_t capacity) {
  static std::atomic<std::uint64_t> separations{0};
  Release();
  separation_ = ++separations;
  triggers_ = static_cast<Node_Link*>(Map_Memory(capacity * sizeof(Node_Link)));
  capacity_ = capacity;
}

void Journey_Table::Release() {
  credits_.clear();
  for (std::vector<Member_Blocks>& walk : walks_) {
    for (Member_Blocks& blocks : walk) blocks.Give_Back();
    walk.clear();
  }
  if (triggers_ != nullptr)
    Unmap_Memory(triggers_, capacity_ * sizeof(Node_Link));
  triggers_ = nullptr;
  capacity_ = size_ = 0;
}

void Journey_Table::Open_Walks() {
  for (std::vector<Member_Blocks>& walk : walks_) walk.resize(Chunks());
}

// A counting sort by journey: stable, so each journey's members keep the
// order their walks found them in, the first walk's first.
void Journey_Table::Order_Chunk(std::size_t c, Ordered_Chunk& chunk) const {
  const std::size_t journeys =
      std::min(JOURNEY_CHUNK, size_ - c * JOURNEY_CHUNK);
  chunk.separation = separation_;
  chunk.chunk = c;
  chunk.starts.assign(journeys + 1, 0);
  std::size_t total = 0;
  for (const std::vector<Member_Blocks>& walk : walks_)
    walk[c].For_Each([&](const Member& m) {
      ++chunk.starts[m.Journey() + 1];
      ++total;
    });
  for (std::size_t j = 0; j < journeys; ++j)
    chunk.starts[j + 1] += chunk.starts[j];
  chunk.members.resize(total);
  std::vector<std::uint32_t> next(chunk.starts.begin(), chunk.starts.end() - 1);
  for (const std::vector<Member_Blocks>& walk : walks_)
    walk[c].For_Each(
        [&](const Member& m) { chunk.members[next[m.Journey()]++] = m; });
}

Data Member::Record(const char* terminal) const {
  Data record;
  record.LastTime = LastTime;
  record.Mot = static_cast<signed char>(tag >> 16 & 0xFF);
  record.InOut = static_cast<signed char>(tag >> 24);
  record.Balance = Balance;
  std::memcpy(record.TerminalInfo, terminal, sizeof record.TerminalInfo);
  return record;
}

void Member_Blocks::New_Block() {
  Block* block = static_cast<Block*>(Recycled_Blocks().Take());
  block->next = nullptr;
  block->count = 0;
  (last_ != nullptr ? last_->next : first_) = block;
  last_ = block;
}

void Member_Blocks::Give_Back() {
  while (first_ != nullptr) {
    Block* next = first_->next;
    Recycled_Blocks().Give(first_);
    first_ = next;
  }
  last_ = nullptr;
}

namespace {

// How many journeys ahead of its turn a journey's trigger is asked for.
// Measured, and to be retuned, with the "separate transfers" stage of
// fare-bench.
constexpr std::size_t TRIGGER_LEAD = 32;

// The error of journey g, of legs legs. Named by the bus file, where the
// journey's trigger stands.
std::string Journey_Too_Long(const Journey_Table& journeys, std::size_t g,
                             std::size_t legs) {
  return Too_Many_Legs(PAYMENT_FILES[0].name,
                       journeys.Trigger(g)->data.TerminalInfo, legs);
}

}  // namespace

void Gather_Journeys(const Journey_Table& journeys, std::size_t first,
                     std::size_t stop, std::size_t limit,
                     Gathered_Journeys& gathered,
                     Unsettled_Journeys* unsettled) {
  std::vector<Line_Record>& records = gathered.records;
  records.clear();
  gathered.starts.clear();
  if (first == stop) {
    gathered.starts.push_back(0);
    return;
  }
  const std::size_t chunk = first / JOURNEY_CHUNK;
  assert((stop - 1) / JOURNEY_CHUNK == chunk);
  if (gathered.members.separation != journeys.Separation() ||
      gathered.members.chunk != chunk)
    journeys.Order_Chunk(chunk, gathered.members);
  for (std::size_t g = first; g < stop; ++g) {
    if (g + TRIGGER_LEAD < limit) {
      const History_Data* ahead = journeys.Trigger(g + TRIGGER_LEAD);
      __builtin_prefetch(ahead);
      __builtin_prefetch(reinterpret_cast<const char*>(ahead + 1) - 1);
    }
    std::size_t count = 0;
    const Member* members =
        gathered.members.Members_Of(g % JOURNEY_CHUNK, count);
    if (count + 1 > MAX_JOURNEY_LEGS) {
      if (unsettled != nullptr)
        unsettled->Add(Journey_Too_Long(journeys, g, count + 1));
      continue;
    }
    const Data& trigger = journeys.Trigger(g)->data;
    gathered.starts.push_back(records.size());
    records.push_back({trigger, ','});
    for (std::size_t k = 0; k < count; ++k)
      records.push_back(
          {members[k].Record(trigger.TerminalInfo), members[k].Separator()});
  }
  gathered.starts.push_back(records.size());
}
