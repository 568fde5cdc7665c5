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

}  // namespace sondralis
