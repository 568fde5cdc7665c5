#include "interpolation/ImageExport.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <jpeglib.h>

#include "formats/AtomicFile.h"
#include "model/Text.h"

namespace sondralis {

namespace {

// libjpeg reports errors by calling error_exit, which must not return; it
// jumps back to Compress with the library's message.
struct JpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

extern "C" void OnJpegError(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->Message);
  std::longjmp(error->Jump, 1);
}

// Only plain C data lives in this frame, so jumping out of the library back
// here skips no destructor. The rows come as blue, green, red, which
// libjpeg-turbo takes as they are.
bool Compress(const TCanvas& picture, int quality, std::uint8_t* row, JpegError& error, unsigned char** buffer,
              unsigned long* size) {
  jpeg_compress_struct cinfo;
  cinfo.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = OnJpegError;
  if (setjmp(error.Jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, buffer, size);
  cinfo.image_width = static_cast<JDIMENSION>(picture.Width());
  cinfo.image_height = static_cast<JDIMENSION>(picture.Height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);  // sequential (baseline) Huffman coding, YCbCr
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  JSAMPROW rows[1] = {row};
  for (int y = 0; y < picture.Height(); ++y) {
    picture.ReadRow24(y, row);
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

std::string EncodeJPEG(const TCanvas& Picture, int Quality) {
  if (Picture.Width() <= 0 || Picture.Height() <= 0) throw EFileError("Cannot encode an empty picture as JPEG");
  std::vector<std::uint8_t> row(static_cast<std::size_t>(Picture.Width()) * 3);
  JpegError error{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const bool ok = Compress(Picture, Quality, row.data(), error, &buffer, &size);
  std::string out;
  if (ok && buffer) out.assign(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  if (!ok) throw EFileError(std::string("JPEG encoding failed: ") + error.Message);
  return out;
}

TPictureFormat PictureFormatOf(const std::string& Path) {
  const std::string ext = ToLowerAscii(std::filesystem::path(Path).extension().string());
  if (ext == ".bmp") return TPictureFormat::BMP;
  if (ext == ".jpg" || ext == ".jpeg") return TPictureFormat::JPEG;
  return TPictureFormat::None;
}

void WritePicture(const TCanvas& Picture, const std::string& Path) {
  const TPictureFormat format = PictureFormatOf(Path);
  if (format == TPictureFormat::None)
    throw EFileError("Cannot save " + Path + ": pictures are saved as .bmp, .jpg or .jpeg files.");
  if (format == TPictureFormat::BMP) Picture.SaveToBMP(Path);
  else WriteFileAtomically(Path, EncodeJPEG(Picture, 90));
}

}  // namespace sondralis
