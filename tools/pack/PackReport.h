#pragma once

#include "core/personalise/PackageInspect.h"

#include <QByteArray>

// The decoded fields of a package as `quorvane-pack inspect` prints them.
QByteArray FormatReport(const quorvane::PackageReport& report);

// A text for one line: printable bytes as they are, others as \xNN.
QByteArray Escaped(const QByteArray& bytes);
