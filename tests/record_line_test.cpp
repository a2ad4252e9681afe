// The record line: field splitting, widths, conversion and the written form.
#include <gtest/gtest.h>

#include "Calculating_System.h"

namespace {

TEST(RecordLine, ParsesFiveCommaSeparatedFields) {
  Data record{};
  ASSERT_TRUE(Fill_Data(record, "270,0,1,100,T2", "f", 1));
  EXPECT_EQ(record.LastTime, 270);
  EXPECT_EQ(record.Mot, 0);
  EXPECT_EQ(record.InOut, 1);
  EXPECT_EQ(record.Balance, 100);
  EXPECT_STREQ(record.TerminalInfo, "T2");
}

}  // namespace
