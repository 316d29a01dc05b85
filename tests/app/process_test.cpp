// The program as the system runs it: its own process in a working folder of the test's own,
// ended by the signals a desktop session or a shutdown sends, and started twice in one folder.
#include "config/configimage.h"
#include "tests/support/scratchfolder.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Program : public ScratchFolderTest
{
protected:
    // A project whose byte 903 is set: only a save (the load clears it) writes it as 0.
    void writeProject(const QString &ini = QStringLiteral("p.rel"))
    {
        QByteArray image(ConfigImage::Size, '\x21');
        image[ImageOffset::Reserved903] = '\x5A';
        write(QStringLiteral("p.rel"), image);
        write(QStringLiteral("ini.cfg"), "8\r\n" + ini.toUtf8() + "\r\nLeer\r\n");
    }

    // Starts the window offscreen in the test's folder.
    void launch(QProcess &process)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral(ZELKORA_PROGRAM), {});
    }

    // Starts the window and waits until it holds its folder.
    void start(QProcess &process)
    {
        launch(process);
        ASSERT_TRUE(process.waitForStarted(5000));
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(path(QStringLiteral("zelkora.lock"))) && waited.elapsed() < 10000)
            QThread::msleep(20);
        // The end signals are caught before the lock is made: from here on, one is saved.
        ASSERT_TRUE(QFile::exists(path(QStringLiteral("zelkora.lock"))));
    }

    // Starts the window where it is to refuse: what it says on standard error, once its own
    // line is there (Qt may say something first); its box then waits for a user, so the
    // caller ends it by force.
    QByteArray refusal(QProcess &process)
    {
        launch(process);
        QElapsedTimer waited;
        waited.start();
        QByteArray said;
        const auto saidIt = [&said] {
            const qsizetype at = said.indexOf("zelkora: ");
            return at >= 0 && said.indexOf('\n', at) > at;
        };
        while (!saidIt() && process.state() != QProcess::NotRunning && waited.elapsed() < 20000) {
            process.waitForReadyRead(100);
            said += process.readAllStandardError();
        }
        return said;
    }
};

TEST_F(Program, EndSignalsSaveLikeAClose)
{
    for (const int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
        SCOPED_TRACE(signal);
        writeProject();
        QProcess program;
        start(program);
        ASSERT_EQ(::kill(pid_t(program.processId()), signal), 0);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().constData();
        const QByteArray saved = read(QStringLiteral("p.rel"));
        ASSERT_EQ(saved.size(), ConfigImage::Size);
        EXPECT_EQ(saved[ImageOffset::Reserved903], '\0') << "the project was not saved";
        EXPECT_EQ(read(QStringLiteral("ini.cfg")), QByteArray("8\r\np.rel\r\nLeer\r\n"));
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("zelkora.lock"))));
    }
}

// An end by signal never writes over a file the user did not give it: one that is no project,
// or a project the user made read-only. It says so and ends with status 1.
struct KeptFileCase
{
    const char *name;
    const char *file;
    QByteArray contents;
    bool readOnly;
    const char *says;
};

TEST_F(Program, AnEndSignalNeverReplacesAFileThatIsNoProjectOrReadOnly)
{
    const KeptFileCase cases[] = {
        {"a note", "notiz.txt", QByteArray(492, 'n'), false, "notiz.txt: keine Projektdatei"},
        {"a read-only project", "p.rel", QByteArray(ConfigImage::Size, '\x21'), true,
         "p.rel: schreibgeschützt"},
    };
    for (const KeptFileCase &c : cases) {
        SCOPED_TRACE(c.name);
        writeProject(QString::fromLatin1(c.file));
        QFile::setPermissions(path(QStringLiteral("p.rel")), QFile::ReadOwner | QFile::WriteOwner);
        write(QString::fromLatin1(c.file), c.contents);
        if (c.readOnly) {
            ASSERT_TRUE(QFile::setPermissions(path(QString::fromLatin1(c.file)),
                                              QFile::ReadOwner | QFile::ReadGroup));
        }
        QProcess program;
        start(program);
        ASSERT_EQ(::kill(pid_t(program.processId()), SIGTERM), 0);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitCode(), 1);
        EXPECT_TRUE(program.readAllStandardError().contains(c.says));
        EXPECT_EQ(read(QString::fromLatin1(c.file)), c.contents);
    }
}

// In a folder that everybody may write to, files that another user put there are not acted
// on, and a lock that cannot be made keeps the window from starting at all.
TEST_F(Program, FilesOfAnotherUserInASharedFolderAreNotActedOn)
{
    writeProject();
    const QByteArray project = read(QStringLiteral("p.rel"));
    QDir().mkdir(path(QStringLiteral("zelkora.lock"))); // a lock that cannot be made
    QProcess blocked;
    const QByteArray noLock = refusal(blocked);
    EXPECT_TRUE(noLock.contains("zelkora.lock") && noLock.contains("startet hier nicht"))
        << noLock.constData();
    blocked.kill();
    blocked.waitForFinished(5000);
    QDir().rmdir(path(QStringLiteral("zelkora.lock")));

    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 01777), 0);
    ASSERT_EQ(::chown(QFile::encodeName(path(QStringLiteral("ini.cfg"))).constData(), 65534, 65534),
              0);
    QProcess program;
    const QByteArray said = refusal(program);
    EXPECT_TRUE(said.contains("ini.cfg geh\xc3\xb6rt einem anderen Benutzer (UID 65534)"))
        << said.constData();
    EXPECT_TRUE(said.contains("startet ohne Projekt")) << said.constData();
    program.kill();
    program.waitForFinished(5000);
    EXPECT_EQ(read(QStringLiteral("p.rel")), project);
    EXPECT_EQ(read(QStringLiteral("ini.cfg")), QByteArray("8\r\np.rel\r\nLeer\r\n"));
}

TEST_F(Program, ASecondWindowInOneFolderSaysWhoHoldsItAndAStaleLockIsTakenOver)
{
    writeProject();
    QProcess first;
    start(first);
    QProcess second;
    const QByteArray said = refusal(second);
    EXPECT_TRUE(said.contains(QStringLiteral("läuft in diesem Ordner schon (Prozess %1)")
                                  .arg(first.processId())
                                  .toUtf8()))
        << said.constData();
    second.kill(); // its box waits for a user
    second.waitForFinished(5000);
    EXPECT_EQ(first.state(), QProcess::Running);

    // A crash leaves the lock behind: the next start takes it over.
    first.kill();
    first.waitForFinished(5000);
    ASSERT_TRUE(QFile::exists(path(QStringLiteral("zelkora.lock"))));
    QProcess next;
    start(next);
    EXPECT_EQ(next.state(), QProcess::Running);
    ::kill(pid_t(next.processId()), SIGTERM);
    EXPECT_TRUE(next.waitForFinished(10000));
}

} // namespace
