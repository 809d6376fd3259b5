#include "tools/router/RouterOptions.h"

#include "core/personalise/MacPackage.h"

namespace quorvane::router {

namespace {

bool ParseInt(const QString& text, qint64 low, qint64 high, qint64& out) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || value < low || value > high)
        return false;
    out = value;
    return true;
}

bool ParseProbability(const QString& text, double& out) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !(value >= 0.0 && value <= 1.0))
        return false;
    out = value;
    return true;
}

} // namespace

QString RouterUsage() {
    return QStringLiteral(
        "usage: quorvane-router [--server ADDR] [--port N] [--name NAME] [--crc N | --bootloader "
        "FILE] [--done] [--out FILE]\n"
        "                       [--timeout-ms N] [--retries N] [--scan-wait-ms N] [--loss P] "
        "[--dup P] [--lose-last] [--seed N] [--quiet]\n"
        "                       [--blksize N] [--windowsize N]\n");
}

ParsedOptions ParseRouterOptions(const QStringList& arguments) {
    ParsedOptions parsed;
    RouterOptions& o = parsed.options;
    bool haveCrc = false;
    bool haveBootLoader = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        auto fail = [&](const QString& why) {
            parsed.error = QStringLiteral("%1: %2").arg(arg, why);
            return parsed;
        };
        if (arg == u"--done") {
            o.done = true;
            continue;
        }
        if (arg == u"--quiet") {
            o.quiet = true;
            continue;
        }
        if (arg == u"--lose-last") {
            o.loseLast = true;
            continue;
        }
        static const QStringList valued{
            "--server", "--port",       "--name",    "--crc",          "--bootloader",
            "--out",    "--timeout-ms", "--retries", "--scan-wait-ms", "--loss",
            "--dup",    "--seed",       "--blksize", "--windowsize"};
        if (!valued.contains(arg))
            return fail(QStringLiteral("unknown option"));
        if (i + 1 >= arguments.size())
            return fail(QStringLiteral("missing value"));
        const QString value = arguments[++i];
        qint64 n = 0;
        if (arg == u"--server") {
            if (!o.server.setAddress(value) || o.server.protocol() != QAbstractSocket::IPv4Protocol)
                return fail(QStringLiteral("not an IPv4 address"));
        } else if (arg == u"--port") {
            if (!ParseInt(value, 1, 65535, n))
                return fail(QStringLiteral("not a port"));
            o.port = static_cast<quint16>(n);
        } else if (arg == u"--name") {
            if (value.isEmpty() || value.toLatin1().size() > 127)
                return fail(QStringLiteral("a name has 1 to 127 characters"));
            o.name = value;
        } else if (arg == u"--crc") {
            // Either form of the 32-bit pattern; it is sent as the signed number.
            if (!ParseInt(value, INT32_MIN, UINT32_MAX, n))
                return fail(QStringLiteral("not a 32-bit number"));
            o.crc = static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
            haveCrc = true;
        } else if (arg == u"--bootloader") {
            const auto checksum = quorvane::BootLoaderChecksum(value);
            if (!checksum)
                return fail(QStringLiteral("cannot read the file"));
            o.crc = static_cast<std::int32_t>(*checksum);
            haveBootLoader = true;
        } else if (arg == u"--out") {
            o.outPath = value;
        } else if (arg == u"--timeout-ms") {
            if (!ParseInt(value, 1, 600000, n))
                return fail(QStringLiteral("not a time-out"));
            o.timeoutMs = static_cast<int>(n);
        } else if (arg == u"--retries") {
            if (!ParseInt(value, 0, 1000, n))
                return fail(QStringLiteral("not a retry count"));
            o.retries = static_cast<int>(n);
        } else if (arg == u"--scan-wait-ms") {
            if (!ParseInt(value, 1, 86400000, n))
                return fail(QStringLiteral("not a time"));
            o.scanWaitMs = static_cast<int>(n);
        } else if (arg == u"--loss") {
            if (!ParseProbability(value, o.loss))
                return fail(QStringLiteral("not a probability"));
        } else if (arg == u"--dup") {
            if (!ParseProbability(value, o.dup))
                return fail(QStringLiteral("not a probability"));
        } else if (arg == u"--seed") {
            if (!ParseInt(value, 0, UINT32_MAX, n))
                return fail(QStringLiteral("not a seed"));
            o.seed = static_cast<quint32>(n);
        } else if (arg == u"--blksize") {
            if (!ParseInt(value, 8, 65464, n))
                return fail(QStringLiteral("a block size from 8 to 65464"));
            o.blockSize = static_cast<quint32>(n);
        } else if (arg == u"--windowsize") {
            if (!ParseInt(value, 1, 64, n))
                return fail(QStringLiteral("a window from 1 to 64"));
            o.windowSize = static_cast<quint32>(n);
        }
    }
    if (haveCrc && haveBootLoader)
        parsed.error = QStringLiteral("--crc and --bootloader exclude each other");
    // A request with options carries no CRC: it is a package request.
    if ((haveCrc || haveBootLoader) && (o.blockSize || o.windowSize))
        parsed.error = QStringLiteral("--blksize and --windowsize ask without a CRC");
    return parsed;
}

} // namespace quorvane::router
