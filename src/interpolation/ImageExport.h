#pragma once

#include <string>

#include "view/Canvas.h"

namespace sondralis {

// The picture as a baseline (not progressive) colour JPEG with the standard
// tables scaled to Quality (1 to 100). Throws EFileError for an empty
// picture or when the encoder fails.
std::string EncodeJPEG(const TCanvas& Picture, int Quality = 90);

// The picture formats "Save Image..." writes, by the file name's extension
// in any letter case: ".bmp" (24 bits per pixel), ".jpg" and ".jpeg"
// (quality 90). Empty for any other name.
enum class TPictureFormat { None, BMP, JPEG };
TPictureFormat PictureFormatOf(const std::string& Path);

// Writes the picture atomically in the format its extension names (BMP of
// 24 bits per pixel, or JPEG of quality 90). Throws EFileError for an empty
// picture, an extension of no picture format, or a failed write; then
// nothing is written.
void WritePicture(const TCanvas& Picture, const std::string& Path);

}  // namespace sondralis
