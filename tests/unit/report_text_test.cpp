#include "check/report_text.h"

#include <gtest/gtest.h>

namespace sealmark {
namespace {

TEST(HexText, KeepsLeadingZerosAndUpperCase) {
  EXPECT_EQ(HexText(0x03E4DCB5u, 8), "03E4DCB5");
  EXPECT_EQ(HexText(0u, 8), "00000000");
  EXPECT_EQ(HexText(0xFFFFFFFFu, 8), "FFFFFFFF");
  EXPECT_EQ(HexText(0xABCDEF01u, 8), "ABCDEF01");
}

TEST(HexText, OtherDigitCountsTakeTheLowDigitsOrPadWithZeros) {
  EXPECT_EQ(HexText(0x1A2B3C4Du, 4), "3C4D");
  EXPECT_EQ(HexText(0x1A2B3C4Du, 10), "001A2B3C4D");
  EXPECT_EQ(HexText(0x1A2B3C4Du, 0), "");
}

TEST(RepeatChar, RepeatsTheCharacter) {
  EXPECT_EQ(RepeatChar(3, '-'), "---");
  EXPECT_EQ(RepeatChar(1, ' '), " ");
  EXPECT_EQ(RepeatChar(55, '-').size(), 55u);
}

TEST(RepeatChar, GivesTheEmptyTextForZeroAndNegativeCounts) {
  EXPECT_EQ(RepeatChar(0, ' '), "");
  EXPECT_EQ(RepeatChar(-1, ' '), "");
  EXPECT_EQ(RepeatChar(-1000, '-'), "");
}

}  // namespace
}  // namespace sealmark
