// The safe copy on real files: the target is the old file or the whole new one, never a part.
#include "maintenance/filecopy.h"
#include "support/datasupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(bytes);
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Several blocks, so an abandoned copy stops with part of the file written.
QByteArray bigContent()
{
    QByteArray bytes;
    for (int i = 0; bytes.size() < 3 * 1024 * 1024 + 17; ++i)
        bytes += QByteArray::number(i) + ',';
    return bytes;
}

} // namespace

class TestFileCopy : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_source = m_dir.filePath(QStringLiteral("data.mdb"));
        writeFile(m_source, bigContent());
    }
    void cleanup()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void copiesNewFileAndReplacesOldOne()
    {
        const QString target = m_dir.filePath(QStringLiteral("backup.mdb"));
        QString error;
        QVERIFY2(filecopy::copyFile(m_source, target, &error), qPrintable(error));
        QCOMPARE(bytesOf(target), bytesOf(m_source));

        // An existing target keeps its permissions and gets the new bytes.
        writeFile(target, "old backup");
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        QVERIFY2(filecopy::copyFile(m_source, target, &error), qPrintable(error));
        QCOMPARE(bytesOf(target), bytesOf(m_source));
        QCOMPARE(QFile::permissions(target) & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        QCOMPARE(entries(m_dir.path()),
                 QStringList({QStringLiteral("backup.mdb"), QStringLiteral("data.mdb")}));
    }

    void followsLinksAndRefusesEmptyTargets()
    {
        // A link is followed, so the copy replaces the file it points to, not the link.
        const QString real = m_dir.filePath(QStringLiteral("real.mdb"));
        const QString link = m_dir.filePath(QStringLiteral("link.mdb"));
        writeFile(real, "old");
        QVERIFY(QFile::link(real, link));
        const QString resolved = filecopy::resolveTarget(m_source, link);
        QVERIFY(filecopy::copyFile(m_source, resolved));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(bytesOf(real), bytesOf(m_source));

        QVERIFY(filecopy::resolveTarget(m_source, QString()).isEmpty());
        QVERIFY(!filecopy::copyFile(m_source, QString()));
    }

    void failuresLeaveEverythingAsItWas_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("below a regular file") << QStringLiteral("belowFile");
        QTest::newRow("folder in place of the file") << QStringLiteral("folder");
        QTest::newRow("interrupted half-way") << QStringLiteral("interrupted");
    }
    void failuresLeaveEverythingAsItWas()
    {
        QFETCH(QString, kind);
        QString target = m_dir.filePath(QStringLiteral("backup.mdb"));
        filecopy::Progress progress;
        if (kind == QLatin1String("belowFile")) {
            writeFile(target, "a regular file");
            target += QStringLiteral("/inner.mdb");
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(target));
        } else {
            writeFile(target, "old backup");
            progress = [](qint64 copied, qint64 total) { return copied < total / 2; };
        }
        const QStringList before = entries(m_dir.path());
        const QByteArray sourceBefore = bytesOf(m_source);
        const QByteArray targetBefore = bytesOf(target);

        QString error;
        QVERIFY(!filecopy::copyFile(m_source, target, &error, progress));
        QVERIFY(!error.isEmpty());
        QCOMPARE(entries(m_dir.path()), before); // no temporary file left behind
        QCOMPARE(bytesOf(m_source), sourceBefore);
        QCOMPARE(bytesOf(target), targetBefore);
        if (kind == QLatin1String("folder"))
            QVERIFY(QFileInfo(target).isDir() && entries(target).isEmpty());
    }

private:
    QTemporaryDir m_dir;
    QString m_source;
};

QUENVALE_DATA_TEST_MAIN(TestFileCopy)
#include "tst_filecopy.moc"
