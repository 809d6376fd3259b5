#pragma once

#include "tests/support/LiveStation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

namespace quorvane::testing {

// A throwaway PostgreSQL cluster that only a Unix socket in its own folder
// reaches, superuser "qv". The server refuses root: as root, its programs
// run as "postgres".
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

    ~PgCluster() {
        if (m_running)
            ctl("stop", nullptr);
    }

    // Then runs `sql` as "qv" on the database "postgres".
    bool create(const QStringList& sql, QString* error) {
        QStringList psql{"-h", m_dir.path(), "-U", "qv", "-d", "postgres", "-v", "ON_ERROR_STOP=1"};
        for (const QString& statement : sql)
            psql << "-c" << statement;
        const passwd* pw = ::getpwnam("postgres");
        m_asPostgres =
            pw && ::geteuid() == 0 &&
            ::chown(QFile::encodeName(m_dir.path()).constData(), pw->pw_uid, pw->pw_gid) == 0;
        return run("initdb", {"-D", data(), "-A", "trust", "-U", "qv", "--no-sync"}, error) &&
               ctl("start", error) && run("psql", psql, error);
    }
    // "start" or "stop" (fast: clients are cut off as when a server goes away).
    bool ctl(const char* action, QString* error) {
        const QString options = QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off");
        const bool ok = run("pg_ctl",
                            {"-D", data(), "-o", options.arg(m_dir.path()), "-l",
                             m_dir.filePath("server.log"), "-m", "fast", "-w", action},
                            error);
        m_running = ok == (qstrcmp(action, "start") == 0);
        return ok;
    }

    QString url(const QString& database) const {
        return QStringLiteral("postgresql://qv@localhost/%1?host=%2").arg(database, m_dir.path());
    }

private:
    QString data() const { return m_dir.filePath(QStringLiteral("data")); }
    bool run(const char* program, const QStringList& args, QString* error = nullptr) const {
        QStringList command =
            m_asPostgres ? QStringList{"runuser", "-u", "postgres", "--"} : QStringList();
        Program run(command << BinDir() + QLatin1Char('/') + QLatin1String(program) << args);
        const bool ok = run.wait() == 0;
        if (!ok && error)
            *error = QLatin1String(program) + QStringLiteral(": ") +
                     QString::fromLocal8Bit(run.output() + run.errors());
        return ok;
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/qvpg-XXXXXX")};
    bool m_asPostgres = false;
    bool m_running = false;
};

} // namespace quorvane::testing
