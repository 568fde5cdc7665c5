#pragma once

#include <string>

#include "view/Canvas.h"

namespace sondralis {

class Host;

// The picture as a baseline (not progressive) colour JPEG with the standard
// tables scaled to Quality (1 to 100). Throws EFileError for an empty
// picture or when the encoder fails.
std::string EncodeJPEG(const TCanvas& Picture, int Quality = 90);

// The picture formats "Save Image..." writes, by the file name's extension
// in any letter case: ".bmp" (24 bits per pixel), ".jpg" and ".jpeg"
// (quality 90). Empty for any other name.
enum class TPictureFormat { None, BMP, JPEG };
TPictureFormat PictureFormatOf(const std::string& Path);

// "Save Image...": asks for a file name (title "Save image", BMP first, then
// JPEG), asks before overwriting an existing file, and writes the picture
// atomically in the format its extension names. An unsupported extension, an
// empty picture or a failed write is reported through host.ShowError and
// writes nothing. Returns the path written, or empty.
std::string SavePicture(Host& host, const TCanvas& Picture);

}  // namespace sondralis
