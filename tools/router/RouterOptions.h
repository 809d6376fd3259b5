#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace quorvane::router {

struct RouterOptions {
    QHostAddress server{QHostAddress::LocalHost};
    quint16 port = 69;
    QString name = QStringLiteral("mac");
    std::int32_t crc = 0;
    bool done = false;
    QString outPath;
    int timeoutMs = 1000;
    int retries = 5;
    int scanWaitMs = 300000; // how long a MACWAIT keeps the router waiting
    double loss = 0.0;
    double dup = 0.0;
    bool loseLast = false; // drop each file's final block the first time it comes
    // Asked for in a standard request (a plain client, not a boot loader).
    std::optional<quint32> blockSize;
    std::optional<quint32> windowSize;
    std::optional<quint32> seed;
    bool quiet = false;
};

struct ParsedOptions {
    RouterOptions options;
    QString error; // empty when the command line was good
};

// `arguments` without the program name.
ParsedOptions ParseRouterOptions(const QStringList& arguments);

QString RouterUsage();

} // namespace quorvane::router
