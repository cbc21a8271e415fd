#pragma once

// Test support that needs no window: temporary books, direct SQL, isolated settings. The data
// layer's tests link only this and quenvale_data.

#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantList>
#include <QtTest>

namespace testsupport {

// A fresh temporary folder that is the working folder, with a fresh data.mdb in it.
class BookFolder
{
public:
    BookFolder();
    ~BookFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    QString bookPath() const { return file(QStringLiteral("data.mdb")); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Copies a prepared fresh book to path (hashing the administrator once per process).
void makeFreshBook(const QString& path);

// Removes the stored settings so a test starts as on a new machine.
void clearSettings();

// Adds one record through a private connection; returns its key.
qint64 insertRecord(const QString& bookPath, const QString& kind, const QString& day,
                    const QString& summary, const QString& counterparty, double income,
                    double received, double expense, double paid,
                    const QString& marker = QStringLiteral("1"));

// Runs a single-value statement through a private connection.
QVariant scalar(const QString& bookPath, const QString& statement, const QVariantList& values = {});

// Points HOME and the config folder into a temporary folder; call before QApplication.
void isolateEnvironment();

} // namespace testsupport

// main() for a test program without windows: isolated settings, a core application.
#define QUENVALE_DATA_TEST_MAIN(TestClass)                                                         \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        testsupport::isolateEnvironment();                                                         \
        QCoreApplication app(argc, argv);                                                          \
        QCoreApplication::setApplicationName(QStringLiteral("Quenvale"));                          \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
