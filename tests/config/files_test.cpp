#include "config/configimage.h"
#include "config/fileaccess.h"
#include "config/fileerror.h"
#include "config/projectfile.h"
#include "config/settingsfile.h"
#include "tests/support/printers.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
ConfigImage Pattern(std::uint8_t seed)
{
    ConfigImage image;
    for (int i = 0; i < ConfigImage::Size; ++i)
        image[i] = static_cast<std::uint8_t>(i * 29 + seed);
    return image;
}

QByteArray Bytes(const ConfigImage &image)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()), ConfigImage::Size);
}

void WriteRaw(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray ReadRaw(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Root ignores file modes, so permission cases run in a child that has given up root.
// Returns the child's exit status: the code of the routine under test.
int AsUnprivileged(const std::function<int()> &body)
{
    if (::geteuid() != 0)
        return body();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(250);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 251;
}

class FileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        // The unprivileged child must reach the folder; its modes are what the tests vary.
        ::chmod(QFile::encodeName(m_dir.path()).constData(), 0777);
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QStringList entries() const { return QDir(m_dir.path()).entryList(QDir::Files); }

    QTemporaryDir m_dir;
};
} // namespace

TEST(FileError, MessagesWithoutPeriod)
{
    const struct
    {
        FileStatus status;
        const char16_t *message;
    } cases[] = {
        {{2}, u"Datei nicht gefunden"},
        {{3}, u"Ungültiger Dateiname"},
        {{4}, u"Zu viele geöffnete Dateien"},
        {{5}, u"Dateizugriff verweigert"},
        {{100}, u"Versuch hinter dem Dateiende zu lesen"},
        {{101}, u"Zu wenig Speicherplatz"},
        {{106}, u"Ungültige numerische Eingabe"},
        {{FileError::NoFileName}, u"E/A-Fehler 102"},
        {{5, true}, u"E/A-Fehler 5"},
        {{32, true}, u"E/A-Fehler 32"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FileErrorMessage(c.status), QString::fromUtf16(c.message)) << c.status.code;
    EXPECT_EQ(FileErrorMessage(17), QStringLiteral("E/A-Fehler 17"));
}

TEST(FileError, OperatingSystemErrorsMapOntoTheCodes)
{
    const struct
    {
        int error;
        FileStatus status;
    } cases[] = {
        {ENOENT, {2}},
        {ENOTDIR, {2}},
        {ENAMETOOLONG, {3}},
        {EINVAL, {3}},
        {ELOOP, {3}},
        {EMFILE, {4}},
        {ENFILE, {4}},
        {EACCES, {5}},
        {EPERM, {5}},
        {EROFS, {5}},
        {EISDIR, {5}},
        {ENOSPC, {101}},
        {EDQUOT, {101}},
        {EFBIG, {101}},
        {EIO, {EIO, true}},
        {EXDEV, {EXDEV, true}},
        {ENETDOWN, {ENETDOWN, true}},
        {0, {EIO, true}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(StatusFromErrno(c.error), c.status) << c.error;
}

TEST_F(FileTest, ProjectRoundTripClearsByte903)
{
    ConfigImage saved = Pattern(3);
    saved[903] = 7;
    ASSERT_EQ(SaveProjectFile(path("a.rel"), saved), FileStatus{});
    EXPECT_EQ(ReadRaw(path("a.rel")), Bytes(saved)); // saved unchanged, 903 included

    ConfigImage loaded = Pattern(99);
    ASSERT_EQ(LoadProjectFile(path("a.rel"), loaded), FileStatus{});
    ConfigImage expected = saved;
    expected[903] = 0;
    EXPECT_EQ(loaded, expected);

    ASSERT_EQ(SaveProjectFile(path("a.rel"), loaded), FileStatus{});
    EXPECT_EQ(static_cast<unsigned char>(ReadRaw(path("a.rel"))[903]), 0);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("a.rel")}); // no temporary file left
}

TEST_F(FileTest, ProjectLoadIsAllOrNothing)
{
    const struct
    {
        int size;
        FileStatus status;
    } cases[] = {{0, {100}}, {1, {100}}, {1023, {100}}, {1024, {}}, {5000, {}}};
    for (const auto &c : cases) {
        QByteArray content(c.size, '\0');
        for (int i = 0; i < c.size; ++i)
            content[i] = static_cast<char>(i * 7 + 1);
        WriteRaw(path("p.rel"), content);
        const ConfigImage before = Pattern(50);
        ConfigImage image = before;
        EXPECT_EQ(LoadProjectFile(path("p.rel"), image), c.status) << c.size;
        if (c.status.ok()) {
            QByteArray expected = content.first(1024);
            expected[903] = 0;
            EXPECT_EQ(Bytes(image), expected) << c.size;
        } else {
            EXPECT_EQ(image, before) << c.size;
        }
    }
}

TEST_F(FileTest, ProjectLoadFailures)
{
    WriteRaw(path("plain"), QByteArray(1024, 'x'));
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.rel"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.rel")).constData(), 0666), 0);
    const struct
    {
        QString path;
        FileStatus status;
    } cases[] = {
        {path("missing.rel"), {2}},
        {path("nofolder/a.rel"), {2}},
        {path("plain/a.rel"), {2}}, // a file where a folder should be
        {path("folder.rel"), {5}},  // a folder where the file should be
        {path("pipe.rel"), {5}},    // must not hang waiting for a writer
        {QString(), {FileError::NoFileName}},
        {path("plain") + QChar(u'\0') + QStringLiteral("x"), {3}},
        {path(QString(300, u'n')), {3}},
    };
    for (const auto &c : cases) {
        const ConfigImage before = Pattern(8);
        ConfigImage image = before;
        EXPECT_EQ(LoadProjectFile(c.path, image), c.status) << c.path.left(80).toStdString();
        EXPECT_EQ(image, before);
    }
}

// A project that may not be written can still be opened to look at; saving it is refused.
TEST_F(FileTest, ReadOnlyProjectLoadsButIsNotWritten)
{
    const QString file = path("ro.rel");
    WriteRaw(file, Bytes(Pattern(1)));
    ::chmod(QFile::encodeName(file).constData(), 0444);
    EXPECT_EQ(AsUnprivileged([&] {
                  ConfigImage image;
                  return LoadProjectFile(file, image).code;
              }),
              0);
    EXPECT_EQ(AsUnprivileged([&] { return SaveProjectFile(file, ConfigImage{}).code; }),
              FileError::AccessDenied);
    EXPECT_EQ(ReadRaw(file), Bytes(Pattern(1)));

    ::chmod(QFile::encodeName(file).constData(), 0666); // the same child loads a writable file
    EXPECT_EQ(AsUnprivileged([&] {
                  ConfigImage image;
                  return LoadProjectFile(file, image).code;
              }),
              0);
}

// A folder that refuses new files: a writable file in it is written in place, a read-only
// one is refused and stays as it was.
TEST_F(FileTest, SaveIntoReadOnlyFolderWritesOnlyAWritableFileInPlace)
{
    const QString file = path("old.rel");
    const QString locked = path("locked.rel");
    WriteRaw(file, QByteArray("old contents"));
    WriteRaw(locked, QByteArray("old contents"));
    ::chmod(QFile::encodeName(file).constData(), 0666);
    ::chmod(QFile::encodeName(locked).constData(), 0444);
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0555);
    const int code = AsUnprivileged([&] { return SaveProjectFile(file, Pattern(2)).code; });
    const int lockedCode = AsUnprivileged([&] { return SaveProjectFile(locked, Pattern(2)).code; });
    const int newCode =
        AsUnprivileged([&] { return SaveProjectFile(path("new.rel"), Pattern(2)).code; });
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0777);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadRaw(file), Bytes(Pattern(2)));
    EXPECT_EQ(lockedCode, FileError::AccessDenied);
    EXPECT_EQ(ReadRaw(locked), QByteArray("old contents"));
    EXPECT_EQ(newCode, FileError::AccessDenied);
    EXPECT_FALSE(QFile::exists(path("new.rel")));
}

TEST_F(FileTest, FailedSaveLeavesTheOldFileByteForByte)
{
    const QByteArray old = Bytes(Pattern(77)) + QByteArray("tail");
    // The writer gets part of the image onto the disk before the system gives up.
    const auto failingAfterHalf = [](int error) {
        return [error](QFileDevice &file, QByteArrayView data) {
            file.write(data.data(), data.size() / 2);
            errno = error;
            return false;
        };
    };
    const struct
    {
        int error;
        FileStatus status;
        const char16_t *message;
    } cases[] = {{ENOSPC, {101}, u"Zu wenig Speicherplatz"},
                 {EDQUOT, {101}, u"Zu wenig Speicherplatz"},
                 {EIO, {EIO, true}, u"E/A-Fehler 5"},
                 {EACCES, {5}, u"Dateizugriff verweigert"}};
    for (const auto &c : cases) {
        WriteRaw(path("keep.rel"), old);
        const FileStatus status =
            SaveProjectFile(path("keep.rel"), Pattern(1), failingAfterHalf(c.error));
        EXPECT_EQ(status, c.status) << c.error;
        EXPECT_EQ(FileErrorMessage(status), QString::fromUtf16(c.message));
        EXPECT_EQ(ReadRaw(path("keep.rel")), old) << c.error;
        EXPECT_EQ(entries(), QStringList{QStringLiteral("keep.rel")}) << c.error;
    }
}

TEST_F(FileTest, SaveFailuresAndReplacement)
{
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.rel"));
    WriteRaw(path("plain"), QByteArray("x"));
    EXPECT_EQ(SaveProjectFile(path("folder.rel"), Pattern(1)), FileStatus{5});
    EXPECT_TRUE(QFileInfo(path("folder.rel")).isDir());
    EXPECT_EQ(SaveProjectFile(path("nofolder/a.rel"), Pattern(1)), FileStatus{2});
    EXPECT_EQ(SaveProjectFile(path("plain/a.rel"), Pattern(1)), FileStatus{2});
    EXPECT_EQ(SaveProjectFile(QString(), Pattern(1)), FileStatus{FileError::NoFileName});
    EXPECT_EQ(SaveProjectFile(path("a") + QChar(u'\0'), Pattern(1)), FileStatus{3});
    EXPECT_EQ(SaveProjectFile(path(QString(300, u'n')), Pattern(1)), FileStatus{3});
    EXPECT_EQ(ReadRaw(path("plain")), QByteArray("x"));
    // The rename of a safe save would put a plain file in place of a pipe or device node.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.rel")).constData(), 0666), 0);
    ASSERT_TRUE(QFile::link(path("pipe.rel"), path("link.rel")));
    for (const char *name : {"pipe.rel", "link.rel"})
        EXPECT_EQ(SaveProjectFile(path(QString::fromLatin1(name)), Pattern(1)), FileStatus{5})
            << name;
    EXPECT_TRUE(QFileInfo(path("pipe.rel")).exists());
    EXPECT_FALSE(QFileInfo(path("pipe.rel")).isFile());
    EXPECT_TRUE(QFileInfo(path("link.rel")).isSymLink());

    WriteRaw(path("long.rel"), QByteArray(5000, 'z'));
    ASSERT_EQ(SaveProjectFile(path("long.rel"), Pattern(4)), FileStatus{});
    EXPECT_EQ(ReadRaw(path("long.rel")), Bytes(Pattern(4)));
}

TEST(ProjectFile, StatusBarText)
{
    EXPECT_EQ(FileNamePart(QStringLiteral("/home/u/projekte/Keller.rel")),
              QStringLiteral("Keller.rel"));
    EXPECT_EQ(FileNamePart(QStringLiteral("Keller.rel")), QStringLiteral("Keller.rel"));
    EXPECT_EQ(FileNamePart(QString()), QString());
    EXPECT_EQ(ProjectStatusText(QStringLiteral("/tmp/x/a b.rel")),
              QStringLiteral(" Datei : a b.rel"));
}

TEST_F(FileTest, SettingsLines)
{
    const QByteArray longLine(1024 * 1024, 'p');
    const struct
    {
        QByteArray content;
        int port;
        QString project;
    } cases[] = {
        {"2\r\nproj.rel\r\nLeer\r\n", 2, QStringLiteral("proj.rel")},
        {"2\nproj.rel\nLeer\n", 2, QStringLiteral("proj.rel")},
        {"2\rproj.rel\rLeer\r", 2, QStringLiteral("proj.rel")},
        {"8\r\n/abs/Pfad mit Blank.rel\r\n", 8, QStringLiteral("/abs/Pfad mit Blank.rel")},
        {"1\r\n a.rel \r\nLeer", 1, QStringLiteral(" a.rel ")},
        {"3\r\n\r\nLeer\r\n", 3, QString()},
        {"", 0, QString()},
        {"5", 5, QString()},
        {"4\r\n", 4, QString()},
        {"\r\nx.rel", 0, QStringLiteral("x.rel")},
        {"9\r\nx\r\n", -1, QStringLiteral("x")},
        {"-1\r\nx\r\n", -1, QStringLiteral("x")},
        {"abc\r\nx\r\n", 0, QStringLiteral("x")},
        {"7a\r\n", 7, QString()},
        {" 6 \r\n", 6, QString()},
        {"$8\r\n", 8, QString()},
        {"99999999999999999999\r\n", -1, QString()},
        {"4294967298\r\n", -1, QString()}, // must not wrap into 0..8
        {"2\r\nKüche.rel\r\n", 2, QStringLiteral("Küche.rel")},
        {"1\r\n" + longLine + "\r\nLeer\r\n", 1, QString::fromLatin1(longLine)},
        {longLine + "\r\nx\r\n", 0, QStringLiteral("x")},
    };
    for (const auto &c : cases) {
        WriteRaw(path("ini.cfg"), c.content);
        Settings settings{5, QStringLiteral("old")};
        EXPECT_EQ(LoadSettingsFile(path("ini.cfg"), settings), FileStatus{})
            << c.content.left(40).toStdString();
        EXPECT_EQ(settings.portIndex, c.port) << c.content.left(40).toStdString();
        EXPECT_EQ(settings.projectPath, c.project) << c.content.left(40).toStdString();
    }
}

TEST_F(FileTest, SettingsJunkAndMissingFile)
{
    WriteRaw(path("ini.cfg"), QByteArray("\x00\xff\x01\r\n\xfe\x00z\r\n\x80\x80", 12));
    Settings settings;
    ASSERT_EQ(LoadSettingsFile(path("ini.cfg"), settings), FileStatus{});
    EXPECT_EQ(settings.portIndex, 0);
    // A NUL in the remembered name must fail cleanly instead of opening a shorter name.
    ConfigImage image;
    EXPECT_EQ(LoadProjectFile(settings.projectPath, image), FileStatus{3});

    Settings kept{3, QStringLiteral("keep.rel")};
    EXPECT_EQ(LoadSettingsFile(path("nothere.cfg"), kept), FileStatus{2});
    EXPECT_EQ(kept.portIndex, 3);
    EXPECT_EQ(kept.projectPath, QStringLiteral("keep.rel"));
}

TEST_F(FileTest, SettingsSaveWritesThreeCrLfLines)
{
    const QString work = m_dir.path();
    QDir(work).mkdir(QStringLiteral("sub"));
    const QString outside = QDir::cleanPath(work + QStringLiteral("/sub/x.rel"));
    const struct
    {
        int port;
        QString project;
        QByteArray written;
    } cases[] = {
        {2, work + QStringLiteral("/proj.rel"), "2\r\nproj.rel\r\nLeer\r\n"},
        {0, QStringLiteral("proj.rel"), "0\r\nproj.rel\r\nLeer\r\n"},
        {8, work + QStringLiteral("/sub/../proj.rel"), "8\r\nproj.rel\r\nLeer\r\n"},
        {-1, QString(), "-1\r\n\r\nLeer\r\n"},
        {1, outside, "1\r\n" + QFile::encodeName(outside) + "\r\nLeer\r\n"},
        {1, QStringLiteral("sub/x.rel"), "1\r\n" + QFile::encodeName(outside) + "\r\nLeer\r\n"},
        {3, QStringLiteral("Küche.rel"),
         "3\r\nK\xc3\xbc"
         "che.rel\r\nLeer\r\n"},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(SaveSettingsFile(path("ini.cfg"), c.port, c.project, work), FileStatus{});
        EXPECT_EQ(ReadRaw(path("ini.cfg")), c.written) << c.project.toStdString();
    }
}

TEST_F(FileTest, SettingsRoundTripFindsAProjectOutsideTheWorkingFolder)
{
    const QString work = path("work");
    const QString elsewhere = path("elsewhere");
    QDir().mkpath(work);
    QDir().mkpath(elsewhere);
    const QString project = elsewhere + QStringLiteral("/p.rel");
    ASSERT_EQ(SaveProjectFile(project, Pattern(9)), FileStatus{});
    ASSERT_EQ(SaveSettingsFile(work + QStringLiteral("/ini.cfg"), 4, project, work), FileStatus{});
    Settings settings;
    ASSERT_EQ(LoadSettingsFile(work + QStringLiteral("/ini.cfg"), settings), FileStatus{});
    EXPECT_EQ(settings.portIndex, 4);
    ConfigImage image;
    EXPECT_EQ(LoadProjectFile(settings.projectPath, image), FileStatus{});
    EXPECT_EQ(image[5], Pattern(9)[5]);
}

TEST_F(FileTest, FailedSettingsSaveKeepsTheOldFile)
{
    WriteRaw(path("ini.cfg"), "1\r\nold.rel\r\nLeer\r\n");
    const FileWriter diskFull = [](QFileDevice &file, QByteArrayView data) {
        file.write(data.data(), 3);
        errno = ENOSPC;
        return false;
    };
    EXPECT_EQ(
        SaveSettingsFile(path("ini.cfg"), 2, QStringLiteral("new.rel"), m_dir.path(), diskFull),
        FileStatus{101});
    EXPECT_EQ(ReadRaw(path("ini.cfg")), QByteArray("1\r\nold.rel\r\nLeer\r\n"));
}

// Files shared with others: the save keeps who owns the file and every hard link to it, and
// follows a link only where the kernel's own protection of links would.
TEST_F(FileTest, SharedFilesKeepOwnerGroupAndLinksAndPlantedLinksAreRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give files to other users";
    const QByteArray mine = Bytes(Pattern(5));
    const auto native = [](const QString &p) { return QFile::encodeName(p); };
    struct stat st;

    // Shared through its group: owner and group stay, whoever saves (here root).
    const QString shared = path("gruppe.rel");
    WriteRaw(shared, Bytes(Pattern(1)));
    ASSERT_EQ(::chown(native(shared).constData(), 65534, 20), 0);
    ASSERT_EQ(::chmod(native(shared).constData(), 0664), 0);
    ASSERT_TRUE(SaveProjectFile(shared, Pattern(5)).ok());
    ASSERT_EQ(::stat(native(shared).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 20u);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(ReadRaw(shared), mine);

    // Shared by a hard link: both names see the new contents; no copy is left behind.
    const QString linked = path("verknuepft.rel"), other = path("anderer-name.rel");
    WriteRaw(linked, Bytes(Pattern(2)));
    ASSERT_EQ(::link(native(linked).constData(), native(other).constData()), 0);
    ASSERT_TRUE(SaveProjectFile(linked, Pattern(5)).ok());
    EXPECT_EQ(ReadRaw(other), mine);
    EXPECT_EQ(entries().size(), 3);

    // A sticky folder that everybody may write to, as /tmp: another user's link there to a
    // file of the caller's is refused; the caller's own link is followed.
    const QString sticky = path("tmp");
    ASSERT_TRUE(QDir().mkdir(sticky));
    ASSERT_EQ(::chmod(native(sticky).constData(), 01777), 0);
    const QString victim = path("wichtig.rel");
    WriteRaw(victim, Bytes(Pattern(3)));
    const QString planted = sticky + "/x.rel";
    ASSERT_EQ(::symlink(native(victim).constData(), native(planted).constData()), 0);
    ASSERT_EQ(::lchown(native(planted).constData(), 65534, 65534), 0);
    EXPECT_EQ(SaveProjectFile(planted, Pattern(5)).code, FileError::ForeignLink);
    EXPECT_EQ(ReadRaw(victim), Bytes(Pattern(3)));
    ASSERT_EQ(::lchown(native(planted).constData(), 0, 0), 0);
    EXPECT_TRUE(SaveProjectFile(planted, Pattern(5)).ok());
    EXPECT_EQ(ReadRaw(victim), mine);
}

// A name that is not UTF-8 reaches its file and comes back from ini.cfg byte for byte.
TEST_F(FileTest, NamesInAnyEncodingStayTheirOwnFile)
{
    // Not UTF-8 (E4, FF), and beside them a character beyond U+FFFF whose second half looks
    // like an escaped byte.
    const QByteArray raw = QFile::encodeName(m_dir.path()) + "/Pumpe\xE4\xFF\xF1\xB2\xB2\xB2.rel";
    const QString name = FileNameFromNative(raw);
    EXPECT_EQ(NativeFileName(name), raw);
    ASSERT_TRUE(SaveProjectFile(name, Pattern(4)).ok());
    const int fd = ::open(raw.constData(), O_RDONLY);
    ASSERT_GE(fd, 0) << "the file was not written under its own name";
    ::close(fd);
    ConfigImage loaded;
    ASSERT_TRUE(LoadProjectFile(name, loaded).ok());
    EXPECT_EQ(loaded[17], Pattern(4)[17]);

    const QString settings = path("ini.cfg");
    ASSERT_TRUE(SaveSettingsFile(settings, 2, name, m_dir.path()).ok());
    const QByteArray text = ReadRaw(settings);
    EXPECT_TRUE(text.contains("Pumpe\xE4\xFF\xF1\xB2\xB2\xB2.rel\r\n")) << text.toHex().constData();
    Settings read;
    ASSERT_TRUE(LoadSettingsFile(settings, read).ok());
    EXPECT_EQ(NativeFileName(read.projectPath), QByteArray("Pumpe\xE4\xFF\xF1\xB2\xB2\xB2.rel"));
}
