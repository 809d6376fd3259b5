#pragma once

#include "tests/support/LiveStation.h"

#include <pwd.h>

namespace quorvane::testing {

// A throwaway PostgreSQL cluster that only a Unix socket in its own folder
// reaches, superuser "qv". The server refuses root: as root, its programs
// run as "postgres".
struct PgCluster {
    // Empty when this machine has no PostgreSQL server programs.
    static QString BinDir() {
        const QDir root(QStringLiteral("/usr/lib/postgresql"));
        for (const QString& version : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (QFile::exists(root.filePath(version + QStringLiteral("/bin/pg_ctl"))))
                return root.filePath(version + QStringLiteral("/bin"));
        return {};
    }
    ~PgCluster() {
        if (running)
            ctl("stop");
    }
    // Then runs `sql` as "qv" on the database "postgres".
    bool create(const QStringList& sql) {
        QStringList psql{"-h", dir.path(), "-U", "qv", "-d", "postgres", "-v", "ON_ERROR_STOP=1"};
        for (const QString& statement : sql)
            psql << "-c" << statement;
        const passwd* pw = ::getpwnam("postgres");
        asPostgres =
            pw && ::geteuid() == 0 &&
            ::chown(QFile::encodeName(dir.path()).constData(), pw->pw_uid, pw->pw_gid) == 0;
        return run("initdb",
                   {"-D", dir.filePath("data"), "-A", "trust", "-U", "qv", "--no-sync"}) &&
               ctl("start") && run("psql", psql);
    }
    // "start" or "stop" (fast: clients are cut off as when a server goes away).
    bool ctl(const char* action) {
        const QString options = QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off");
        const bool ok =
            run("pg_ctl", {"-D", dir.filePath("data"), "-o", options.arg(dir.path()), "-l",
                           dir.filePath("server.log"), "-m", "fast", "-w", action});
        running = ok == (qstrcmp(action, "start") == 0);
        return ok;
    }
    QString url(const QString& database, const QString& user = "qv") const {
        return QStringLiteral("postgresql://%1@localhost/%2?host=%3")
            .arg(user, database, dir.path());
    }
    bool run(const char* program, const QStringList& args) {
        QStringList command =
            asPostgres ? QStringList{"runuser", "-u", "postgres", "--"} : QStringList();
        Program run(command << BinDir() + QLatin1Char('/') + QLatin1String(program) << args);
        if (run.wait() == 0)
            return true;
        error = QLatin1String(program) + ": " + QString::fromLocal8Bit(run.output() + run.errors());
        return false;
    }

    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/qvpg-XXXXXX")};
    bool asPostgres = false;
    bool running = false;
    QString error; // of the last program that failed
};

} // namespace quorvane::testing
