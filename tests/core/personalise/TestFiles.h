#pragma once

#include "core/personalise/PackageSources.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtEndian>

// Small file helpers and the program folder shared by the package tests.
namespace testfiles {

inline bool Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Distinct non-zero bytes, so that a shifted or truncated copy shows.
inline QByteArray Pattern(qsizetype size, int seed = 1) {
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = static_cast<char>(((i * 7 + seed) % 251) + 1);
    return out;
}

inline QByteArray LeWord(quint32 value) {
    QByteArray out(4, '\0');
    qToLittleEndian(value, out.data());
    return out;
}

inline QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// A temporary folder holding the program folder "out" and the three sources.
struct Workspace {
    Workspace() = default;
    explicit Workspace(const QString& parent) : dir(parent + "/tst_packages-XXXXXX") {}
    QTemporaryDir dir;
    bool valid() { return dir.isValid() && QDir(dir.path()).mkdir("out"); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QString out() const { return dir.filePath("out") + '/'; }
    quorvane::PackageSources sources() const {
        return {path("uboot.bin"), path("default.cfg"), path("root.bin")};
    }
};

} // namespace testfiles
