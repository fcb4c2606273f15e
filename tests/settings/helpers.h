#pragma once
#include <QFile>
#include <QString>
#include <ostream>
#include <stdexcept>
#include <string>

inline std::string ReadBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<unreadable>";
    }
    const QByteArray data = file.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

inline void WriteBytes(const QString &path, const std::string &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("test setup: cannot write " + path.toStdString());
    }
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// Readable QString values in failure messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
