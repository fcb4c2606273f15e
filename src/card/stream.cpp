#include "card/stream.h"
#include "card/errors.h"
#include "card/syserror.h"

#include <QIODevice>
#include <cstring>

namespace {
const char *kShortRead = "ファイルの終わりを越えて読もうとしました";
}

std::uint8_t Stream::ReadByte()
{
    std::uint8_t v;
    Read(&v, 1);
    return v;
}

std::int32_t Stream::ReadInt32()
{
    unsigned char b[4];
    Read(b, 4);
    std::uint32_t u = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                      std::uint32_t(b[3]) << 24;
    return static_cast<std::int32_t>(u);
}

void Stream::WriteByte(std::uint8_t v)
{
    Write(&v, 1);
}

void Stream::WriteInt32(std::int32_t v)
{
    std::uint32_t u = static_cast<std::uint32_t>(v);
    unsigned char b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                          static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    Write(b, 4);
}

void MemoryStream::Read(void *buffer, std::int64_t n)
{
    if (n < 0 || n > Remaining())
        throw ReadError(kShortRead);
    if (n > 0)
        std::memcpy(buffer, bytes.constData() + pos, static_cast<std::size_t>(n));
    pos += n;
}

void MemoryStream::Write(const void *buffer, std::int64_t n)
{
    if (n <= 0)
        return;
    if (pos == bytes.size()) {
        bytes.append(static_cast<const char *>(buffer), n);
    } else {
        if (pos + n > bytes.size())
            bytes.resize(pos + n);
        std::memcpy(bytes.data() + pos, buffer, static_cast<std::size_t>(n));
    }
    pos += n;
}

void DeviceStream::Read(void *buffer, std::int64_t n)
{
    char *p = static_cast<char *>(buffer);
    while (n > 0) {
        qint64 got = dev->read(p, n);
        if (got <= 0)
            throw ReadError(kShortRead);
        p += got;
        n -= got;
    }
}

void DeviceStream::Write(const void *buffer, std::int64_t n)
{
    const char *p = static_cast<const char *>(buffer);
    while (n > 0) {
        qint64 put = dev->write(p, n);
        if (put <= 0)
            throw WriteError("ファイルに書き込めません: " +
                             JapaneseErrorText(dev->errorString()).toStdString());
        p += put;
        n -= put;
    }
}

std::int64_t DeviceStream::Remaining() const
{
    if (dev->isSequential())
        return dev->bytesAvailable();
    return dev->size() - dev->pos();
}
