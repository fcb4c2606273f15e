#pragma once
#include <QByteArray>
#include <cstdint>
#include <string>

class QIODevice;

// A byte stream whose short read throws ReadError and whose failed write
// throws WriteError, as the card file reader and writer expect.
class Stream
{
public:
    virtual ~Stream() = default;
    // Reads exactly n bytes or throws ReadError.
    virtual void Read(void *buffer, std::int64_t n) = 0;
    virtual void Write(const void *buffer, std::int64_t n) = 0;
    // Bytes left to read; used to refuse a length larger than the data.
    virtual std::int64_t Remaining() const = 0;

    std::uint8_t ReadByte();
    std::int32_t ReadInt32();
    void WriteByte(std::uint8_t v);
    void WriteInt32(std::int32_t v);
};

class MemoryStream : public Stream
{
public:
    MemoryStream() = default;
    explicit MemoryStream(QByteArray data) : bytes(std::move(data)) {}
    void Read(void *buffer, std::int64_t n) override;
    void Write(const void *buffer, std::int64_t n) override;
    std::int64_t Remaining() const override { return bytes.size() - pos; }
    const QByteArray &Data() const { return bytes; }
    void Rewind() { pos = 0; }

private:
    QByteArray bytes;
    std::int64_t pos = 0;
};

// Over an open QIODevice; the device is not owned.
class DeviceStream : public Stream
{
public:
    explicit DeviceStream(QIODevice *device) : dev(device) {}
    void Read(void *buffer, std::int64_t n) override;
    void Write(const void *buffer, std::int64_t n) override;
    std::int64_t Remaining() const override;

private:
    QIODevice *dev;
};
