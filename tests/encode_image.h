#pragma once
// Test and benchmark data: a picture's file image as a program that saved it
// would write it. Throws when Qt cannot write the format.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <stdexcept>
#include <string>

inline QByteArray encodeImage(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality))
        throw std::runtime_error(std::string("test data: cannot encode ") + format);
    return bytes;
}
