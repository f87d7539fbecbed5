// Writing the output text: the kinds of target, and nothing lost when a write
// fails.
#include "FileSizeLimit.h"
#include "TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace plotrun::test {
namespace {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

mode_t modeOf(const QString& path, bool followLinks = true)
{
    struct stat st {};
    const QByteArray p = QFile::encodeName(path);
    if ((followLinks ? stat(p.constData(), &st) : lstat(p.constData(), &st)) != 0)
        return 0;
    return st.st_mode;
}

const std::string kLongText(1000, 'x');

class TextFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }
};

TEST_F(TextFile, ANamedPipeIsWrittenIntoAndStaysAPipe)
{
    const QString fifo = file("pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray received;
    std::thread reader([&] {
        QFile f(fifo);
        if (f.open(QIODevice::ReadOnly))
            received = f.readAll();
    });
    const QString reason = writeTextFile(fifo, "through the pipe\r\n");
    reader.join();
    EXPECT_EQ(reason, "");
    EXPECT_EQ(received, QByteArray("through the pipe\r\n"));
    EXPECT_TRUE(S_ISFIFO(modeOf(fifo)));
}

TEST_F(TextFile, ACharacterDeviceIsWrittenIntoAndStaysADevice)
{
    // A null device of our own: the system's is not for tests to risk.
    const QString device = file("null");
    if (mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "no device can be made here";
    EXPECT_EQ(writeTextFile(device, "gone\r\n"), "");
    EXPECT_TRUE(S_ISCHR(modeOf(device)));
}

TEST_F(TextFile, ALinkIsFollowedAndItsTargetKeepsItsPermissions)
{
    const QString target = file("real.txt"), link = file("link.txt");
    ASSERT_TRUE(put(target, "old contents"));
    ASSERT_EQ(chmod(QFile::encodeName(target).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link("real.txt", link));
    EXPECT_EQ(writeTextFile(link, "new contents"), "");
    EXPECT_TRUE(S_ISLNK(modeOf(link, false)));
    EXPECT_EQ(contents(target), QByteArray("new contents"));
    EXPECT_EQ(modeOf(target) & 07777, mode_t(0640));

    // A link to a file that does not exist yet makes the file, not a file in
    // place of the link.
    const QString dangling = file("dangling.txt");
    ASSERT_TRUE(QFile::link("made.txt", dangling));
    EXPECT_EQ(writeTextFile(dangling, "made"), "");
    EXPECT_TRUE(S_ISLNK(modeOf(dangling, false)));
    EXPECT_EQ(contents(file("made.txt")), QByteArray("made"));
}

TEST_F(TextFile, AFolderIsRefused)
{
    EXPECT_NE(writeTextFile(dir.path(), "text"), "");
    EXPECT_TRUE(QFileInfo(dir.path()).isDir());
}

TEST_F(TextFile, SameFileKnowsLinksAndHardLinks)
{
    const QString a = file("a.bmp");
    ASSERT_TRUE(put(a, "picture"));
    ASSERT_TRUE(QFile::link(a, file("soft.bmp")));
    ASSERT_EQ(link(QFile::encodeName(a).constData(), QFile::encodeName(file("hard.bmp")).constData()), 0);
    ASSERT_TRUE(put(file("other.bmp"), "picture"));
    EXPECT_TRUE(isSameFile(a, a));
    EXPECT_TRUE(isSameFile(file("soft.bmp"), a));
    EXPECT_TRUE(isSameFile(file("hard.bmp"), a));
    EXPECT_TRUE(isSameFile(dir.path() + "/./a.bmp", a));
    EXPECT_FALSE(isSameFile(file("other.bmp"), a));
    EXPECT_FALSE(isSameFile(file("missing.bmp"), a));
}

// A name at the length limit leaves no room for a temporary file's name next
// to it; so does a folder that is not writable, but root may write there.
QString longName(const QTemporaryDir& dir) { return dir.filePath(QString(255, 'n')); }

TEST_F(TextFile, WithoutRoomForATemporaryFileTheFileIsWrittenInPlace)
{
    const QString path = longName(dir);
    ASSERT_TRUE(put(path, "old contents that are longer than the new"));
    EXPECT_EQ(writeTextFile(path, "new"), "");
    EXPECT_EQ(contents(path), QByteArray("new"));
    EXPECT_EQ(writeTextFile(path, kLongText), "");
    EXPECT_EQ(contents(path).toStdString(), kLongText);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

TEST_F(TextFile, InAFolderThatIsNotWritableTheFileIsWrittenInPlace)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes in any folder";
    const QString path = file("out.txt");
    ASSERT_TRUE(put(path, "old contents"));
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0500), 0);
    const QString reason = writeTextFile(path, "new contents");
    chmod(QFile::encodeName(dir.path()).constData(), 0700);
    EXPECT_EQ(reason, "");
    EXPECT_EQ(contents(path), QByteArray("new contents"));
}

TEST_F(TextFile, AFailedWriteInPlaceRestoresTheOldContents)
{
    const QString path = longName(dir);
    ASSERT_TRUE(put(path, "old contents"));
    QString reason;
    {
        const FileSizeLimit limit(100);
        ASSERT_TRUE(limit.active());
        reason = writeTextFile(path, kLongText);
    }
    EXPECT_NE(reason, "");
    EXPECT_EQ(contents(path), QByteArray("old contents"));

    // The same for the in-place write on its own, over a file longer than
    // the limit, where the overwrite itself fails past the limit.
    const QString big = file("big.txt");
    ASSERT_TRUE(put(big, QByteArray(300, 'o')));
    {
        const FileSizeLimit limit(100);
        reason = writeTextFileInPlace(big, std::string(200, 'n'));
    }
    EXPECT_NE(reason, "");
    EXPECT_EQ(contents(big), QByteArray(300, 'o'));
}

TEST_F(TextFile, ARegularFileIsStillReplacedWholeOrNotAtAll)
{
    const QString path = file("out.txt");
    ASSERT_TRUE(put(path, "old contents"));
    QString reason;
    {
        const FileSizeLimit limit(100);
        reason = writeTextFile(path, kLongText);
    }
    EXPECT_NE(reason, "");
    EXPECT_EQ(contents(path), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(writeTextFile(path, "new"), "");
    EXPECT_EQ(contents(path), QByteArray("new"));
}

} // namespace
} // namespace plotrun::test
