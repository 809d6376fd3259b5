#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

namespace quorvane::testing {

// A throwaway PostgreSQL cluster that only a Unix socket in its own folder
// reaches. The server refuses root: as root, its programs run as "postgres".
class PgCluster {
public:
    // Empty when this machine has no PostgreSQL server programs.
    static QString BinDir() {
        const QDir root(QStringLiteral("/usr/lib/postgresql"));
        for (const QString& version : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (QFile::exists(root.filePath(version + QStringLiteral("/bin/pg_ctl"))))
                return root.filePath(version + QStringLiteral("/bin"));
        }
        return {};
    }

    PgCluster() {
        if (const passwd* pw = ::getpwnam("postgres"); pw && ::geteuid() == 0)
            m_owned =
                ::chown(QFile::encodeName(m_dir.path()).constData(), pw->pw_uid, pw->pw_gid) == 0;
    }
    ~PgCluster() {
        if (m_running)
            run(QStringLiteral("pg_ctl"), {"-D", data(), "-m", "immediate", "-w", "stop"});
    }

    // The superuser "qv" comes in without a password, any other role with one.
    bool create(QString* error) {
        if (!run(QStringLiteral("initdb"),
                 {"-D", data(), "-A", "trust", "-U", "qv", "--no-sync", "-E", "UTF8", "--locale=C"},
                 error))
            return false;
        QFile hba(data() + QStringLiteral("/pg_hba.conf"));
        if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        hba.write("local all qv trust\nlocal all all scram-sha-256\n");
        hba.close();
        return start(error);
    }
    bool start(QString* error = nullptr) {
        m_running =
            run(QStringLiteral("pg_ctl"),
                {"-D", data(), "-o",
                 QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off").arg(m_dir.path()),
                 "-l", m_dir.filePath("server.log"), "-w", "start"},
                error);
        return m_running;
    }
    bool stop(QString* error = nullptr) {
        m_running =
            !run(QStringLiteral("pg_ctl"), {"-D", data(), "-m", "fast", "-w", "stop"}, error);
        return !m_running;
    }

    QString url(const QString& database, const QString& user = QStringLiteral("qv")) const {
        return QStringLiteral("postgresql://%1@localhost/%2?host=%3")
            .arg(user, database, m_dir.path());
    }

    bool exec(const QString& database, const QStringList& statements, QString* error) {
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_dir.path());
            db.setHostName(m_dir.path());
            db.setUserName(QStringLiteral("qv"));
            db.setDatabaseName(database);
            ok = db.open();
            *error = db.lastError().text();
            QSqlQuery query(db);
            for (const QString& statement : statements) {
                if (ok && !query.exec(statement)) {
                    ok = false;
                    *error = query.lastError().text();
                }
            }
        }
        QSqlDatabase::removeDatabase(m_dir.path());
        return ok;
    }

private:
    QString data() const { return m_dir.filePath(QStringLiteral("data")); }
    bool run(const QString& program, const QStringList& args, QString* error = nullptr) const {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        const QString path = BinDir() + QLatin1Char('/') + program;
        if (m_owned)
            process.start(QStringLiteral("runuser"),
                          QStringList{"-u", "postgres", "--", path} + args);
        else
            process.start(path, args);
        const bool ok = process.waitForFinished(60000) &&
                        process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (!ok && error)
            *error = program + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAll());
        return ok;
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/qvpg-XXXXXX")};
    bool m_owned = false; // handed to "postgres"
    bool m_running = false;
};

} // namespace quorvane::testing
