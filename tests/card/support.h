#pragma once
#include "card/objects.h"
#include "encode_image.h"

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <string>

// A card for a test; the collection destroys its objects.
struct OwnedCard
{
    Objects objects;
};

// Card file bytes written field by field, independently of the library's
// writer, so layout tests compare against what the format says.
class ByteWriter
{
public:
    ByteWriter &u8(int v);
    ByteWriter &i32(std::int32_t v);
    ByteWriter &shortString(const std::string &s);
    ByteWriter &raw(const QByteArray &bytes);
    const QByteArray &data() const { return bytes; }

private:
    QByteArray bytes;
};

// A photo-like picture: smooth gradients with noise, so JPEG sizes are
// realistic. The same seed gives the same pixels.
QImage photoImage(int width, int height, unsigned seed);

// Small pictures for the sample card (a few hundred bytes to a few KB).
QByteArray sampleJpeg();
QByteArray sampleBmp();

// The default card with every field filled in, the JPEG as background, the
// bitmap as picture and the QR object's source set.
void buildSampleCard(Objects &card);

QByteArray saveCard(const Objects &card);
// LoadCard over the bytes; throws as LoadCard does.
bool loadCard(const QByteArray &bytes, Objects &card);

// The UTF-8 text as code page 932 bytes.
std::string sj(const char *utf8);

// Space-separated hex, for readable failure messages.
std::string hex(const QByteArray &bytes);
