#include "builder/jpeg_picture.h"

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <jpeglib.h>

namespace tessaro::builder {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnError(j_common_ptr info)
{
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr, int) {}  // warnings (a truncated file) are not printed

std::optional<std::vector<std::uint8_t>> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Decodes into `out` (RGB rows from `firstRow`); false when the data is not a
// readable JPEG. The decompressor lives in the caller's frame so the jump
// back from the error handler leaves nothing half-built behind.
bool Decode(const std::vector<std::uint8_t>& bytes, int bottomRows, int& width, int& height, int& firstRow,
            std::vector<std::uint8_t>& rgb)
{
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
    jpeg_decompress_struct info{};
    ErrorManager err{};
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = OnError;
    err.base.emit_message = OnMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    width = static_cast<int>(info.output_width);
    height = static_cast<int>(info.output_height);
    firstRow = 0;
    if (bottomRows > 0 && bottomRows < height) {
        firstRow = height - bottomRows;
        jpeg_skip_scanlines(&info, static_cast<JDIMENSION>(firstRow));
    }
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    rgb.assign(stride * static_cast<std::size_t>(height - firstRow), 128);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb.data() + stride * (info.output_scanline - static_cast<JDIMENSION>(firstRow));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

GreyPicture GreyOf(const RgbPicture& picture, int rows)
{
    GreyPicture p;
    p.width = picture.width;
    p.height = picture.height;
    p.firstRow = rows > 0 && rows < picture.height ? picture.height - rows : 0;
    const std::size_t start = static_cast<std::size_t>(p.firstRow) * static_cast<std::size_t>(picture.width);
    p.grey.resize(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) - start);
    for (std::size_t i = 0; i < p.grey.size(); ++i) {
        const std::uint8_t* px = &picture.rgb[3 * (start + i)];
        p.grey[i] = static_cast<std::uint8_t>((px[0] + px[1] + px[2]) / 3);
    }
    return p;
}

std::optional<GreyPicture> DecodeJpegGrey(const std::vector<std::uint8_t>& bytes, int bottomRows)
{
    int w = 0, h = 0, first = 0;
    std::vector<std::uint8_t> rgb;
    if (!Decode(bytes, bottomRows, w, h, first, rgb)) return std::nullopt;
    GreyPicture p;
    p.width = w;
    p.height = h;
    p.firstRow = first;
    p.grey.resize(rgb.size() / 3);
    for (std::size_t i = 0; i < p.grey.size(); ++i)
        p.grey[i] = static_cast<std::uint8_t>((rgb[3 * i] + rgb[3 * i + 1] + rgb[3 * i + 2]) / 3);
    return p;
}

std::optional<GreyPicture> DecodeJpegGrey(const std::string& path, int bottomRows)
{
    const auto bytes = ReadFile(path);
    if (!bytes) return std::nullopt;
    return DecodeJpegGrey(*bytes, bottomRows);
}

std::optional<RgbPicture> DecodeJpegRgb(const std::string& path)
{
    const auto bytes = ReadFile(path);
    if (!bytes) return std::nullopt;
    RgbPicture p;
    int first = 0;
    if (!Decode(*bytes, 0, p.width, p.height, first, p.rgb)) return std::nullopt;
    return p;
}

std::optional<RgbPicture> DecodeJpegRgb(const std::vector<std::uint8_t>& bytes)
{
    RgbPicture p;
    int first = 0;
    if (!Decode(bytes, 0, p.width, p.height, first, p.rgb)) return std::nullopt;
    return p;
}

std::vector<std::uint8_t> EncodeJpeg(const RgbPicture& picture, int quality, bool subsampled, bool progressive)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (!subsampled)
        for (int c = 0; c < 3; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    info.optimize_coding = TRUE;
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const std::size_t stride = static_cast<std::size_t>(picture.width) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.rgb.data() + stride * info.next_scanline);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

}  // namespace tessaro::builder

namespace tessaro::builder {
Reading ReadImageFile(const std::string& path, int threshold, const UnitGlyphs& units, WorkTables& tables,
                      float* aspect)
{
    const auto picture = DecodeJpegGrey(path, kStatusRows);
    if (!picture) {
        tables = WorkTables{};
        return {};
    }
    if (aspect && picture->width > 0) *aspect = static_cast<float>(picture->height) / static_cast<float>(picture->width);
    return ReadStatusLine(*picture, threshold, units, tables);
}
std::optional<float> PhotoAspect(const std::string& path)
{
    const auto picture = DecodeJpegGrey(path, 1);
    if (!picture || picture->width <= 0) return std::nullopt;
    return static_cast<float>(picture->height) / static_cast<float>(picture->width);
}

}  // namespace tessaro::builder
