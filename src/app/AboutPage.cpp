#include "app/AboutPage.h"

namespace sondralis {

QString AboutText() {
  return QStringLiteral(
             "<h2>Sondralis 2D</h2>"
             "<p>Version %1</p>"
             "<p>Sondralis turns the depth soundings of a Humminbird echo sounder into a depth map of your "
             "lake. Load the GPX recordings exported through HumminbirdPC together with the shoreline and "
             "islands (GPX, or KML drawn in Google Earth) on the Source Tracks tab. The Interpolated Map tab "
             "fills the water near your tracks with depths interpolated between the soundings; the ISO Contour "
             "tab traces lines of equal depth through that picture; the HT Contour tab writes them as HT track "
             "files (000.ht, 001.ht, ...) that you copy into a folder \"matrix\" on an SD card, so the unit "
             "shows them as tracks coloured by depth.</p>"
             "<p>Sondralis is free software under the MIT licence.</p>"
             "<h3>Libraries</h3>"
             "<p><b>Qt 6</b> &mdash; Copyright (C) The Qt Company Ltd. and other contributors. Used under the "
             "GNU Lesser General Public License version 3 (LGPL-3.0), linked dynamically; you may replace the "
             "Qt libraries with your own build. The Qt sources are available from https://download.qt.io.</p>"
             "<p><b>pugixml</b> &mdash; Copyright (C) Arseny Kapoulkine. MIT licence: permission is hereby "
             "granted, free of charge, to any person obtaining a copy of this software and associated "
             "documentation files, to deal in the software without restriction, including the rights to use, "
             "copy, modify, merge, publish, distribute, sublicense and/or sell copies of it, subject to the "
             "copyright notice and this permission notice being included in all copies or substantial portions "
             "of the software. THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND.</p>"
             "<p><b>libjpeg-turbo</b> &mdash; This software is based in part on the work of the Independent "
             "JPEG Group. Copyright (C) the libjpeg-turbo Project and the Independent JPEG Group. Used under the "
             "IJG License, the Modified (3-clause) BSD License and the zlib License.</p>"
             "<p><b>Google Highway</b> &mdash; Copyright (C) Google LLC. Used under the Apache License 2.0 or, "
             "at your choice, the BSD 3-Clause License.</p>")
      .arg(QStringLiteral(SONDRALIS_VERSION));
}

QString HowToMapText() {
  return QStringLiteral(
      "<h3>How to map a lake</h3>"
      "<ol>"
      "<li><p><b>Source Tracks</b>: \"Add Files...\" (or drop them on the window) the GPX recordings of your "
      "sounder, exported through HumminbirdPC, and, if you have one, the lake's shoreline and islands as KML "
      "(drawn in Google Earth) or GPX. The tracks appear coloured by depth; a click on the two colour swatches "
      "of the legend changes the colours. Check \"Enter depth when loading data /wo depth\" to give a file "
      "without depths one depth, or \"Enter depth offset (+/-)\" to correct a recording's depths, before you "
      "add the file. \"Corrections...\" sets the transducer's depth, removes spikes and levels trips made at "
      "different water levels.</p></li>"
      "<li><p><b>Interpolated Map</b>: choose the \"Extrapolation Radius\" (how far beside your tracks the "
      "map reaches, in pixels; \"Apply\" shows the band) and the \"Interpolator Style:\" (smooth to hard), "
      "then \"Interpolate\" (F5). \"Save Image...\" keeps the depth picture. The \"Method:\" below chooses "
      "Shepard's weighting (the style applies to it) or a smooth surface, which suits lines far apart; "
      "\"Check accuracy\" maps the lake again without a part of the tracks at a time and tells how far each "
      "method missed the depths left out.</p></li>"
      "<li><p><b>ISO Contour</b>: set the \"Step size\" between two contour lines in cm and press \"ISO "
      "Map\". \"Save Image...\" and \"Save Tracks...\" keep the lines as a picture or as GPX. Below, "
      "\"Contours:\" chooses lines that follow the pixels or chart lines with depth labels; \"Save Chart...\" "
      "keeps a chart picture, and \"Export...\" writes the map for GIS programs, phone apps, the printer and "
      "the lake report.</p></li>"
      "<li><p><b>HT Contour</b>: give a \"Track Name\" and press \"Create HT-File\": the lines are written "
      "as 000.ht, 001.ht, ... (check \"Reduce Waypoints\" to fit them into one file). Copy the files into a "
      "folder \"matrix\" on the unit's SD card; set the track style to \"color by depth\".</p></li>"
      "</ol>"
      "<p>A long run can be stopped with \"Cancel\" in the status bar (or Esc): the previous picture and "
      "contours stay. File &gt; Save Project... keeps the files and every setting of the map together, to "
      "make it again or to add the next trip's recordings later.</p>");
}

QString StartText(bool WithExample) {
  QString text = QStringLiteral(
      "Add Files... or drop GPX, KML or CSV files here: a sounder recording and, if you have one, the lake's "
      "shoreline");
  text = text.toHtmlEscaped();
  if (WithExample)
    text += QStringLiteral("<p><a href=\"%1\">Open the example</a></p>").arg(QLatin1String(kExampleLink));
  return text;
}

}  // namespace sondralis
