// Who gets a port that another instance of the process lets go.
#include "engine/port_registry.h"

#include <gtest/gtest.h>

namespace fulgora {
namespace {

// A released port goes to the newest waiter, whichever waiter looks first
// (the old registry woke all and the first to look won).
TEST(port_ticket, the_newest_waiter_gets_a_released_port) {
  port_ticket holder, converter, swapped_in;
  for (port_ticket* t : {&holder, &converter, &swapped_in}) ASSERT_TRUE(t->prepare(L"COM_R1"));
  ASSERT_TRUE(holder.claim());
  holder.note_measured();
  ASSERT_FALSE(converter.claim());
  ASSERT_FALSE(swapped_in.claim());
  EXPECT_FALSE(holder.asked_to_step_aside()) << "a holder that measured keeps its port";
  holder.release();
  ASSERT_TRUE(converter.freed_since_claim());
  EXPECT_FALSE(converter.claim()) << "the older waiter looks first and stays out";
  EXPECT_TRUE(converter.waiting());
  ASSERT_TRUE(swapped_in.freed_since_claim());
  ASSERT_TRUE(swapped_in.claim());
  // Once the newest is done, the older one lights.
  swapped_in.release();
  ASSERT_TRUE(converter.claim());
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
