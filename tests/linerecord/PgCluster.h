#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvane::testing {

// Runs a program to its end while this thread's event loop turns, its output
// into `output`. posix_spawn, not QProcess: ThreadSanitizer takes Qt's way of
// starting a child for a fork of this threaded process, and sees nothing after.
inline int Spawn(const QStringList& command, const QString& output = QStringLiteral("/dev/null")) {
    QByteArrayList bytes;
    QList<char*> argv;
    for (const QString& arg : command)
        argv.push_back(bytes.emplace_back(QFile::encodeName(arg)).data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, QFile::encodeName(output).constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int failed = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return -1;
    int status = 0;
    QEventLoop loop;
    QTimer poll;
    const QDeadlineTimer deadline(120000);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (deadline.hasExpired())
            ::kill(pid, SIGKILL);
        if (::waitpid(pid, &status, WNOHANG) == pid)
            loop.quit();
    });
    poll.start(2);
    loop.exec();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
        const QString path = BinDir() + QLatin1Char('/') + QLatin1String(program);
        const QString output = m_dir.filePath(QStringLiteral("command.txt"));
        QStringList command =
            m_asPostgres ? QStringList{"runuser", "-u", "postgres", "--"} : QStringList();
        const bool ok = Spawn(command << path << args, output) == 0;
        QFile text(output);
        if (!ok && error && text.open(QIODevice::ReadOnly))
            *error = QLatin1String(program) + QStringLiteral(": ") +
                     QString::fromLocal8Bit(text.readAll());
        return ok;
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/qvpg-XXXXXX")};
    bool m_asPostgres = false;
    bool m_running = false;
};

} // namespace quorvane::testing
