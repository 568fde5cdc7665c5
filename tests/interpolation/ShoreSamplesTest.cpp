#include <gtest/gtest.h>

#include "interpolation/ShoreSamples.h"

namespace sondralis {
namespace {

TEST(ShoreSamples, DepthOrNoneAndTheCoverageUntouched) {
  TCoverage coverage;
  for (int i = 0; i < 3; ++i) {
    coverage.ShoreCoord.Add({8.6f + i, 47.2f});
    coverage.ShoreDepth.Add(0.0f);
  }
  const TSampleLists deep = ShoreSamples(coverage, *ParseShoreDepth(" 150 "));
  ASSERT_EQ(deep.Coord.Length(), 3);
  EXPECT_EQ(deep.Depth[2], 150.0f);
  EXPECT_EQ(deep.Coord[1], coverage.ShoreCoord[1]);
  EXPECT_FALSE(deep.Coord.SharesWith(coverage.ShoreCoord)) << "the run appends to its own lists";
  EXPECT_EQ(coverage.ShoreDepth[2], 0.0f);

  const TSampleLists none = ShoreSamples(coverage, *ParseShoreDepth("None"));
  EXPECT_EQ(none.Coord.Length(), 0);
  EXPECT_EQ(none.Depth.Length(), 0);
  EXPECT_EQ(ShoreSamples(coverage, {}).Depth[0], 0.0f) << "the default is depth 0, as always";

  EXPECT_FALSE(ParseShoreDepth("-20"));
  EXPECT_FALSE(ParseShoreDepth("deep"));
  EXPECT_EQ(ShoreDepthError("deep"), "The shore depth \"deep\" is neither a depth in centimetres (0 or more) nor \"none\".");
}

}  // namespace
}  // namespace sondralis
