#pragma once
// Whole files for the window tests: written in one go, read back whole.
#include <QDir>
#include <QFile>
#include <QFileInfo>

// Writes the bytes, making the folder first; returns the path.
inline QString WriteBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    if (QFile f(path); f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    return path;
}

inline QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
