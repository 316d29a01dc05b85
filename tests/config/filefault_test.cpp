// Project and settings files under faults: saves that fail half-way, files of the wrong size
// or kind, settings files with junk in them. The tests run as root in CI, where file modes
// stop nothing, so failures are provoked through the write seam, a file-size limit and the
// immutable attribute instead.
#include "config/configimage.h"
#include "config/fileaccess.h"
#include "config/projectfile.h"
#include "config/settingsfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

ConfigImage PatternImage(int seed)
{
    ConfigImage image;
    for (int i = 0; i < ConfigImage::Size; ++i)
        image[i] = std::uint8_t(i * 37 + seed);
    return image;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray RandomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(rng.bounded(256));
    return bytes;
}

// Sets the immutable attribute of a folder for the life of the guard: then nothing can be
// created, renamed or removed in it, not even by root.
class ImmutableFolder
{
public:
    explicit ImmutableFolder(const QString &path) : m_fd(::open(QFile::encodeName(path), O_RDONLY))
    {
        int flags = 0;
        if (m_fd < 0 || ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) != 0)
            return;
        flags |= FS_IMMUTABLE_FL;
        m_set = ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ~ImmutableFolder()
    {
        int flags = 0;
        if (m_set && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
        }
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool active() const { return m_set; }

private:
    int m_fd = -1;
    bool m_set = false;
};

// Files may grow to `bytes` at most while the guard lives; a write beyond gives EFBIG, as a
// quota would.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool active() const { return m_set; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_set = false;
};

class FileFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        project = m_dir.filePath(QStringLiteral("anlage.rel"));
        settings = m_dir.filePath(QStringLiteral("ini.cfg"));
    }
    QStringList folderEntries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir m_dir;
    QString project;
    QString settings;
};

// A writer that puts `before` bytes into the temporary file, then fails with `error`.
FileWriter FailingWriter(qsizetype before, int error)
{
    return [before, error](QFileDevice &file, QByteArrayView data) {
        file.write(data.data(), std::min(before, data.size()));
        errno = error;
        return false;
    };
}

TEST_F(FileFaults, FailedSaveKeepsThePreviousFilesByteForByte)
{
    const struct
    {
        const char *what;
        qsizetype before;
        int error;
        FileStatus status;
    } cases[] = {
        {"disk full at once", 0, ENOSPC, {FileError::DiskFull}},
        {"disk full half-way", 512, ENOSPC, {FileError::DiskFull}},
        {"disk full at the last byte", 1023, ENOSPC, {FileError::DiskFull}},
        {"quota exceeded half-way", 700, EDQUOT, {FileError::DiskFull}},
        {"input/output error half-way", 300, EIO, {EIO, true}},
    };
    const ConfigImage oldImage = PatternImage(1);
    ASSERT_TRUE(SaveProjectFile(project, oldImage).ok());
    ASSERT_TRUE(SaveSettingsFile(settings, 2, project, m_dir.path()).ok());
    const QByteArray oldProject = ReadAll(project);
    const QByteArray oldSettings = ReadAll(settings);
    ASSERT_EQ(oldProject.size(), ConfigImage::Size);

    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SaveProjectFile(project, PatternImage(2), FailingWriter(c.before, c.error)),
                  c.status);
        EXPECT_EQ(SaveSettingsFile(settings, 5, QStringLiteral("neu.rel"), m_dir.path(),
                                   FailingWriter(c.before / 100, c.error)),
                  c.status);
        EXPECT_EQ(ReadAll(project), oldProject);
        EXPECT_EQ(ReadAll(settings), oldSettings);
        // No half-written temporary file is left beside them.
        EXPECT_EQ(folderEntries(), QStringList({"anlage.rel", "ini.cfg"}));
    }
}

TEST_F(FileFaults, SaveBeyondTheFileSizeLimitKeepsThePreviousFile)
{
    ASSERT_TRUE(SaveProjectFile(project, PatternImage(3)).ok());
    const QByteArray old = ReadAll(project);
    {
        FileSizeLimit limit(600);
        ASSERT_TRUE(limit.active());
        EXPECT_EQ(SaveProjectFile(project, PatternImage(4)), FileStatus{FileError::DiskFull});
    }
    EXPECT_EQ(ReadAll(project), old);
    EXPECT_EQ(folderEntries(), QStringList({"anlage.rel"}));
    // Room again: the save goes through.
    EXPECT_TRUE(SaveProjectFile(project, PatternImage(4)).ok());
    ConfigImage loaded;
    ASSERT_TRUE(LoadProjectFile(project, loaded).ok());
    ConfigImage expected = PatternImage(4);
    expected[ImageOffset::Reserved903] = 0;
    EXPECT_EQ(loaded, expected);
}

// A folder that refuses new files (here: immutable, which stops root too) while its files
// stay writable: the saves write the files in place, so the window can still be closed.
TEST_F(FileFaults, SaveIntoAFolderThatRefusesNewFilesWritesTheFilesInPlace)
{
    ASSERT_TRUE(SaveProjectFile(project, PatternImage(5)).ok());
    ASSERT_TRUE(SaveSettingsFile(settings, 1, project, m_dir.path()).ok());
    const QString absent = m_dir.filePath(QStringLiteral("neu.rel"));
    {
        ImmutableFolder locked(m_dir.path());
        if (!locked.active())
            GTEST_SKIP() << "this file system has no immutable attribute";
        EXPECT_TRUE(SaveProjectFile(project, PatternImage(6)).ok());
        EXPECT_TRUE(SaveSettingsFile(settings, 4, project, m_dir.path()).ok());
        // A new file still needs the folder's consent.
        EXPECT_EQ(SaveProjectFile(absent, PatternImage(7)), FileStatus{FileError::AccessDenied});
        // The in-place write failing part-way is reported like any failed save.
        EXPECT_EQ(SaveProjectFile(project, PatternImage(8), FailingWriter(100, ENOSPC)),
                  FileStatus{FileError::DiskFull});
    }
    ConfigImage loaded;
    ASSERT_TRUE(LoadProjectFile(project, loaded).ok());
    // The failed write got 100 bytes in; the rest is still the last good save.
    ConfigImage expected = PatternImage(6);
    for (int i = 0; i < 100; ++i)
        expected[i] = PatternImage(8)[i];
    expected[903] = 0; // a load clears byte 903
    EXPECT_EQ(loaded, expected);
    Settings read;
    ASSERT_TRUE(LoadSettingsFile(settings, read).ok());
    EXPECT_EQ(read.portIndex, 4);
    EXPECT_EQ(folderEntries(), QStringList({"anlage.rel", "ini.cfg"}));
}

TEST_F(FileFaults, ProjectFilesOfTheWrongSizeOrKindLoadAllOrNothing)
{
    const QByteArray random1024 = RandomBytes(1024, 7);
    const QByteArray random5000 = RandomBytes(5000, 8);
    const struct
    {
        const char *what;
        QByteArray content; // written as the file unless it is a folder
        bool folder;
        FileStatus status;
    } cases[] = {
        {"0 bytes", QByteArray(), false, {FileError::ReadPastEnd}},
        {"1 byte", QByteArray(1, 'x'), false, {FileError::ReadPastEnd}},
        {"1023 bytes", RandomBytes(1023, 9), false, {FileError::ReadPastEnd}},
        {"1024 random bytes", random1024, false, {}},
        {"5000 random bytes", random5000, false, {}},
        {"a folder in place of the file", QByteArray(), true, {FileError::AccessDenied}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(m_dir.path()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_dir.path()));
        ASSERT_TRUE(c.folder ? QDir().mkdir(project) : WriteFile(project, c.content));

        const ConfigImage before = PatternImage(10);
        ConfigImage image = before;
        EXPECT_EQ(LoadProjectFile(project, image), c.status);
        if (!c.status.ok()) {
            EXPECT_EQ(image, before);
            continue;
        }
        ConfigImage expected;
        std::copy_n(reinterpret_cast<const std::uint8_t *>(c.content.constData()),
                    ConfigImage::Size, expected.data());
        expected[ImageOffset::Reserved903] = 0;
        EXPECT_EQ(image, expected);
        // The load never writes to the file it read.
        EXPECT_EQ(ReadAll(project), c.content);
    }
}

TEST_F(FileFaults, SettingsFilesWithJunkReadSafely)
{
    QByteArray junk = RandomBytes(4096, 11);
    junk.replace('\n', 'n').replace('\r', 'r');
    const QByteArray hugeLine(1024 * 1024, '7');
    const struct
    {
        const char *what;
        QByteArray content;
        int portIndex;
        QString projectPath;
    } cases[] = {
        // Junk that starts with no digit reads as port 0, as an empty line 1 does.
        {"binary junk without line ends", '\x01' + junk, 0, QString()},
        {"binary junk in line 2", "3\r\n" + junk + "\r\nLeer\r\n", 3, FileNameFromNative(junk)},
        {"a 1 MB line 1", hugeLine + "\r\nanlage.rel\r\nLeer\r\n", -1, "anlage.rel"},
        {"a 1 MB line 2", "4\r\n" + hugeLine + "\r\nLeer\r\n", 4, QString::fromLatin1(hugeLine)},
        {"no line 3", "2\r\nanlage.rel\r\n", 2, "anlage.rel"},
        {"no line 3 and no final line end", "2\r\nanlage.rel", 2, "anlage.rel"},
        {"CR-only line ends", "6\ranlage.rel\rLeer\r", 6, "anlage.rel"},
        {"LF-only line ends", "1\nanlage.rel\nLeer\n", 1, "anlage.rel"},
        {"NUL bytes in line 1", QByteArray("5\0\0\r\nanlage.rel\r\n", 17), 5, "anlage.rel"},
        {"empty file", QByteArray(), 0, QString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFile(settings, c.content));
        Settings read;
        read.portIndex = 8;
        read.projectPath = QStringLiteral("vorher.rel");
        ASSERT_TRUE(LoadSettingsFile(settings, read).ok());
        EXPECT_EQ(read.portIndex, c.portIndex);
        EXPECT_EQ(read.projectPath, c.projectPath);
        // Byte for byte: the name reaches the same file, whatever its encoding.
        if (!c.content.isEmpty() && c.content.startsWith("3\r\n")) {
            EXPECT_EQ(NativeFileName(read.projectPath), junk);
        }
    }
}

TEST_F(FileFaults, UnreadableSettingsLeaveTheSettingsAsTheyWere)
{
    ASSERT_TRUE(QDir().mkdir(settings));
    Settings read;
    read.portIndex = 4;
    read.projectPath = QStringLiteral("vorher.rel");
    EXPECT_EQ(LoadSettingsFile(settings, read), FileStatus{FileError::AccessDenied});
    EXPECT_EQ(read.portIndex, 4);
    EXPECT_EQ(read.projectPath, QStringLiteral("vorher.rel"));
    // Saving over a folder must refuse rather than remove it.
    EXPECT_FALSE(SaveSettingsFile(settings, 1, project, m_dir.path()).ok());
    EXPECT_TRUE(QFileInfo(settings).isDir());
}

} // namespace
