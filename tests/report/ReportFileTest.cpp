// Where report files go: a path the user named, and the program's own IPReport.txt, in every state a
// file system can hand them (nothing, a file, a link, a folder, a pipe, a device).
#include "report/ReportFile.h"
#include "db/Database.h"
#include "report/WrittenFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace kestrion;

namespace {

const QByteArray kReport("\r\nKestrion Free IP Report\r\n=======================\r\n");

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes, mode_t mode = 0644) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), mode), 0);
}

void makeLink(const QString& target, const QString& at) {
    ASSERT_EQ(symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()), 0);
}

mode_t typeAndMode(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Sets the umask for one test and puts the old one back.
struct UmaskScope {
    explicit UmaskScope(mode_t mask) : previous(::umask(mask)) {}
    ~UmaskScope() { ::umask(previous); }
    mode_t previous;
};

} // namespace

TEST(WriteNamedFile, EachKindOfPathIsWrittenAsItMustBeAndNothingElseIsTouched) {
    const UmaskScope umask(022);
    struct Row {
        const char* name;
        // Makes what stands at `path` (other files go into `elsewhere`); false: cannot here, skip.
        std::function<bool(const QString& path, const QString& elsewhere)> prepare;
        bool written;              // false: refused with a DbError, nothing written
        mode_t typeAndModeAfter;   // what stands at the path afterwards
        QByteArray elsewhereAfter; // the contents of elsewhere/target afterwards ("" if absent)
    };
    const Row rows[] = {
        {"nothing there yet: a new file with the umask's mode",
         [](const QString&, const QString&) { return true; },
         true,
         S_IFREG | 0644,
         {}},
        {"a longer file: replaced whole, its mode kept",
         [](const QString& path, const QString&) {
             writeFile(path, QByteArray(5000, 'x'), 0600);
             return true;
         },
         true,
         S_IFREG | 0600,
         {}},
        {"a link to a file elsewhere: not written through",
         [](const QString& path, const QString& elsewhere) {
             writeFile(elsewhere + "/target", "someone's file");
             makeLink(elsewhere + "/target", path);
             return true;
         },
         false, S_IFLNK | 0777, "someone's file"},
        {"a dangling link: its target is not created",
         [](const QString& path, const QString& elsewhere) {
             makeLink(elsewhere + "/target", path);
             return true;
         },
         false,
         S_IFLNK | 0777,
         {}},
        {"a folder: left alone",
         [](const QString& path, const QString&) { return QDir().mkdir(path); },
         false,
         S_IFDIR | 0755,
         {}},
        {"a character device (the null device's numbers): written to, never replaced",
         [](const QString& path, const QString&) {
             return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
         },
         true,
         S_IFCHR | 0644,
         {}}, // the umask took the write bits of the node's 0666
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir folder;
        QTemporaryDir elsewhere;
        const QString path = folder.filePath("report.txt");
        if (!row.prepare(path, elsewhere.path())) {
            std::cout << "[ NOTE ] " << row.name << ": cannot be made here (" << std::strerror(errno)
                      << ")\n";
            continue;
        }
        const QStringList elsewhereBefore = entries(elsewhere.path());
        try {
            report::WriteNamedFile(path, kReport);
            EXPECT_TRUE(row.written) << "no refusal";
        } catch (const db::DbError& error) {
            EXPECT_FALSE(row.written) << error.text().toStdString();
            EXPECT_TRUE(error.text().contains(path)) << error.text().toStdString();
        }
        EXPECT_EQ(typeAndMode(path), row.typeAndModeAfter) << std::oct << typeAndMode(path);
        if (S_ISREG(row.typeAndModeAfter)) {
            EXPECT_EQ(contents(path), kReport);
        }
        EXPECT_EQ(entries(folder.path()), QStringList{"report.txt"}) << "no temporary file is left";
        EXPECT_EQ(entries(elsewhere.path()), elsewhereBefore);
        EXPECT_EQ(contents(elsewhere.filePath("target")), row.elsewhereAfter);
    }
}

TEST(WriteNamedFile, APipeGetsTheBytesAndStaysAPipe) {
    QTemporaryDir folder;
    const QString path = folder.filePath("pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QByteArray received;
    // Opening either end waits for the other, as with a shell's redirection.
    std::thread reader([&] {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            received.append(buffer, n);
        ::close(fd);
    });
    EXPECT_NO_THROW(report::WriteNamedFile(path, kReport));
    reader.join();
    EXPECT_EQ(received, kReport);
    EXPECT_TRUE(S_ISFIFO(typeAndMode(path)));
    EXPECT_EQ(entries(folder.path()), QStringList{"pipe"});
}

TEST(ReplaceOwnFile, WhateverStandsAtTheNameIsReplacedByARegularFileNeverFollowed) {
    const UmaskScope umask(022);
    struct Row {
        const char* name;
        std::function<void(const QString& path, const QString& elsewhere)> prepare;
        QByteArray elsewhereAfter;
    };
    const Row rows[] = {
        {"nothing there", [](const QString&, const QString&) {}, {}},
        {"an older, longer report",
         [](const QString& path, const QString&) { writeFile(path, QByteArray(9000, 'x')); },
         {}},
        {"a planted dangling link: its target is not created",
         [](const QString& path, const QString& elsewhere) { makeLink(elsewhere + "/target", path); },
         {}},
        {"a planted link to another user's file: that file is not written",
         [](const QString& path, const QString& elsewhere) {
             writeFile(elsewhere + "/target", "# their login script\n");
             makeLink(elsewhere + "/target", path);
         },
         "# their login script\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir folder;
        QTemporaryDir elsewhere;
        const QString path = folder.filePath("IPReport.txt");
        row.prepare(path, elsewhere.path());

        report::ReplaceOwnFile(path, kReport);

        EXPECT_EQ(typeAndMode(path), S_IFREG | 0644) << std::oct << typeAndMode(path);
        EXPECT_EQ(contents(path), kReport);
        EXPECT_EQ(contents(elsewhere.filePath("target")), row.elsewhereAfter);
        EXPECT_EQ(entries(folder.path()), QStringList{"IPReport.txt"}) << "no temporary file is left";
    }
}

// The last word of a written file is its close: a close that fails is a failure, named with the path,
// not a file reported as written.
TEST(WrittenFile, AFailedCloseIsAFailure) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    {
        report::WrittenFile good(platform::UniqueFd(ends[1]), QStringLiteral("the pipe"));
        good.writeAll(kReport);
        EXPECT_NO_THROW(good.finish());
    }
    QByteArray received(kReport.size() + 1, '\0');
    EXPECT_EQ(::read(ends[0], received.data(), received.size()), kReport.size());
    ::close(ends[0]);

    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    report::WrittenFile bad(platform::UniqueFd(ends[1]), QStringLiteral("/some/report.txt"));
    // Closed behind the owner's back, so its own close fails (EBADF), as a late write error would.
    ASSERT_EQ(::close(ends[1]), 0);
    try {
        bad.finish();
        ADD_FAILURE() << "the failed close was not reported";
    } catch (const db::DbError& error) {
        EXPECT_EQ(error.number(), EBADF);
        EXPECT_TRUE(error.text().startsWith(QStringLiteral("Cannot write /some/report.txt: ")))
            << error.text().toStdString();
    }
}
