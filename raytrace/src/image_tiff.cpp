#include "raytrace/image_tiff.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/arch.h"
#include "shading_files/tiffimage.h"

namespace {
const char VERSION[] = "2.5.0.7";

// libtiff complains once for every row it cannot store: while the image is
// written its first complaint is kept to go with the one report of the failure.
std::string *complaint_sink = nullptr;

void keep_complaint(const char *, const char *fmt, va_list ap)
{
    if (!complaint_sink || !complaint_sink->empty() || !fmt) return;
    char text[512];
    vsnprintf(text, sizeof text, fmt, ap);
    *complaint_sink = text;
    while (!complaint_sink->empty() && (complaint_sink->back() == '.' || complaint_sink->back() == '\n'))
        complaint_sink->pop_back();
}

class QuietLibtiff {
public:
    explicit QuietLibtiff(std::string &sink) : before_(TIFFSetErrorHandler(keep_complaint)) { complaint_sink = &sink; }
    ~QuietLibtiff()
    {
        TIFFSetErrorHandler(before_);
        complaint_sink = nullptr;
    }

private:
    TIFFErrorHandler before_;
};
} // namespace

std::string image_tiff_description(const ImageTiffTags &t)
{
    char text[256];
    snprintf(text, sizeof text, "VELK%s %s, res%dx%d, samp%dx%d", VERSION, velk::ARCH_CODE, t.format_width,
             t.format_height, t.xsamples, t.ysamples);
    return text;
}

const char *image_tiff_software()
{
    static const std::string text = std::string("Ostrane Rendering Tools ") + VERSION + " " + velk::ARCH_CODE;
    return text.c_str();
}

const char *image_tiff_host()
{
    const char *h = getenv("HOSTNAME");
    return h ? h : getenv("host");
}

bool ImageTiff::create(const char *path, int width, int height, int samples, int bits, bool compress,
                       const ImageTiffTags &tags)
{
    close();
    if (width < 1 || height < 1 || (bits != 8 && bits != 16 && bits != 32) || samples < 1) return false;
    TiffImageInfo info;
    info.width = width;
    info.height = height;
    info.samples = samples;
    info.bits = bits;
    info.sampleformat = bits == 32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT;
    if (!path || !file_.open(path)) return false;
    TIFF *tif = tiff_open_write(file_.path().c_str(), info, compress ? COMPRESSION_LZW : COMPRESSION_NONE);
    if (!tif) {
        file_.discard();
        return false;
    }
    // The predictor belongs to LZW of integer samples and must follow the compression.
    if (compress && bits < 32) TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(tags.rows_per_strip < 1 ? 1 : tags.rows_per_strip));
    if (tags.xresolution != 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, tags.xresolution);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, tags.yresolution);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, uint16_t(tags.resolution_unit));
    } else {
        TIFFUnsetField(tif, TIFFTAG_XRESOLUTION);
        TIFFUnsetField(tif, TIFFTAG_YRESOLUTION);
        TIFFUnsetField(tif, TIFFTAG_RESOLUTIONUNIT);
    }
    if (tags.positioned) {
        TIFFSetField(tif, TIFFTAG_XPOSITION, float(tags.xposition));
        TIFFSetField(tif, TIFFTAG_YPOSITION, float(tags.yposition));
    }
    if (const char *host = image_tiff_host()) TIFFSetField(tif, TIFFTAG_HOSTCOMPUTER, host);
    TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, image_tiff_description(tags).c_str());
    TIFFSetField(tif, TIFFTAG_SOFTWARE, image_tiff_software());
    tif_ = tif;
    width_ = width;
    height_ = height;
    row_bytes_ = size_t(width) * size_t(samples) * size_t(bits / 8);
    next_row_ = 0;
    failed_ = false;
    complaint_.clear();
    return true;
}

bool ImageTiff::write_row(int y, const void *pixels)
{
    if (!tif_ || failed_ || y < 0 || y >= height_) return false;
    if (y < next_row_) return true;
    QuietLibtiff quiet(complaint_);
    // The codec needs the rows in order: the gap is black.
    if (y > next_row_) scratch_.assign(row_bytes_, 0);
    // One failed row says it all: the rest would each repeat libtiff's complaint.
    for (; next_row_ < y && !failed_; ++next_row_)
        if (TIFFWriteScanline(tif_, scratch_.data(), uint32_t(next_row_), 0) < 0) failed_ = true;
    if (failed_) return false;
    // libtiff may change the row it encodes: hand it a copy.
    scratch_.assign(static_cast<const unsigned char *>(pixels), static_cast<const unsigned char *>(pixels) + row_bytes_);
    if (TIFFWriteScanline(tif_, scratch_.data(), uint32_t(y), 0) < 0) failed_ = true;
    ++next_row_;
    return !failed_;
}

bool ImageTiff::close()
{
    if (!tif_) return true;
    QuietLibtiff quiet(complaint_);
    if (next_row_ < height_) {
        scratch_.assign(row_bytes_, 0);
        for (; next_row_ < height_ && !failed_; ++next_row_)
            if (TIFFWriteScanline(tif_, scratch_.data(), uint32_t(next_row_), 0) < 0) failed_ = true;
    }
    if (!failed_ && !TIFFFlush(tif_)) failed_ = true;
    TIFFClose(tif_);
    tif_ = nullptr;
    scratch_.clear();
    if (!failed_ && file_.commit()) return true;
    file_.discard();
    return false;
}

void ImageTiff::abandon()
{
    QuietLibtiff quiet(complaint_);
    if (tif_) TIFFClose(tif_);
    tif_ = nullptr;
    scratch_.clear();
    file_.discard();
}
