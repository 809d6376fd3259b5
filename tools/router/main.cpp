// quorvane-router: stands in for a router's boot loader fetching its files.

#include "tools/router/RouterOptions.h"
#include "tools/router/RouterSession.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTextStream>

using namespace quorvane::router;

namespace {

QByteArray OutcomeJson(const RouterOutcome& o, bool ok) {
    QJsonObject json;
    json.insert(QStringLiteral("asked"), o.nameAsked);
    json.insert(QStringLiteral("served"), QJsonArray::fromStringList(o.namesServed));
    json.insert(QStringLiteral("bytes"), o.complete ? qint64(o.data.size()) : qint64(0));
    json.insert(QStringLiteral("sha256"),
                o.complete
                    ? QString::fromLatin1(
                          QCryptographicHash::hash(o.data, QCryptographicHash::Sha256).toHex())
                    : QString());
    json.insert(QStringLiteral("blocks"), o.blocks);
    json.insert(QStringLiteral("retransmissions"), o.retransmissions);
    json.insert(QStringLiteral("restarts"), o.restarts);
    json.insert(QStringLiteral("blockSize"), o.blockSize);
    json.insert(QStringLiteral("windowSize"), o.windowSize);
    json.insert(QStringLiteral("mac"), o.macReceived);
    json.insert(QStringLiteral("check"), o.check);
    json.insert(QStringLiteral("ok"), ok);
    if (!o.error.isEmpty())
        json.insert(QStringLiteral("error"), o.error);
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

bool WriteOut(const QString& path, const QByteArray& data, QString& error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit())
        return true;
    error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const ParsedOptions parsed = ParseRouterOptions(app.arguments().mid(1));
    if (!parsed.error.isEmpty()) {
        QTextStream(stderr) << "quorvane-router: " << parsed.error << '\n' << RouterUsage();
        return 2;
    }
    RouterSession session(parsed.options);
    QObject::connect(&session, &RouterSession::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QMetaObject::invokeMethod(&session, &RouterSession::start, Qt::QueuedConnection);
    app.exec();

    RouterOutcome outcome = session.outcome();
    bool ok = outcome.complete && outcome.error.isEmpty();
    if (outcome.complete && !parsed.options.outPath.isEmpty()) {
        QString error;
        if (!WriteOut(parsed.options.outPath, outcome.data, error)) {
            outcome.error = error;
            ok = false;
        }
    }
    QTextStream(stdout) << OutcomeJson(outcome, ok) << '\n';
    return ok ? 0 : 1;
}
