#pragma once

// A session driven headlessly by a scripted host, with a folder of its own
// for the files the test writes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "model/GPX.h"
#include "session/Session.h"
#include "support/ScriptedHost.h"

namespace sondralis::testing {

namespace fs = std::filesystem;

inline const std::string kSurvey = SONDRALIS_SOURCE_DIR "/examples/lake_survey.gpx";
inline const std::string kShoreKml = SONDRALIS_SOURCE_DIR "/examples/lake_shore.kml";
inline const std::string kShoreGpx = SONDRALIS_SOURCE_DIR "/examples/lake_shore.gpx";

inline std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Every track point's depth, in document order.
inline std::vector<double> TrackDepths(const TGPX& doc) {
  std::vector<double> out;
  for (const TGPXtrk* t : doc.trk)
    for (const TGPXtrkseg* s : *t)
      for (const TPoint4D2* p : *s) out.push_back(p->HBdepth);
  return out;
}

// Every track point as (depth, latitude, longitude), in document order.
inline std::vector<std::tuple<double, double, double>> TrackPoints(const TGPX& doc) {
  std::vector<std::tuple<double, double, double>> out;
  for (const TGPXtrk* t : doc.trk)
    for (const TGPXtrkseg* s : *t)
      for (const TPoint4D2* p : *s) out.emplace_back(p->HBdepth, p->Latitude, p->Longitude);
  return out;
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("sondralis-session-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Write(const std::string& name, const std::string& content) {
    std::ofstream(dir / name, std::ios::binary) << content;
    return (dir / name).string();
  }
  std::string Path(const std::string& name) const { return (dir / name).string(); }

  // Drives a started run as a window's event loop does: polls whenever the
  // workers woke it, until the run is complete.
  static void PollUntilDone(TSession& session, ScriptedHost& host) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!session.PollInterpolation()) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the run never completed";
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GT(host.WakeUps.load(), 0) << "the workers wake the front end";
  }

  // A command may end in any way; afterwards the window is usable again.
  static void ExpectIdle(const TSession& session) {
    EXPECT_FALSE(session.Busy());
    EXPECT_TRUE(session.WindowEnabled());
    EXPECT_FALSE(session.CommandRunning());
  }

  fs::path dir;
  ScriptedHost host;
};

}  // namespace sondralis::testing
