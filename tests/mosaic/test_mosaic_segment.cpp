// Segmentation of frames into finger blocks: block tests, classification
// passes and the clean-up steps on hand-made maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "rolling_frames.h"
#include "segment.h"

namespace {

using namespace quisal;
using mosaic_test::Image;

// Maps drawn as strings, one row per string: '#' finger, '.' background.
std::vector<BlockMap> Map(const std::vector<std::string> &rows) {
  std::vector<BlockMap> map;
  for (const std::string &row : rows) {
    for (char c : row) map.push_back(c == '#' ? 1 : c == '3' ? 3 : 0);
  }
  return map;
}

std::vector<std::string> Rows(const std::vector<BlockMap> &map, int bw) {
  std::vector<std::string> rows;
  for (size_t i = 0; i < map.size(); i += bw) {
    std::string row;
    for (int x = 0; x < bw; ++x) row += map[i + x] > 0 ? (map[i + x] == 3 ? '3' : '#') : '.';
    rows.push_back(row);
  }
  return rows;
}

// A 16 x 16 block (in a 64 x 64 image at (16, 16)) whose row r holds the
// alternating pattern in its first m[r] pixels and a level within 24 of it
// elsewhere: row r has exactly m[r] - 2 horizontal pairs and no vertical ones.
Image CountedBlock(const std::vector<int> &m) {
  Image image(64 * 64, 120);
  for (int r = 0; r < 16; ++r) {
    for (int c = 0; c < m[r]; ++c) image[(16 + r) * 64 + 16 + c] = (c / 2) % 2 ? 140 : 100;
  }
  return image;
}

TEST(MosaicBlockTests, TextureThresholds) {
  // 3 rows of 14 pairs and one of 2: 44 pairs, not enough on their own.
  std::vector<int> m(16, 0);
  m[0] = m[1] = m[2] = 16;
  m[3] = 4;
  EXPECT_EQ(mosaic_block_texture(CountedBlock(m).data(), 64, 16, 16), 0);
  m[4] = 3;  // one pair more: 45
  EXPECT_EQ(mosaic_block_texture(CountedBlock(m).data(), 64, 16, 16), 1);

  Image flat(64 * 64, 128);
  EXPECT_EQ(mosaic_block_texture(flat.data(), 64, 16, 16), 0);
  Image stripes(64 * 64);
  for (int i = 0; i < 64 * 64; ++i) stripes[i] = ((i % 64) / 2) % 2 ? 200 : 40;  // vertical ridges
  EXPECT_EQ(mosaic_block_texture(stripes.data(), 64, 16, 16), 1);
  for (int i = 0; i < 64 * 64; ++i) stripes[i] = ((i / 64) / 2) % 2 ? 200 : 40;  // horizontal
  // No horizontal pair differs, so the test stops before its vertical part.
  EXPECT_EQ(mosaic_block_texture(stripes.data(), 64, 16, 16), 0);
}

TEST(MosaicBlockTests, TextureVerticalPartCrossesAfterARow) {
  // 16 horizontal pairs reach the vertical part; rows alternating in pairs
  // of levels then add 16 vertical pairs per row.
  Image image(64 * 64);
  for (int r = 0; r < 64; ++r) {
    for (int c = 0; c < 64; ++c) image[r * 64 + c] = ((r / 2) % 2) ? 160 : 100;
  }
  // The block's last row alone holds horizontal pairs: 14 of them.
  for (int c = 0; c < 16; ++c) image[(16 + 15) * 64 + 16 + c] = (c / 2) % 2 ? 200 : 100;
  EXPECT_EQ(mosaic_block_texture(image.data(), 64, 16, 16), 0);
  image[(16 + 14) * 64 + 16] = 200;  // row 30: pair (0, 2) differs, now 15
  EXPECT_EQ(mosaic_block_texture(image.data(), 64, 16, 16), 0);
  image[(16 + 14) * 64 + 17] = 200;  // and (1, 3): 16, the vertical part runs
  EXPECT_EQ(mosaic_block_texture(image.data(), 64, 16, 16), 1);
}

TEST(MosaicBlockTests, DirectionOfGratingsAndFlatBlocks) {
  Image image(64 * 64, 128);
  EXPECT_EQ(mosaic_block_direction(image.data(), 64, 64, 16, 16), 0);
  // Stripes four pixels wide: the pairs four apart differ most (directions
  // 4 and 6 across horizontal stripes, 2 and 8 across vertical ones); the
  // first of a tie wins and the result is its perpendicular.
  for (int i = 0; i < 64 * 64; ++i) image[i] = ((i / 64) / 4) % 2 ? 220 : 20;
  EXPECT_EQ(mosaic_block_direction(image.data(), 64, 64, 16, 16), 8);
  for (int i = 0; i < 64 * 64; ++i) image[i] = ((i % 64) / 4) % 2 ? 220 : 20;
  EXPECT_EQ(mosaic_block_direction(image.data(), 64, 64, 16, 16), 6);
}

// The direction test as its table reads, with samples outside the image taken
// from the nearest edge pixel.
int DirectionByTable(const unsigned char *image, int W, int H, int x, int y) {
  static const int pairs[8][4] = {{-1, -1, 1, -1}, {-2, 0, 2, -2},  {-1, 0, 1, -2}, {-1, 1, 1, -3},
                                  {0, 0, 0, -2},   {1, 1, -1, -3}, {1, 0, -1, -2}, {2, 0, -2, -2}};
  auto at = [&](int c, int r) {
    return int(image[std::clamp(r, 0, H - 1) * W + std::clamp(c, 0, W - 1)]);
  };
  long sums[8] = {};
  for (int d = 0; d < 8; ++d)
    for (int r = y + 1; r <= y + 16; ++r)
      for (int c = x; c <= x + 14; c += 2)
        sums[d] += std::abs(at(c + pairs[d][0], r + pairs[d][1]) - at(c + pairs[d][2], r + pairs[d][3]));
  const int g = int(std::max_element(sums, sums + 8) - sums) + 1;
  if (sums[g - 1] - *std::min_element(sums, sums + 8) < 2048) return 0;
  return g < 5 ? g + 4 : g - 4;
}

TEST(MosaicBlockTests, DirectionAtTheEdgesReadsOnlyTheImage) {
  // Noisy ridges of random slope and period, between guard rows of another
  // content: blocks on every edge give what the table gives, whatever the
  // guard rows hold.
  const int W = 64, H = 48;
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> angle(0.0, 3.14159265), period(5.0, 12.0);
  std::uniform_int_distribution<int> noise(-25, 25);
  std::set<int> seen;
  for (int trial = 0; trial < 40; ++trial) {
    const double a = angle(rng), p = period(rng);
    Image image(W * H);
    for (int r = 0; r < H; ++r)
      for (int c = 0; c < W; ++c)
        image[r * W + c] = static_cast<unsigned char>(std::clamp(
            128 + int(90 * std::sin(6.2831853 * (c * std::cos(a) + r * std::sin(a)) / p)) + noise(rng), 0, 255));
    for (unsigned char guard : {0, 255}) {
      Image framed(W * (H + 8), guard);
      for (int i = 0; i < W * 4; i += 2) framed[i] = framed[framed.size() - 1 - i] = 255 - guard;
      std::copy(image.begin(), image.end(), framed.begin() + W * 4);
      for (int y : {0, 16, H - 17, H - 16})
        for (int x : {0, 16, W - 17, W - 16}) {
          const int want = DirectionByTable(image.data(), W, H, x, y);
          ASSERT_EQ(mosaic_block_direction(framed.data() + W * 4, W, H, x, y), want)
              << trial << " " << x << "," << y << " guard " << int(guard);
          seen.insert(want);
        }
    }
  }
  EXPECT_GE(seen.size(), 5u);  // the cases reach most directions
}

TEST(MosaicClassify, PlainAndLowFramesHaveNoFinger) {
  Image white = mosaic_test::WhiteImage(640, 640);
  std::vector<BlockMap> map(kMapBytes, 5), raw(kMapBytes, 5);
  EXPECT_EQ(mosaic_segment_finger(white.data(), 640, 640, map.data(), raw.data(), kTextureTest), 0);
  for (int i = 0; i < 1600; ++i) ASSERT_EQ(raw[i], 0);
  // At most 96 rows: no block is ever tested.
  const Image low = mosaic_test::MakePrint(640, 96, true);
  EXPECT_EQ(mosaic_segment_finger(low.data(), 640, 96, map.data(), raw.data(), kTextureTest), 0);
  for (int i = 0; i < 40 * 6; ++i) ASSERT_EQ(raw[i], 0);
}

TEST(MosaicClassify, LastBlockRowRetestedInFullOnlyWhenMostlyCovered) {
  // Texture in one coarse cell at the top and along the bottom rows.
  for (int H : {644, 648}) {
    const Image print = mosaic_test::MakePrint(640, H, true);
    Image image = mosaic_test::WhiteImage(640, H);
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < 640; ++x) {
        if ((y < 64 && x < 64) || y >= H - 24) image[y * 640 + x] = print[y * 640 + x];
      }
    }
    std::vector<BlockMap> raw(kMapBytes, 0);
    mosaic_classify_blocks(image.data(), 640, H, raw.data(), kTextureTest);
    const int bh = BlockRows(H);
    int lastRow = 0;
    for (int j = 0; j < 40; ++j) lastRow += raw[(bh - 1) * 40 + j];
    EXPECT_EQ(lastRow, H == 648 ? 40 : 0) << H;
    EXPECT_EQ(raw[0], 1) << H;
  }
}

TEST(MosaicClassify, WidthsOffTheBlockGridStayInsideTheMap) {
  // 260, 440 and 500 are not multiples of 16; 360 and 376 rows give a
  // last block row retested in full.
  for (auto [W, H] : {std::pair{260, 360}, {260, 372}, {440, 376}, {500, 640}}) {
    const Image print = mosaic_test::MakePrint(W, H, true);
    const size_t blocks = static_cast<size_t>(BlockColumns(W)) * BlockRows(H);
    std::vector<BlockMap> raw(blocks + 16, 9);
    for (size_t i = 0; i < blocks; ++i) raw[i] = 0;
    mosaic_classify_blocks(print.data(), W, H, raw.data(), kTextureTest);
    for (size_t i = blocks; i < raw.size(); ++i) ASSERT_EQ(raw[i], 9) << W << "x" << H;
    for (size_t i = 0; i < blocks; ++i) ASSERT_EQ(raw[i], 1) << W << "x" << H << " " << i;
  }
}

TEST(MosaicCleanup, ErodeAndDilate) {
  auto map = Map({
      "..........",
      ".##...###.",
      ".##...###.",
      ".##...###.",
      "..........",
  });
  mosaic_erode_map(map.data(), 10, 5);
  EXPECT_EQ(Rows(map, 10), (std::vector<std::string>{
                               "..........",
                               "..........",
                               ".......#..",
                               "..........",
                               "..........",
                           }));
  mosaic_dilate_map(map.data(), 10, 5);
  EXPECT_EQ(Rows(map, 10), (std::vector<std::string>{
                               "..........",
                               ".......#..",
                               "......###.",
                               ".......#..",
                               "..........",
                           }));
  // Border blocks are eroded against the neighbours they have, and do not
  // spread.
  map = Map({"###", "###", "###"});
  mosaic_erode_map(map.data(), 3, 3);
  EXPECT_EQ(Rows(map, 3), (std::vector<std::string>{"###", "###", "###"}));
  map = Map({"#..", "...", "..."});
  mosaic_dilate_map(map.data(), 3, 3);
  EXPECT_EQ(Rows(map, 3), (std::vector<std::string>{"#..", "...", "..."}));
}

TEST(MosaicCleanup, FillGapsOfOneAndTwoBlocks) {
  auto map = Map({
      "..............",
      "##.##..##...##",
      "..............",
      "..............",
  });
  BlockRect r{0, 0, 13, 3};
  mosaic_fill_gaps(map.data(), 14, 4, &r);
  EXPECT_EQ(r.x0, 1);  // limited to the inner area, and kept
  EXPECT_EQ(r.y0, 1);
  EXPECT_EQ(r.x1, 11);
  EXPECT_EQ(r.y1, 1);
  EXPECT_EQ(Rows(map, 14)[1], "#########...##");
  // Vertically, with a filled block serving the next one.
  map = Map({".#...", ".....", ".#...", ".#...", ".....", ".....", ".#...", ".#..."});
  r = BlockRect{0, 0, 4, 7};
  mosaic_fill_gaps(map.data(), 5, 8, &r);
  for (int y = 0; y < 8; ++y) EXPECT_EQ(map[y * 5 + 1], 1) << y;
}

TEST(MosaicCleanup, KeepMainRegionByTheLongestRun) {
  auto map = Map({
      "..............",
      "....#....#....",
      "....#....#....",
      "....#....#....",
      "....#....#....",
      "..............",
      "..............",
  });
  // Equal runs: the left-most column wins.
  auto left = map;
  mosaic_keep_main_region(left.data(), 14, 7);
  EXPECT_EQ(Rows(left, 14)[2], "....#.........");
  // A run reaching row bh - 2 counts only to bh - 3: rows 1..5 tie with 1..4.
  map[5 * 14 + 9] = 1;
  auto tie = map;
  mosaic_keep_main_region(tie.data(), 14, 7);
  EXPECT_EQ(Rows(tie, 14)[5], "..............");
  // A longer run on the right wins.
  map[4 * 14 + 4] = 0;
  mosaic_keep_main_region(map.data(), 14, 7);
  EXPECT_EQ(Rows(map, 14), (std::vector<std::string>{
                               "..............",
                               ".........#....",
                               ".........#....",
                               ".........#....",
                               ".........#....",
                               ".........#....",
                               "..............",
                           }));
  // No run of two blocks in the middle columns, or a narrow map: unchanged.
  auto edges = Map({"#.........#", "#.........#", "....#......", "..........."});
  const auto before = edges;
  mosaic_keep_main_region(edges.data(), 11, 4);
  EXPECT_EQ(edges, before);
  auto narrow = Map({"........", ".#....#.", ".#....#.", ".#....#.", "........"});
  const auto narrowBefore = narrow;
  mosaic_keep_main_region(narrow.data(), 8, 5);
  EXPECT_EQ(narrow, narrowBefore);
}

TEST(MosaicCleanup, StripesAndSmoothing) {
  auto map = Map({
      "..........",
      ".###.#....",
      ".###.#....",
      ".###.#....",
      ".###.#....",
      "..........",
  });
  BlockRect r{1, 1, 5, 4};
  mosaic_remove_stripes(map.data(), 10, r);
  // Columns span four rows and stay; rows 1..3 wide spans (1..5) stay too.
  EXPECT_EQ(Rows(map, 10)[1], ".###.#....");
  map = Map({"..........", ".###......", ".###......", ".###......", ".###......", ".........."});
  mosaic_remove_stripes(map.data(), 10, r);
  // Every row spans columns 1..3 (two apart): cleared.
  for (const std::string &row : Rows(map, 10)) EXPECT_EQ(row, "..........");

  // A square loses its corners (one diagonal neighbour each); the blocks
  // beside a cleared corner see two and stay.
  map = Map({"..........", "..........", "..######..", "..######..", "..######..",
             "..######..", "..######..", "..######..", "..........", ".........."});
  mosaic_smooth_edges(map.data(), 10, 10, BlockRect{2, 2, 7, 7});
  EXPECT_EQ(Rows(map, 10), (std::vector<std::string>{
                               "..........", "..........", "...####...", "..######..",
                               "..######..", "..######..", "..######..", "...####...",
                               "..........", ".........."}));
}

TEST(MosaicSegment, FingerRegionSurvivesStripesDoNot) {
  const Image print = mosaic_test::MakePrint(640, 640, true);
  std::vector<BlockMap> map(kMapBytes), raw(kMapBytes);
  // Texture in columns [x0, x1) of pixels over rows 64..575.
  auto segment = [&](int x0, int x1) {
    Image image = mosaic_test::WhiteImage(640, 640);
    for (int y = 64; y < 576; ++y) {
      for (int x = x0; x < x1; ++x) image[y * 640 + x] = print[y * 640 + x];
    }
    return mosaic_segment_finger(image.data(), 640, 640, map.data(), raw.data(), kTextureTest);
  };
  EXPECT_EQ(segment(320, 352), 0);  // two blocks wide
  EXPECT_EQ(segment(320, 368), 0);  // three blocks wide
  const int n = segment(320, 384);  // four blocks wide, 32 high
  EXPECT_GE(n, 40);
  for (int i = 0; i < 1600; ++i) ASSERT_TRUE(map[i] == 0 || map[i] == 1);
  // A finger region of 12 x 8 blocks: the whole region after clean-up.
  Image image = mosaic_test::WhiteImage(640, 640);
  for (int y = 128; y < 256; ++y) {
    for (int x = 192; x < 384; ++x) image[y * 640 + x] = print[y * 640 + x];
  }
  EXPECT_EQ(mosaic_segment_finger(image.data(), 640, 640, map.data(), raw.data(), kTextureTest),
            12 * 8 - 4);  // the four corners smoothed away
}

TEST(MosaicSegment, TwoRegionsKeepTheTallerOne) {
  const Image print = mosaic_test::MakePrint(640, 640, true);
  Image image = mosaic_test::WhiteImage(640, 640);
  for (int y = 0; y < 640; ++y) {
    for (int x = 0; x < 640; ++x) {
      const bool tall = x >= 96 && x < 224 && y >= 64 && y < 576;
      const bool short_ = x >= 384 && x < 576 && y >= 64 && y < 256;
      if (tall || short_) image[y * 640 + x] = print[y * 640 + x];
    }
  }
  std::vector<BlockMap> map(kMapBytes);
  EXPECT_GT(mosaic_segment_finger(image.data(), 640, 640, map.data(), map.data(), kTextureTest), 0);
  int right = 0, left = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) (x >= 20 ? right : left) += map[y * 40 + x];
  }
  EXPECT_EQ(right, 0);
  EXPECT_GT(left, 200);
}

}  // namespace
