// What the data model costs in memory, measured by counting every heap
// allocation of this test program (operator new is replaced below) plus the
// mappings of the point lists' storage. A field added to a track point, a
// route or a track shows up here.

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "model/GPX.h"
#include "support/LiveHeap.h"


namespace sondralis {
namespace {

// Bytes a document holds: heap blocks plus the point storage mapped outside
// the heap.
long long MappedBytes(const TGPX& doc) {
  long long n = static_cast<long long>(doc.wpt.StoreMappedCapacity());
  for (const TGPXrte* r : doc.rte) n += static_cast<long long>(r->StoreMappedCapacity());
  for (const TGPXtrk* t : doc.trk)
    for (const TGPXtrkseg* s : *t) n += static_cast<long long>(s->StoreMappedCapacity());
  return n;
}

// A sounder's recording as the reader builds it: segments of points with
// position, elevation, time and depth, each list made complete.
void AddRecording(TGPX& doc, int segments, int points, int detailsEvery) {
  auto* track = new TGPXtrk;
  track->Edit().name = "Survey";
  doc.trk.Add(track);
  for (int s = 0; s < segments; ++s) {
    auto* seg = new TGPXtrkseg;
    track->Add(seg);
    for (int i = 0; i < points; ++i) {
      TGPXwpt* p = seg->NewPoint();
      p->Latitude = 47.2 + i * 1e-6;
      p->Longitude = 8.6 + s * 1e-4;
      p->Altitude = 434;
      p->DateTime = 46000 + i / 864000.0;
      p->HBdepth = 100 + i % 1900;
      if (detailsEvery > 0 && i % detailsEvery == 0) p->Edit().sat = 7;
    }
    seg->ShrinkToFit();
  }
}

TEST(Memory, ASounderPointCostsAtMostEightyBytes) {
  for (int segments : {1, 4, 40}) {
    const long long before = testing::LiveHeapBytes();
    TGPX doc;
    AddRecording(doc, segments, 200000 / segments, 0);
    const double perPoint = static_cast<double>(testing::LiveHeapBytes() - before + MappedBytes(doc)) / 200000.0;
    EXPECT_LE(perPoint, 80.0) << segments << " segments";
    // And not less than the values it holds (position, elevation, depth,
    // time: five doubles): the count sees the points.
    EXPECT_GE(perPoint, 40.0) << segments << " segments";
  }
}

TEST(Memory, DetailsCostOnlyWherePointsHaveThem) {
  const long long before = testing::LiveHeapBytes();
  TGPX plain;
  AddRecording(plain, 4, 50000, 0);
  const long long plainBytes = testing::LiveHeapBytes() - before + MappedBytes(plain);
  const long long middle = testing::LiveHeapBytes();
  TGPX marked;
  AddRecording(marked, 4, 50000, 100);  // one point in a hundred has a detail
  const long long markedBytes = testing::LiveHeapBytes() - middle + MappedBytes(marked);
  const double perDetail = static_cast<double>(markedBytes - plainBytes) / 2000.0;
  EXPECT_GT(perDetail, 0.0);
  EXPECT_LE(perDetail, static_cast<double>(sizeof(TGPXwptDetails) + 32));
}

// Crafted files of nothing but empty elements must not cost a hundred times
// their size: an empty track, route or segment is a small object.
TEST(Memory, EmptyTracksRoutesAndSegmentsAreSmall) {
  constexpr int kCount = 100000;
  const long long before = testing::LiveHeapBytes();
  TGPX doc;
  for (int i = 0; i < kCount; ++i) doc.trk.Add(new TGPXtrk);
  const double perTrack = static_cast<double>(testing::LiveHeapBytes() - before) / kCount;
  EXPECT_LE(perTrack, 80.0);
  const long long middle = testing::LiveHeapBytes();
  for (int i = 0; i < kCount; ++i) doc.rte.Add(new TGPXrte);
  EXPECT_LE(static_cast<double>(testing::LiveHeapBytes() - middle) / kCount, 200.0);
  const long long segmentsFrom = testing::LiveHeapBytes();
  TGPXtrk* track = doc.trk.Tracks(0);
  for (int i = 0; i < kCount; ++i) track->Add(new TGPXtrkseg);
  EXPECT_LE(static_cast<double>(testing::LiveHeapBytes() - segmentsFrom) / kCount, 200.0);
}

TEST(Memory, ClearingADocumentGivesItsMemoryBack) {
  const long long before = testing::LiveHeapBytes();
  {
    TGPX doc;
    AddRecording(doc, 3, 60000, 10);
    doc.Clear();
    EXPECT_EQ(MappedBytes(doc), 0);
    EXPECT_LE(testing::LiveHeapBytes() - before, 4096);
  }
  EXPECT_EQ(testing::LiveHeapBytes(), before);
}

}  // namespace
}  // namespace sondralis
