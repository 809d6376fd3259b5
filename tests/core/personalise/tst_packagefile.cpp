#include "core/personalise/PackageFile.h"

#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;

class TestPackageFile : public QObject {
    Q_OBJECT
private slots:
    void init();
    void sourceChanged_data();
    void sourceChanged();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPackageFile::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestPackageFile::sourceChanged_data() {
    QTest::addColumn<qint64>("newSize");
    QTest::newRow("shrank") << qint64(1000);
    QTest::newRow("emptied") << qint64(0);
    QTest::newRow("grew") << qint64((2 << 20) + 1);
}

// A source that changed after it was sized would give a package whose length
// words lie: nothing is written and the older package stays.
void TestPackageFile::sourceChanged() {
    QFETCH(qint64, newSize);
    QVERIFY(testfiles::Write(path("image.bin"), testfiles::Pattern(2 << 20)));
    QVERIFY(testfiles::Write(path("out"), "older"));
    const SourceRead source = OpenSourceFile(path("image.bin"), 1 << 26);
    QVERIFY(QFile(path("image.bin")).resize(newSize));
    ChunkedBytes bytes;
    bytes.append(source);
    const WriteOutcome outcome = WritePackageFile(path("out"), bytes, CrcField{0, 0});
    QCOMPARE(outcome.status, WriteOutcome::SourceFailed);
    QCOMPARE(outcome.sourcePath, path("image.bin"));
    QCOMPARE(testfiles::Read(path("out")), QByteArray("older"));
    QCOMPARE(testfiles::Entries(m_dir->path()), (QStringList{"image.bin", "out"}));
}

QTEST_GUILESS_MAIN(TestPackageFile)
#include "tst_packagefile.moc"
