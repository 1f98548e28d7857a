#include "windows/JpegImage.h"

#include <QFile>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace {
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void IgnoreJpegMessage(j_common_ptr) {}

// Kept apart from DecodeJpeg so that no object with a destructor lives across setjmp.
bool DecodeInto(const QByteArray& data, QImage& image) {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = OnJpegError;
    errors.pub.output_message = IgnoreJpegMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_RGBX;
    jpeg_start_decompress(&info);
    image = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGBX8888);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}
} // namespace

QImage DecodeJpeg(const QByteArray& data) {
    QImage image;
    if (data.isEmpty() || !DecodeInto(data, image))
        return QImage();
    return image;
}

QImage SensorPicture() {
    QFile file(QStringLiteral(":/assets/sensor.jpg"));
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    return DecodeJpeg(file.readAll());
}
