// Who gets a port that another instance of the process lets go, and whose
// stream the one that gets it may carry on.
#include "engine/port_registry.h"

#include <gtest/gtest.h>

#include "engine/sync/stream_handover.h"

namespace fulgora {
namespace {

// A released port goes to the newest waiter, whichever waiter looks first
// (the old registry woke all and the first to look won); the one let in
// learns whose stream it may take over, and no one else may.
TEST(port_ticket, the_newest_waiter_gets_a_released_port_and_its_predecessors_stream) {
  port_ticket holder, converter, swapped_in;
  for (port_ticket* t : {&holder, &converter, &swapped_in}) ASSERT_TRUE(t->prepare(L"COM_R1"));
  ASSERT_TRUE(holder.claim());
  holder.note_measured();
  ASSERT_FALSE(converter.claim());
  ASSERT_FALSE(swapped_in.claim());
  EXPECT_FALSE(holder.asked_to_step_aside()) << "a holder that measured keeps its port";
  stream_handover h;
  h.end_s = 12.5;
  h.from = holder.order;
  leave_handover(holder.identity, std::move(h));
  holder.release();
  ASSERT_TRUE(converter.freed_since_claim());
  EXPECT_FALSE(converter.claim()) << "the older waiter looks first and stays out";
  EXPECT_TRUE(converter.waiting);
  ASSERT_TRUE(swapped_in.freed_since_claim());
  ASSERT_TRUE(swapped_in.claim());
  EXPECT_EQ(swapped_in.predecessor, holder.order);
  stream_handover out;
  EXPECT_FALSE(take_handover(converter.identity, converter.predecessor, out)) << "not its own";
  ASSERT_TRUE(take_handover(swapped_in.identity, swapped_in.predecessor, out));
  EXPECT_EQ(out.end_s, 12.5);
  // Once the newest is done, the older one lights: after a holder that
  // leaves nothing, it carries no stream on.
  swapped_in.release();
  ASSERT_TRUE(converter.claim());
  EXPECT_EQ(converter.predecessor, swapped_in.order);
  EXPECT_FALSE(take_handover(converter.identity, converter.predecessor, out));
  converter.withdraw();

  // A newer waiter that gives up lets the older one in.
  port_ticket first, older, newer;
  for (port_ticket* t : {&first, &older, &newer}) ASSERT_TRUE(t->prepare(L"COM_R2"));
  ASSERT_TRUE(first.claim());
  first.note_measured();
  ASSERT_FALSE(older.claim());
  ASSERT_FALSE(newer.claim());
  first.release();
  ASSERT_FALSE(older.claim());
  newer.withdraw();
  ASSERT_TRUE(older.freed_since_claim());
  EXPECT_TRUE(older.claim());
}

}  // namespace
}  // namespace fulgora
