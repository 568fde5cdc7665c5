#pragma once

// The corrections a loaded file's readings get before its tracks join the
// others, on the file's own document, in the order the readings need them:
// the spikes out first (a spike would otherwise be corrected like a good
// reading), then the transducer's depth, then the water level of the file,
// given by hand or read from a gauge table. The level estimated where
// sessions cross comes after all files of a batch are loaded (TProject).
// Each correction says what it did, with its counts.

#include <optional>
#include <string>
#include <vector>

#include "corrections/Despike.h"
#include "corrections/GaugeLevels.h"
#include "corrections/Readings.h"
#include "formats/LevelTable.h"
#include "model/GPX.h"

namespace sondralis {

struct TReadingCorrections {
  bool Despike = false;
  double TransducerCm = 0;                  // added to every reading
  std::optional<double> LevelCm;            // added to every reading: this file's water level, by hand
  const TLevelTable* LevelTable = nullptr;  // or the level at each reading's time, from a gauge
  std::optional<double> DatumCm;            // the gauge's datum; the table's lowest level when not given

  bool Any() const noexcept { return Despike || TransducerCm != 0 || LevelCm || LevelTable; }
};

struct TCorrectionResult {
  TDespikeResult Spikes;
  TReadingsChanged Transducer;
  TReadingsChanged Level;
  TGaugeResult Gauge;
  // One line per correction that ran, with its counts:
  // "lake.gpx: 143 spikes removed of 14299 readings".
  std::vector<std::string> Notes;
  // Why the file cannot be loaded (the gauge table cannot correct all its
  // readings); nothing of it is to join the loaded tracks then.
  std::string Error;
};

// Applies the corrections to the recordings of Doc (outlines and readings of
// 0 are left alone); FileName names the file in the notes and the error.
// A file without any reading gets no note, except for a level given for it,
// which it cannot take.
TCorrectionResult CorrectReadings(TGPX& Doc, const std::string& FileName, const TReadingCorrections& Corrections);

// A number of centimetres as the notes write it: at most one decimal,
// "45", "-23.7".
std::string FormatCm(double Cm);

}  // namespace sondralis
