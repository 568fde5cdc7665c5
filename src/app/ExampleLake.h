#pragma once

#include <QString>
#include <QStringList>

namespace sondralis {

// The example lake that comes with the program: a sounder recording and the
// lake's shoreline. It lies in a folder "examples" beside the program (a
// build tree), in "../share/sondralis/examples" from it (an installed
// program), or in "sondralis/examples" of one of the system's data folders.
// The folder, or empty when none holds the whole example.
QString FindExampleFolder(const QString& ProgramFolder);
// The example's files in the order "Add Files..." takes them: the
// recording, then the shoreline; empty unless both are there.
QStringList ExampleFiles(const QString& Folder);

}  // namespace sondralis
